#pragma once

#include <cstddef>
#include <string>

namespace nimbra {

// Bytes received but not yet taken by the line reader. Data is appended at the back and cut
// from the front; the front is dropped lazily so that taking a line copies only that line.
class InputBuffer {
public:
    std::size_t size() const { return data_.size() - head_; }
    bool empty() const { return size() == 0; }
    void clear();
    void append(const char* bytes, std::size_t count);
    // Position of terminator at or after from (both relative to the front); npos when absent.
    std::size_t find(const std::string& terminator, std::size_t from) const;
    // Removes and returns the first count bytes (count <= size()).
    std::string take(std::size_t count);

private:
    std::string data_;
    std::size_t head_ = 0;
};

} // namespace nimbra
