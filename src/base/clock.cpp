#include <ctime>

#include "base/clock.h"

std::time_t nowtime() { return std::time(nullptr); }
