#include "driver/counters.h"

runcounters stats;
runcounters totals;
