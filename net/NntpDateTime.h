#pragma once

#include <string>

namespace nimbra {

// The date-time values the client exchanges: days since 30 December 1899 with the time of
// day as the fraction.
class NntpDateTime {
public:
    static double encode(int year, int month, int day, int hour, int minute, int second);
    static void decode(double when, int& year, int& month, int& day, int& hour, int& minute, int& second);
    // The current local time.
    static double now();
    // "yymmdd hhnnss", the date form of NEWGROUPS and NEWNEWS; 0 means now.
    static std::string commandText(double when);
};

} // namespace nimbra
