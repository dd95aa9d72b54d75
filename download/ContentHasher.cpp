#include "download/ContentHasher.h"

#include <openssl/evp.h>

#include "platform/FileStream.h"
#include "platform/Log.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <exception>
#include <stdexcept>
#include <vector>

namespace nimbra {

namespace {

// Pieces are gathered up to this size. A file that ends before it is hashed on the caller's
// thread when it is finished (a picture of some ten KB is not worth a hand-over); beyond it,
// each full gathering is handed to the hashing thread, so that a large file's digest costs
// its writer a copy rather than the hashing.
constexpr std::size_t GatherSize = 64 * 1024;
// Bytes handed over and not hashed yet, at most; a writer that gets ahead waits.
constexpr std::size_t MaxQueuedBytes = 16u << 20;
// Emptied gatherings kept for use again.
constexpr std::size_t MaxSpareBuffers = 64;

} // namespace

struct ContentHasher::Context {
    EVP_MD_CTX* md = EVP_MD_CTX_new();
    std::vector<char> held;  // made at the first piece
    std::size_t heldBytes = 0;
    bool handedOver = false;  // part of this file is with the hashing thread
    int pending = 0;          // gatherings handed over and not hashed yet (the thread's lock)
    bool failed = false;      // the hashing thread could not hash one (the thread's lock)
    Context()
    {
        if (!md || EVP_DigestInit_ex(md, EVP_sha256(), nullptr) != 1)
            throw std::runtime_error("SHA-256 is not available");
    }
    ~Context();
};

namespace {

// The one thread that hashes what every hasher hands over, in the order it was handed over,
// so the pieces of one file reach its digest in order.
class HashingThread {
public:
    static HashingThread& instance()
    {
        static HashingThread thread;
        return thread;
    }

    void handOver(ContentHasher::Context& c, std::vector<char> bytes)
    {
        std::unique_lock<std::mutex> hold(lock_);
        room_.wait(hold, [&] { return queuedBytes_ < MaxQueuedBytes; });
        queuedBytes_ += bytes.size();
        ++c.pending;
        jobs_.push_back({&c, std::move(bytes)});
        work_.notify_one();
    }

    // Waits until everything c handed over is hashed; false when a piece could not be.
    bool settle(ContentHasher::Context& c)
    {
        std::unique_lock<std::mutex> hold(lock_);
        done_.wait(hold, [&] { return c.pending == 0; });
        const bool good = !c.failed;
        c.failed = false;
        return good;
    }

    std::vector<char> spare()
    {
        const std::lock_guard<std::mutex> hold(lock_);
        if (spares_.empty())
            return {};
        std::vector<char> buffer = std::move(spares_.back());
        spares_.pop_back();
        return buffer;
    }

    ~HashingThread()
    {
        {
            const std::lock_guard<std::mutex> hold(lock_);
            stopping_ = true;
        }
        work_.notify_all();
        thread_.join();
    }

private:
    struct Job {
        ContentHasher::Context* context;
        std::vector<char> bytes;
    };

    HashingThread() : thread_([this] { run(); }) {}

    void run()
    {
        std::unique_lock<std::mutex> hold(lock_);
        for (;;) {
            work_.wait(hold, [&] { return stopping_ || !jobs_.empty(); });
            if (jobs_.empty())
                return;  // stopping, and nothing is left
            Job job = std::move(jobs_.front());
            jobs_.pop_front();
            hold.unlock();
            // Only this thread touches the context's digest while pieces of it are pending.
            const bool good = EVP_DigestUpdate(job.context->md, job.bytes.data(), job.bytes.size()) == 1;
            hold.lock();
            queuedBytes_ -= job.bytes.size();
            job.context->failed = job.context->failed || !good;
            --job.context->pending;
            if (spares_.size() < MaxSpareBuffers) {
                job.bytes.clear();
                spares_.push_back(std::move(job.bytes));
            }
            room_.notify_all();
            done_.notify_all();
        }
    }

