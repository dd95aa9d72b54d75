#include "app/CommandLineOptions.h"

#include "app/GroupListModel.h"
#include "app/MainWindow.h"
#include "app/NewsGroupsPage.h"
#include "app/OptionsPage.h"
#include "platform/PasswordFile.h"
#include "app/SessionWiring.h"
#include "download/SubjectFilter.h"

#include <QCheckBox>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QItemSelectionModel>
#include <QListView>
#include <QRadioButton>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace nimbra {
namespace {

bool allDigits(const std::string& text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::optional<std::string> valueOf(const QCommandLineParser& parser, const QCommandLineOption& option)
{
    if (!parser.isSet(option))
        return std::nullopt;
    return parser.value(option).toStdString();
}

[[noreturn]] void refuse(const QCommandLineParser& parser, const std::string& reason)
{
    std::fprintf(stderr, "nimbra: %s\n\n%s", reason.c_str(), parser.helpText().toLocal8Bit().constData());
    std::exit(2);
}

[[noreturn]] void fail(const std::string& reason)
{
    std::fprintf(stderr, "nimbra: %s\n", reason.c_str());
    std::exit(2);
}

// --password-file, --password, then the environment; the first found is the password.
void takePassword(CommandLineOptions& options, const std::optional<std::string>& file)
{
    if (file) {
        std::string error;
        options.password = PasswordFile::read(*file, error);
        if (!options.password)
            fail(error);
        options.passwordSource = "--password-file " + *file;
    } else if (options.password) {
        options.passwordSource = "--password";
        std::fprintf(stderr, "nimbra: warning: a password given with --password can be read by other users of this "
                             "machine (ps, /proc); give it with --password-file FILE (readable by you alone) or "
                             "the NIMBRA_PASSWORD environment variable\n");
    } else if (const char* variable = std::getenv("NIMBRA_PASSWORD"); variable && *variable) {
        options.password = std::string(variable);
        options.passwordSource = "NIMBRA_PASSWORD";
    }
    ::unsetenv("NIMBRA_PASSWORD");
}

} // namespace

CommandLineOptions CommandLineOptions::parse(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Nimbra File harvests files, above all pictures, from Usenet newsgroups.\n"
        "Each option fills the window field of the same name and is kept like a typed value.\n"
        "With --get-files the run starts at once and the program ends when it reports\n"
        "\"Processing is over\"; without a display it runs offscreen and prints each saved file\n"
        "and the counters. Exit status: 0 when the run completed, 1 when it did not, 2 for\n"
        "wrong options."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption server(QStringLiteral("server"), QStringLiteral("News server (\"NNTP Server\")."),
                                    QStringLiteral("host"));
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("Port of the news server (\"Port\")."),
                                  QStringLiteral("port"));
    const QCommandLineOption user(QStringLiteral("user"), QStringLiteral("User name, sent with the password."),
                                  QStringLiteral("name"));
    const QCommandLineOption password(QStringLiteral("password"),
                                      QStringLiteral("Password (visible to other users of the machine: prefer "
                                                     "--password-file or NIMBRA_PASSWORD)."),
                                      QStringLiteral("password"));
    const QCommandLineOption passwordFile(QStringLiteral("password-file"),
                                          QStringLiteral("Read the password from the first line of a file that "
                                                         "only you can read (mode 0600 or 0400). The environment "
                                                         "variable NIMBRA_PASSWORD is used when neither password "
                                                         "option is given."),
                                          QStringLiteral("file"));
    const QCommandLineOption tls(QStringLiteral("tls"),
                                 QStringLiteral("Connect over SSL/TLS (ticks \"SSL/TLS\"; port 119 becomes 563 "
                                                "unless --port is given)."));
    const QCommandLineOption noTls(QStringLiteral("no-tls"),
                                   QStringLiteral("Connect in plain text (clears \"SSL/TLS\")."));
    const QCommandLineOption folder(QStringLiteral("folder"),
                                    QStringLiteral("Download folder (\"Path to save files\")."),
                                    QStringLiteral("path"));
    const QCommandLineOption groups(QStringList{QStringLiteral("groups"), QStringLiteral("group")},
                                    QStringLiteral("Newsgroups to walk, comma-separated; may be repeated. They are "
                                                   "shown and selected in the list box."),
                                    QStringLiteral("names"));
    const QCommandLineOption separate(QStringLiteral("separate-by-groups"),
                                      QStringLiteral("Save into one folder per newsgroup (\"Separate by news groups\")."));
    const QCommandLineOption timeout(QStringLiteral("timeout"),
                                     QStringLiteral("Seconds without an answer before reconnecting, 10 to 600 "
                                                    "(\"Timeout, sec\")."),
                                     QStringLiteral("seconds"));
    const QCommandLineOption getFiles(QStringLiteral("get-files"),
                                      QStringLiteral("Press \"Get Files\" at once and end the program when the run "
                                                     "is over."));
    const QCommandLineOption keepOpen(QStringLiteral("keep-open"),
                                      QStringLiteral("With --get-files: keep the window open after the run."));
    const QCommandLineOption verbose(QStringLiteral("verbose"),
                                     QStringLiteral("Copy every line of the log to standard error."));
    const QCommandLineOption rescan(QStringLiteral("rescan"),
                                    QStringLiteral("Scan the newsgroups from their first article again instead of "
                                                   "from where the last run stopped."));
    const QCommandLineOption classicWalk(QStringLiteral("classic-walk"),
                                         QStringLiteral("Look at every article one by one instead of deciding from "
                                                        "the overview (clears \"Fast scan (overview)\")."));
    const QCommandLineOption match(QStringLiteral("match"),
                                   QStringLiteral("Fetch only articles whose subject matches this regular expression "
                                                  "(\"Subject matches\"; with the overview)."),
                                   QStringLiteral("expression"));
    const QCommandLineOption exclude(QStringLiteral("exclude"),
                                     QStringLiteral("Fetch no article whose subject matches this regular expression "
                                                    "(\"Subject does not match\"; with the overview)."),
                                     QStringLiteral("expression"));
    const QCommandLineOption pipeline(QStringLiteral("pipeline"),
                                      QStringLiteral("Articles asked for at once, 1 to 64; 1 asks for one at a time "
                                                     "(\"Pipeline\"; with the overview)."),
                                      QStringLiteral("count"));
    const QCommandLineOption connections(QStringLiteral("connections"),
                                         QStringLiteral("Connections that fetch articles at once, 1 to 50 "
                                                        "(\"Connections\"; with the overview)."),
                                         QStringLiteral("count"));
    const QCommandLineOption noCompression(QStringLiteral("no-compression"),
                                           QStringLiteral("Do not compress the connection (clears \"Compression\")."));
    const QCommandLineOption gallery(QStringLiteral("gallery"),
                                     QStringLiteral("Open the gallery of the download folder at start."));
    const QCommandLineOption keepDuplicates(QStringLiteral("keep-duplicates"),
                                            QStringLiteral("Save a file even when its content was saved before "
                                                           "(clears \"Skip pictures I already have\")."));
    const QCommandLineOption similar(QStringLiteral("similar"),
                                     QStringLiteral("Print each group of similar pictures in the download folder on "
                                                    "one line, the paths separated by tabs, and end."));
    parser.addOptions({server, port, tls, noTls, user, password, passwordFile, folder, groups, separate, timeout, getFiles,
                       keepOpen, verbose, rescan, classicWalk, match, exclude, pipeline, connections, noCompression,
                       gallery, keepDuplicates, similar});
    if (!parser.parse(arguments))
        refuse(parser, parser.errorText().toStdString());
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();
    if (!parser.positionalArguments().isEmpty())
        refuse(parser, "unexpected argument " + parser.positionalArguments().first().toStdString());

