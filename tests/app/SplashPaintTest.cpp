// The splash is on the screen, painted, before the loading that follows it blocks the event
// loop. Under a real window system (this test also runs under Xvfb) a paint made before the
// window is mapped is lost, so what counts is a paint while the window is exposed.
#include "app/SplashWindow.h"

#include <QEvent>
#include <QLabel>
#include <QWindow>
#include <gtest/gtest.h>

namespace nimbra {
namespace {

class ExposedPaints : public QObject {
public:
    explicit ExposedPaints(QWidget& top) : top_(top) {}
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && top_.windowHandle() && top_.windowHandle()->isExposed())
            ++count;
        return false;
    }

private:
    QWidget& top_;
};

} // namespace

TEST(SplashPaint, TheCaptionIsPaintedOnTheMappedWindowBeforeShowAndPaintReturns)
{
    SplashWindow splash;
    ExposedPaints paints(splash);
    splash.captionLabel()->installEventFilter(&paints);
    splash.showAndPaint();
    // Nothing runs the event loop from here on, as while the main window loads.
    ASSERT_NE(splash.windowHandle(), nullptr);
    EXPECT_TRUE(splash.windowHandle()->isExposed());
    EXPECT_GE(paints.count, 1) << "the caption was not painted on the exposed window";
}

} // namespace nimbra
