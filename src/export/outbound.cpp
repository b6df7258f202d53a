#include "export/outbound.h"

#include "driver/log.h"

void msgexport() { logprintf("Error: export of stored netmail is not available yet\n"); }

void binkexport(const fidoaddr& addr, const std::string& toname) {
    (void)addr;
    (void)toname;
    logprintf("Error: export from the outbound is not available yet\n");
}
