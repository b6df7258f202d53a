#include "import/fileoutput.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "driver/log.h"
#include "driver/workfiles.h"
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

// A reply file that is still the slot's current one is cut back to where
// it stood; the client does not read it before the run ends.
int rewindreplies(int kind) {
    const replymark& m = fileoutput.marks[kind];
    if (m.path.empty() || replies[kind].replyfile.sv() != m.path) return 0;
    return rewindreply(kind, m.size, m.newmsg);
}
}  // namespace

void beginfileoutput() {
    fileoutput.decoded.clear();
    openjournal();
    fileoutput.registered = replies.registered.size();
    for (int kind = REPLY_MAIL; kind <= REPLY_NEWS; ++kind) {
        replymark& m = fileoutput.marks[kind];
        m.path = replies[kind].replyfile.str();
        m.size = replyfilesize(kind);
        m.newmsg = replies[kind].newmsg;
    }
}

void notedecodedfile(const std::string& path) {
    fileoutput.decoded.push_back(path);
}

void keepfileoutput() {
    keeppackets();
    closejournal();
    fileoutput.decoded.clear();
}

int discardfileoutput() {
    int result = discardpackets();
    for (const std::string& path : fileoutput.decoded) {
        if (removefile(path) != 0) result = -1;
    }
    fileoutput.decoded.clear();
    for (int kind = REPLY_MAIL; kind <= REPLY_NEWS; ++kind) {
        if (rewindreplies(kind) != 0) result = -1;
    }
    if (takebackregistered(fileoutput.registered) != 0) result = -1;
    if (undojournal() != 0) result = -1;
    return result;
}