    std::mutex lock_;
    std::condition_variable work_;
    std::condition_variable room_;
    std::condition_variable done_;
    std::deque<Job> jobs_;
    std::vector<std::vector<char>> spares_;
    std::size_t queuedBytes_ = 0;
    bool stopping_ = false;
    std::thread thread_;  // last: started once the rest is made
};

} // namespace

ContentHasher::Context::~Context()
{
    if (handedOver)
        HashingThread::instance().settle(*this);  // the thread must be done with md
    EVP_MD_CTX_free(md);
}

ContentHasher::ContentHasher() : context_(std::make_unique<Context>()) {}
ContentHasher::~ContentHasher() = default;
ContentHasher::ContentHasher(ContentHasher&&) noexcept = default;
ContentHasher& ContentHasher::operator=(ContentHasher&&) noexcept = default;

void ContentHasher::update(const char* data, std::size_t length)
{
    Context& c = *context_;
    while (length > 0) {
        if (c.held.size() < GatherSize) {
            if (c.held.capacity() < GatherSize)
                c.held = HashingThread::instance().spare();
            c.held.resize(GatherSize);
        }
        const std::size_t n = std::min(length, GatherSize - c.heldBytes);
        std::memcpy(c.held.data() + c.heldBytes, data, n);
        c.heldBytes += n;
        data += n;
        length -= n;
        if (c.heldBytes == GatherSize)
            handOver();
    }
}

void ContentHasher::handOver()
{
    Context& c = *context_;
    c.held.resize(c.heldBytes);
    c.heldBytes = 0;
    c.handedOver = true;
    HashingThread::instance().handOver(c, std::move(c.held));
    c.held = std::vector<char>();
}

void ContentHasher::pause()
{
    Context& c = *context_;
    if (c.heldBytes > 0)
        handOver();
    else
        c.held = std::vector<char>();
}

std::size_t ContentHasher::gatheringCapacity() const
{
    return context_->held.capacity();
}

std::optional<ContentDigest> ContentHasher::finish()
{
    Context& c = *context_;
    bool good = true;
    if (c.handedOver) {
        if (c.heldBytes > 0)
            handOver();
        good = HashingThread::instance().settle(c);
        c.handedOver = false;
    } else {
        good = c.heldBytes == 0 || EVP_DigestUpdate(c.md, c.held.data(), c.heldBytes) == 1;
        c.heldBytes = 0;
    }
    ContentDigest digest{};
    unsigned int length = 0;
    good = EVP_DigestFinal_ex(c.md, digest.data(), &length) == 1 && good;
    if (EVP_DigestInit_ex(c.md, EVP_sha256(), nullptr) != 1)
        throw std::runtime_error("SHA-256 is not available");
    if (!good) {
        qCWarning(logSaving, "a content digest could not be made");
        return std::nullopt;
    }
    return digest;
}

std::optional<ContentDigest> ContentHasher::ofFile(const std::string& path)
{
    try {
        // Hashed here: the caller waits for the digest anyway, and callers on several threads
        // (the gallery's) hash side by side.
        FileStream file(path, FileStream::Mode::OpenRead);
        Context c;
        std::vector<char> chunk(1 << 20);
        std::int64_t done = 0;
        while (const std::size_t n = file.read(chunk.data(), chunk.size())) {
            if (EVP_DigestUpdate(c.md, chunk.data(), n) != 1)
                return std::nullopt;
            done += static_cast<std::int64_t>(n);
        }
        // A read that stopped short is an error, not the end.
        ContentDigest digest{};
        unsigned int length = 0;
        if (done != file.size() || EVP_DigestFinal_ex(c.md, digest.data(), &length) != 1)
            return std::nullopt;
        return digest;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::string ContentHasher::hex(const ContentDigest& digest)
{
    static const char* const digits = "0123456789abcdef";
    std::string text;
    text.reserve(digest.size() * 2);
    for (const std::uint8_t byte : digest) {
        text += digits[byte >> 4];
        text += digits[byte & 15];
    }
    return text;
}

} // namespace nimbra
