#include "app/GraphicsPage.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>

namespace nimbra {
namespace {

constexpr int CaptionLeft = 8;
constexpr int ValueLeft = 80;
constexpr int ValueWidth = 128;
constexpr int RowHeight = 22;
constexpr int TodayLeft = 80;
constexpr int TotalLeft = 148;
constexpr int StatisticsTop = 140;

QLabel* caption(QWidget* page, const char* text, int left, int top)
{
    auto* label = new QLabel(QString::fromLatin1(text), page);
    label->setGeometry(left, top, 70, RowHeight);
    return label;
}

} // namespace

QLabel* GraphicsPage::value(int left, int top, int width)
{
    auto* label = new QLabel(this);
    label->setGeometry(left, top, width, RowHeight);
    return label;
}

GraphicsPage::GraphicsPage(QWidget* parent) : QWidget(parent)
{
    auto* box = new QFrame(this);
    box->setFrameShape(QFrame::Box);
    box->setFrameShadow(QFrame::Sunken);
    box->setGeometry(BoxLeft - 1, BoxTop - 1, BoxWidth + 2, BoxHeight + 2);

    image_ = new QLabel(this);
    image_->setScaledContents(true);
    image_->setAlignment(Qt::AlignCenter);
    image_->setGeometry(BoxLeft, BoxTop, BoxWidth, BoxHeight);

    caption(this, "Name", CaptionLeft, BoxTop);
    name_ = value(ValueLeft, BoxTop, ValueWidth);
    caption(this, "Size,bytes", CaptionLeft, BoxTop + RowHeight);
    size_ = value(ValueLeft, BoxTop + RowHeight, ValueWidth);
    caption(this, "Width", CaptionLeft, BoxTop + 2 * RowHeight);
    width_ = value(ValueLeft, BoxTop + 2 * RowHeight, ValueWidth);
    caption(this, "Height", CaptionLeft, BoxTop + 3 * RowHeight);
    height_ = value(ValueLeft, BoxTop + 3 * RowHeight, ValueWidth);

    caption(this, "Today", TodayLeft, StatisticsTop);
    caption(this, "Total", TotalLeft, StatisticsTop);
    caption(this, "Files", CaptionLeft, StatisticsTop + RowHeight);
    caption(this, "KB", CaptionLeft, StatisticsTop + 2 * RowHeight);
    todayFiles_ = value(TodayLeft, StatisticsTop + RowHeight, 64);
    totalFiles_ = value(TotalLeft, StatisticsTop + RowHeight, 64);
    todayKB_ = value(TodayLeft, StatisticsTop + 2 * RowHeight, 64);
    totalKB_ = value(TotalLeft, StatisticsTop + 2 * RowHeight, 64);
    for (QLabel* counter : {todayFiles_, totalFiles_, todayKB_, totalKB_})
        counter->setText(QStringLiteral("0"));

    const int buttonTop = BoxTop + BoxHeight + 8;
    fullScreen_ = new QPushButton(QStringLiteral("Full Screen"), this);
    fullScreen_->setGeometry(BoxLeft, buttonTop, 100, 26);
    delete_ = new QPushButton(QStringLiteral("Delete"), this);
    delete_->setGeometry(BoxLeft + BoxWidth - 100, buttonTop, 100, 26);
    // In the free space left of the box, on the row of the box's buttons.
    gallery_ = new QPushButton(QStringLiteral("Gallery"), this);
    gallery_->setGeometry(CaptionLeft, buttonTop, 100, 26);

    setMinimumSize(BoxLeft + BoxWidth + 8, buttonTop + 26 + 8);
}

} // namespace nimbra
