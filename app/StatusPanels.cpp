#include "app/StatusPanels.h"

#include <QLabel>

namespace nimbra {

StatusPanels::StatusPanels(QWidget* parent) : QStatusBar(parent)
{
    setSizeGripEnabled(false);
    for (int i = 0; i < Count; ++i) {
        auto* label = new QLabel(this);
        label->setFixedWidth(Widths[static_cast<std::size_t>(i)]);
        label->setFrameShape(QFrame::Panel);
        label->setFrameShadow(QFrame::Sunken);
        panels_[static_cast<std::size_t>(i)] = label;
        addWidget(label);
    }
    panels_[0]->setText(QStringLiteral("Group:"));
    panels_[1]->setText(QStringLiteral("Article:"));
    duplicates_ = new QLabel(this);
    duplicates_->setFrameShape(QFrame::Panel);
    duplicates_->setFrameShadow(QFrame::Sunken);
    duplicates_->setToolTip(QStringLiteral("Files not kept because their content was saved before"));
    addWidget(duplicates_);
    setDuplicates(0);
    notice_ = new QLabel(this);
    notice_->hide();
    addWidget(notice_, 1);
}

void StatusPanels::setDuplicates(int count)
{
    duplicates_->setText(QStringLiteral("Duplicates: %1").arg(count));
}

void StatusPanels::showNotice(const std::string& text)
{
    notice_->setText(QString::fromStdString(text));
    notice_->setToolTip(notice_->text());
    notice_->show();
}

std::string StatusPanels::panelText(int panel) const
{
    return this->panel(panel)->text().toStdString();
}

void StatusPanels::setPanelText(int panel, const std::string& text)
{
    this->panel(panel)->setText(QString::fromStdString(text));
}

} // namespace nimbra
