#pragma once

#include <optional>
#include <string>

namespace nimbra {

// What the Options page's numeric fields become when focus leaves them. Each rule takes the
// field texts and returns the texts the fields must show; a text that is already valid comes
// back unchanged.
class FieldRules {
public:
    // The number in text: an optional sign and decimal digits that fit in 32 bits, nothing
    // else. Empty when the text holds no such number.
    static std::optional<int> number(const std::string& text);

    // Time-out, seconds: 10..600, else "20".
    static std::string timeout(const std::string& text);
    // Article cache: 2..10000, else "2000".
    static std::string cache(const std::string& text);
    // Pipeline, articles asked for at once: 1..64, else "16".
    static std::string pipeline(const std::string& text);
    // Similar within, bits: 0..16, else "5".
    static std::string similarBits(const std::string& text);
    // Connections fetching articles at once: 1..50, else "4".
    static std::string connections(const std::string& text);

    struct Sizes {
        std::string minimum;
        std::string maximum;
    };
    // Leaving the minimum: 0..50000 and below the maximum, else "0". A maximum that holds no
    // number cannot be compared with, so the minimum falls back to "0" as well.
    static Sizes minimumLeft(const Sizes& sizes);
    // Leaving the maximum: 1..50000, else "200"; then a minimum that is not below it (or holds
    // no number) becomes "0".
    static Sizes maximumLeft(const Sizes& sizes);

    // The port field on load: digits only, at most five of them, else "119".
    static std::string port(const std::string& text);
};

} // namespace nimbra
