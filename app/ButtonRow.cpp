#include "app/ButtonRow.h"

#include <QHBoxLayout>
#include <QPushButton>

namespace nimbra {

ButtonRow::ButtonRow(QWidget* parent)
    : QWidget(parent),
      getFiles_(new QPushButton(QStringLiteral("Get Files"))),
      stop_(new QPushButton(QStringLiteral("Stop"))),
      about_(new QPushButton(QStringLiteral("About"))),
      help_(new QPushButton(QStringLiteral("Help"))),
      close_(new QPushButton(QStringLiteral("Close")))
{
    stop_->setEnabled(false);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    for (QPushButton* button : {getFiles_, stop_, about_, help_, close_})
        row->addWidget(button);
}

} // namespace nimbra
