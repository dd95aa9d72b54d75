#pragma once

#include <QStatusBar>
#include <array>
#include <string>

class QLabel;

namespace nimbra {

// The status bar's panels: group, article, body percentage, countdown and transfer rate, of
// widths 250, 150, 50, 25 and 90 pixels. Panel numbers are 0..4. After them, the duplicates
// not kept ("Duplicates: N") and a notice that is no failure of a file, shown only once
// there is one.
class StatusPanels : public QStatusBar {
    Q_OBJECT
public:
    static constexpr int Count = 5;
    static constexpr std::array<int, Count> Widths{250, 150, 50, 25, 90};

    explicit StatusPanels(QWidget* parent = nullptr);

    std::string panelText(int panel) const;
    void setPanelText(int panel, const std::string& text);
    QLabel* panel(int panel) const { return panels_.at(static_cast<std::size_t>(panel)); }
    void setDuplicates(int count);
    QLabel* duplicatesLabel() const { return duplicates_; }
    void showNotice(const std::string& text);
    QLabel* noticeLabel() const { return notice_; }

private:
    std::array<QLabel*, Count> panels_{};
    QLabel* duplicates_ = nullptr;
    QLabel* notice_ = nullptr;
};

} // namespace nimbra
