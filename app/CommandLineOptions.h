#pragma once

#include <QStringList>

#include <optional>
#include <string>
#include <vector>

namespace nimbra {

class MainWindow;

// The program's command-line options. Each one fills the window field of the same name as if
// the user had typed it, so what is given is kept when the window closes; --get-files then
// presses "Get Files" at once and ends the program when the run is over (an unattended run).
// Without options the program starts as it always has.
struct CommandLineOptions {
    std::optional<std::string> server, port, user, password, folder, timeout;
    std::optional<std::string> pipeline;  // --pipeline N: "Pipeline", 1..64
    std::optional<std::string> connections;  // --connections N: "Connections", 1..50
    // Where the password came from: "--password", "--password-file FILE", "NIMBRA_PASSWORD";
    // empty when none was given. An option wins over the environment variable.
    std::string passwordSource;
    // --match / --exclude: "Subject matches" and "Subject does not match".
    std::optional<std::string> match, exclude;
    std::vector<std::string> groups;  // in the order given, without duplicates
    // --tls / --no-tls: tick or clear "SSL/TLS" as the user would (119 and 563 follow the
    // box unless --port is given); unset: the box stays as stored.
    std::optional<bool> tls;
    bool separateByGroups = false;
    bool getFiles = false;
    bool keepOpen = false;  // with getFiles: the window stays open after the run
    bool verbose = false;   // the log is mirrored on standard error
    bool rescan = false;    // the selected groups forget their marks: scanned from their first article
    bool classicWalk = false;  // clears "Fast scan (overview)": every article looked at one by one
    bool noCompression = false;  // clears "Compression"
    bool gallery = false;        // the gallery window opens at start
    bool keepDuplicates = false; // clears "Skip pictures I already have"
    bool similar = false;        // prints the groups of similar pictures in the folder and ends

    // Parses the arguments (the first is the program). On --help or --version it prints and
    // ends the process with 0; on a wrong argument it prints the reason and the usage to
    // standard error and ends it with 2, as it does (without the usage) for a password file
    // that is not private. --password is taken with a warning on standard error, since other
    // users of the machine can read a command line. NIMBRA_PASSWORD is read, and removed from
    // the environment so that no child inherits it. Needs the application object.
    static CommandLineOptions parse(const QStringList& arguments);

    // The text of a wrong value, empty when all are right: a port that is not 1 to 5 digits,
    // a time-out outside 10..600, a pipeline outside 1..64, connections outside 1..50, --get-files without a group,
    // --similar with --get-files, a subject filter that is no valid
    // regular expression.
    std::string problem() const;

    // The options given, for the log: every value but the password, which shows as given.
    std::string summary() const;

    // Puts the values into the window's fields, after the window has loaded its own. The
    // folder is made absolute and ends in "/". Given groups become the list box's entries,
    // all selected. The "SSL/TLS" box is set before the port, so a given port stays as given.
    // With rescan, the groups selected then forget their marks for the server in the fields.
    void applyTo(MainWindow& window) const;
};

} // namespace nimbra
