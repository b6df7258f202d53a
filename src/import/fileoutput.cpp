#include "import/fileoutput.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "driver/log.h"
#include "driver/workfiles.h"
#include "import/replies.h"
#include "pkt/pktfile.h"

fileoutputs fileoutput;

namespace {
long lengthof(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

int removefile(const std::string& path) {
    if (!exist(path) || std::remove(path.c_str()) == 0) return 0;
    logprintf("Error removing %s\n", path.c_str());
    return -1;
}

// Only a reply file that is still the slot's current one is unregistered
// and may be cut back; a registered file belongs to the client already.
int rewindreplies(int kind) {
    const replymark& m = fileoutput.marks[kind];
    replyslot& s = replies[kind];
    if (m.path.empty() || s.replyfile.sv() != m.path) return 0;
    s.newmsg = m.newmsg;
    if (m.size < 0) return removefile(m.path);
    long now = lengthof(m.path);
    if (now < 0 || now <= m.size) return 0;
    if (truncate(m.path.c_str(), m.size) == 0) return 0;
    logprintf("Error: can't restore reply file %s\n", m.path.c_str());
    return -1;
}
}  // namespace

void beginfileoutput() {
    fileoutput.decoded.clear();
    for (int kind = REPLY_MAIL; kind <= REPLY_NEWS; ++kind) {
        replymark& m = fileoutput.marks[kind];
        m.path = replies[kind].replyfile.str();
        m.size = m.path.empty() ? -1 : lengthof(m.path);
        m.newmsg = replies[kind].newmsg;
    }
}

void notedecodedfile(const std::string& path) {
    fileoutput.decoded.push_back(path);
}

void keepfileoutput() {
    keeppackets();
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
    return result;
}
