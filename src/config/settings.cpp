#include "config/settings.h"

settings cfg;
