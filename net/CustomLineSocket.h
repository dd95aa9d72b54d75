#pragma once

#include "net/CustomCompressSocket.h"

namespace nimbra {

// Optional line mode. Off by default (and so used by the NNTP client, which cuts lines
// itself): everything passes straight through. On: received bytes are collected and
// OnDataAvailable fires once per complete line ending in LineEnd; inside the event,
// Receive/ReceiveStr return that line with its end (a line not taken is dropped). When more
// than LineLimit bytes are held without a line end, OnLineLimitExceeded fires (ClearData
// preset to true empties the collection). LineEcho sends every received byte back;
// LineEdit lets a backspace (8) remove the byte before it.
class CustomLineSocket : public CustomCompressSocket {
public:
    using LineLimitExceededEvent = std::function<void(CustomAsyncSocket& sender, int rcvdLength, bool& clearData)>;

    bool LineMode() const { return lineMode_; }
    void SetLineMode(bool on);
    const std::string& LineEnd() const { return lineEnd_; }
    void SetLineEnd(const std::string& end) { lineEnd_ = end.empty() ? "\r\n" : end; }
    int LineLimit() const { return lineLimit_; }
    void SetLineLimit(int limit) { lineLimit_ = limit; }
    bool LineEcho() const { return lineEcho_; }
    void SetLineEcho(bool on) { lineEcho_ = on; }
    bool LineEdit() const { return lineEdit_; }
    void SetLineEdit(bool on) { lineEdit_ = on; }

    int RcvdCount() const override;
    int Receive(void* buffer, int size) override;

    LineLimitExceededEvent OnLineLimitExceeded;

protected:
    bool TriggerDataAvailable(std::uint16_t error) override;

private:
    void Collect(const char* data, int count);

    bool lineMode_ = false;
    std::string lineEnd_ = "\r\n";
    int lineLimit_ = 65536;
    bool lineEcho_ = false;
    bool lineEdit_ = false;
    std::string collected_;
    std::size_t lineLength_ = 0;  // the line being delivered, end included; 0 when none
};

} // namespace nimbra
