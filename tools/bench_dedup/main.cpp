// Prints one line "dedup: key=value ...":
//   hash_overhead_pct  the saver's processor time for 5,000 pictures (a third each yEnc,
//                      uuencode and MIME base64) with "Skip pictures I already have" against
//                      the same without it (saver_cpu_plain_s, saver_cpu_hashed_s), best of 4
//                      with the order alternated. The files go to a memory-backed folder
//                      (/dev/shm, saver_folder=memory) where there is one: on a disk's file
//                      system the cost of making 5,000 files varies by a factor of three from
//                      run to run (the kernel's search for free inodes), which drowns the
//                      hashing; saver_folder=disk otherwise
//   similar_100k_ms    grouping 100,000 picture hashes within 5 bits (with near copies
//                      planted), beside all_pairs_10k_ms, comparing every pair of 10,000
//   store_load_1m_ms   reading a content store of 1,000,000 files, beside read_1m_ms, the
//                      same file read into a string in small pieces (in small pages, where
//                      each fresh page costs a fault), and its size
//   store_copy_1m_ms   the copy of that store the gallery's "Similar" view takes on the
//                      window's thread, beside known_1m_ms, picking out on its worker what
//                      the copy knows under the folder (KnownPictures; every file is under it)
#include "download/AttachmentSaver.h"
#include "download/ContentStore.h"
#include "download/KnownPictures.h"
#include "download/SaveSettings.h"
#include "download/SavedFileView.h"
#include "download/SimilarityIndex.h"
#include "platform/AtomicFile.h"
#include "platform/MemoryStream.h"
#include "tools/benchsaver/SaverBench.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>

#include <unistd.h>

using namespace nimbra;
using nimbra::bench::SaverBench;

namespace {

struct Settings : SaveSettings {
    std::string folder;
    bool skip = false;
    std::string downloadFolderText() const override { return folder; }
    bool saveToOneFolder() const override { return true; }
    bool skipKnownContent() const override { return skip; }
};

struct Quiet : SavedFileView {
    int saved = 0;
    void showSavedName(const std::string&, const std::string&) override { ++saved; }
    void showPicture(const PicturePreview&) override {}
    bool showsPictures() const override { return false; }
    void showSavedSize(std::int64_t) override {}
    void addToStatistics(std::int32_t, std::int32_t) override {}
};

double milliseconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

std::vector<std::string> pictureArticles(int count)
{
    std::vector<std::string> articles;
    for (int i = 0; i < count; ++i) {
        const std::string name = "picture" + std::to_string(i) + ".jpg";
        const std::string bytes = SaverBench::randomBytes(24000 + static_cast<std::size_t>(i % 17) * 1000, 1000u + static_cast<unsigned>(i));
        std::vector<std::string> made;
        switch (i % 3) {
        case 0: made = SaverBench::yencArticles(name, bytes, 1); break;
        case 1: made = SaverBench::uuArticles(name, bytes, 1); break;
        default: {
            std::string body = "--cut\r\nContent-Type: image/jpeg; name=\"" + name
                               + "\"\r\nContent-Transfer-Encoding: base64\r\n\r\n";
            static const char* const digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
            std::string line;
            for (std::size_t k = 0; k + 3 <= bytes.size(); k += 3) {
                const auto b = [&](std::size_t j) { return static_cast<unsigned char>(bytes[k + j]); };
                const unsigned v = (b(0) << 16) | (b(1) << 8) | b(2);
                for (int s = 18; s >= 0; s -= 6)
                    line += digits[(v >> s) & 63];
                if (line.size() >= 76) {
                    body += line + "\r\n";
                    line.clear();
                }
            }
            body += line + "\r\n\r\n--cut--\r\n";
            made = {SaverBench::article(name, "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"cut\"\r\n",
                                        body)};
        }
        }
        articles.insert(articles.end(), made.begin(), made.end());
    }
    return articles;
}

double saverCpu(const std::string& root, const std::vector<std::string>& articles, bool skip, int& saved)
{
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root + "/files");
    Settings settings;
    settings.folder = root + "/files/";
    settings.skip = skip;
    Quiet view;
    double cpu = 0;
    {
        AttachmentSaver saver(settings, view, root + "/yenc", root + "/split", root + "/content-store");
        const double start = SaverBench::cpuSeconds();
        for (const std::string& text : articles) {
            MemoryStream stream(text);
            saver.articleDone({stream, 0, "bench"});
        }
        saver.flush();
        cpu = SaverBench::cpuSeconds() - start;
    }
    saved = view.saved;
    return cpu;
}

