#include "import/importrun.h"

#include "driver/log.h"

int runimport() {
    logprintf("Error: import is not available yet\n");
    return 1;
}
