// Time zones of "Date:" headers: the offset from UTC that a wall-clock
// time in a zone had, summer and winter alike.
//
// A zone is a fixed offset ("+0100", or one of the names RFC 5322 gives a
// meaning: UT, GMT, EST, ...), the rules of a zone of the system's zone
// database (Europe/Berlin, CET: a TZif file below TZDIR, else
// /usr/share/zoneinfo), a POSIX rule ("CET-1CEST,M3.5.0,M10.5.0/3"), or
// the process's local zone (TZ, else the system's), which the C library
// works out.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum zonekinds { ZONE_LOCAL = 0, ZONE_FIXED = 1, ZONE_RULES = 2 };

// A day of the year a POSIX rule changes the clocks on, and the local time
// of day (seconds, may be negative or past 24 hours) it does so at.
struct zonechange {
    char kind = 'M';      // 'J': day 1..365 without 29 Feb; 'D': day 0..365; 'M': month.week.weekday
    int day = 0;          // J and D: the day; M: the weekday 0 (Sunday) .. 6
    int month = 0;        // M: 1..12
    int week = 0;         // M: 1..5, 5 the last of the month
    long time = 7200;     // seconds after local midnight
};

// "std offset [dst [offset] [,start[/time],end[/time]]]", offsets east.
struct posixrule {
    bool valid = false;
    long stdoff = 0;      // seconds east of UTC outside summer time
    bool hasdst = false;
    long dstoff = 0;      // seconds east of UTC in summer time
    zonechange start, end;
};

struct zonedata {
    int kind = ZONE_LOCAL;
    long fixed = 0;                        // ZONE_FIXED: seconds east of UTC
    std::vector<std::int64_t> transitions; // ZONE_RULES: UTC instants, ascending
    std::vector<std::uint8_t> typeindex;   // the type each transition starts
    std::vector<long> typeoffset;          // seconds east of UTC of each type
    posixrule footer;                      // the rule after the last transition
};

// Reads a zone text as "TimeZone" or "TZ" give it: "+hhmm", "-hhmm" (also
// "+hh:mm"), UT, GMT, EST, EDT, CST, CDT, MST, MDT, PST, PDT, a zone of the
// zone database (a ":" in front is allowed), or a POSIX rule. Empty text is
// the local zone. Reads TZDIR and the zone file. Returns 0, or -1 when the
// text names no zone; z is then the local zone.
[[nodiscard]] int parsezone(std::string_view text, zonedata& z);

// Seconds east of UTC in the zone at the UTC instant t (seconds since 1970).
long zoneoffsetat(const zonedata& z, std::int64_t t);

// Seconds east of UTC of the wall-clock time local (civilseconds()) in the
// zone. A time the clocks skipped takes the offset before the change; a
// time they showed twice, the first.
long zoneoffsetfor(const zonedata& z, std::int64_t local);

// Seconds since 1970-01-01 00:00 of a date and time counted as if in UTC;
// month 1..12.
std::int64_t civilseconds(int year, int month, int day, int hour, int minute, int second);

// The parts of civilseconds() again: year, month 1..12, day, hour, minute,
// second, weekday 0 (Sunday) .. 6.
struct civiltime {
    int year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0, weekday = 4;
};
civiltime civilfromseconds(std::int64_t s);

// "+hhmm" or "-hhmm" for an offset in seconds east (seconds dropped).
std::string rfcoffset(long seconds);

// An offset written as RFC 5322 allows it after a time: "+hhmm"/"-hhmm"
// or one of the obsolete names UT, GMT, EST ... PDT (ignoring case).
// Returns true and the offset in seconds east.
bool rfczoneoffset(std::string_view text, long& seconds);

// The value of a TZUTC kludge (the text after "TZUTC:"): "[-]hhmm" after
// optional blanks (a "+", which some write, is taken too). True and the
// offset in seconds east, or false when it is no such offset.
bool tzutcoffset(std::string_view value, long& seconds);

// The value of a TZUTC kludge for an offset: "hhmm", or "-hhmm" west of UTC.
std::string tzutctext(long seconds);

// The contents of a TZif file (RFC 8536, versions 1 to 4) into z.
// Returns 0, or -1 when they are no such file.
[[nodiscard]] int parsetzif(std::string_view bytes, zonedata& z);

// A POSIX TZ rule ("EST5EDT,M3.2.0,M11.1.0"). Returns true when the whole
// text is one.
bool parseposixtz(std::string_view text, posixrule& r);
