#include "import/setaside.h"

#include <unistd.h>

#include <algorithm>
#include <vector>

#include "base/fileio.h"
#include "driver/counters.h"
#include "driver/log.h"
#include "durable/journal.h"
#include "durable/workfiles.h"
#include "import/fileoutput.h"
#include "import/soup.h"
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

// Copies the bytes of r into a new file "<message file>-<n>.BAD" beside the
// message file, as an output of its unit. Returns 0, or -1 (reported).
int copyaside(std::FILE* f, const msgrange& r, const std::string& path, std::string& bad) {
    std::string base = path.substr(0, path.size() - (sizeof MESSAGEEXT - 1)) + "-";
    genfname(base, ".BAD", bad, outputtaken);
    if (unitoutput(bad, PUBLISH_FILE) != 0) return -1;
    fileptr out = openfile(tempname(bad), "wbx");
    if (!out) {
        unitdropoutput(bad);
        logprintf("Error writing %s\n", bad.c_str());
        return -1;
    }
    notedecodedfile(bad);
    std::vector<char> buf(1 << 16);
    int res = 0;
    for (long at = r.start; res == 0 && at < r.end;) {
        std::size_t want = static_cast<std::size_t>(std::min<long>(r.end - at, static_cast<long>(buf.size())));
        ssize_t n = pread(fileno(f), buf.data(), want, at);
        if (n <= 0) {
            res = -1;
            break;
        }
        res = writeall(out.get(), buf.data(), static_cast<std::size_t>(n));
        at += n;
    }
    if (res == 0 && syncfd(fileno(out.get())) != 0) res = -1;
    if (closefile(out) != 0) res = -1;
    if (res == 0) res = outputcomplete(bad);
    if (res != 0) logprintf("Error writing %s\n", bad.c_str());
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
    std::string bad;
    if (takeback(m) != 0 || copyaside(f, r, path, bad) != 0) return -1;
    logprintf("! %s: the message at offset %ld could not be finished, set aside as %s\n",
              path.c_str(), r.start, bad.c_str());
    ++stats.setasidecount;
    return 0;
}
