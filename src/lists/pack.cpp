#include "lists/pack.h"

#include "driver/log.h"

int packlists() {
    logprintf("Error: pack is not available yet\n");
    return 1;
}
