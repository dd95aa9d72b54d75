#pragma once

#include "app/SettingsFields.h"

#include <cstdint>
#include <string>

namespace nimbra {

class RegistryStore;

// Moves the settings and totals between the settings store and the window's fields.
class WindowSettings {
public:
    static constexpr const char* SettingsKey = "Software\\Tolmar\\Nimbra V1.0";
    static constexpr const char* TotalsKey = "Software\\Tolmar";
    static constexpr const char* HelpKey = "Software\\Microsoft\\Windows\\Help";

    struct Totals {
        std::int32_t files = 0;
        std::int32_t kilobytes = 0;
    };

    // Opens (creating) the help key and records the program folder as the help file's place.
    static void writeHelpLocation(RegistryStore& store, const std::string& programFolder);

    // Opens (creating) the totals key and reads "totf" and "tots"; an absent value, or one
    // that holds no number, counts 0.
    static Totals loadTotals(RegistryStore& store);
    static void saveTotals(RegistryStore& store, const std::string& files, const std::string& kilobytes);

    // Opens (creating) the settings key and fills the fields: the host always (empty when
    // absent), the others only when present, the folder from "dirtosave" or the default
    // download folder. A stored value that its field would not accept (no number, out of
    // range, too long) gives way to what the field's rule makes of it.
    static void load(RegistryStore& store, SettingsFields& fields);
    // Opens (creating) the settings key and writes NEWSHost, timeout, contain, cache, lines,
    // port, maxlines, dirtosave, in that order, from the fields.
    static void save(RegistryStore& store, const SettingsFields& fields);
};

} // namespace nimbra
