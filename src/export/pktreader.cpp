#include "export/pktreader.h"

#include <cstdio>
#include <string>

#include "config/settings.h"
#include "config/tables.h"
#include "driver/log.h"
#include "export/convert.h"
#include "export/expstate.h"
#include "export/ftnnames.h"
#include "import/curmsg.h"
#include "pkt/pktlayout.h"

namespace {

// The zone FidoNet data means when it carries none: the first AddrMap's.
std::uint16_t defaultzone() {
    return tables.addrmap.empty() ? 0 : tables.addrmap[0].ftnaddr.zone;
}

struct pktaddrs {
    fidoaddr orig, dest;
    bool plus = false;
};

pktaddrs packetaddresses(const pktheader& h) {
    pktaddrs a;
    a.plus = istype2plus(h);
    a.orig = {0, h.orignet, h.orignode, 0};
    a.dest = {0, h.destnet, h.destnode, 0};
    if (a.plus) {
        a.orig.zone = h.origzone;
        a.orig.point = h.origpoint;
        a.dest.zone = h.destzone;
        a.dest.point = h.destpoint;
    } else {
        // Type 2 carries no zones or points: assume the ones the packet
        // would have if it was meant for us.
        a.orig.zone = defaultzone();
        if (curmsg.routing == ROUTING_GATEWAY) {
            a.dest.zone = cfg.gateaddr.zone;
            a.dest.point = cfg.gateaddr.point;
        } else {
            a.dest.zone = defaultzone();
        }
    }
    return a;
}

// Chooses the gateway or the first Route whose address the packet is
// for; false when it is for neither.
bool matchdestination(const fidoaddr& dest) {
    if (dest == cfg.gateaddr) {
        curmsg.routing = ROUTING_GATEWAY;
        return true;
    }
    for (const routeentry& r : tables.route) {
        if (r.ftnaddr == dest) {
            loadroute(r);
            return true;
        }
    }
    return false;
}

void logpacket(const pktaddrs& a) {
    logprintf("Exporting Type 2%s packet from %s to %s\n", a.plus ? "+" : "",
              ftnaddrtext(a.orig).c_str(), ftnaddrtext(a.dest).c_str());
}

// A header field of at most N-1 characters. The rest of a longer field is
// passed over up to its zero, so the fields after it stay where they are.
template <std::size_t N>
void readfield(pktinput& in, fixedtext<N>& field) {
    char buf[N];
    std::size_t n = readasciiz(in, buf, N - 1);
    if (n == N - 1) {
        buf[n] = '\0';
        while (zgetc(in) != 0) {
        }
    }
    field = buf;
}

enum msgstart { MSG_NEXT, MSG_END, MSG_CUT };

// Reads the packed message header and its four strings into curmsg.
int readmsgheader(pktinput& in, const pktaddrs& a) {
    unsigned char raw[PKTMSGHDRSIZE];
    long start = in.tell();
    std::size_t n = in.read(raw, sizeof raw);
    if (n == 0) return MSG_END;  // no terminator: tolerated
    // A message type word of 0 is the packet's terminator, whatever follows it.
    if (n >= 2 && raw[0] == 0 && raw[1] == 0) {
        (void)in.seek(start + static_cast<long>(PKTTERMSIZE));
        return MSG_END;
    }
    if (n < sizeof raw) return MSG_CUT;
    pktmsgheader m = decodepktmsgheader(raw);
    curmsg.isfattach = (m.attr & MSGATTR_FILEATTACHED) ? 1 : 0;
    curmsg.fromaddr = {a.orig.zone, m.orignet, m.orignode, a.orig.point};
    curmsg.destaddr = {a.dest.zone, m.destnet, m.destnode, a.dest.point};
    readfield(in, curmsg.msgdate);
    readfield(in, curmsg.msgtoname);
    readfield(in, curmsg.msgfromname);
    readfield(in, curmsg.msgsubj);
    return in.hiteof() ? MSG_CUT : MSG_NEXT;
}

int readmessages(pktinput& in, const pktaddrs& a, int flowlistvalid) {
    for (;;) {
        expstate.pktresume = in.tell();
        int start = readmsgheader(in, a);
        if (in.readerror()) return PKT_FAILED;
        if (start == MSG_END) return PKT_EXPORTED;
        if (start == MSG_CUT) return PKT_CUT;
        int r = exportmessage(in, flowlistvalid);
        if (r == EXPORT_FAILED) return PKT_FAILED;
        if (r == EXPORT_CUT) return PKT_CUT;
    }
}

}  // namespace

int exportpkt(std::FILE* f, int flowlistvalid) {
    pktinput in(f);
    unsigned char raw[PKTHDRSIZE];
    if (in.read(raw, sizeof raw) < sizeof raw) return PKT_NOTFORUS;
    pktheader h = decodepktheader(raw);
    if (h.pkttype < PKTTYPE2) return PKT_NOTFORUS;
    pktaddrs a = packetaddresses(h);
    if (curmsg.routing == ROUTING_UNKNOWN && !matchdestination(a.dest)) return PKT_NOTFORUS;
    logpacket(a);
    return readmessages(in, a, flowlistvalid);
}

int zgetc(pktinput& in) {
    int c = in.getbyte();
    return c < 0 ? 0 : static_cast<signed char>(static_cast<unsigned char>(c));
}

std::size_t readasciiz(pktinput& in, char* buf, std::size_t max) {
    std::size_t n = 0;
    while (n < max) {
        int c = zgetc(in);
        buf[n] = static_cast<char>(c);
        if (c == 0) return n;
        ++n;
    }
    buf[n] = '\0';
    return n;
}

int readasciicr(pktinput& in, char* buf, std::size_t max, std::size_t& len, long* textstart) {
    if (in.peekbyte() == '\n') in.getbyte();
    if (textstart) *textstart = in.tell();
    int ended = 0;
    len = in.takeline(buf, max, ended);
    buf[len] = '\0';
    if (ended == '\r') return 1;
    if (ended <= 0) return 0;
    // A line that fills the width exactly is still a whole line.
    int next = in.peekbyte();
    if (next == '\r') {
        in.getbyte();
        return 1;
    }
    if (next <= 0) {
        in.getbyte();
        return 0;
    }
    return 2;
}

int readasciicr(pktinput& in, char* buf, std::size_t max, long* textstart) {
    std::size_t len = 0;
    return readasciicr(in, buf, max, len, textstart);
}
