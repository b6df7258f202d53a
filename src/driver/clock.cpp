#include <ctime>

#include "driver/clock.h"

std::time_t nowtime() { return std::time(nullptr); }
