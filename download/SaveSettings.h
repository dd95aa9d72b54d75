#pragma once

#include <cstdint>
#include <string>

namespace nimbra {

// The two settings that decide where files are saved, as the user left them. The window's
// session view provides them; the saver reads them at each article, so a change between
// runs applies to the next run. Calls never throw.
class SaveSettings {
public:
    virtual ~SaveSettings() = default;
    virtual std::string downloadFolderText() const = 0;
    // "Save everything to this folder" (true) or "Separate by news groups" (false).
    virtual bool saveToOneFolder() const = 0;
    // The most bytes one article may hold, so a file in N parts holds at most N times that;
    // 0 when unknown (no bound).
    virtual std::uint64_t articleLimitBytes() const { return 0; }
    // "Skip pictures I already have": a file whose content was saved before is not kept.
    virtual bool skipKnownContent() const { return false; }
};

} // namespace nimbra
