#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace nimbra {

// A file's content as its SHA-256.
using ContentDigest = std::array<std::uint8_t, 32>;

// SHA-256 over bytes handed in order, as a file is written. Movable, not copyable; one thread.
// Small pieces (a decoded line is some fifty bytes) are gathered before they are hashed: the
// digest costs several times more per byte when fed a line at a time.
class ContentHasher {
public:
    ContentHasher();
    ~ContentHasher();
    ContentHasher(ContentHasher&&) noexcept;
    ContentHasher& operator=(ContentHasher&&) noexcept;

    void update(const char* data, std::size_t length);
    // The digest of everything handed in; the hasher then starts afresh.
    ContentDigest finish();

    // Reads the file at path and hashes it: for a file whose bytes
    // were written out of order. None when it cannot be read.
    static std::optional<ContentDigest> ofFile(const std::string& path);
    // Lower-case hex, for the log.
    static std::string hex(const ContentDigest& digest);

private:
    void hashHeld();

    struct Context;
    std::unique_ptr<Context> context_;
};

} // namespace nimbra
