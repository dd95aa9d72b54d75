#include "download/ContentHasher.h"

#include <openssl/evp.h>

#include "platform/FileStream.h"

#include <cstring>
#include <exception>
#include <stdexcept>
#include <vector>

namespace nimbra {

namespace {
// Pieces are gathered up to this size; longer ones are hashed where they stand.
constexpr std::size_t GatherSize = 16 * 1024;
} // namespace

struct ContentHasher::Context {
    EVP_MD_CTX* md = EVP_MD_CTX_new();
    std::vector<char> held;  // made at the first small piece: large parts never need it
    std::size_t heldBytes = 0;
    Context()
    {
        if (!md || EVP_DigestInit_ex(md, EVP_sha256(), nullptr) != 1)
            throw std::runtime_error("SHA-256 is not available");
    }
    ~Context() { EVP_MD_CTX_free(md); }
};

ContentHasher::ContentHasher() : context_(std::make_unique<Context>()) {}
ContentHasher::~ContentHasher() = default;
ContentHasher::ContentHasher(ContentHasher&&) noexcept = default;
ContentHasher& ContentHasher::operator=(ContentHasher&&) noexcept = default;

void ContentHasher::update(const char* data, std::size_t length)
{
    if (length == 0)
        return;
    Context& c = *context_;
    if (c.heldBytes + length > GatherSize)
        hashHeld();
    if (length >= GatherSize) {
        EVP_DigestUpdate(c.md, data, length);
        return;
    }
    if (c.held.empty())
        c.held.resize(GatherSize);
    std::memcpy(c.held.data() + c.heldBytes, data, length);
    c.heldBytes += length;
}

void ContentHasher::hashHeld()
{
    Context& c = *context_;
    if (c.heldBytes > 0)
        EVP_DigestUpdate(c.md, c.held.data(), c.heldBytes);
    c.heldBytes = 0;
}

ContentDigest ContentHasher::finish()
{
    hashHeld();
    ContentDigest digest{};
    unsigned int length = 0;
    EVP_DigestFinal_ex(context_->md, digest.data(), &length);
    EVP_DigestInit_ex(context_->md, EVP_sha256(), nullptr);
    return digest;
}

std::optional<ContentDigest> ContentHasher::ofFile(const std::string& path)
{
    try {
        FileStream file(path, FileStream::Mode::OpenRead);
        ContentHasher hasher;
        std::vector<char> chunk(1 << 20);
        std::int64_t done = 0;
        while (const std::size_t n = file.read(chunk.data(), chunk.size())) {
            hasher.update(chunk.data(), n);
            done += static_cast<std::int64_t>(n);
        }
        // A read that stopped short is an error, not the end.
        if (done != file.size())
            return std::nullopt;
        return hasher.finish();
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
