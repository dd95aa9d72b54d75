#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace nimbra {

// A file's content as its SHA-256.
using ContentDigest = std::array<std::uint8_t, 32>;

// SHA-256 over bytes handed in order, as a file is written. Movable, not copyable; each hasher
// is used by one thread at a time. Pieces (a decoded line is some fifty bytes) are gathered
// before they are hashed: the digest costs several times more per byte when fed a line at a
// time. A file of more than one gathering (64 KiB) is hashed on a thread of the program's
// own as it comes, so that the writer pays a copy and finish() waits only for the rest.
class ContentHasher {
public:
    ContentHasher();
    ~ContentHasher();
    ContentHasher(ContentHasher&&) noexcept;
    ContentHasher& operator=(ContentHasher&&) noexcept;

    void update(const char* data, std::size_t length);
    // The file waits for more bytes that may be long in coming (a part of it is still
    // missing): what is gathered goes to the hashing thread and the gathering's memory is let
    // go, so that a hasher kept for each of many unfinished files does not hold 64 KiB each.
    void pause();
    // Bytes of gathering memory this hasher holds, for the tests.
    std::size_t gatheringCapacity() const;
    // The digest of everything handed in; the hasher then starts afresh. None (logged) in the
    // unlikely case that the digest could not be made: the caller reads the file back.
    std::optional<ContentDigest> finish();

    // Reads the file at path and hashes it: for a file whose bytes
    // were written out of order. None when it cannot be read.
    static std::optional<ContentDigest> ofFile(const std::string& path);
    // Lower-case hex, for the log.
    static std::string hex(const ContentDigest& digest);

    struct Context;

private:
    void handOver();

    std::unique_ptr<Context> context_;
};

} // namespace nimbra
