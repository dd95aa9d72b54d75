#pragma once

#include <cstddef>
#include <vector>

namespace nimbra {

// One block of a socket's send queue: bytes written at the end, read from the front.
class Buffer {
public:
    static constexpr int DefaultSize = 1514;

    // A size of 0 or less gives DefaultSize.
    explicit Buffer(int size = DefaultSize);

    int Size() const { return static_cast<int>(storage_.size()); }
    // Keeps the bytes written (up to the new size).
    void SetSize(int size);
    // Copies as many of the count bytes as fit after those written; returns how many.
    int Write(const char* data, int count);
    // The unread bytes and their number in count; nullptr with count 0 when none.
    const char* Peek(int& count) const;
    // Marks up to count bytes read; both counts go back to 0 once everything written was read.
    int Remove(int count);
    bool Empty() const { return rdCount_ >= wrCount_; }
    bool Full() const { return wrCount_ >= Size(); }

private:
    std::vector<char> storage_;
    int wrCount_ = 0;
    int rdCount_ = 0;
};

} // namespace nimbra
