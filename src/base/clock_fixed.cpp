// The clock of the test build: time stands still at a known moment
// (Tue 14 Sep 1999 20:16:10 UTC) unless a test moves it.
#include <ctime>

#include "base/clock.h"

namespace {
std::time_t fixednow = 937340170;
}

void setfixedclock(std::time_t t) { fixednow = t; }

std::time_t nowtime() { return fixednow; }
