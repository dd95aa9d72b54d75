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
