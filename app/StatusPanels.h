#pragma once

#include <QStatusBar>
#include <array>
#include <string>

class QLabel;

namespace nimbra {

// The status bar's four panels: group, article, body percentage, countdown, of widths 250,
// 150, 50 and 25 pixels. Panel numbers are 0..3.
class StatusPanels : public QStatusBar {
    Q_OBJECT
public:
    static constexpr int Count = 4;
    static constexpr std::array<int, Count> Widths{250, 150, 50, 25};

    explicit StatusPanels(QWidget* parent = nullptr);

    std::string panelText(int panel) const;
    void setPanelText(int panel, const std::string& text);
    QLabel* panel(int panel) const { return panels_.at(static_cast<std::size_t>(panel)); }

private:
    std::array<QLabel*, Count> panels_{};
};

} // namespace nimbra
