// The "SSL/TLS" box beside the port, its place among the stored settings, and the question
// about a server certificate the system does not trust.
#include "app/MainWindow.h"
#include "app/NewsGroupsPage.h"
#include "app/ServerCertificates.h"
#include "app/WindowSettings.h"
#include "platform/RegistryStore.h"
#include "tests/app/RecordingDialogs.h"

#include <QCheckBox>
#include <QLineEdit>
#include <gtest/gtest.h>

namespace nimbra {
namespace {

using test::RecordingDialogs;

const std::string first(64, 'a');
const std::string second(64, 'b');

} // namespace

TEST(TlsSettings, TickingMovesOnlyTheConventionalPorts)
{
    RecordingDialogs dialogs;
    MainWindow window(&dialogs);
    QCheckBox* tls = window.newsGroupsPage()->tlsCheck();
    QLineEdit* port = window.newsGroupsPage()->portEdit();
    EXPECT_EQ(tls->text().toStdString(), "SSL/TLS");
    EXPECT_FALSE(tls->isChecked());
    port->setText("119");
    tls->click();
    EXPECT_EQ(port->text().toStdString(), "563");
    EXPECT_EQ(window.fieldText(Field::Tls), "1");
    tls->click();
    EXPECT_EQ(port->text().toStdString(), "119");
    port->setText("8119");  // a port the user chose stays whatever the box says
    tls->click();
    EXPECT_EQ(port->text().toStdString(), "8119");
    tls->click();
    EXPECT_EQ(port->text().toStdString(), "8119");
    dialogs.answers = {true};
    ASSERT_TRUE(window.close());
}

TEST(TlsSettings, ChoicePersistsWithTheOtherSettingsAndLeavesTheStoredPortAlone)
{
    {
        RecordingDialogs dialogs;
        MainWindow window(&dialogs);
        window.newsGroupsPage()->tlsCheck()->click();
        window.setFieldText(Field::Port, "119");  // TLS on a port of the user's own choice
        dialogs.answers = {true};
        ASSERT_TRUE(window.close());
    }
    {
        RegistryStore store;
        ASSERT_TRUE(store.openKey(WindowSettings::SettingsKey, false));
        EXPECT_EQ(store.readString("tls"), "1");
        EXPECT_EQ(store.readString("port"), "119");
    }
    RecordingDialogs dialogs;
    MainWindow window(&dialogs);
    EXPECT_TRUE(window.newsGroupsPage()->tlsCheck()->isChecked());
    EXPECT_EQ(window.fieldText(Field::Port), "119");
}

TEST(TlsSettings, FirstStartLeavesTlsOff)
{
    RecordingDialogs dialogs;
    MainWindow window(&dialogs);
    EXPECT_EQ(window.fieldText(Field::Tls), "0");
    EXPECT_EQ(window.fieldText(Field::Port), "119");
}

TEST(ServerCertificates, AskedOncePerCertificateAndRememberedBesideTheSettings)
{
    RegistryStore store;
    ServerCertificates certificates(store);
    RecordingDialogs dialogs;
    EXPECT_EQ(certificates.accepted("News.Example"), "");

    dialogs.answers = {true};
    EXPECT_TRUE(certificates.askOnce(dialogs, "News.Example", first, "/CN=news.example", "self-signed certificate"));
    ASSERT_EQ(dialogs.questions.size(), 1u);
    EXPECT_NE(dialogs.questions[0].find("News.Example"), std::string::npos);
    EXPECT_NE(dialogs.questions[0].find(first), std::string::npos);
    EXPECT_NE(dialogs.questions[0].find("self-signed certificate"), std::string::npos);
    EXPECT_EQ(certificates.accepted("news.example"), first);  // host names are not case-sensitive

    // The same certificate again: no question.
    EXPECT_TRUE(certificates.askOnce(dialogs, "news.example", first, "/CN=news.example", "self-signed certificate"));
    EXPECT_EQ(dialogs.questions.size(), 1u);
    // Another certificate for the server is asked about, and a refusal is kept too.
    dialogs.answers = {false};
    EXPECT_FALSE(certificates.askOnce(dialogs, "news.example", second, "/CN=other", "self-signed certificate"));
    EXPECT_EQ(dialogs.questions.size(), 2u);
    EXPECT_EQ(certificates.accepted("news.example"), "");
    EXPECT_FALSE(certificates.askOnce(dialogs, "news.example", second, "/CN=other", "self-signed certificate"));
    EXPECT_EQ(dialogs.questions.size(), 2u);
    // Nothing to show, nothing to accept.
    EXPECT_FALSE(certificates.askOnce(dialogs, "news.example", "", "", "the server sent no certificate"));
    EXPECT_EQ(dialogs.questions.size(), 2u);

    RegistryStore reread;
    ASSERT_TRUE(reread.openKey(WindowSettings::SettingsKey, false));
    EXPECT_EQ(reread.readString("tlscert news.example"), "refuse " + second);
}

TEST(ServerCertificates, NobodyAttendingRefusesForNowAndKeepsNothing)
{
    RegistryStore store;
    ServerCertificates certificates(store);
    RecordingDialogs dialogs;
    dialogs.isAttended = false;
    dialogs.answers = {true};  // an unattended run answers questions Yes: this one is not put
    EXPECT_FALSE(certificates.askOnce(dialogs, "news.example", first, "/CN=news.example", "self-signed certificate"));
    EXPECT_TRUE(dialogs.questions.empty());
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_NE(dialogs.messages[0].find(first), std::string::npos);
    EXPECT_EQ(certificates.accepted("news.example"), "");

    // The next attended connect still asks.
    dialogs.isAttended = true;
    EXPECT_TRUE(certificates.askOnce(dialogs, "news.example", first, "/CN=news.example", "self-signed certificate"));
    EXPECT_EQ(dialogs.questions.size(), 1u);
}

} // namespace nimbra
