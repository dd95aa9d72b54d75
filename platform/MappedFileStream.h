#pragma once

#include "platform/Stream.h"

#include <string>

namespace nimbra {

// A whole file in memory, so that a reader may look at its bytes in place (memory()) as it
// does with an article in memory: for large working files the program wrote itself and decodes
// once, such as a message joined from its parts. Up to ReadLimit bytes are read into memory of
// their own (in large pages where the system gives them), which is read faster than a mapping
// of the file, page by page; a larger file is mapped, read-only, so as not to take its size in
// memory, and must not shrink while it is mapped. Writing is refused (0). Throws
// std::runtime_error when the file cannot be opened, read or mapped; a symbolic link is
// refused.
class MappedFileStream : public Stream {
public:
    static constexpr std::size_t ReadLimit = std::size_t{256} << 20;

    // Files up to readLimit bytes are read in, larger ones mapped.
    explicit MappedFileStream(const std::string& path, std::size_t readLimit = ReadLimit);
    ~MappedFileStream() override;
    MappedFileStream(const MappedFileStream&) = delete;
    MappedFileStream& operator=(const MappedFileStream&) = delete;

    std::size_t read(char* buffer, std::size_t count) override;
    std::size_t write(const char*, std::size_t) override { return 0; }
    std::int64_t position() const override { return static_cast<std::int64_t>(position_); }
    void seek(std::int64_t position) override;
    std::int64_t size() const override { return static_cast<std::int64_t>(size_); }
    const char* memory() const override { return data_; }

private:
    // The bytes of the open file; null, with errno set, when they cannot be had.
    static const char* mapFile(int fd, std::size_t size);
    static const char* readIn(int fd, std::size_t size);

    const char* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t position_ = 0;
};

} // namespace nimbra
