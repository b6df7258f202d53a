// The stored netmail source: msgexport() of outbound.h.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "base/clock.h"
#include "base/fileio.h"
#include "base/text.h"
#include "bounce/bounce.h"
#include "config/settings.h"
#include "config/tables.h"
#include "driver/log.h"
#include "driver/runstate.h"
#include "durable/journal.h"
#include "export/convert.h"
#include "export/expstate.h"
#include "export/ftnnames.h"
#include "export/outbound.h"
#include "export/pktfiles.h"
#include "export/pktinput.h"
#include "export/pktreader.h"
#include "export/scandate.h"
#include "export/storedmsg.h"
#include "import/curmsg.h"

namespace {

constexpr char MSGEXT[] = ".MSG";
constexpr std::size_t KLUDGELINEMAX = 256;

// What became of one stored message.
enum storedresults {
    STORED_LEFT,      // not for the gateway or a route (or not to be touched): unchanged
    STORED_EXPORTED,  // all of it is in the reply files: mark it sent
    STORED_KEPT,      // something failed (reported): unsent, for the next run
};

// The zone FidoNet data means when it carries none: the first AddrMap's.
std::uint16_t defaultzone() {
    return tables.addrmap.empty() ? 0 : tables.addrmap[0].ftnaddr.zone;
}

// Message files in the order of their numbers (2.MSG before 10.MSG); names
// that are not numbers follow in name order.
bool msgorder(const std::string& a, const std::string& b) {
    // The number a name begins with, without leading zeros.
    auto number = [](const std::string& s) {
        std::size_t end = s.find_first_not_of("0123456789");
        if (end == std::string::npos) end = s.size();
        std::size_t first = s.find_first_not_of('0');
        if (first > end) first = end;
        return std::string_view(s).substr(first, end - first);
    };
    auto numbered = [](const std::string& s) {
        return !s.empty() && isdigit(static_cast<unsigned char>(s[0]));
    };
    if (numbered(a) != numbered(b)) return numbered(a);
    std::string_view na = number(a), nb = number(b);
    if (na.size() != nb.size()) return na.size() < nb.size();
    if (na != nb) return na < nb;
    return a < b;
}

std::vector<std::string> msgfiles() {
    std::vector<std::string> names, found;
    if (!listdir(cfg.netdir.str(), names)) return found;
    for (const std::string& n : names) {
        if (iendswith(n, MSGEXT)) found.push_back(n);
    }
    std::sort(found.begin(), found.end(), msgorder);
    return found;
}

// Where the message is going: the header's net and node, completed by the
// INTL, TOPT and FMPT kludges when a candidate first needs them.
struct msgdest {
    fidoaddr addr;
    bool kludgesread = false;
};

void readintl(const char* rest, fidoaddr& dest) {
    fidoaddr& o = curmsg.fromaddr;
    unsigned short dz = dest.zone, dn = dest.net, dno = dest.node;
    unsigned short oz = o.zone, on = o.net, ono = o.node;
    std::sscanf(rest, "%hu:%hu/%hu %hu:%hu/%hu", &dz, &dn, &dno, &oz, &on, &ono);
    dest = {dz, dn, dno, dest.point};
    o = {oz, on, ono, o.point};
}

void readpoint(const char* rest, std::uint16_t& point) {
    unsigned short p = point;
    std::sscanf(rest, "%hu", &p);
    point = p;
}

// The kludge lines at the top of the text; the input is left after them.
void readkludges(pktinput& in, msgdest& d) {
    d.addr.zone = defaultzone();
    d.addr.point = 0;
    char line[KLUDGELINEMAX + 1];
    while (!in.hiteof()) {
        int r = readasciicr(in, line, KLUDGELINEMAX);
        if (line[0] != '\x01') break;
        std::string_view k(line + 1);
        if (istartswith(k, "TOPT ")) readpoint(line + 6, d.addr.point);
        if (istartswith(k, "FMPT ")) readpoint(line + 6, curmsg.fromaddr.point);
        if (istartswith(k, "INTL ")) readintl(line + 6, d.addr);
        // The rest of a longer kludge is no line of its own: read as one,
        // it would end the kludges before INTL or TOPT was seen.
        while (r == 2) r = readasciicr(in, line, KLUDGELINEMAX);
        if (r == 0) break;
    }
}

bool isfor(const fidoaddr& candidate, msgdest& d, pktinput& in) {
    if (candidate.net != d.addr.net || candidate.node != d.addr.node) return false;
    if (!d.kludgesread) {
        readkludges(in, d);
        d.kludgesread = true;
    }
    return candidate == d.addr;
}

// Sets the routing state for the gateway or the first Route the message is
// for (loading the route); false when it is for neither.
bool choosecandidate(msgdest& d, pktinput& in) {
    if (isfor(cfg.gateaddr, d, in)) {
        curmsg.routing = ROUTING_GATEWAY;
        return true;
    }
    for (const routeentry& r : tables.route) {
        if (isfor(r.ftnaddr, d, in)) {
            loadroute(r);
            return true;
        }
    }
    return false;
}

// The subject of a file attach lists its files, separated by spaces.
void listsubjectfiles(std::string_view subj) {
    std::size_t i = 0;
    while (i < subj.size()) {
        if (subj[i] == ' ') {
            ++i;
            continue;
        }
        std::size_t end = std::min(subj.find(' ', i), subj.size());
        if (addflowfile(subj.substr(i, end - i)) != 0) return;
        i = end;
    }
}

void takeheader(const storedheader& h) {
    curmsg.isfattach = (h.attr & MSGATTR_FILE) ? 1 : 0;
    curmsg.msgdate = h.date.sv();
    curmsg.msgtoname = h.toname.sv();
    curmsg.msgfromname = h.fromname.sv();
    curmsg.msgsubj = h.subject.sv();
    clearflowfiles();
    // Only a message written here names local files (and packets to send)
    // by their paths; a received one may attach only what came with it.
    if (curmsg.isfattach && (h.attr & MSGATTR_LOCAL)) listsubjectfiles(h.subject.sv());
}

// The packets a file attach names that no message took along: exported
// (the gateway's own mail bundles). False when one waits for the next run.
bool sendsubjectpackets() {
    bool clean = true;
    for (std::size_t i = 0; i < flowfiles(); ++i) {
        if (expstate.flowfilelist[i].kind != FLOW_PACKET) continue;
        std::string path(flowfilepath(expstate.flowfilelist[i].name));
        int r = exportpacketfile(path, 0);
        if (r == PKTFILE_KEPT) {
            clean = false;
            continue;
        }
        if (r == PKTFILE_NOTPACKET)
            logprintf("! %s is not a packet: left where it is\n", path.c_str());
        expstate.flowfilelist[i].kind = FLOW_DONE;
    }
    return clean;
}

// The text has gone out, but a packet the message names waits for the next
// run: the message keeps only what is left, the names of the waiting
// packets and no text, so that the next run sends those packets and not
// the text a second time (an empty file attach naming only packets makes no
// Internet message).
// Done when the stored message's unit of work commits, with the replies.
void keepwaitingpackets(const std::string& path) {
    if (run.testmode) return;
    std::string names;
    for (const flowentry& e : expstate.flowfilelist) {
        if (e.kind != FLOW_PACKET) continue;
        if (!names.empty()) names += ' ';
        names += e.name;
    }
    std::string field(MSGSUBJSIZE, '\0');
    field.replace(0, std::min(names.size(), MSGSUBJSIZE - 1), names, 0, MSGSUBJSIZE - 1);
    unitwrite(path, static_cast<long>(MSGHDR_SUBJECT), field);
    unittruncate(path, static_cast<long>(MSGHDRSIZE));
}

int convertstored(std::FILE* f, const storedheader& h, const std::string& path, bool readonly) {
    pktinput in(f, true);
    msgdest d;
    d.addr = {0, h.destnet, h.destnode, 0};
    curmsg.fromaddr = {defaultzone(), h.orignet, h.orignode, 0};
    if (!choosecandidate(d, in)) return STORED_LEFT;
    if (readonly) {
        logprintf("! %s can't be marked sent: not exported\n", path.c_str());
        return STORED_LEFT;
    }
    curmsg.destaddr = d.addr;
    takeheader(h);
    logprintf("Exporting netmail message from %s to %s\n", ftnaddrtext(curmsg.fromaddr).c_str(),
              ftnaddrtext(d.addr).c_str());
    int r = in.seek(MSGHDRSIZE) == 0 ? exportmessage(in, 1) : EXPORT_FAILED;
    bool ok = r == EXPORT_WRITTEN || r == EXPORT_DROPPED;
    // Packets a failed message would have carried wait with it.
    if (ok && !sendsubjectpackets()) {
        keepwaitingpackets(path);
        ok = false;
    }
    clearflowfiles();
    if (ok) return STORED_EXPORTED;
    logprintf("! message %s kept: not all of it could be exported\n", path.c_str());
    return STORED_KEPT;
}

// A message kept for the next run must not look older than the scan date
// that run will use.
void keepforretry(const std::string& path) {
    if (!cfg.quickscan || run.testmode) return;
    struct timespec times[2] = {{nowtime(), 0}, {nowtime(), 0}};
    if (utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) {
        logprintf("! can't touch %s: QuickScan will not see it again\n", path.c_str());
    }
}

// The sent bit is written into the attribute word; a message that asks
// for it is removed once sent. Both when the unit commits.
void marksent(unsigned char* raw, std::uint16_t attr, const std::string& path) {
    setstoredattr(raw, static_cast<std::uint16_t>(attr | MSGATTR_SENT));
    unitwrite(path, static_cast<long>(MSGHDR_ATTR),
              std::string(reinterpret_cast<const char*>(raw) + MSGHDR_ATTR, 2));
    if (attr & MSGATTR_KILLSENT) unitremove(path, true);
}

fileptr openstored(const std::string& path, bool& readonly) {
    readonly = run.testmode != 0;
    errno = 0;
    fileptr f = openshared(path, readonly ? "rb" : "r+b");
    if (!f && (errno == EACCES || errno == EROFS || errno == EPERM)) {
        readonly = true;
        f = openshared(path, "rb");
    }
    return f;
}

void exportstored(const std::string& path, std::time_t since) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || st.st_mtime < since) return;
    bool readonly = false;
    fileptr f = openstored(path, readonly);
    unsigned char raw[MSGHDRSIZE];
    if (!f || std::fread(raw, 1, sizeof raw, f.get()) != sizeof raw) return;
    storedheader h = decodestoredheader(raw);
    if (h.attr & MSGATTR_SENT) return;
    if ((h.attr & MSGATTR_HOLD) && !cfg.exportallmail) return;
    // One unit of work: the message, the packets it names and its marking.
    unitbegin("stored", path);
    int r = convertstored(f.get(), h, path, readonly && !run.testmode);
    f.reset();
    if (r == STORED_KEPT) keepforretry(path);
    if (r == STORED_EXPORTED && !run.testmode) marksent(raw, h.attr, path);
    if (unitcommit() != 0) unitabandon();
    keepbounces();
}

}  // namespace

void msgexport() {
    std::time_t started = 0;
    std::time_t since = quickscandate(cfg.netdir.str(), started);
    for (const std::string& name : msgfiles()) {
        if (journalbroken()) return;
        exportstored(cfg.netdir.str() + name, since);
    }
    // Only a scan that got through moves the date on: after a run that
    // was killed or stopped the next one looks at the same messages again.
    recordscandate(cfg.netdir.str(), started);
}
