#pragma once

#include "mime/MimeDecoder.h"
#include "mime/UuSessionState.h"

#include <string>
#include <vector>

namespace nimbra::test {

// The download session's side of the uudecoding state, held in plain fields.
class FakeUuSession : public UuSessionState {
public:
    bool sameSubject = false;
    bool uuPartOpen = false;
    bool uuEndSeen = true;
    std::string lastFileName;
    std::string downloadFolder;
    std::string targetFolder;

    bool SameSubject() const override { return sameSubject; }
    bool UuPartOpen() const override { return uuPartOpen; }
    void SetUuPartOpen(bool open) override { uuPartOpen = open; }
    bool UuEndSeen() const override { return uuEndSeen; }
    void SetUuEndSeen(bool seen) override { uuEndSeen = seen; }
    std::string LastFileName() const override { return lastFileName; }
    std::string DownloadFolder() const override { return downloadFolder; }
    std::string TargetFolder() const override { return targetFolder; }
};

// Stands in for the saving code: binds the part events as it will (a named part gets a new
// file, part lines go into the output file, part end closes it) and walks articles the way
// the session does (subject stem, UuPartOpen cleared before, LastFileName after). Every
// event is also logged by name, and all delivered bytes are kept.
class DecoderHarness {
public:
    // Files go to a fresh folder "<TestEnvironment root>/<folder>/".
    explicit DecoderHarness(const std::string& folder = "download");

    // Decodes one article; returns the name of the file it produced, or "".
    std::string article(const std::string& text);
    // Decodes without the session steps, as a bare call of DecodeStream.
    void decode(const std::string& text);
    std::string fileText(const std::string& name) const;
    std::vector<std::string> files() const;

    FakeUuSession session;
    MimeDecoder decoder{session};
    std::vector<std::string> events;
    std::string delivered;
    std::string savedFileName;

private:
    std::string lastStem_;
};

std::string readFile(const std::string& path);
// LF line ends become CR LF.
std::string crlf(const std::string& text);

} // namespace nimbra::test
