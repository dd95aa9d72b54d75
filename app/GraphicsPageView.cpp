#include "app/GraphicsPageView.h"

#include "app/GraphicsPage.h"
#include "download/PicturePreview.h"
#include "download/PreviewMaker.h"

#include <QLabel>
#include <QPixmap>
#include <QPushButton>

namespace nimbra {

GraphicsPageView::GraphicsPageView(GraphicsPage& page, Statistics& statistics, std::function<void()> showStatistics)
    : page_(page), statistics_(statistics), showStatistics_(std::move(showStatistics)), fullScreen_(page.window())
{
    connect(page_.fullScreenButton(), &QPushButton::clicked, this, [this] { showFullScreen(); });
    connect(page_.deleteButton(), &QPushButton::clicked, this, [this] { deleteShown(); });
}

void GraphicsPageView::showSavedName(const std::string& name, const std::string& path)
{
    page_.nameLabel()->setText(QString::fromStdString(name));
    shownPath_ = path;
    for (const auto& listener : savedListeners_)
        listener.second(path);
}

void GraphicsPageView::setSavedListener(const void* owner, std::function<void(const std::string& path)> listener)
{
    std::erase_if(savedListeners_, [owner](const auto& listener) { return listener.first == owner; });
    if (listener)
        savedListeners_.emplace_back(owner, std::move(listener));
}

void GraphicsPageView::showPicture(const PicturePreview& preview)
{
    if (preview.path != shownPath_)
        return;
    page_.widthLabel()->setNum(preview.width);
    page_.heightLabel()->setNum(preview.height);
    page_.image()->setGeometry(preview.box);
    if (preview.image.isNull())
        page_.image()->clear();
    else
        page_.image()->setPixmap(QPixmap::fromImage(preview.image));
    fullScreen_.setPicture(preview.path, preview.width, preview.height);
}

void GraphicsPageView::showSavedSize(std::int64_t bytes)
{
    page_.sizeLabel()->setText(QString::number(bytes));
}

void GraphicsPageView::addToStatistics(std::int32_t files, std::int32_t kilobytes)
{
    statistics_.TotalFiles += files;
    statistics_.TodayFiles += files;
    statistics_.TotalKB += kilobytes;
    statistics_.TodayKB += kilobytes;
    if (showStatistics_)
        showStatistics_();
}

void GraphicsPageView::countDuplicate(const std::string&, const std::string&)
{
    ++duplicates_;
    if (duplicatesListener_)
        duplicatesListener_(duplicates_);
}

void GraphicsPageView::showNotice(const std::string& text)
{
    notice_ = text;
    if (noticeListener_)
        noticeListener_(text);
}

void GraphicsPageView::showFullScreen()
{
    fullScreen_.showModal();
}

void GraphicsPageView::deleteShown()
{
    page_.image()->clear();
    PreviewMaker::remove(shownPath_);
    shownPath_.clear();
    fullScreen_.clearPicture();
    for (QLabel* label : {page_.heightLabel(), page_.widthLabel(), page_.sizeLabel(), page_.nameLabel()})
        label->clear();
}

} // namespace nimbra
