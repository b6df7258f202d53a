#include "export/headerscan.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/clock.h"
#include "base/codec.h"
#include "base/mailbox.h"
#include "base/text.h"
#include "base/timezone.h"
#include "config/settings.h"
#include "export/expstate.h"
#include "export/pktreader.h"
#include "import/curmsg.h"

namespace {

constexpr char KLUDGE = '\x01';

std::string_view skipspaces(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    return s;
}

bool startswith(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

int daysinmonth(int mon, int year) {
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return mon == 1 && leap ? 29 : days[mon];
}

bool validtime(const msgtimes& t) {
    return t.month < 12 && t.day >= 1 && t.day <= daysinmonth(t.month, t.year) && t.hour < 24 &&
           t.minute < 60 && t.second < 60;
}

// The numbers of the kludges every message carries are read by hand when
// they are written plainly: the plain decimal number (1 to 5 digits, at
// most 65535) at the start of s is taken off s. Anything else - blanks,
// signs, longer numbers - is left to sscanf, whose reading of it these
// do not copy.
bool takeu16(std::string_view& s, unsigned short& v) {
    std::size_t n = 0;
    unsigned long value = 0;
    while (n < s.size() && isdigitc(static_cast<unsigned char>(s[n]))) {
        if (n == 5) return false;
        value = value * 10 + static_cast<unsigned long>(s[n] - '0');
        ++n;
    }
    if (n == 0 || value > 65535) return false;
    v = static_cast<unsigned short>(value);
    s.remove_prefix(n);
    return true;
}

bool takechar(std::string_view& s, char c) {
    if (s.empty() || s.front() != c) return false;
    s.remove_prefix(1);
    return true;
}

// "zone:net/node" written plainly.
bool takeaddress(std::string_view& s, unsigned short& zone, unsigned short& net,
                 unsigned short& node) {
    return takeu16(s, zone) && takechar(s, ':') && takeu16(s, net) && takechar(s, '/') &&
           takeu16(s, node);
}

// "%hu:%hu/%hu %hu:%hu/%hu" of a plainly written INTL line.
bool plainintl(std::string_view s, unsigned short v[6]) {
    return takeaddress(s, v[0], v[1], v[2]) && takechar(s, ' ') && takeaddress(s, v[3], v[4], v[5]);
}

void readintl(const char* rest) {
    fidoaddr& o = curmsg.fromaddr;
    fidoaddr& d = curmsg.destaddr;
    unsigned short dz = d.zone, dn = d.net, dno = d.node, oz = o.zone, on = o.net, ono = o.node;
    unsigned short v[6];
    if (plainintl(rest, v)) {
        dz = v[0], dn = v[1], dno = v[2], oz = v[3], on = v[4], ono = v[5];
    } else {
        std::sscanf(rest, "%hu:%hu/%hu %hu:%hu/%hu", &dz, &dn, &dno, &oz, &on, &ono);
    }
    d.zone = dz, d.net = dn, d.node = dno;
    o.zone = oz, o.net = on, o.node = ono;
}

void readpoint(const char* rest, std::uint16_t& point) {
    unsigned short p = point;
    std::string_view s(rest);
    if (!takeu16(s, p)) std::sscanf(rest, "%hu", &p);
    point = p;
}

// "%hu %15s %hu  %hu:%hu:%hu" of a date written as FidoNet writes it
// ("14 Sep 99  20:16:10"): true when all six fields were read so.
bool plaindate(std::string_view s, unsigned short& day, char* mon, unsigned short& year,
               unsigned short& hour, unsigned short& minute, unsigned short& second) {
    auto blanks = [&s] {
        std::size_t n = 0;
        while (n < s.size() && s[n] == ' ') ++n;
        s.remove_prefix(n);
        return n > 0;
    };
    if (!takeu16(s, day) || !blanks()) return false;
    std::size_t n = 0;
    while (n < s.size() && s[n] != ' ' && !iswhite(static_cast<unsigned char>(s[n]))) ++n;
    if (n == 0 || n > 15) return false;
    std::memcpy(mon, s.data(), n);
    mon[n] = '\0';
    s.remove_prefix(n);
    return blanks() && takeu16(s, year) && blanks() && takeu16(s, hour) && takechar(s, ':') &&
           takeu16(s, minute) && takechar(s, ':') && takeu16(s, second);
}

void readflags(std::string_view rest, exportmsg& m) {
    while (!(rest = skipspaces(rest)).empty()) {
        std::size_t end = rest.find(' ');
        std::string_view word = rest.substr(0, end);
        if (strieq(word, "KFS")) m.deleteafter = true;
        if (strieq(word, "TFS")) m.truncateafter = true;
        if (end == std::string_view::npos) break;
        rest.remove_prefix(end);
    }
}

// A kludge line, the text after its 0x01. Names compare with case.
void readkludge(const char* k, exportmsg& m) {
    std::string_view s(k);
    if (startswith(s, "INTL ")) {
        readintl(k + 5);
    } else if (startswith(s, "FMPT ")) {
        readpoint(k + 5, curmsg.fromaddr.point);
    } else if (startswith(s, "TOPT ")) {
        readpoint(k + 5, curmsg.destaddr.point);
    } else if (startswith(s, "FLAGS ")) {
        readflags(s.substr(6), m);
    } else if (startswith(s, "MSGID:")) {
        m.msgidftn = parseidkludge(s.substr(6), curmsg.msgid, curmsg.msgidaddr, curmsg.fidomsgid);
        m.hasmsgid = true;
    } else if (startswith(s, "REPLY:")) {
        parseidkludge(s.substr(6), curmsg.replyid, curmsg.replyidaddr, curmsg.fidoreplyid);
    } else if (startswith(s, "CHRS:")) {
        curmsg.fidocharset = chrsvalue(s.substr(5));
    } else if (startswith(s, "CHARSET:")) {
        m.charsetkludge = std::string(skipspaces(s.substr(8)).substr(0, text128::capacity - 1));
    } else if (startswith(s, "CODEPAGE:")) {
        m.codepagekludge = std::string(skipspaces(s.substr(9)).substr(0, text128::capacity - 1));
    } else if (startswith(s, "TZUTC:")) {
        long off = 0;
        if (tzutcoffset(s.substr(6), off)) {
            m.hastzutc = true;
            m.tzutc = off;
        }
    }
}

// The first entry of the to-name counts as a recipient unless the message
// is addressed to UUCP, where the address lines give all of them. A line
// may name several addresses, separated by commas: each counts.
void addrecipient(int kind, std::string_view value, exportmsg& m) {
    std::size_t limit = cfg.exportmaxto;
    if (!m.touucp && limit > 0) --limit;
    if (limit > MAXEMAILLIST) limit = MAXEMAILLIST;
    for (std::string_view piece : recipientpieces(value)) {
        if (curmsg.emaillist.size() >= limit) {
            m.tolimit = true;
            if (m.overlimit.size() < MAXEMAILLIST) m.overlimit.emplace_back(piece.substr(0, HEADERLINEMAX));
            continue;
        }
        emailentry e;
        e.kind = kind;
        // An address too long for its field would be another address once
        // cut: it is kept whole, and refused with the others that are
        // no mailbox.
        e.email = std::string(piece);
        curmsg.emaillist.push_back(std::move(e));
    }
}

void addxpost(std::string_view group, exportmsg& m) {
    std::string g(skipspaces(group));
    trim(g);
    if (g.empty()) return;  // "Newsgroups:" must not get an empty name
    std::size_t limit = cfg.exportmaxxpost < MAXXPOST ? cfg.exportmaxxpost : MAXXPOST;
    if (curmsg.xpost.size() >= limit) {
        m.xpostlimit = true;
        return;
    }
    curmsg.xpost.push_back(g.substr(0, text128::capacity - 1));
}

// An address line of mail for the gateway itself; false when s is none.
bool readaddressline(std::string_view s, exportmsg& m) {
    if (istartswith(s, "To:")) {
        addrecipient(EMAIL_TO, s.substr(3), m);
    } else if (istartswith(s, "Copy:")) {
        addrecipient(EMAIL_CC, s.substr(5), m);
    } else if (istartswith(s, "BCopy:")) {
        addrecipient(EMAIL_BCC, s.substr(6), m);
    } else if (istartswith(s, "From:")) {
        // Taken only when the gateway can vouch for it (export/fromline.h).
        m.claimedfrom = std::string(skipspaces(s.substr(5)));
    } else if (istartswith(s, "XPost:")) {
        addxpost(s.substr(6), m);
    } else {
        return false;
    }
    return true;
}

// One line of the top of the text; false when it belongs to the body.
// addrmark: an address line came last, so one empty line is passed over.
bool readheaderline(const char* line, std::size_t len, exportmsg& m, bool& addrmark) {
    std::string_view s(line, len);
    if (!s.empty() && s[0] == KLUDGE) {
        readkludge(line + 1, m);
        return true;
    }
    if (startswith(s, "AREA:")) {
        curmsg.fidoareaname = s.substr(5);
        return true;
    }
    if (curmsg.routing != ROUTING_GATEWAY) return false;
    if (readaddressline(s, m)) {
        addrmark = true;
        return true;
    }
    if (s.empty() && addrmark) {
        addrmark = false;
        return true;
    }
    return false;
}

}  // namespace

void parsemsgdate() {
    msgtimes t;
    char mon[16] = "";
    unsigned short day = 0, year = 0, hour = 0, minute = 0, second = 0;
    int n = 6;
    if (!plaindate(curmsg.msgdate.sv(), day, mon, year, hour, minute, second)) {
        day = year = hour = minute = second = 0;
        mon[0] = '\0';
        n = std::sscanf(curmsg.msgdate.c_str(), "%hu %15s %hu  %hu:%hu:%hu", &day, mon, &year,
                        &hour, &minute, &second);
    }
    t.day = day;
    t.year = static_cast<std::uint16_t>(year + (year < 80 ? 2000 : 1900));
    t.hour = hour;
    t.minute = minute;
    t.second = second;
    t.month = 0;
    for (std::uint16_t i = 0; i < 12; ++i) {
        if (memicmp(mon, month[i], 3) == 0) {
            t.month = i;
            break;
        }
    }
    // A date that cannot be read would give a header no reader accepts.
    curmsg.msgtime = n == 6 && validtime(t) ? t : localmsgtime(nowtime());
}

void startmessage(exportmsg& m) {
    curmsg.msgfromemail.clear();
    curmsg.msgreplyemail.clear();
    curmsg.msgid.clear();
    curmsg.replyid.clear();
    curmsg.fidocharset.clear();
    curmsg.emaillist.clear();
    curmsg.xpost.clear();
    curmsg.msgidaddr = curmsg.fromaddr;
    curmsg.replyidaddr = {};
    curmsg.fidomsgid = 0;
    curmsg.fidoreplyid = 0;
    curmsg.fidoareaname = "NETMAIL";
    m.serial = serialhash{};
    if (curmsg.routing == ROUTING_GATEWAY) {
        m.touucp = strieq(curmsg.msgtoname.sv(), "UUCP");
        curmsg.msgtoemail = curmsg.msgtoname.sv();
        // A to-name that lists several addresses is its first one, and the
        // others count as the address lines' recipients do.
        if (!m.touucp && curmsg.msgtoname.sv().find(',') != std::string_view::npos) {
            std::vector<std::string_view> pieces = recipientpieces(curmsg.msgtoname.sv());
            std::string rest;
            for (std::size_t i = 1; i < pieces.size(); ++i) rest.append(pieces[i]).append(",");
            curmsg.msgtoemail = pieces.empty() ? std::string_view() : pieces[0];
            addrecipient(EMAIL_TO, rest, m);
        }
    } else if (!expstate.routeemail.empty()) {
        // A message gated to a mailing list changed the addressee.
        curmsg.msgtoemail = expstate.routeemail.sv();
    }
}

int scanheader(pktinput& in, exportmsg& m) {
    char line[HEADERLINEMAX + 1];
    bool addrmark = false;
    long linestart;
    for (;;) {
        linestart = in.tell();
        std::size_t len = 0;
        int r = readasciicr(in, line, HEADERLINEMAX, len);
        if (r == 0 || !readheaderline(line, len, m, addrmark)) break;
        // Kludges change on the way through FidoNet; the AREA and address
        // lines are the message's own.
        bool own = line[0] != KLUDGE;
        if (own) m.serial.field(std::string_view(line, len));
        // The rest of a longer header line belongs to it: read on its own
        // it would reach the body, or read as a header line it is not.
        while (r == 2) {
            char rest[HEADERLINEMAX + 1];
            r = readasciicr(in, rest, HEADERLINEMAX, len);
            if (own) m.serial.field(std::string_view(rest, len));
        }
        if (r == 0) break;
    }
    return in.seek(linestart);
}

bool parseidkludge(std::string_view rest, text128& idtext, fidoaddr& addr, std::uint32_t& serial) {
    rest = skipspaces(rest);
    std::size_t sp = rest.find(' ');
    std::string origin(rest.substr(0, sp));
    std::string serialtext(sp == std::string_view::npos ? rest : rest.substr(sp + 1));
    bool fidonet = origin.find('@') == std::string::npos || origin.find(':') != std::string::npos ||
                   origin.find('/') != std::string::npos;
    if (fidonet) {
        unsigned short z = addr.zone, n = addr.net, f = addr.node, p = addr.point;
        std::string_view o(origin);
        unsigned short pz, pn, pf, pp = p;
        // "zone:net/node" and an optional ".point", each written plainly.
        if (takeaddress(o, pz, pn, pf) &&
            (!takechar(o, '.') || takeu16(o, pp))) {
            z = pz, n = pn, f = pf, p = pp;
        } else {
            std::sscanf(origin.c_str(), "%hu:%hu/%hu.%hu", &z, &n, &f, &p);
        }
        addr = {z, n, f, p};
    } else {
        idtext = origin;
    }
    char* end = nullptr;
    unsigned long v = std::strtoul(serialtext.c_str(), &end, 16);
    serial = end != serialtext.c_str() ? static_cast<std::uint32_t>(v) : crc32(serialtext);
    return fidonet;
}

std::string chrsvalue(std::string_view rest) {
    std::string v(skipspaces(rest).substr(0, text128::capacity - 1));
    std::size_t sp = v.rfind(' ');
    if (sp != std::string::npos && sp + 1 < v.size() &&
        isdigitc(static_cast<unsigned char>(v[sp + 1]))) {
        v[sp] = '#';
    }
    return v;
}
