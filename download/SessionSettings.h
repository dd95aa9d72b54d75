#pragma once

#include <string>

namespace nimbra {

class SessionView;

// The numbers a run reads from the settings fields. The fields hold digits once the user has
// left them; a field that still holds no usable number gives the value the field itself would
// fall back to.
class SessionSettings {
public:
    static long timeoutSeconds(const SessionView& view);  // > 0, else 20
    static long articleCache(const SessionView& view);    // >= 0, else 2000
    static long minimumKB(const SessionView& view);       // >= 0, else 0
    static long maximumKB(const SessionView& view);       // >= 0, else 200

    // Digits only, at most 9 of them, with blanks around; anything else gives fallback.
    static long number(const std::string& text, long fallback);
};

} // namespace nimbra
