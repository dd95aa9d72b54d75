// The fields' entry and leave rules as the user meets them, and the folder chooser.
#include "app/MainWindow.h"
#include "app/NewsGroupsPage.h"
#include "app/OptionsPage.h"
#include "tests/app/RecordingDialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <gtest/gtest.h>

namespace nimbra {
namespace {

using test::RecordingDialogs;

void type(QLineEdit* edit, const QString& text, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    for (const QChar c : text) {
        const int key = c == QChar(8) ? int(Qt::Key_Backspace) : int(c.toUpper().unicode());
        QKeyEvent press(QEvent::KeyPress, key, modifiers, QString(c));
        QApplication::sendEvent(edit, &press);
    }
}

void leave(QLineEdit* edit, Qt::FocusReason reason = Qt::TabFocusReason)
{
    QFocusEvent out(QEvent::FocusOut, reason);
    QApplication::sendEvent(edit, &out);
}

TEST(WindowFields, NumericFieldsTakeDigitsAndBackspaceOnly)
{
    RecordingDialogs dialogs;
    MainWindow window(&dialogs);
    QLineEdit* port = window.newsGroupsPage()->portEdit();
    port->clear();
    type(port, QStringLiteral("1a2 -3.x"));
    EXPECT_EQ(port->text(), "123");
    type(port, QString(QChar(8)));
    EXPECT_EQ(port->text(), "12");
    type(port, QStringLiteral("34567"));
    EXPECT_EQ(port->text(), "12345"); // at most five

    QLineEdit* timeout = window.optionsPage()->timeoutEdit();
    timeout->clear();
    type(timeout, QStringLiteral("9999"));
    EXPECT_EQ(timeout->text(), "999"); // at most three
    for (QLineEdit* edit : {window.optionsPage()->cacheEdit(), window.optionsPage()->minimumEdit(),
             window.optionsPage()->maximumEdit()}) {
        edit->clear();
        type(edit, QStringLiteral("4b5"));
        EXPECT_EQ(edit->text(), "45");
    }
    // Other fields take any text.
    QLineEdit* host = window.newsGroupsPage()->hostEdit();
    type(host, QStringLiteral("news-1.example"));
    EXPECT_EQ(host->text(), "news-1.example");
}

TEST(WindowFields, RulesRunWhenFocusLeavesTheField)
{
    RecordingDialogs dialogs;
    MainWindow window(&dialogs);
    OptionsPage* options = window.optionsPage();

    options->timeoutEdit()->setText("9");
    EXPECT_EQ(options->timeoutEdit()->text(), "9"); // not on each key
    leave(options->timeoutEdit());
    EXPECT_EQ(options->timeoutEdit()->text(), "20");
    options->timeoutEdit()->setText("600");
    leave(options->timeoutEdit());
    EXPECT_EQ(options->timeoutEdit()->text(), "600");

    options->cacheEdit()->setText("10001");
    leave(options->cacheEdit(), Qt::MouseFocusReason);
    EXPECT_EQ(options->cacheEdit()->text(), "2000");

    options->minimumEdit()->setText("300");
    leave(options->minimumEdit());
    EXPECT_EQ(options->minimumEdit()->text(), "0");

    options->maximumEdit()->setText("0");
    leave(options->maximumEdit());
    EXPECT_EQ(options->maximumEdit()->text(), "200");

    options->minimumEdit()->setText("80");
    leave(options->minimumEdit());
    options->maximumEdit()->setText("50");
    leave(options->maximumEdit());
    EXPECT_EQ(options->maximumEdit()->text(), "50");
    EXPECT_EQ(options->minimumEdit()->text(), "0");
}

TEST(WindowFields, InvalidSubjectFilterIsRefusedOnLeavingWithTheReason)
{
    RecordingDialogs dialogs;
    MainWindow window(&dialogs);
    OptionsPage* options = window.optionsPage();
    EXPECT_TRUE(options->fastScanCheck()->isChecked());

    options->subjectMatchEdit()->setText(QStringLiteral("\\.jpe?g$"));
    leave(options->subjectMatchEdit());
    EXPECT_TRUE(dialogs.messages.empty());

    options->subjectExcludeEdit()->setText(QStringLiteral("(sample"));
    leave(options->subjectExcludeEdit());
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].rfind("\"Subject does not match\" is not a valid regular expression: ", 0), 0u)
        << dialogs.messages[0];
    EXPECT_EQ(window.fieldText(Field::SubjectExclude), "(sample");  // kept, for the user to mend

    options->subjectExcludeEdit()->setText(QString());
    leave(options->subjectExcludeEdit());
    EXPECT_EQ(dialogs.messages.size(), 1u);  // empty: no filter, nothing to refuse
}

TEST(WindowFields, SwitchingToAnotherWindowIsNoLeave)
{
    RecordingDialogs dialogs;
    MainWindow window(&dialogs);
    QLineEdit* timeout = window.optionsPage()->timeoutEdit();
    timeout->setText("9");
    leave(timeout, Qt::ActiveWindowFocusReason);
    leave(timeout, Qt::PopupFocusReason);
    EXPECT_EQ(timeout->text(), "9");
}

TEST(WindowFields, ChosenFolderGetsOneTrailingSeparator)
{
    RecordingDialogs dialogs;
    MainWindow window(&dialogs);
    const std::string before = window.fieldText(Field::Folder);
    QPushButton* choose = window.optionsPage()->chooseFolderButton();

    choose->click(); // cancelled
    EXPECT_EQ(window.fieldText(Field::Folder), before);
    ASSERT_EQ(dialogs.folderTitles.size(), 1u);
    EXPECT_EQ(dialogs.folderTitles[0], "Choose a folder to save downloaded files|My computer");
    EXPECT_EQ(dialogs.preselected[0], before);

    dialogs.folderChoice = "/srv/pictures";
    choose->click();
    EXPECT_EQ(window.fieldText(Field::Folder), "/srv/pictures/");
    dialogs.folderChoice = "/srv/other/";
    choose->click();
    EXPECT_EQ(window.fieldText(Field::Folder), "/srv/other/");
    dialogs.folderChoice = "/";
    choose->click();
    EXPECT_EQ(window.fieldText(Field::Folder), "/");
    EXPECT_TRUE(window.optionsPage()->folderEdit()->isReadOnly());
}

} // namespace
} // namespace nimbra
