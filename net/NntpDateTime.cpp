#include "net/NntpDateTime.h"

#include <cmath>
#include <cstdio>
#include <ctime>

namespace nimbra {
namespace {

// Days from 1970-01-01 of a civil date (proleptic Gregorian).
long long daysFromCivil(long long y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

void civilFromDays(long long z, int& year, int& month, int& day)
{
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(static_cast<long long>(yoe) + era * 400 + (month <= 2));
}

constexpr long long UnixEpochDay = 25569;  // 1970-01-01 counted from 1899-12-30

} // namespace

double NntpDateTime::encode(int year, int month, int day, int hour, int minute, int second)
{
    const long long days = daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) + UnixEpochDay;
    return static_cast<double>(days) + (hour * 3600 + minute * 60 + second) / 86400.0;
}

void NntpDateTime::decode(double when, int& year, int& month, int& day, int& hour, int& minute, int& second)
{
    long long days = static_cast<long long>(std::floor(when));
    long long seconds = std::llround((when - static_cast<double>(days)) * 86400.0);
    if (seconds >= 86400) {
        ++days;
        seconds -= 86400;
    }
    civilFromDays(days - UnixEpochDay, year, month, day);
    hour = static_cast<int>(seconds / 3600);
    minute = static_cast<int>(seconds / 60 % 60);
    second = static_cast<int>(seconds % 60);
}

double NntpDateTime::now()
{
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&t, &local);
    return encode(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
}

std::string NntpDateTime::commandText(double when)
{
    int year, month, day, hour, minute, second;
    decode(when == 0 ? now() : when, year, month, day, hour, minute, second);
    char text[32];
    std::snprintf(text, sizeof text, "%02d%02d%02d %02d%02d%02d", ((year % 100) + 100) % 100, month, day, hour, minute,
                  second);
    return text;
}

} // namespace nimbra
