// The clock of the test build: time stands still at a known moment
// (Tue 14 Sep 1999 20:16:10 UTC) unless a test moves it: in the test
// process by setfixedclock, in a run of the test build by the environment
// variable PONDLARK_TEST_NOW (seconds since 1970), so that a test can let
// days pass between two runs.
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "base/clock.h"

namespace {
std::time_t startingtime() {
    std::time_t t = 937340170;
    const char* e = std::getenv("PONDLARK_TEST_NOW");
    if (e == nullptr) return t;
    long long v = 0;
    auto r = std::from_chars(e, e + std::strlen(e), v);
    return r.ec == std::errc() && v > 0 ? static_cast<std::time_t>(v) : t;
}
std::time_t fixednow = startingtime();
}  // namespace

void setfixedclock(std::time_t t) { fixednow = t; }

std::time_t nowtime() { return fixednow; }
