// "Remember password": the account kept in the keyring (an in-memory one here), filled in for
// its server, removed when the box is cleared, and never written to the program's own files.
#include "app/MainWindow.h"
#include "app/NewsGroupsPage.h"
#include "app/RememberedPassword.h"
#include "platform/AtomicFile.h"
#include "platform/RegistryStore.h"
#include "tests/app/MemoryKeyring.h"
#include "tests/app/RecordingDialogs.h"

#include <QCheckBox>
#include <QLineEdit>
#include <gtest/gtest.h>

namespace nimbra {
namespace {

using test::MemoryKeyring;
using test::RecordingDialogs;

const std::string key = "news server news.example.org";

void leave(QLineEdit* edit, const QString& text)
{
    edit->setText(text);
    emit edit->editingFinished();
}

} // namespace

TEST(RememberedPassword, WithoutAKeyringTheBoxIsDisabledAndSaysWhy)
{
    RecordingDialogs dialogs;
    MainWindow window(&dialogs);
    QCheckBox* box = window.newsGroupsPage()->rememberCheck();
    EXPECT_FALSE(box->isEnabled()) << "no keyring was given";
    MemoryKeyring none(false);
    window.setKeyring(none);
    EXPECT_FALSE(box->isEnabled());
    EXPECT_NE(box->toolTip().indexOf("No desktop keyring"), -1);
    leave(window.newsGroupsPage()->passwordEdit(), "secret");
    EXPECT_EQ(none.writes, 0);
}

TEST(RememberedPassword, TickingKeepsTheAccountAndChoosingTheServerAgainFillsItIn)
{
    RecordingDialogs dialogs;
    MemoryKeyring keyring;
    MainWindow window(&dialogs);
    window.setKeyring(keyring);
    NewsGroupsPage& page = *window.newsGroupsPage();
    ASSERT_TRUE(page.rememberCheck()->isEnabled());
    leave(page.hostEdit(), "News.Example.org");
    leave(page.userNameEdit(), "me");
    leave(page.passwordEdit(), "s3cret");
    EXPECT_TRUE(keyring.entries.empty()) << "kept before the box was ticked";
    page.rememberCheck()->setChecked(true);
    EXPECT_EQ(keyring.entries[key], "me\ns3cret");
    leave(page.passwordEdit(), "n3w");
    EXPECT_EQ(keyring.entries[key], "me\nn3w") << "a changed password replaces the kept one";

    // Another server: nothing to fill in, and the box does not carry over.
    page.userNameEdit()->clear();
    page.passwordEdit()->clear();
    leave(page.hostEdit(), "other.example.org");
    EXPECT_FALSE(page.rememberCheck()->isChecked());
    EXPECT_TRUE(page.passwordEdit()->text().isEmpty());
    // Back to the first server: user name and password come back, the box is ticked.
    leave(page.hostEdit(), "news.example.org");
    EXPECT_EQ(page.userNameEdit()->text(), "me");
    EXPECT_EQ(page.passwordEdit()->text(), "n3w");
    EXPECT_TRUE(page.rememberCheck()->isChecked());
}

TEST(RememberedPassword, ATypedPasswordOrAnotherUserIsNotOverwritten)
{
    RecordingDialogs dialogs;
    MemoryKeyring keyring;
    keyring.entries[key] = "me\nkept";
    MainWindow window(&dialogs);
    window.setKeyring(keyring);
    NewsGroupsPage& page = *window.newsGroupsPage();
    leave(page.userNameEdit(), "someone-else");
    leave(page.hostEdit(), "news.example.org");
    EXPECT_TRUE(page.passwordEdit()->text().isEmpty());
    page.userNameEdit()->clear();
    page.passwordEdit()->setText("typed");
    leave(page.hostEdit(), "news.example.org");
    EXPECT_EQ(page.passwordEdit()->text(), "typed");
}

TEST(RememberedPassword, UntickingRemovesTheEntry)
{
    RecordingDialogs dialogs;
    MemoryKeyring keyring;
    keyring.entries[key] = "me\nkept";
    keyring.entries["news server other"] = "x\ny";
    MainWindow window(&dialogs);
    window.setFieldText(Field::Host, "news.example.org");
    window.setKeyring(keyring);  // fills in the account of the loaded server
    NewsGroupsPage& page = *window.newsGroupsPage();
    EXPECT_EQ(page.passwordEdit()->text(), "kept");
    ASSERT_TRUE(page.rememberCheck()->isChecked());
    page.rememberCheck()->setChecked(false);
    EXPECT_EQ(keyring.entries.count(key), 0u);
    EXPECT_EQ(keyring.entries.count("news server other"), 1u) << "another server's entry was touched";
}

TEST(RememberedPassword, AClosedWindowKeepsTheAccountInTheKeyringOnlyNeverInItsFiles)
{
    RecordingDialogs dialogs;
    MemoryKeyring keyring;
    {
        MainWindow window(&dialogs);
        window.setKeyring(keyring);
        NewsGroupsPage& page = *window.newsGroupsPage();
        leave(page.hostEdit(), "news.example.org");
        page.rememberCheck()->setChecked(true);
        page.userNameEdit()->setText("me");
        page.passwordEdit()->setText("pa55-w0rd");  // not left: the close keeps it
        window.FormClose();
    }
    EXPECT_EQ(keyring.entries[key], "me\npa55-w0rd");
    std::string settings;
    ASSERT_TRUE(AtomicFile::read(RegistryStore::defaultPath(), settings));
    EXPECT_EQ(settings.find("pa55-w0rd"), std::string::npos);
    EXPECT_NE(settings.find("news.example.org"), std::string::npos);
}

} // namespace nimbra
