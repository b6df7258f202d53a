#include "import/fileoutput.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "driver/log.h"
#include "durable/journal.h"
#include "durable/workfiles.h"
#include "import/replies.h"
#include "lists/listjournal.h"
#include "pkt/pktfile.h"

fileoutputs fileoutput;

namespace {
int removefile(const std::string& path) {
    if (!exist(path) || std::remove(path.c_str()) == 0) return 0;
    logprintf("Error removing %s\n", path.c_str());
    return -1;
}
}  // namespace

void beginfileoutput() {
    fileoutput.decoded.clear();
    openjournal();
    fileoutput.replies = markreplies();
}

void notedecodedfile(const std::string& path) {
    fileoutput.decoded.push_back(path);
}

void keepfileoutput() {
    keeppackets();
    keepreplies();
    closejournal();
    fileoutput.decoded.clear();
}

int discardfileoutput() {
    int result = discardpackets();
    // Decoded files are still under their temporary names.
    for (const std::string& path : fileoutput.decoded) {
        if (removefile(tempname(path)) != 0) result = -1;
    }
    fileoutput.decoded.clear();
    if (rewindreplies(fileoutput.replies) != 0) result = -1;
    if (undojournal() != 0) result = -1;
    return result;
}
