#include "app/NewsGroupsPage.h"

#include "app/RememberedPassword.h"

#include "app/GroupListModel.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

namespace nimbra {

NewsGroupsPage::NewsGroupsPage(QWidget* parent)
    : QWidget(parent),
      host_(new QLineEdit),
      port_(new QLineEdit(QStringLiteral("119"))),
      tls_(new QCheckBox(QStringLiteral("SSL/TLS"))),
      userName_(new QLineEdit),
      password_(new QLineEdit),
      remember_(new QCheckBox(QStringLiteral("Remember password"))),
      filter_(new QLineEdit(QStringLiteral("binaries"))),
      listBox_(new QListView),
      model_(new GroupListModel(this)),
      getGroups_(new QPushButton(QStringLiteral("Get groups")))
{
    port_->setMaxLength(5);
    password_->setEchoMode(QLineEdit::Password);
    // Until the window is given a keyring that answers.
    remember_->setEnabled(false);
    remember_->setToolTip(QString::fromLatin1(RememberedPassword::NoKeyringTip));
    // Only the conventional ports follow the box; a port the user chose stays.
    connect(tls_, &QCheckBox::toggled, this, [this](bool on) {
        if (on && port_->text() == QStringLiteral("119"))
            port_->setText(QStringLiteral("563"));
        else if (!on && port_->text() == QStringLiteral("563"))
            port_->setText(QStringLiteral("119"));
    });

    // Many thousands of rows: uniform rows keep layout and scrolling independent of the count.
    listBox_->setModel(model_);
    listBox_->setUniformItemSizes(true);
    listBox_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    listBox_->setEditTriggers(QAbstractItemView::NoEditTriggers);

    auto* fields = new QGridLayout;
    fields->addWidget(new QLabel(QStringLiteral("NNTP Server")), 0, 0);
    fields->addWidget(host_, 0, 1);
    fields->addWidget(new QLabel(QStringLiteral("Port: ")), 0, 2);
    fields->addWidget(port_, 0, 3);
    fields->addWidget(tls_, 0, 4);
    fields->addWidget(new QLabel(QStringLiteral("User name")), 1, 0);
    fields->addWidget(userName_, 1, 1);
    fields->addWidget(new QLabel(QStringLiteral("Password")), 1, 2);
    // The password spans the port's and the SSL/TLS box's columns, and its box sits right
    // under it, so the field is not squeezed to the port's width.
    fields->addWidget(password_, 1, 3, 1, 2);
    fields->addWidget(new QLabel(QStringLiteral("Newsgroups which\ncontain")), 2, 0);
    fields->addWidget(filter_, 2, 1);
    fields->addWidget(getGroups_, 2, 2, 1, 2);
    fields->addWidget(remember_, 2, 4);
    fields->setColumnStretch(1, 3);
    fields->setColumnStretch(3, 1);

    auto* page = new QVBoxLayout(this);
    page->addLayout(fields);
    page->addWidget(listBox_, 1);
}

std::vector<int> NewsGroupsPage::selectedRows() const
{
    std::vector<int> rows;
    for (const QModelIndex& index : listBox_->selectionModel()->selectedRows())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

bool NewsGroupsPage::isSelected(int row) const
{
    return listBox_->selectionModel()->isRowSelected(row, QModelIndex());
}

} // namespace nimbra
