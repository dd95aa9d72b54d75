#pragma once

#include "platform/Stream.h"

#include <string>

namespace nimbra {

// A file read through a read-only mapping, so that a reader may look at its bytes in place
// (memory()) as it does with an article in memory: for large working files the program wrote
// itself and decodes once, such as a message joined from its parts. Writing is refused (0).
// The file must not shrink while it is mapped. Throws std::runtime_error when the file cannot
// be opened or mapped; a symbolic link is refused.
class MappedFileStream : public Stream {
public:
    explicit MappedFileStream(const std::string& path);
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
    const char* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t position_ = 0;
};

} // namespace nimbra
