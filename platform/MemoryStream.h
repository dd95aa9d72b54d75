#pragma once

#include "platform/Stream.h"

#include <string>

namespace nimbra {

// A growable in-memory stream; the article buffer of a download run.
class MemoryStream : public Stream {
public:
    MemoryStream() = default;
    explicit MemoryStream(std::string bytes) : data_(std::move(bytes)) {}

    std::size_t read(char* buffer, std::size_t count) override;
    std::size_t write(const char* data, std::size_t count) override;
    std::int64_t position() const override { return static_cast<std::int64_t>(position_); }
    void seek(std::int64_t position) override;
    std::int64_t size() const override { return static_cast<std::int64_t>(data_.size()); }
    const char* memory() const override { return data_.data(); }

    const std::string& data() const { return data_; }
    // Empties the stream; the memory is kept for what is written next.
    void clear();
    // Makes room for this many bytes in all, so that writing up to it moves nothing.
    void reserve(std::size_t bytes) { data_.reserve(bytes); }
    std::size_t capacity() const { return data_.capacity(); }

private:
    std::string data_;
    std::size_t position_ = 0;
};

} // namespace nimbra
