#include "export/pktfiles.h"

#include <cerrno>
#include <cstdio>
#include <memory>
#include <vector>

#include "base/fileio.h"
#include "bounce/bounce.h"
#include "driver/counters.h"
#include "driver/log.h"
#include "driver/runstate.h"
#include "durable/journal.h"
#include "durable/workfiles.h"
#include "export/attach.h"
#include "export/exportcounts.h"
#include "export/expstate.h"
#include "export/pktreader.h"
#include "export/replacefile.h"
#include "import/replies.h"
#include "pkt/pktlayout.h"

namespace {

constexpr std::size_t COPYBLOCK = 64 * 1024;

// A packet cut off in the middle of a message would export the messages
// before the cut again on every run: it is set aside as *.BAD instead,
// when its unit of work commits.
bool setaside(const std::string& path) {
    std::size_t dot = path.rfind('.');
    std::size_t slash = path.rfind('/');
    bool hasext = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    std::string bad = (hasext ? path.substr(0, dot) : path) + ".BAD";
    if (exist(bad) && renfname(bad) != 0) bad.clear();
    if (bad.empty()) {
        logprintf("! packet %s ends in the middle of a message\n", path.c_str());
        return false;
    }
    logprintf("! packet %s ends in the middle of a message, renamed to %s\n", path.c_str(),
              bad.c_str());
    unitmove(path, bad);
    return true;
}

// Copies the rest of in to out; 0, or -1 on a read or write error.
int copyrest(std::FILE* in, std::FILE* out) {
    std::unique_ptr<unsigned char[]> buf(new unsigned char[COPYBLOCK]);
    for (;;) {
        std::size_t n = std::fread(buf.get(), 1, COPYBLOCK, in);
        if (n > 0 && writeall(out, buf.get(), n) != 0) return -1;
        if (n < COPYBLOCK) return std::ferror(in) ? -1 : 0;
    }
}

}  // namespace

int trimpacket(const std::string& path, long resume) {
    if (resume <= static_cast<long>(PKTHDRSIZE)) return 0;
    fileptr in = openshared(path, "rb");
    if (!in) return -1;
    unsigned char header[PKTHDRSIZE];
    if (std::fread(header, 1, sizeof header, in.get()) != sizeof header) return -1;
    if (std::fseek(in.get(), resume, SEEK_SET) != 0) return -1;
    replacement r;
    if (beginreplace(path, r) != 0) return -1;
    if (writeall(r.f.get(), header, sizeof header) != 0 || copyrest(in.get(), r.f.get()) != 0) {
        abortreplace(r);
        return -1;
    }
    in.reset();
    return commitreplace(r);
}

namespace {

// Where export stood before a packet file was read.
struct packetmark {
    replymark replies;
    std::vector<std::uint8_t> kinds;  // of the attachment-list entries
    long counts[4] = {};              // messagecount, emailcount, newscount, listmsgcount
    exportcountmark limits;           // the nodes' counts for ExportLimit
};

packetmark markpacket() {
    packetmark m;
    m.replies = markreplies();
    for (const flowentry& e : expstate.flowfilelist) m.kinds.push_back(e.kind);
    m.counts[0] = stats.messagecount;
    m.counts[1] = stats.emailcount;
    m.counts[2] = stats.newscount;
    m.counts[3] = stats.listmsgcount;
    m.limits = markexportcounts();
    return m;
}

// A packet that stays as it was takes back what its messages produced.
void takeback(const std::string& path, const packetmark& m) {
    logprintf("! %s stays whole: its messages are taken back for the next run\n", path.c_str());
    if (rewindreplies(m.replies) != 0) {
        logprintf("! some messages of %s may be sent twice\n", path.c_str());
    }
    for (std::size_t i = 0; i < m.kinds.size() && i < flowfiles(); ++i)
        expstate.flowfilelist[i].kind = m.kinds[i];
    stats.messagecount = m.counts[0];
    stats.emailcount = m.counts[1];
    stats.newscount = m.counts[2];
    stats.listmsgcount = m.counts[3];
    rewindexportcounts(m.limits);
    // Its refusals are made again, and told then.
    discardbounces();
    releaseattachments(false);
}

// Returns 1 when the packet needs nothing more, 0 when it waits for the
// next run.
int settle(const std::string& path, int result, const packetmark& m) {
    switch (result) {
        case PKT_EXPORTED:
            // Removed when the unit commits, with every reply in place.
            if (!run.testmode) unitremove(path);
            releaseattachments(true);
            return 1;
        case PKT_FAILED:
            logprintf("! packet %s kept: not all of its messages could be exported\n",
                      path.c_str());
            if (run.testmode || trimpacket(path, expstate.pktresume) == 0) {
                releaseattachments(true);
            } else {
                logprintf("! can't take the exported messages out of %s\n", path.c_str());
                takeback(path, m);
            }
            return 0;
        case PKT_CUT:
            if (run.testmode) {
                logprintf("! packet %s ends in the middle of a message\n", path.c_str());
                return 1;
            }
            if (setaside(path)) {
                releaseattachments(true);
                return 1;
            }
            takeback(path, m);
            return 0;
        default:
            return 0;
    }
}

}  // namespace

int exportopenpacket(fileptr& f, const std::string& path, int flowlistvalid) {
    // A unit of work of its own, or part of the one it belongs to (a
    // flavour of the outbound, a stored message).
    unitbegin("packet", path);
    packetmark m = markpacket();
    expstate.holdafter = true;
    int r = exportpkt(f.get(), flowlistvalid);
    expstate.holdafter = false;
    f.reset();
    int settled = r == PKT_NOTFORUS    ? PKTFILE_NOTPACKET
                  : settle(path, r, m) ? PKTFILE_DONE
                                       : PKTFILE_KEPT;
    keepreplies();
    if (unitcommit() != 0) {
        takeback(path, m);
        unitabandon();
        return PKTFILE_KEPT;
    }
    keepbounces();
    return settled;
}

int exportpacketfile(const std::string& path, int flowlistvalid) {
    errno = 0;
    fileptr f = openshared(path, "rb");
    if (!f) {
        if (errno == ENOENT) return PKTFILE_MISSING;
        logprintf("! can't open %s: kept for the next run\n", path.c_str());
        return PKTFILE_KEPT;
    }
    return exportopenpacket(f, path, flowlistvalid);
}
