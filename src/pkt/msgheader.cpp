#include "pkt/msgheader.h"

#include <ctime>
#include <string>

#include "base/bytes.h"
#include "base/clock.h"
#include "base/codec.h"
#include "base/fileio.h"
#include "base/identity.h"
#include "base/timezone.h"
#include "config/settings.h"
#include "import/curmsg.h"
#include "pkt/pktappend.h"
#include "pkt/pktguard.h"
#include "pkt/pktlayout.h"

// Kludge lines begin with the byte 0x01; it is written \001 where a
// hexadecimal digit follows, so that the escape cannot swallow it.

namespace {

const char* const junknames[] = {"", "from", "subject", "body", "group", "from=to", "imp/exp"};

const char* monthname(unsigned m) {
    return month[m < 12 ? m : 0];
}

// Appends text cut to max characters and its terminating zero.
// How much of text fits in max bytes: a text in UTF-8 is never cut
// inside a character.
std::size_t fieldcut(std::string_view text, std::size_t max) {
    if (text.size() <= max) return text.size();
    if (curmsg.outcharset != "UTF-8") return max;
    std::size_t n = max;
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    return n;
}

// Names and subject come from the Internet: made safe after every
// conversion, like every other text of the header.
void appendfield(std::string& out, std::string_view text, std::size_t max) {
    appendguarded(out, text.substr(0, fieldcut(text, max)));
    out.push_back('\0');
}

void appendfixedheader(std::string& out, int kind) {
    pktmsgheader m;
    m.orignode = curmsg.fromaddr.node;
    m.destnode = curmsg.destaddr.node;
    m.orignet = curmsg.fromaddr.net;
    m.destnet = curmsg.destaddr.net;
    if (kind == CAT_EMAIL) m.attr |= MSGATTR_PRIVATE;
    if (kind != CAT_NEWS && curmsg.isfattach) m.attr |= MSGATTR_FILEATTACHED;
    unsigned char buf[PKTMSGHDRSIZE];
    encodepktmsgheader(m, buf);
    out.append(reinterpret_cast<const char*>(buf), sizeof buf);
}

// The message's own date, always 19 characters: every number modulo 100
// ("%02d %-3s %02d  %02d:%02d:%02d").
void appenddate(std::string& out) {
    const msgtimes& t = curmsg.msgtime;
    appenddec(out, t.day % 100u, 2);
    out.push_back(' ');
    out.append(monthname(t.month));
    out.push_back(' ');
    appenddec(out, t.year % 100u, 2);
    out.append("  ");
    appenddec(out, t.hour % 100u, 2);
    out.push_back(':');
    appenddec(out, t.minute % 100u, 2);
    out.push_back(':');
    appenddec(out, t.second % 100u, 2);
    out.push_back('\0');
}

// A split message numbers its parts behind the subject, as far as they fit.
void appendsubject(std::string& out, int kind, std::string_view attachsubject) {
    if (kind != CAT_NEWS && curmsg.isfattach) {
        appendfield(out, attachsubject, PKTSUBJMAX);
        return;
    }
    std::string subj(curmsg.msgsubj.sv().substr(0, fieldcut(curmsg.msgsubj.sv(), PKTSUBJMAX)));
    if (curmsg.parts > 1) pktappendf(subj, " (%ld/%ld)", curmsg.partno, curmsg.parts);
    appendfield(out, subj, PKTSUBJMAX);
}

void appendaddresses(std::string& out) {
    const fidoaddr& from = curmsg.fromaddr;
    const fidoaddr& dest = curmsg.destaddr;
    if (curmsg.fidoareaname.sv() != "NETMAIL") {
        out.append("AREA:");
        appendguarded(out, curmsg.fidoareaname.sv());
        out.push_back('\r');
    }
    // INTL also on echomail: readers take the full origin from it.
    out.append("\x01INTL ");
    appendaddr(out, dest, false);
    out.push_back(' ');
    appendaddr(out, from, false);
    out.push_back('\r');
    if (from.point != 0) {
        out.append("\001FMPT ");
        appenddec(out, from.point);
        out.push_back('\r');
    }
    if (dest.point != 0) {
        out.append("\x01TOPT ");
        appenddec(out, dest.point);
        out.push_back('\r');
    }
}

// Replies to a message that came over a route go back the same way, so
// those carry no gateway reply address.
void appendreplyto(std::string& out) {
    if (curmsg.routing != 0) return;
    out.append("\x01REPLYADDR ");
    appendguarded(out, curmsg.msgreplyemail.sv());
    out.push_back('\r');
    out.append("\x01REPLYTO ");
    appendaddr(out, cfg.gateaddr, true);
    out.append(" UUCP\r");
}

// One identifier kludge (MSGID or REPLY): the decoded FidoNet identifier
// when there is one, else the CRC-32 of the Internet identifier as serial,
// stored back for later use.
void appendidline(std::string& out, const char* name, std::string_view id, int valid,
                  const fidoaddr& idaddr, std::uint32_t& serial) {
    out.push_back('\x01');
    out.append(name).append(": ");
    if (valid) {
        appendaddr(out, idaddr, true);
    } else {
        serial = crc32(id);
        if (cfg.strictfidomsgid) {
            appendaddr(out, cfg.gateaddr, true);
        } else {
            out.push_back('<');
            appendguarded(out, id);
            out.push_back('>');
        }
    }
    out.push_back(' ');
    appendhex8(out, serial);
    out.push_back('\r');
}

// Identifiers belong to the message as a whole: only its first part has them.
void appendids(std::string& out) {
    if (curmsg.partno != 1) return;
    if (!curmsg.msgid.empty()) {
        appendidline(out, "MSGID", curmsg.msgid.sv(), curmsg.validmsgid, curmsg.msgidaddr,
                     curmsg.fidomsgid);
    }
    if (!curmsg.replyid.empty()) {
        appendidline(out, "REPLY", curmsg.replyid.sv(), curmsg.validreplyid, curmsg.replyidaddr,
                     curmsg.fidoreplyid);
    }
}

// Only split messages read the clock: their parts carry the moment.
void appendsplit(std::string& out) {
    if (curmsg.parts <= 1) return;
    std::tm now = localclock(nowtime());
    std::string stamp;
    pktappendf(stamp, "%02d %-3s %02d %02d:%02d:%02d @%u/%u", now.tm_mday, monthname(now.tm_mon),
               now.tm_year % 100, now.tm_hour, now.tm_min, now.tm_sec, curmsg.fromaddr.net,
               curmsg.fromaddr.node);
    pktappendf(out, "\x01SPLIT: %-32s00000 %02ld/%02ld +++++++++++\r", stamp.c_str(), curmsg.partno,
               curmsg.parts);
}

// The same for every message of a run: formatted once.
const std::string& pidline() {
    static const std::string line = [] {
        std::string s;
        pktappendf(s, "\x01PID: " PROGNAME "-%s v%d.%02d\r", PROGOS, VERMAJOR, VERMINOR);
        return s;
    }();
    return line;
}

// The to-name a diverted message had.
void appendjunkto(std::string& out) {
    out.append("\x01JUNKMAIL-TO: ");
    appendguarded(out, curmsg.junkmailto.sv());
    out.push_back('\r');
}

void appendjunkmarks(std::string& out, int junkcategory, int ownorg) {
    if (junkcategory > JUNK_NONE && junkcategory <= JUNK_IMPEXP) {
        pktappendf(out, "\x01JUNKMAIL: %s\r", junknames[junkcategory]);
        if (cfg.junkaction == ACTION_JUNK)
            appendjunkto(out);
    }
    if (ownorg) {
        pktappendf(out, "\x01JUNKMAIL: OwnOrg\r");
        if (cfg.ownorgaction == ACTION_JUNK) appendjunkto(out);
    }
}

// The zone of the message's Date header as FTS-4008 writes it: "TZUTC:
// 0200", "TZUTC: -0500". A Date without a zone, or with "-0000" (a zone
// unknown to its writer), gives none.
void appendtzutc(std::string& out) {
    std::string_view z = curmsg.tzinfo.sv();
    while (!z.empty() && (z.front() == ' ' || z.front() == '\t')) z.remove_prefix(1);
    z = z.substr(0, z.find_first_of(" \t("));
    long offset = 0;
    if (z == "-0000" || !rfczoneoffset(z, offset)) return;
    out.append("\001TZUTC: ").append(tzutctext(offset)).push_back('\r');
}

}  // namespace

int writepktmsgheader(int kind, std::FILE* f, std::string_view attachsubject, int junkcategory,
                      int ownorg) {
    bool byaddress = cfg.infoheader == 1;
    // Every message of a run is headed here: one buffer serves them all.
    static std::string out;
    out.clear();
    appendfixedheader(out, kind);
    appenddate(out);
    appendfield(out, byaddress ? curmsg.msgtoemail.sv() : curmsg.msgtoname.sv(), PKTNAMEMAX);
    appendfield(out, byaddress ? curmsg.msgfromemail.sv() : curmsg.msgfromname.sv(), PKTNAMEMAX);
    appendsubject(out, kind, attachsubject);
    appendaddresses(out);
    appendreplyto(out);
    appendids(out);
    out.append(pidline());
    appendsplit(out);
    if (!curmsg.fidocharset.empty()) {
        out.append("\001CHRS: ");
        appendguarded(out, curmsg.fidocharset.sv());
        out.push_back('\r');
    }
    appendtzutc(out);
    appendjunkmarks(out, junkcategory, ownorg);
    return writeall(f, out.data(), out.size());
}
