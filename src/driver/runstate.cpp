#include "driver/runstate.h"

runstate run;
