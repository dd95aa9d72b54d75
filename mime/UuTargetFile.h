#pragma once

#include "mime/UuSessionState.h"
#include "platform/FileStream.h"

#include <memory>
#include <string>

namespace nimbra {

// The output files of the uudecoding path. Names come from articles, so every name is made
// safe first: a file is only ever made or opened directly inside the session's target folder.
class UuTargetFile {
public:
    // A new file for the name on a begin line: made safe, then given leading "1"s until it
    // names no existing file. The download folder and then the target folder are made first
    // when missing (one level each). When a folder or the file cannot be made, or nothing of
    // the name is usable, the file gets a free random ".jpg" name instead. fileName receives
    // the name used. Throws std::runtime_error when even the random file cannot be made.
    static std::unique_ptr<FileStream> create(const UuSessionState& session, const std::string& lineName,
                                              std::string& fileName);

    // The existing file fileName in the target folder, open for reading and writing and
    // positioned at its end; none when it cannot be opened.
    static std::unique_ptr<FileStream> reopen(const UuSessionState& session, const std::string& fileName);
};

} // namespace nimbra