std::vector<std::uint64_t> plantedHashes(std::size_t count)
{
    std::mt19937_64 random(11);
    std::vector<std::uint64_t> hashes;
    while (hashes.size() < count) {
        const std::uint64_t hash = random();
        hashes.push_back(hash);
        if (hashes.size() % 10 == 0)  // a near copy: a few bits off
            hashes.push_back(hash ^ (std::uint64_t{1} << (random() % 64)) ^ (std::uint64_t{1} << (random() % 64)));
    }
    hashes.resize(count);
    return hashes;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const std::string root = std::filesystem::temp_directory_path().string() + "/nimbra-bench-dedup-"
                             + std::to_string(::getpid());
    std::filesystem::create_directories(root);

    // The saver with and without hashing, alternated so both see the same machine, and each
    // run in a folder of its own that is removed only at the end: a file system makes new files
    // more slowly just after thousands were deleted, which would be charged to whichever run
    // came second.
    const std::vector<std::string> articles = pictureArticles(5000);
    std::error_code error;
    const bool inMemory = std::filesystem::is_directory("/dev/shm", error) && ::access("/dev/shm", W_OK) == 0;
    const std::string saverRoot = inMemory ? "/dev/shm/nimbra-bench-dedup-" + std::to_string(::getpid()) : root;
    double plain = 1e30;
    double hashed = 1e30;
    int savedPlain = 0;
    int savedHashed = 0;
    for (int round = 0; round < 4; ++round) {
        const std::string folder = saverRoot + "/saver" + std::to_string(round);
        for (const bool hashing : {round % 2 == 0, round % 2 != 0}) {
            if (hashing)
                hashed = std::min(hashed, saverCpu(folder + "-hashed", articles, true, savedHashed));
            else
                plain = std::min(plain, saverCpu(folder + "-plain", articles, false, savedPlain));
        }
    }

    // Grouping, against comparing every pair of a tenth as many.
    const std::vector<std::uint64_t> hashes = plantedHashes(100000);
    auto start = std::chrono::steady_clock::now();
    std::size_t groups = 0;
    {
        const SimilarityIndex index(hashes, 5);
        groups = index.groups().size();
    }
    const double similar = milliseconds(std::chrono::steady_clock::now() - start);
    start = std::chrono::steady_clock::now();
    std::size_t pairs = 0;
    for (std::size_t a = 0; a < 10000; ++a)
        for (std::size_t b = a + 1; b < 10000; ++b)
            pairs += SimilarityIndex::distance(hashes[a], hashes[b]) <= 5;
    const double allPairs = milliseconds(std::chrono::steady_clock::now() - start);

    // A store of a million files, written once and read three times.
    const std::string storePath = root + "/content-store";
    {
        ContentStore store(storePath);
        ContentStore::Entry entry;
        entry.group = "alt.binaries.pictures.landscapes";
        std::mt19937_64 random(5);
        for (std::size_t i = 0; i < 1000000; ++i) {
            for (std::size_t k = 0; k < entry.digest.size(); k += 8) {
                const std::uint64_t v = random();
                std::memcpy(entry.digest.data() + k, &v, 8);
            }
            entry.size = 100000 + i;
            entry.time = 1700000000 + static_cast<std::int64_t>(i);
            entry.path = "/home/someone/nimbra files/alt.binaries.pictures.landscapes/picture" + std::to_string(i) + ".jpg";
            entry.messageId = "part1of1." + std::to_string(i) + "@poster.example.com";
            if (i % 2 == 0)
                entry.differenceHash = random();
            else
                entry.differenceHash.reset();
            store.add(entry);
        }
        store.save();
    }
    double load = 1e30;
    double read = 1e30;
    double known = 1e30;
    double copied = 1e30;
    std::size_t loaded = 0;
    for (int round = 0; round < 3; ++round) {
        start = std::chrono::steady_clock::now();
        std::string bytes;
        AtomicFile::read(storePath, bytes);
        read = std::min(read, milliseconds(std::chrono::steady_clock::now() - start));
        start = std::chrono::steady_clock::now();
        ContentStore store(storePath);
        store.load();
        loaded = store.size();
        load = std::min(load, milliseconds(std::chrono::steady_clock::now() - start));
        start = std::chrono::steady_clock::now();
        const auto copy = std::make_shared<const ContentStore>(store);
        copied = std::min(copied, milliseconds(std::chrono::steady_clock::now() - start));
        start = std::chrono::steady_clock::now();
        const KnownPictures pictures = KnownPictures::of(copy, "/home/someone/nimbra files/");
        known = std::min(known, milliseconds(std::chrono::steady_clock::now() - start));
        if (pictures.size() != loaded)
            std::fprintf(stderr, "known pictures: %zu of %zu\n", pictures.size(), loaded);
    }
    const auto storeBytes = std::filesystem::file_size(storePath);
    std::filesystem::remove_all(root);
    std::filesystem::remove_all(saverRoot);

    std::printf("dedup: hash_overhead_pct=%.1f saver_cpu_plain_s=%.3f saver_cpu_hashed_s=%.3f saver_folder=%s pictures=%d/%d "
                "similar_100k_ms=%.1f groups=%zu all_pairs_10k_ms=%.1f pairs_10k=%zu store_load_1m_ms=%.1f "
                "read_1m_ms=%.1f store_copy_1m_ms=%.1f known_1m_ms=%.1f store_mb=%.1f loaded=%zu load=\"%s\"\n",
                (hashed / plain - 1.0) * 100.0, plain, hashed, inMemory ? "memory" : "disk", savedPlain, savedHashed, similar, groups, allPairs, pairs,
                load, read, copied, known, static_cast<double>(storeBytes) / 1e6, loaded, SaverBench::loadAverage().c_str());
    return 0;
}
