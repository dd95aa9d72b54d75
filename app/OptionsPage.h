#pragma once

#include <QWidget>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace nimbra {

// The "Options" page: time-out, article cache, the size limits, the download folder with its
// chooser, the one-folder / per-group choice, the scan choices ("Fast scan (overview)" and
// "Compression", ticked at design, "Pipeline", "Connections", and the two subject filters), the duplicate choices ("Skip
// pictures I already have", ticked at design, and "Similar within, bits", 5) and the statistics "Reset". Fields start at their
// design defaults; the page holds no settings of its own.
class OptionsPage : public QWidget {
    Q_OBJECT
public:
    explicit OptionsPage(QWidget* parent = nullptr);

    QLineEdit* timeoutEdit() const { return timeout_; }   // Edit1
    QLineEdit* cacheEdit() const { return cache_; }       // Edit2
    QLineEdit* folderEdit() const { return folder_; }     // Edit3, read-only
    QLineEdit* minimumEdit() const { return minimum_; }   // Edit4
    QLineEdit* maximumEdit() const { return maximum_; }   // Edit5
    QPushButton* chooseFolderButton() const { return chooseFolder_; } // Button1, "..."
    QRadioButton* oneFolderButton() const { return oneFolder_; }
    QRadioButton* perGroupButton() const { return perGroup_; }
    QPushButton* resetButton() const { return reset_; }   // SpeedButton1
    QCheckBox* fastScanCheck() const { return fastScan_; }
    QLineEdit* pipelineEdit() const { return pipeline_; }
    QLineEdit* connectionsEdit() const { return connections_; }
    QCheckBox* compressionCheck() const { return compression_; }
    QLineEdit* subjectMatchEdit() const { return subjectMatch_; }
    QLineEdit* subjectExcludeEdit() const { return subjectExclude_; }
    QCheckBox* skipKnownCheck() const { return skipKnown_; }
    QLineEdit* similarBitsEdit() const { return similarBits_; }

private:
    QLineEdit* timeout_;
    QLineEdit* cache_;
    QLineEdit* folder_;
    QLineEdit* minimum_;
    QLineEdit* maximum_;
    QPushButton* chooseFolder_;
    QRadioButton* oneFolder_;
    QRadioButton* perGroup_;
    QPushButton* reset_;
    QCheckBox* fastScan_;
    QLineEdit* pipeline_;
    QLineEdit* connections_;
    QCheckBox* compression_;
    QLineEdit* subjectMatch_;
    QLineEdit* subjectExclude_;
    QCheckBox* skipKnown_;
    QLineEdit* similarBits_;
};

} // namespace nimbra
