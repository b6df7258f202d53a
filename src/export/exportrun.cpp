#include "export/exportrun.h"

#include "driver/log.h"

int runexport() {
    logprintf("Error: export is not available yet\n");
    return 1;
}
