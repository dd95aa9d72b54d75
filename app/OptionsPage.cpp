#include "app/OptionsPage.h"

#include "platform/AppPaths.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace nimbra {
namespace {

QLineEdit* numberEdit(const char* text, int maxLength)
{
    auto* edit = new QLineEdit(QString::fromLatin1(text));
    edit->setMaxLength(maxLength);
    edit->setMaximumWidth(80);
    return edit;
}

} // namespace

OptionsPage::OptionsPage(QWidget* parent)
    : QWidget(parent),
      timeout_(numberEdit("30", 3)),
      cache_(numberEdit("5000", 5)),
      folder_(new QLineEdit(QString::fromStdString(AppPaths::defaultDownloadFolder()))),
      minimum_(numberEdit("0", 5)),
      maximum_(numberEdit("200", 5)),
      chooseFolder_(new QPushButton(QStringLiteral("..."))),
      oneFolder_(new QRadioButton(QStringLiteral("Save everything to this folder"))),
      perGroup_(new QRadioButton(QStringLiteral("Separate by news groups"))),
      reset_(new QPushButton(QStringLiteral("Reset"))),
      fastScan_(new QCheckBox(QStringLiteral("Fast scan (overview)"))),
      pipeline_(numberEdit("16", 2)),
      connections_(numberEdit("4", 2)),
      compression_(new QCheckBox(QStringLiteral("Compression"))),
      subjectMatch_(new QLineEdit),
      subjectExclude_(new QLineEdit),
      skipKnown_(new QCheckBox(QStringLiteral("Skip pictures I already have"))),
      similarBits_(numberEdit("5", 2))
{
    skipKnown_->setChecked(true);
    skipKnown_->setToolTip(QStringLiteral("A file whose content was saved before (even if deleted since) is not "
                                          "saved again; cleared, every file is saved under a name of its own."));
    similarBits_->setToolTip(QStringLiteral("Pictures whose difference hashes differ in at most this many of "
                                            "64 bits (0 to 16) are shown as similar."));
    fastScan_->setChecked(true);
    fastScan_->setToolTip(QStringLiteral("Decide from the server's overview which articles to fetch, where the "
                                         "server offers one; cleared, every article is looked at one by one."));
    pipeline_->setToolTip(QStringLiteral("Articles asked for at once on the connection (1 to 64); 1 asks for "
                                         "one at a time. Used with the fast scan."));
    connections_->setToolTip(QStringLiteral("Connections to the server that fetch articles at once (1 to 50); the "
                                            "server may allow fewer. Used with the fast scan."));
    compression_->setChecked(true);
    compression_->setToolTip(QStringLiteral("Compress the connection (COMPRESS DEFLATE) where the server offers "
                                            "it. Used with the fast scan."));
    for (QLineEdit* edit : {subjectMatch_, subjectExclude_})
        edit->setPlaceholderText(QStringLiteral("regular expression; empty: every subject"));
    folder_->setReadOnly(true);
    chooseFolder_->setFixedWidth(32);
    oneFolder_->setChecked(true);

    auto* connection = new QFormLayout;
    connection->addRow(QStringLiteral("Timeout, sec"), timeout_);
    connection->addRow(QStringLiteral("Article cache"), cache_);

    auto* sizes = new QGroupBox(QStringLiteral("Size of articles"));
    auto* sizeFields = new QFormLayout(sizes);
    sizeFields->addRow(QStringLiteral("Minimum ,Kb"), minimum_);
    sizeFields->addRow(QStringLiteral("Maximum, Kb"), maximum_);

    auto* top = new QHBoxLayout;
    top->addLayout(connection);
    top->addWidget(sizes);
    top->addStretch(1);

    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(folder_, 1);
    folderRow->addWidget(chooseFolder_);

    auto* statistics = new QHBoxLayout;
    statistics->addWidget(new QLabel(QStringLiteral("Statistics")));
    statistics->addWidget(reset_);
    statistics->addStretch(1);

    auto* page = new QVBoxLayout(this);
    page->addLayout(top);
    page->addWidget(new QLabel(QStringLiteral("Path to save files")));
    page->addLayout(folderRow);
    page->addWidget(oneFolder_);
    page->addWidget(perGroup_);
    auto* scan = new QGroupBox(QStringLiteral("Scan"));
    auto* scanFields = new QFormLayout(scan);
    auto* scanChoices = new QHBoxLayout;
    scanChoices->addWidget(fastScan_);
    scanChoices->addWidget(compression_);
    scanChoices->addStretch(1);
    scanFields->addRow(scanChoices);
    scanFields->addRow(QStringLiteral("Pipeline"), pipeline_);
    scanFields->addRow(QStringLiteral("Connections"), connections_);
    scanFields->addRow(QStringLiteral("Subject matches"), subjectMatch_);
    scanFields->addRow(QStringLiteral("Subject does not match"), subjectExclude_);
    page->addWidget(scan);
    auto* duplicates = new QGroupBox(QStringLiteral("Duplicates"));
    auto* duplicateFields = new QFormLayout(duplicates);
    duplicateFields->addRow(skipKnown_);
    duplicateFields->addRow(QStringLiteral("Similar within, bits"), similarBits_);
    page->addWidget(duplicates);
    page->addLayout(statistics);
    page->addStretch(1);
}

} // namespace nimbra
