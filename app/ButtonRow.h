#pragma once

#include <QWidget>

class QPushButton;

namespace nimbra {

// The row of buttons under the pages: "Get Files", "Stop", "About", "Help", "Close". "Stop"
// starts disabled, as no run is in progress.
class ButtonRow : public QWidget {
    Q_OBJECT
public:
    explicit ButtonRow(QWidget* parent = nullptr);

    QPushButton* getFilesButton() const { return getFiles_; } // bitbtn1
    QPushButton* stopButton() const { return stop_; }         // sendbtn
    QPushButton* aboutButton() const { return about_; }       // BitBtn2
    QPushButton* helpButton() const { return help_; }         // BitBtn10
    QPushButton* closeButton() const { return close_; }       // BitBtn4

private:
    QPushButton* getFiles_;
    QPushButton* stop_;
    QPushButton* about_;
    QPushButton* help_;
    QPushButton* close_;
};

} // namespace nimbra
