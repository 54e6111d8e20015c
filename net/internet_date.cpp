// Internet dates as servers write them in cookie expiry attributes, and the
// one form the store writes itself.
#include "net/internet_date.h"

#include <cstdio>
#include <string>
#include <vector>

#include "net/cookie_text.h"

namespace net {

namespace {

using cookie_text::allDigits;
using cookie_text::split;
using cookie_text::trim;
using cookie_text::upper;

int monthIndex(const std::string& text) {
    static const char* const kMonths[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                          "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    if (text.size() < 3) {
        return -1;
    }
    const std::string head = upper(text.substr(0, 3));
    for (int i = 0; i < 12; ++i) {
        if (head == kMonths[i]) {
            return i;
        }
    }
    return -1;
}

// The North American zone names of Internet dates, as hours from UTC; 0 for
// any other text.
int namedZoneHours(const std::string& upperName) {
    static const struct {
        const char* name;
        int hours;
    } kZones[] = {{"EST", -5}, {"EDT", -4}, {"CST", -6}, {"CDT", -5},
                  {"MST", -7}, {"MDT", -6}, {"PST", -8}, {"PDT", -7}};
    for (const auto& zone : kZones) {
        if (upperName == zone.name) {
            return zone.hours;
        }
    }
    return 0;
}

}  // namespace

std::string FormatInternetDate(std::time_t when) {
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm utc{};
    ::gmtime_r(&when, &utc);
    char text[64];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT", kDays[utc.tm_wday],
                  utc.tm_mday, kMonths[utc.tm_mon], utc.tm_year + 1900, utc.tm_hour, utc.tm_min,
                  utc.tm_sec);
    return text;
}

bool ParseInternetDate(const std::string& input, std::time_t& out) {
    // A numeric zone ("+0200", "-0500") ends the text after a blank; it is taken
    // off first because the hyphen also separates the parts of "06-Nov-94".
    std::string text = trim(input);
    std::time_t zoneOffset = 0;
    const auto zoneAt = text.find_last_of(" \t");
    if (zoneAt != std::string::npos && zoneAt + 1 < text.size() &&
        (text[zoneAt + 1] == '+' || text[zoneAt + 1] == '-')) {
        const std::string zone = text.substr(zoneAt + 2);
        if (zone.size() != 4 || !allDigits(zone) || std::stoi(zone.substr(0, 2)) > 23 ||
            std::stoi(zone.substr(2)) > 59) {
            return false;
        }
        zoneOffset = (std::stoi(zone.substr(0, 2)) * 60 + std::stoi(zone.substr(2))) * 60;
        if (text[zoneAt + 1] == '-') {
            zoneOffset = -zoneOffset;
        }
        text.erase(zoneAt);
    }
    // Tokens split at blanks, commas and hyphens; the weekday, if any, is ignored.
    std::vector<std::string> tokens;
    std::string token;
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == ',' || c == '-') {
            if (!token.empty()) {
                tokens.push_back(token);
                token.clear();
            }
        } else {
            token += c;
        }
    }
    if (!token.empty()) {
        tokens.push_back(token);
    }
    int day = -1, month = -1, year = -1, hour = -1, minute = -1, second = -1;
    for (const auto& t : tokens) {
        if (t.find(':') != std::string::npos) {
            if (hour >= 0) {
                return false;
            }
            const auto parts = split(t, ':');
            if (parts.size() != 3 || !allDigits(parts[0]) || !allDigits(parts[1]) ||
                !allDigits(parts[2])) {
                return false;
            }
            hour = std::stoi(parts[0]);
            minute = std::stoi(parts[1]);
            second = std::stoi(parts[2]);
        } else if (allDigits(t)) {
            if (t.size() <= 2 && day < 0) {
                day = std::stoi(t);
            } else if (year < 0) {
                year = std::stoi(t);
                if (t.size() <= 2) {
                    year += year < 70 ? 2000 : 1900;
                }
            } else {
                return false;
            }
        } else if (month < 0 && monthIndex(t) >= 0 && t.size() <= 9) {
            month = monthIndex(t);
        } else if (upper(t) == "GMT" || upper(t) == "UTC" || upper(t) == "UT" || upper(t) == "Z") {
            continue;
        } else if (const int hours = namedZoneHours(upper(t)); hours != 0) {
            zoneOffset = static_cast<std::time_t>(hours) * 3600;
        } else if (t.size() >= 3 && monthIndex(t) < 0 && day < 0 && month < 0) {
            continue;  // weekday name
        } else {
            return false;
        }
    }
    if (day < 1 || day > 31 || month < 0 || year < 1601 || year > 9999 || hour < 0 || hour > 23 ||
        minute > 59 || second > 60) {
        return false;
    }
    std::tm utc{};
    utc.tm_year = year - 1900;
    utc.tm_mon = month;
    utc.tm_mday = day;
    utc.tm_hour = hour;
    utc.tm_min = minute;
    utc.tm_sec = second;
    out = ::timegm(&utc) - zoneOffset;
    return true;
}

}  // namespace net
