#include <ctime>

#include "base/clock.h"

std::tm localclock(std::time_t t) {
    std::tm tm{};
    localtime_r(&t, &tm);
    return tm;
}

long localoffsetminutes(std::time_t t) {
    std::tm tm = localclock(t);
    return tm.tm_gmtoff / 60;
}
