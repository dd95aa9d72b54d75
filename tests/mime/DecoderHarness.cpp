#include "tests/mime/DecoderHarness.h"

#include "platform/MemoryStream.h"
#include "platform/UniqueFileName.h"
#include "tests/support/TestEnvironment.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace nimbra::test {

DecoderHarness::DecoderHarness(const std::string& folder)
{
    session.downloadFolder = TestEnvironment::makeFolder(folder);
    session.targetFolder = session.downloadFolder;
    auto log = [this](const char* name) { return [this, name](MimeDecoder&) { events.push_back(name); }; };
    decoder.OnHeaderBegin = log("HeaderBegin");
    decoder.OnHeaderEnd = log("HeaderEnd");
    decoder.OnPartHeaderBegin = log("PartHeaderBegin");
    decoder.OnPartHeaderEnd = log("PartHeaderEnd");
    decoder.OnMessageEnd = log("MessageEnd");
    decoder.OnPartBegin = [this](MimeDecoder& d) {
        events.push_back("PartBegin");
        const auto name = d.PartFileName();
        if (!name)
            return;
        const std::string folder = session.TargetFolder();
        savedFileName = name->empty() ? UniqueFileName::randomJpg(folder) : UniqueFileName::free(folder, *name);
        d.setOutputFile(std::make_unique<FileStream>(folder + savedFileName, FileStream::Mode::CreateNew));
    };
    decoder.OnPartLine = [this](MimeDecoder& d, const char* data, std::size_t length) {
        delivered.append(data, length);
        if (d.OutputFile() && length > 0)
            d.OutputFile()->write(data, length);
    };
    decoder.OnPartEnd = [this](MimeDecoder& d) {
        events.push_back("PartEnd");
        d.closeOutputFile();
    };
}

void DecoderHarness::decode(const std::string& text)
{
    MemoryStream stream(text);
    decoder.DecodeStream(stream);
}

std::string DecoderHarness::article(const std::string& text)
{
    // The subject stem: the subject line less "Subject: " and its last 7 characters.
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line) && !line.empty() && line != "\r";) {
        if (line.rfind("Subject: ", 0) != 0)
            continue;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const std::string stem = line.size() > 16 ? line.substr(9, line.size() - 16) : "";
        session.sameSubject = stem == lastStem_;
        lastStem_ = stem;
    }
    session.uuPartOpen = false;
    decode(text);
    session.sameSubject = false;
    std::string name = savedFileName.empty() ? decoder.UuFileName() : savedFileName;
    if (!decoder.UuFileName().empty())
        session.lastFileName = decoder.UuFileName();
    savedFileName.clear();
    decoder.clearTextFields();
    decoder.closeOutputFile();
    return name;
}

std::string DecoderHarness::fileText(const std::string& name) const
{
    return readFile(session.TargetFolder() + name);
}

std::vector<std::string> DecoderHarness::files() const
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(session.downloadFolder))
        names.push_back(std::filesystem::relative(entry.path(), session.downloadFolder).string());
    std::sort(names.begin(), names.end());
    return names;
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
