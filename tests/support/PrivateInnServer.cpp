#include "tests/support/PrivateInnServer.h"

#include "tests/support/LoopbackListener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace nimbra::test {
namespace {

namespace fs = std::filesystem;

const std::string InnBin = "/usr/lib/news/bin/";
const std::string SystemEtc = "/etc/news";

bool write(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out);
}

// A blocking connection to 127.0.0.1:port with a 10 s time-out on every read.
int connectTo(std::uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    timeval wait{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    return fd;
}

// The next reply line (without CR LF), empty when none comes; sends command first unless empty.
std::string exchange(int fd, const std::string& command)
{
    if (!command.empty())
        ::send(fd, command.data(), command.size(), MSG_NOSIGNAL);
    std::string line;
    char c = 0;
    while (::recv(fd, &c, 1, 0) == 1 && c != '\n')
        line += c;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

// The greeting, or empty when nothing answers at 127.0.0.1:port.
std::string greeting(std::uint16_t port)
{
    const int fd = connectTo(port);
    if (fd < 0)
        return {};
    const std::string line = exchange(fd, "");
    ::close(fd);
    return line;
}

} // namespace

PrivateInnServer::PrivateInnServer() = default;

PrivateInnServer::~PrivateInnServer()
{
    stop();
    if (!folder_.empty()) {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
}

void PrivateInnServer::requireLogin(const std::string& user, const std::string& password)
{
    user_ = user;
    password_ = password;
}

int PrivateInnServer::runAsNews(const std::string& program, const std::vector<std::string>& arguments)
{
    // Everything the child needs is made before the fork: the test process has threads.
    std::string path = InnBin + program;
    std::string environment = "INNCONF=" + folder_ + "/etc/inn.conf";
    const std::string db = folder_ + "/db";
    std::vector<std::string> copies = arguments;
    std::vector<char*> argv = {path.data()};
    for (std::string& argument : copies)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    char* envp[] = {environment.data(), nullptr};
    const pid_t child = ::fork();
    if (child == 0) {
        if (::chdir(db.c_str()) != 0 || ::setgid(newsGid_) != 0 || ::setuid(newsUid_) != 0)
            ::_exit(126);
        ::execve(path.c_str(), argv.data(), envp);
        ::_exit(127);
    }
    if (child < 0)
        return -1;
    if (program == "innd") {
        innd_ = child;
        return 0;
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool PrivateInnServer::writeConfiguration(std::string& whyNot)
{
    for (const char* sub : {"etc", "db", "spool/articles", "spool/overview", "spool/incoming", "spool/outgoing",
                            "spool/archive", "run", "log", "tmp", "http"})
        fs::create_directories(folder_ + "/" + sub);
    std::error_code error;
    fs::copy(SystemEtc, folder_ + "/etc", fs::copy_options::recursive | fs::copy_options::overwrite_existing, error);
    std::ifstream in(folder_ + "/etc/inn.conf");
    std::stringstream kept;
    const std::string own[] = {"pathetc", "pathdb", "pathspool", "patharticles", "pathoverview", "pathincoming",
                               "pathoutgoing", "patharchive", "pathrun", "pathlog", "pathtmp", "pathhttp", "port",
                               "bindaddress", "bindaddress6", "nnrpdpostport", "domain", "pathhost", "server",
                               "doinnwatch", "docnfsstat", "htmlstatus"};
    for (std::string line; std::getline(in, line);) {
        bool replaced = clientTimeout_ > 0 && line.rfind("clienttimeout:", 0) == 0;
        for (const std::string& key : own)
            replaced = replaced || line.rfind(key + ":", 0) == 0;
        if (!replaced)
            kept << line << "\n";
    }
    const std::string f = folder_;
    kept << "pathetc: " << f << "/etc\npathdb: " << f << "/db\npathspool: " << f << "/spool\npatharticles: " << f
         << "/spool/articles\npathoverview: " << f << "/spool/overview\npathincoming: " << f
         << "/spool/incoming\npathoutgoing: " << f << "/spool/outgoing\npatharchive: " << f
         << "/spool/archive\npathrun: " << f << "/run\npathlog: " << f << "/log\npathtmp: " << f
         << "/tmp\npathhttp: " << f << "/http\nport: " << port_ << "\nnnrpdpostport: " << port_
         << "\nbindaddress: 127.0.0.1\nbindaddress6: \"\"\ndomain: localdomain\npathhost: nimbra.test\n"
         << "server: 127.0.0.1\ndoinnwatch: false\ndocnfsstat: false\nhtmlstatus: false\n";
    if (clientTimeout_ > 0)
        kept << "clienttimeout: " << clientTimeout_ << "\n";
    std::string readers;
    if (user_.empty()) {
        readers = "auth \"local\" {\n    hosts: \"127.0.0.1, ::1\"\n    default: \"<local>\"\n}\n"
                  "access \"local\" {\n    users: \"<local>\"\n    newsgroups: \"*\"\n    access: RPA\n}\n";
    } else {
        FILE* hash = ::popen(("openssl passwd -6 -salt nimbra '" + password_ + "'").c_str(), "r");
        char buffer[256] = {};
        const bool hashed = hash && std::fgets(buffer, sizeof buffer, hash);
        if (hash)
            ::pclose(hash);
        std::string crypted = hashed ? buffer : "";
        while (!crypted.empty() && (crypted.back() == '\n' || crypted.back() == '\r'))
            crypted.pop_back();
        if (crypted.empty()) {
            whyNot = "no password hash (openssl passwd)";
            return false;
        }
        write(f + "/etc/passwd.nntp", user_ + ":" + crypted + "\n");
        readers = "auth \"users\" {\n    auth: \"ckpasswd -f " + f + "/etc/passwd.nntp\"\n}\n"
                  "access \"users\" {\n    users: \"" + user_ + "\"\n    newsgroups: \"*\"\n    access: RPA\n}\n";
    }
    const bool written = write(f + "/etc/inn.conf", kept.str())
        && write(f + "/etc/storage.conf", "method tradspool {\n    newsgroups: *\n    class: 0\n}\n")
        && write(f + "/etc/readers.conf", readers)
        && write(f + "/etc/incoming.conf", "")
        && write(f + "/etc/newsfeeds", "ME:!*/!local::\n")
        && write(f + "/db/active", "control 0000000000 0000000001 n\ncontrol.cancel 0000000000 0000000001 n\njunk 0000000000 0000000001 n\n")
        && write(f + "/db/newsgroups", "") && write(f + "/db/history", "");
    if (!written) {
        whyNot = "cannot write INN's configuration in " + f;
        return false;
    }
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(f))
        ::lchown(entry.path().c_str(), newsUid_, newsGid_);
    ::lchown(f.c_str(), newsUid_, newsGid_);
    return true;
}

std::string PrivateInnServer::unavailable()
{
    if (::access((InnBin + "innd").c_str(), X_OK) != 0 || ::access((SystemEtc + "/inn.conf").c_str(), R_OK) != 0)
        return "inn2 is not installed (scripts/deps.sh installs it)";
    if (!::getpwnam("news") || ::geteuid() != 0)
        return "a private INN needs root, to run it as the user news";
    return {};
}

bool PrivateInnServer::start(std::string& whyNot)
{
    whyNot = unavailable();
    if (!whyNot.empty())
        return false;
    const passwd* news = ::getpwnam("news");
    newsUid_ = news->pw_uid;
    newsGid_ = news->pw_gid;
    char pattern[] = "/tmp/nimbra-inn-XXXXXX";
    if (!::mkdtemp(pattern)) {
        whyNot = "no temporary folder";
        return false;
    }
    folder_ = pattern;
    ::chmod(folder_.c_str(), 0755);
    ::close(LoopbackListener::open(port_));
    if (!writeConfiguration(whyNot))
        return false;
    if (runAsNews("makedbz", {"-i", "-o"}) != 0) {
        whyNot = "makedbz -i -o failed";
        return false;
    }
    runAsNews("innd", {"-f"});
    for (int i = 0; i < 100; ++i) {
        if (greeting(port_).rfind("200", 0) == 0)
            return true;
        if (::waitpid(innd_, nullptr, WNOHANG) == innd_) {
            innd_ = -1;
            std::stringstream text;
            for (const char* name : {"/log/errlog", "/log/news.err", "/log/news.crit", "/log/news.notice"}) {
                std::ifstream log(folder_ + name);
                text << log.rdbuf();
            }
            whyNot = "innd ended at start: " + text.str();
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    whyNot = "innd did not answer on 127.0.0.1:" + portText();
    return false;
}

bool PrivateInnServer::post(const std::vector<std::string>& lines, std::string& whyNot)
{
    const int fd = connectTo(port_);
    if (fd < 0) {
        whyNot = "no connection";
        return false;
    }
    std::string article;
    for (const std::string& line : lines)
        article += (!line.empty() && line[0] == '.' ? "." : "") + line + "\r\n";
    std::string answer = exchange(fd, "");
    answer = exchange(fd, "MODE READER\r\n");
    if (!user_.empty() && exchange(fd, "AUTHINFO USER " + user_ + "\r\n").rfind("381", 0) == 0)
        answer = exchange(fd, "AUTHINFO PASS " + password_ + "\r\n");
    answer = exchange(fd, "POST\r\n");
    if (answer.rfind("340", 0) == 0)
        answer = exchange(fd, article + ".\r\n");
    exchange(fd, "QUIT\r\n");
    ::close(fd);
    whyNot = answer;
    return answer.rfind("240", 0) == 0;
}

bool PrivateInnServer::newGroup(const std::string& name, std::string& whyNot)
{
    if (runAsNews("ctlinnd", {"-s", "newgroup", name, "y", "nimbra"}) == 0)
        return true;
    whyNot = "ctlinnd newgroup " + name + " failed";
    return false;
}

void PrivateInnServer::stop()
{
    if (innd_ < 0)
        return;
    runAsNews("ctlinnd", {"-s", "shutdown", "test done"});
    bool ended = false;
    for (int i = 0; i < 50 && !ended; ++i) {
        ended = ::waitpid(innd_, nullptr, WNOHANG) == innd_;
        if (!ended)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (!ended) {
        ::kill(innd_, SIGTERM);  // our own child, not yet reaped: the PID is still ours
        ::waitpid(innd_, nullptr, 0);
    }
    innd_ = -1;
}

} // namespace nimbra::test