    CommandLineOptions options;
    options.server = valueOf(parser, server);
    options.port = valueOf(parser, port);
    options.user = valueOf(parser, user);
    options.password = valueOf(parser, password);
    if (parser.isSet(password) && parser.isSet(passwordFile))
        refuse(parser, "--password and --password-file exclude each other");
    options.folder = valueOf(parser, folder);
    options.timeout = valueOf(parser, timeout);
    options.pipeline = valueOf(parser, pipeline);
    options.connections = valueOf(parser, connections);
    options.noCompression = parser.isSet(noCompression);
    options.gallery = parser.isSet(gallery);
    options.keepDuplicates = parser.isSet(keepDuplicates);
    options.similar = parser.isSet(similar);
    if (parser.isSet(tls) && parser.isSet(noTls))
        refuse(parser, "--tls and --no-tls exclude each other");
    if (parser.isSet(tls) || parser.isSet(noTls))
        options.tls = parser.isSet(tls);
    options.separateByGroups = parser.isSet(separate);
    options.getFiles = parser.isSet(getFiles);
    options.keepOpen = parser.isSet(keepOpen);
    options.verbose = parser.isSet(verbose);
    options.rescan = parser.isSet(rescan);
    options.classicWalk = parser.isSet(classicWalk);
    options.match = valueOf(parser, match);
    options.exclude = valueOf(parser, exclude);
    for (const QString& value : parser.values(groups))
        for (const QString& name : value.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const std::string group = name.trimmed().toStdString();
            if (!group.empty() && std::find(options.groups.begin(), options.groups.end(), group) == options.groups.end())
                options.groups.push_back(group);
        }
    if (const std::string reason = options.problem(); !reason.empty())
        refuse(parser, reason);
    takePassword(options, valueOf(parser, passwordFile));
    return options;
}

