// The program's only view of the time of day.
//
// The shipped program reads the system clock; the test build links a fixed
// clock instead, so that packets, dates and serials can be compared byte for
// byte.
#pragma once

#include <ctime>

// Seconds since 1970-01-01 00:00 UTC, now.
std::time_t nowtime();

// The broken-down local time of t (TZ applies).
std::tm localclock(std::time_t t);

// Local offset from UTC of t in minutes east (for example 120 for +0200).
long localoffsetminutes(std::time_t t);
