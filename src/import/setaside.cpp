#include "import/setaside.h"

#include <unistd.h>

#include <cstdio>

#include "driver/counters.h"
#include "driver/log.h"
#include "durable/journal.h"
#include "durable/workfiles.h"
#include "import/fileoutput.h"
#include "import/junkfolder.h"
#include "pkt/pktfile.h"

namespace {

// Takes what a message wrote out of the packet and removes its decoded
// files. Returns 0, or -1 when the packet cannot be put back.
int takeback(const messagemark& m) {
    int res = 0;
    for (std::size_t i = m.decoded; i < fileoutput.decoded.size(); ++i) {
        const std::string& path = fileoutput.decoded[i];
        unitdropoutput(path);
        if (std::remove(tempname(path).c_str()) != 0 && exist(tempname(path))) {
            logprintf("Error removing %s\n", tempname(path).c_str());
            res = -1;
        }
    }
    fileoutput.decoded.resize(m.decoded);
    std::FILE* pkt = outpkt.file.get();
    if (!pkt || m.pktpos < 0 || std::fflush(pkt) != 0 || std::ferror(pkt) ||
        ftruncate(fileno(pkt), m.pktpos) != 0 || std::fseek(pkt, m.pktpos, SEEK_SET) != 0)
        return -1;
    return res;
}

}  // namespace

messagemark markmessage() {
    messagemark m;
    if (outpkt.file) m.pktpos = std::ftell(outpkt.file.get());
    m.decoded = fileoutput.decoded.size();
    return m;
}

int setmessageaside(std::FILE* f, const msgrange& r, const std::string& path,
                    const messagemark& m) {
    std::string kept;
    if (takeback(m) != 0 || keepinjunk(f, r, kept) != 0) return -1;
    logprintf("! %s: the message at offset %ld could not be finished, kept in %s\n",
              path.c_str(), r.start, kept.c_str());
    ++stats.setasidecount;
    return 0;
}
