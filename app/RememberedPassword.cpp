#include "app/RememberedPassword.h"

#include "app/NewsGroupsPage.h"
#include "platform/Keyring.h"
#include "platform/Log.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QSignalBlocker>

#include <algorithm>
#include <cctype>

namespace nimbra {

RememberedPassword::RememberedPassword(NewsGroupsPage& page, Keyring& keyring)
    : page_(page), keyring_(keyring), box_(page.rememberCheck())
{
    const bool available = keyring_.available();
    box_->setEnabled(available);
    box_->setToolTip(available ? QStringLiteral("Keeps the user name and password for this server in the "
                                                "desktop's keyring; unticking removes them.")
                               : QString::fromLatin1(NoKeyringTip));
    if (!available)
        return;
    connect(box_, &QCheckBox::toggled, this, [this](bool ticked) { toggled(ticked); });
    connect(page_.hostEdit(), &QLineEdit::editingFinished, this, [this] { recall(); });
    for (QLineEdit* edit : {page_.userNameEdit(), page_.passwordEdit()})
        connect(edit, &QLineEdit::editingFinished, this, [this] { keep(); });
}

std::string RememberedPassword::keyFor(const std::string& host)
{
    std::string key = host;
    std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return "news server " + key;
}

std::string RememberedPassword::host() const
{
    return page_.hostEdit()->text().trimmed().toStdString();
}

void RememberedPassword::recall()
{
    if (!box_->isEnabled() || host().empty())
        return;
    const std::optional<std::string> entry = keyring_.read(keyFor(host()));
    const std::string::size_type split = entry ? entry->find('\n') : std::string::npos;
    const QSignalBlocker quiet(box_);
    if (split == std::string::npos) {
        // Another server: what was ticked for the last one does not carry over.
        box_->setChecked(false);
        return;
    }
    const QString user = QString::fromStdString(entry->substr(0, split));
    QLineEdit* userEdit = page_.userNameEdit();
    QLineEdit* passwordEdit = page_.passwordEdit();
    if (!passwordEdit->text().isEmpty() || (!userEdit->text().isEmpty() && userEdit->text() != user))
        return;
    userEdit->setText(user);
    passwordEdit->setText(QString::fromStdString(entry->substr(split + 1)));
    box_->setChecked(true);
    qCInfo(logApp, "the account for %s was filled in from the keyring", host().c_str());
}

void RememberedPassword::keep()
{
    const std::string password = page_.passwordEdit()->text().toStdString();
    if (!box_->isEnabled() || !box_->isChecked() || host().empty() || password.empty())
        return;
    const std::string entry = page_.userNameEdit()->text().toStdString() + '\n' + password;
    if (keyring_.read(keyFor(host())) == entry)
        return;
    if (keyring_.write(keyFor(host()), entry))
        qCInfo(logApp, "the account for %s is kept in the keyring", host().c_str());
}

void RememberedPassword::toggled(bool ticked)
{
    if (ticked) {
        keep();
        return;
    }
    if (!host().empty() && keyring_.remove(keyFor(host())))
        qCInfo(logApp, "the account for %s was removed from the keyring", host().c_str());
}

} // namespace nimbra
