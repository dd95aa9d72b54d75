#include "app/AboutBox.h"

#include "app/BuildDate.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace nimbra {

AboutBox::AboutBox(QWidget* parent)
    : QDialog(parent),
      title_(new QLabel(QStringLiteral("Nimbra File V2.03"))),
      build_(new QLabel(BuildDate::aboutText())),
      close_(new QPushButton(QStringLiteral("&Close")))
{
    setWindowTitle(QStringLiteral("About Nimbra File"));
    QFont big = title_->font();
    big.setPointSize(big.pointSize() + 6);
    big.setBold(true);
    title_->setFont(big);
    title_->setAlignment(Qt::AlignCenter);
    build_->setAlignment(Qt::AlignCenter);
    connect(close_, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(title_);
    layout->addWidget(build_);
    layout->addWidget(close_, 0, Qt::AlignHCenter);
    setFixedSize(sizeHint().expandedTo(QSize(300, 160)));
}

} // namespace nimbra
