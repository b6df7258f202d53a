#include "config/tables.h"

gatetables tables;
