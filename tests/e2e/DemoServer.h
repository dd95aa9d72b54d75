#pragma once

#include "tools/newsmodel/DemoContent.h"
#include "tools/newsmodel/ModelServer.h"
#include "tools/newsmodel/NewsServerModel.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace nimbra::test {

class ServerCertificate;

// The demo news server in this process, on a free port, recording every line it receives
// with the connection it came on. Faults are set on model() before start(). Unstarted, it
// still tells what the demo groups hold (the executable serves the same).
class DemoServer {
public:
    DemoServer();
    ~DemoServer();

    NewsServerModel& model() { return model_; }
    const DemoContent& content() const { return content_; }
    // Given a certificate (which must outlive the server), it serves over TLS.
    void start(const ServerCertificate* certificate = nullptr);
    std::uint16_t port() const { return server_->port(); }
    std::string portText() const { return std::to_string(port()); }
    int connections() const { return server_->connections(); }

    // (connection index, line), in the order received.
    std::vector<std::pair<int, std::string>> received() const;
    // How many ARTICLE commands were received.
    int articleCommands() const;

    // The files a run with the default size limits saves from these groups, by the name the
    // file gets.
    std::map<std::string, const DemoFile*> expectedFiles(const std::vector<std::string>& groups) const;
    // The "binaries" groups, which the default filter shows.
    std::vector<std::string> binariesGroups() const;

    static std::string sha256(const std::string& bytes);
    // Every file below folder: its path relative to folder and its bytes.
    static std::map<std::string, std::string> filesBelow(const std::string& folder);
    // TodayKB after saving these files: what each article added to its file, in kilobytes
    // rounded halves to even.
    static int kilobytes(const std::vector<const DemoFile*>& files);

private:
    DemoContent content_;
    NewsServerModel model_;
    std::unique_ptr<ModelServer> server_;
    mutable std::mutex mutex_;
    std::vector<std::pair<int, std::string>> received_;
};

} // namespace nimbra::test
