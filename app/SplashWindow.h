#pragma once

#include <QWidget>
#include <string>

class QLabel;
class QPushButton;

namespace nimbra {

// The splash window (borderless, on top, 300 x 301, centred on the screen): a picture and a
// caption label. It is shown while the program starts, and later serves as the wait window of
// a newsgroup list fetch, whose caption counts the groups and whose "Stop" button (hidden
// unless a fetch shows it) ends the fetch.
class SplashWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr const char* LoadingText = "Please, wait. Loading can take up a few minutes";

    static constexpr int MaxMapWaitMs = 2000;

    explicit SplashWindow(QWidget* parent = nullptr);

    std::string caption() const;
    void setCaption(const std::string& text);
    QLabel* captionLabel() const { return caption_; }
    QPushButton* stopButton() const { return stop_; }

    // Shows the window centred on the screen and paints it at once: returns once the window
    // system has mapped it and the picture and caption are painted (or after MaxMapWaitMs
    // when the window system never says so), so work that blocks the event loop may follow.
    void showAndPaint();

signals:
    void stopClicked();

private:
    QLabel* caption_;
    QPushButton* stop_;
};

} // namespace nimbra