std::string CommandLineOptions::problem() const
{
    // The window's own entry rules: digits only, at most 5 for the port.
    if (port && (!allDigits(*port) || port->size() > 5))
        return "the port must be a number of at most 5 digits";
    if (timeout && (!allDigits(*timeout) || timeout->size() > 3 || std::stoi(*timeout) < 10 || std::stoi(*timeout) > 600))
        return "the time-out must be a number of seconds from 10 to 600";
    if (pipeline && (!allDigits(*pipeline) || pipeline->size() > 2 || std::stoi(*pipeline) < 1 || std::stoi(*pipeline) > 64))
        return "the pipeline must be a number of articles from 1 to 64";
    if (connections
        && (!allDigits(*connections) || connections->size() > 2 || std::stoi(*connections) < 1 || std::stoi(*connections) > 50))
        return "the connections must be a number from 1 to 50";
    if (folder && folder->empty())
        return "the download folder must not be empty";
    if (getFiles && groups.empty())
        return "--get-files needs at least one newsgroup (--groups)";
    if (similar && getFiles)
        return "--similar and --get-files exclude each other";
    if (keepOpen && !getFiles)
        return "--keep-open goes with --get-files";
    for (const auto& [filter, name] : {std::pair{&match, "--match"}, std::pair{&exclude, "--exclude"}})
        if (*filter)
            if (const std::string reason = SubjectFilter::problem(**filter); !reason.empty())
                return std::string(name) + " is not a valid regular expression: " + reason;
    return {};
}

std::string CommandLineOptions::summary() const
{
    std::string text;
    const auto add = [&](const char* name, const std::optional<std::string>& value) {
        if (value)
            text += std::string(" --") + name + ' ' + *value;
    };
    add("server", server);
    add("port", port);
    add("user", user);
    if (!passwordSource.empty())
        text += " password from " + passwordSource;
    add("folder", folder);
    add("timeout", timeout);
    add("pipeline", pipeline);
    add("connections", connections);
    if (tls)
        text += *tls ? " --tls" : " --no-tls";
    for (std::size_t i = 0; i < groups.size(); ++i)
        text += (i == 0 ? " --groups " : ",") + groups[i];
    for (const auto& [set, name] : {std::pair{separateByGroups, " --separate-by-groups"}, {getFiles, " --get-files"},
                                    {keepOpen, " --keep-open"}, {verbose, " --verbose"},
                                    {noCompression, " --no-compression"}, {gallery, " --gallery"},
                                    {keepDuplicates, " --keep-duplicates"}, {similar, " --similar"}})
        if (set)
            text += name;
    return text.empty() ? "(none)" : text.substr(1);
}

void CommandLineOptions::applyTo(MainWindow& window) const
{
    // Through the box's own signal, as a tick by the user: 119 and 563 follow it; the port
    // given below then stays as given.
    if (tls)
        window.newsGroupsPage()->tlsCheck()->setChecked(*tls);
    const std::pair<const std::optional<std::string>*, Field> fields[] = {
        {&server, Field::Host}, {&port, Field::Port}, {&user, Field::UserName},
        {&password, Field::Password}, {&timeout, Field::Timeout}, {&pipeline, Field::Pipeline},
        {&connections, Field::Connections}, {&match, Field::SubjectMatch},
        {&exclude, Field::SubjectExclude}};
    for (const auto& [value, field] : fields)
        if (*value)
            window.setFieldText(field, **value);
    if (folder) {
        QString path = QDir::cleanPath(QDir::current().absoluteFilePath(QString::fromStdString(*folder)));
        if (!path.endsWith(QLatin1Char('/')))
            path += QLatin1Char('/');
        window.setFieldText(Field::Folder, path.toStdString());
    }
    if (separateByGroups)
        window.optionsPage()->perGroupButton()->setChecked(true);
    if (classicWalk)
        window.setFieldText(Field::FastScan, "0");
    if (noCompression)
        window.setFieldText(Field::Compression, "0");
    if (keepDuplicates)
        window.setFieldText(Field::SkipKnown, "0");
    NewsGroupsPage& page = *window.newsGroupsPage();
    if (!groups.empty()) {
        page.model()->fill(groups, {});
        page.listBox()->selectAll();
    }
    if (rescan)
        for (const int row : page.selectedRows())
            window.sessionWiring().rescan(window.groupAt(row));
}

} // namespace nimbra
