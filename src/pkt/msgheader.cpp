#include "pkt/msgheader.h"

#include <ctime>
#include <string>

#include "config/settings.h"
#include "driver/bytes.h"
#include "driver/clock.h"
#include "driver/codec.h"
#include "driver/fileio.h"
#include "driver/startup.h"
#include "import/curmsg.h"
#include "pkt/pktappend.h"
#include "pkt/pktlayout.h"

// Kludge lines begin with the byte 0x01; it is written \001 where a
// hexadecimal digit follows, so that the escape cannot swallow it.

namespace {

const char* const junknames[] = {"", "from", "subject", "body", "group", "from=to", "imp/exp"};

const char* monthname(unsigned m) {
    return month[m < 12 ? m : 0];
}

// Appends text cut to max characters and its terminating zero.
void appendfield(std::string& out, std::string_view text, std::size_t max) {
    out.append(text.substr(0, max));
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

// The message's own date, always 19 characters: every number modulo 100.
void appenddate(std::string& out) {
    const msgtimes& t = curmsg.msgtime;
    pktappendf(out, "%02d %-3s %02d  %02d:%02d:%02d", t.day % 100, monthname(t.month), t.year % 100,
               t.hour % 100, t.minute % 100, t.second % 100);
    out.push_back('\0');
}

// A split message numbers its parts behind the subject, as far as they fit.
void appendsubject(std::string& out, int kind, std::string_view attachsubject) {
    if (kind != CAT_NEWS && curmsg.isfattach) {
        appendfield(out, attachsubject, PKTSUBJMAX);
        return;
    }
    std::string subj(curmsg.msgsubj.sv().substr(0, PKTSUBJMAX));
    if (curmsg.parts > 1) pktappendf(subj, " (%ld/%ld)", curmsg.partno, curmsg.parts);
    appendfield(out, subj, PKTSUBJMAX);
}

void appendaddresses(std::string& out) {
    const fidoaddr& from = curmsg.fromaddr;
    const fidoaddr& dest = curmsg.destaddr;
    if (curmsg.fidoareaname.sv() != "NETMAIL")
        pktappendf(out, "AREA:%s\r", curmsg.fidoareaname.c_str());
    // INTL also on echomail: readers take the full origin from it.
    pktappendf(out, "\x01INTL %hu:%hu/%hu %hu:%hu/%hu\r", dest.zone, dest.net, dest.node, from.zone,
               from.net, from.node);
    if (from.point != 0) pktappendf(out, "\001FMPT %hu\r", from.point);
    if (dest.point != 0) pktappendf(out, "\x01TOPT %hu\r", dest.point);
}

// Replies to a message that came over a route go back the same way, so
// those carry no gateway reply address.
void appendreplyto(std::string& out) {
    if (curmsg.routing != 0) return;
    const fidoaddr& g = cfg.gateaddr;
    pktappendf(out, "\x01REPLYADDR %s\r", curmsg.msgreplyemail.c_str());
    pktappendf(out, "\x01REPLYTO %hu:%hu/%hu.%hu %s\r", g.zone, g.net, g.node, g.point, "UUCP");
}

// One identifier kludge (MSGID or REPLY): the decoded FidoNet identifier
// when there is one, else the CRC-32 of the Internet identifier as serial,
// stored back for later use.
void appendidline(std::string& out, const char* name, std::string_view id, int valid,
                  const fidoaddr& idaddr, std::uint32_t& serial) {
    if (valid) {
        pktappendf(out, "\x01%s: %hu:%hu/%hu.%hu %08lX\r", name, idaddr.zone, idaddr.net,
                   idaddr.node, idaddr.point, static_cast<unsigned long>(serial));
        return;
    }
    serial = crc32(id);
    if (cfg.strictfidomsgid) {
        const fidoaddr& g = cfg.gateaddr;
        pktappendf(out, "\x01%s: %hu:%hu/%hu.%hu %08lX\r", name, g.zone, g.net, g.node, g.point,
                   static_cast<unsigned long>(serial));
    } else {
        pktappendf(out, "\x01%s: <%.*s> %08lX\r", name, static_cast<int>(id.size()), id.data(),
                   static_cast<unsigned long>(serial));
    }
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

void appendsplit(std::string& out, const std::tm& now) {
    if (curmsg.parts <= 1) return;
    std::string stamp;
    pktappendf(stamp, "%02d %-3s %02d %02d:%02d:%02d @%u/%u", now.tm_mday, monthname(now.tm_mon),
               now.tm_year % 100, now.tm_hour, now.tm_min, now.tm_sec, curmsg.fromaddr.net,
               curmsg.fromaddr.node);
    pktappendf(out, "\x01SPLIT: %-32s00000 %02ld/%02ld +++++++++++\r", stamp.c_str(), curmsg.partno,
               curmsg.parts);
}

void appendjunkmarks(std::string& out, int junkcategory, int ownorg) {
    if (junkcategory > JUNK_NONE && junkcategory <= JUNK_IMPEXP) {
        pktappendf(out, "\x01JUNKMAIL: %s\r", junknames[junkcategory]);
        if (cfg.junkaction == ACTION_JUNK)
            pktappendf(out, "\x01JUNKMAIL-TO: %s\r", curmsg.junkmailto.c_str());
    }
    if (ownorg) {
        pktappendf(out, "\x01JUNKMAIL: OwnOrg\r");
        if (cfg.ownorgaction == ACTION_JUNK)
            pktappendf(out, "\x01JUNKMAIL-TO: %s\r", curmsg.junkmailto.c_str());
    }
}

}  // namespace

int writepktmsgheader(int kind, std::FILE* f, std::string_view attachsubject, int junkcategory,
                      int ownorg) {
    std::tm now = localclock(nowtime());
    bool byaddress = cfg.infoheader == 1;
    std::string out;
    appendfixedheader(out, kind);
    appenddate(out);
    appendfield(out, byaddress ? curmsg.msgtoemail.sv() : curmsg.msgtoname.sv(), PKTNAMEMAX);
    appendfield(out, byaddress ? curmsg.msgfromemail.sv() : curmsg.msgfromname.sv(), PKTNAMEMAX);
    appendsubject(out, kind, attachsubject);
    appendaddresses(out);
    appendreplyto(out);
    appendids(out);
    pktappendf(out, "\x01PID: " PROGNAME "-%s v%d.%02d\r", PROGOS, VERMAJOR, VERMINOR);
    appendsplit(out, now);
    if (!curmsg.fidocharset.empty()) pktappendf(out, "\001CHRS: %s\r", curmsg.fidocharset.c_str());
    appendjunkmarks(out, junkcategory, ownorg);
    return writeall(f, out.data(), out.size());
}
