// Run mode and command-line flags, set once at start-up and read everywhere.
#pragma once

#include <cstdio>

#include "base/fixedtext.h"

enum runmode { MODE_IMPORT = 0, MODE_EXPORT = 1, MODE_PACK = 2, MODE_CHECK = 3, MODE_NONE = 4 };

struct runstate {
    int mode = MODE_NONE;
    int testmode = 0;     // "/test": inputs are kept (nothing deleted, renamed or marked)
    int verbose = 0;      // "/verbose": a from/to line for every message
    int globalstats = 0;  // "/global": import statistics once for the whole run
    pathtext packetdir;   // "/pkt=": always ends in "/" when set
    pathtext configfile = "pondlark.cfg";
    pathtext progpath;    // argv[0]; configuration files without "/" live beside it
    std::FILE* logf = nullptr;  // the log, open while a command runs
    long configwarnings = 0;    // configuration warnings given so far (configwarn)
    long configerrors = 0;      // configuration errors given so far (configerror)
};

extern runstate run;
