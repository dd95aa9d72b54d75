#pragma once

#include <string>

namespace nimbra {

// The download session's state that the uudecoding line handler reads and writes while an
// article is decoded. The session implements it; the decoder holds a reference and never
// outlives the object behind it.
//
// SameSubject, LastFileName and the folders are only read. UuPartOpen and UuEndSeen are read
// and written: the session clears UuPartOpen before each article and sets UuEndSeen when a
// run starts, the decoder changes them at begin, continuation and end lines.
class UuSessionState {
public:
    virtual ~UuSessionState() = default;

    // This article's subject stem equals the previous article's.
    virtual bool SameSubject() const = 0;
    virtual bool UuPartOpen() const = 0;
    virtual void SetUuPartOpen(bool open) = 0;
    virtual bool UuEndSeen() const = 0;
    virtual void SetUuEndSeen(bool seen) = 0;
    // The name of the file the previous article produced, in the target folder.
    virtual std::string LastFileName() const = 0;
    // The download folder, ending in "/".
    virtual std::string DownloadFolder() const = 0;
    // Where this article's files go, ending in "/": the download folder itself, or the
    // current group's folder inside it.
    virtual std::string TargetFolder() const = 0;
};

} // namespace nimbra
