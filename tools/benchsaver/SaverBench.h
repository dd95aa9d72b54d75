#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace nimbra::bench {

// Feeds articles through a fresh AttachmentSaver into a scratch folder exactly as a run does
// (one articleDone per article, the ledgers flushed at the end), and the figures that let the
// results be compared across machines.
class SaverBench {
public:
    struct Timing {
        double seconds = 0;  // best of the rounds, wall clock
        double cpu = 0;      // best of the rounds, this process's processor time
        bool same = false;   // every round saved exactly one file, name and bytes as expected
    };

    // The saver writes into a new folder under root (made and removed here).
    explicit SaverBench(std::string root);
    ~SaverBench();

    Timing save(const std::vector<std::string>& articles, const std::string& name, const std::string& bytes,
                int rounds = 3);

    // MB/s of memcpy of a 64 MB buffer already in the cache hierarchy's reach (warm).
    static double memcpyMegabytesPerSecond();
    static std::string loadAverage();
    static double cpuSeconds();
    // An article of the given header lines (CR LF added) and body text.
    static std::string article(const std::string& subject, const std::string& headers, const std::string& body);
    // Random bytes, the same for the same seed.
    static std::string randomBytes(std::size_t size, unsigned seed);

    // The file bytes as posted in parts articles (1 for a single article), the name given:
    // uuencoded with "(k/parts)" in the subject, data from the first body line on;
    static std::vector<std::string> uuArticles(const std::string& name, const std::string& bytes, int parts);
    // yEnc, a single part or parts with "=ypart", 128 columns;
    static std::vector<std::string> yencArticles(const std::string& name, const std::string& bytes, int parts);
    // and a whole MIME message (header and body, CR LF line ends) as it is, or split at line
    // ends into message/partial articles.
    static std::vector<std::string> messageArticles(const std::string& message, int parts);

private:
    std::string root_;
};

} // namespace nimbra::bench
