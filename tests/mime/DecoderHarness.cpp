#include "tests/mime/DecoderHarness.h"

#include "platform/MemoryStream.h"

#include <fstream>

namespace nimbra::test {

DecoderHarness::DecoderHarness()
{
    auto log = [this](const char* name) { return [this, name](MimeDecoder&) { events.push_back(name); }; };
    decoder.OnHeaderBegin = log("HeaderBegin");
    decoder.OnHeaderEnd = log("HeaderEnd");
    decoder.OnPartHeaderBegin = log("PartHeaderBegin");
    decoder.OnPartHeaderEnd = log("PartHeaderEnd");
    decoder.OnMessageEnd = log("MessageEnd");
    decoder.OnPartBegin = [this](MimeDecoder& d) {
        events.push_back("PartBegin");
        if (const auto name = d.PartFileName()) {
            outputs.push_back({*name, {}, false, false});
            open_ = mimeOpen_ = true;
        }
    };
    decoder.OnPartLine = [this](MimeDecoder&, const char* data, std::size_t length) {
        delivered.append(data, length);
        if (open_)
            outputs.back().bytes.append(data, length);
    };
    decoder.OnPartEnd = [this](MimeDecoder&) {
        events.push_back("PartEnd");
        open_ = mimeOpen_ = false;
    };
    decoder.OnUuBegin = [this](MimeDecoder&, const std::string& name) {
        events.push_back("UuBegin");
        if (mimeOpen_)
            return;
        outputs.push_back({name, {}, false, false});
        open_ = true;
    };
    decoder.OnUuContinue = [this](MimeDecoder&) {
        events.push_back("UuContinue");
        outputs.push_back({"", {}, false, true});
        open_ = true;
    };
    decoder.OnUuEnd = [this](MimeDecoder&, bool endLine) {
        events.push_back(endLine ? "UuEnd" : "UuCut");
        if (mimeOpen_)
            return;
        outputs.back().ended = endLine;
        open_ = false;
    };
}

void DecoderHarness::decode(const std::string& text, bool throughCopies)
{
    if (throughCopies) {
        CopyingStream stream(text);
        decoder.DecodeStream(stream);
        return;
    }
    MemoryStream stream(text);
    decoder.DecodeStream(stream);
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string crlf(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

} // namespace nimbra::test
