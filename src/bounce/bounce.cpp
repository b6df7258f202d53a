#include "bounce/bounce.h"

#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <unordered_set>

#include "base/bytes.h"
#include "base/clock.h"
#include "base/codec.h"
#include "base/fileio.h"
#include "base/identity.h"
#include "base/text.h"
#include "bounce/sentmail.h"
#include "config/fidocharset.h"
#include "config/settings.h"
#include "config/tables.h"
#include "driver/log.h"
#include "durable/journal.h"
#include "durable/statelines.h"
#include "durable/workfiles.h"
#include "mime/charsets.h"
#include "mime/readable.h"
#include "pkt/pktappend.h"
#include "pkt/pktguard.h"
#include "pkt/pktfile.h"
#include "pkt/pktlayout.h"
#include "transport/envelope.h"

namespace {

constexpr long DAY = 86400;
// What of a server's answer and of the original is shown: enough to
// tell what happened and which message it was, never a whole message.
constexpr std::size_t ANSWERLINES = 30, ANSWERLINEBYTES = 500;
constexpr std::size_t ORIGINALLINES = 10, ORIGINALLINEBYTES = 200;
constexpr std::size_t MAXRECIPIENTS = 50;

struct bouncestate {
    bool loaded = false;
    std::unordered_set<std::string> keys;
    std::vector<std::string> made;       // packets of the open unit (final names)
    std::vector<std::string> madekeys;   // their keys
    long long recordsize = -1;           // the record's size before the open unit's first line
};
bouncestate bounces;

std::string logpath() {
    return cfg.soupdir.str() + BOUNCELOGNAME;
}

long keepdays() {
    return std::max<long>(cfg.historydays, cfg.giveupdays + 1L);
}

void loadbounces() {
    if (bounces.loaded) return;
    bounces.loaded = true;
    if (cfg.soupdir.empty()) return;
    std::time_t cutoff = nowtime() - keepdays() * DAY;
    (void)prunestatelines(logpath(), cutoff);
    std::vector<stateline> lines;
    if (readstatelines(logpath(), lines) != 0) {
        logprintf("Error reading %s\n", logpath().c_str());
        return;
    }
    for (const stateline& l : lines) {
        if (l.time >= cutoff && !l.fields.empty()) bounces.keys.insert(l.fields[0]);
    }
}

// Text from outside as UTF-8 without control bytes (TAB kept in the text).
std::string cleantext(std::string_view text, bool keeptab) {
    std::string u;
    if (isplainascii(text) || isvalidutf8(text) || toutf8(text, "windows-1252", u) != 0) u.assign(text);
    for (char& c : u) {
        unsigned char b = static_cast<unsigned char>(c);
        if ((b < 0x20 && !(keeptab && b == '\t')) || b == 0x7F) c = ' ';
    }
    return u;
}

// The lines of text (LF, CR LF or CR), at most maxlines, each cut at
// maxbytes on a character boundary; "[...]" says that more followed.
std::vector<std::string> textlines(std::string_view text, std::size_t maxlines, std::size_t maxbytes) {
    std::vector<std::string> out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        if (out.size() == maxlines) {
            out.emplace_back("[...]");
            break;
        }
        std::size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) end = text.size();
        std::string line = cleantext(text.substr(pos, end - pos), true);
        if (line.size() > maxbytes) {
            line.resize(charsetcut(line, maxbytes, "UTF-8"));
            line += " [...]";
        }
        out.push_back(std::move(line));
        pos = end;
        if (pos < text.size() && text[pos] == '\r') ++pos;
        if (pos < text.size() && text[pos] == '\n') ++pos;
    }
    while (!out.empty() && out.back().find_first_not_of(" \t") == std::string::npos) out.pop_back();
    return out;
}

std::string addrtext(const fidoaddr& a) {
    std::string s;
    appendaddr(s, a, a.point != 0);
    return s;
}

// The character set the bounce is written in, and its CHRS value: the
// one configured for netmail; else UTF-8 when the text needs more than
// ASCII; else none.
struct outcharset {
    std::string icu;   // empty: the UTF-8 bytes as they are
    std::string chrs;  // empty: no CHRS kludge
};

outcharset chooseoutput(std::string_view text) {
    const fidocharsetdef* cs = fidocharsetfor("NETMAIL");
    if (cs != nullptr && cs->set() && !cs->icuname.empty()) return {cs->icuname, cs->chrs()};
    if (isplainascii(text)) return {};
    return {"", "UTF-8 4"};
}

// The UTF-8 text in the output character set; every control byte but
// CR (the line end) comes out as a blank, so that no line of the text
// can pass for a kludge and no zero byte can end it early.
std::string outbytes(std::string_view utf8, const outcharset& cs, bool keepcr) {
    std::string out;
    if (cs.icu.empty() || fromutf8(utf8, cs.icu, out) != 0) out.assign(utf8);
    for (char& c : out) {
        unsigned char b = static_cast<unsigned char>(c);
        if ((b < 0x20 && !(keepcr && b == '\r')) || b == 0x7F) c = ' ';
    }
    return out;
}

std::string fieldbytes(std::string_view utf8, std::size_t max, const outcharset& cs) {
    std::string b = outbytes(utf8, cs, false);
    b.resize(charsetcut(b, max, cs.icu.empty() ? std::string_view("UTF-8") : std::string_view(cs.icu)));
    // The server's answer and the original subject come from outside: the
    // packet's own guard has the last word, as for everything import writes.
    guardvalue(b.data(), b.size(), guardforcharset(cs.icu));
    return b;
}

void appendfield(std::string& out, std::string_view bytes) {
    out.append(bytes);
    out.push_back('\0');
}

void appenddate(std::string& out, const std::tm& t) {
    appenddec(out, static_cast<unsigned long>(t.tm_mday), 2);
    out.push_back(' ');
    out.append(month[t.tm_mon % 12]);
    out.push_back(' ');
    appenddec(out, static_cast<unsigned long>(t.tm_year % 100), 2);
    out.append("  ");
    appenddec(out, static_cast<unsigned long>(t.tm_hour), 2);
    out.push_back(':');
    appenddec(out, static_cast<unsigned long>(t.tm_min), 2);
    out.push_back(':');
    appenddec(out, static_cast<unsigned long>(t.tm_sec), 2);
}

std::string subjectof(const bouncenotice& n) {
    std::string s = cleantext(n.headline, false);
    std::string orig = cleantext(n.subject, false);
    if (!orig.empty()) s += ": " + orig;
    return s;
}

// The whole packet: header, the one message, terminator.
std::string bouncepacket(const bouncenotice& n, std::time_t now) {
    std::tm t = localclock(now);
    fidoaddr dest = tables.addrmap.empty() ? n.toaddr : tables.addrmap.front().ftnaddr;
    std::string out(PKTHDRSIZE, '\0');
    encodepktheader(makepktheader(cfg.gateaddr, dest, t), reinterpret_cast<unsigned char*>(out.data()));

    std::string text = bouncetext(n);
    std::string subject = subjectof(n);
    outcharset cs = chooseoutput(text + subject + n.toname);

    pktmsgheader m;
    m.orignode = cfg.gateaddr.node;
    m.orignet = cfg.gateaddr.net;
    m.destnode = n.toaddr.node;
    m.destnet = n.toaddr.net;
    m.attr = MSGATTR_PRIVATE;
    unsigned char mh[PKTMSGHDRSIZE];
    encodepktmsgheader(m, mh);
    out.append(reinterpret_cast<const char*>(mh), PKTMSGHDRSIZE);
    std::string date;
    appenddate(date, t);
    appendfield(out, date);
    appendfield(out, fieldbytes(cleantext(n.toname, false), PKTNAMEMAX, cs));
    appendfield(out, fieldbytes(BOUNCEFROMNAME, PKTNAMEMAX, cs));
    appendfield(out, fieldbytes(subject, PKTSUBJMAX, cs));

    const fidoaddr& g = cfg.gateaddr;
    pktappendf(out, "\x01INTL %u:%u/%u %u:%u/%u\r", n.toaddr.zone, n.toaddr.net, n.toaddr.node, g.zone, g.net,
               g.node);
    if (g.point != 0) pktappendf(out, "\x01" "FMPT %u\r", g.point);
    if (n.toaddr.point != 0) pktappendf(out, "\x01TOPT %u\r", n.toaddr.point);
    // The same bounce made again (a run killed before its record was
    // kept) carries the same MSGID, so that a tosser drops the copy.
    std::uint32_t serial = crc32("bounce\t" + n.key + "\t" + addrtext(n.toaddr));
    pktappendf(out, "\x01MSGID: %u:%u/%u.%u ", g.zone, g.net, g.node, g.point);
    appendhex8(out, serial);
    out.push_back('\r');
    pktappendf(out, "\x01PID: " PROGNAME "-" PROGOS " v%d.%02d\r", VERMAJOR, VERMINOR);
    if (!cs.chrs.empty()) pktappendf(out, "\x01" "CHRS: %s\r", cs.chrs.c_str());
    std::string body = outbytes(text, cs, true);
    guardbody(body.data(), body.size());
    out += body;
    pktappendf(out, "\x01Via %u:%u/%u @%04d%02d%02d.%02d%02d%02d " PROGNAME "-" PROGOS " v%d.%02d\r", g.zone,
               g.net, g.node, t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, VERMAJOR,
               VERMINOR);
    out.push_back('\0');
    out.append(PKTTERMSIZE, '\0');
    return out;
}

int writepacketfile(const std::string& final, const std::string& bytes) {
    fileptr f = openfile(tempname(final), "wbx");
    if (!f) return -1;
    int bad = writeall(f.get(), bytes.data(), bytes.size());
    if (bad == 0 && std::fflush(f.get()) != 0) bad = -1;
    if (bad == 0) bad = syncfd(fileno(f.get()));
    if (closefile(f) != 0) bad = -1;
    if (bad != 0) (void)std::remove(tempname(final).c_str());
    return bad;
}

// A bounce that came back through export carries the name bounces are
// written from: bouncing it again could go on for ever. (The gateway's
// own address alone says nothing: the sysop's system often shares it.)
bool tothegateway(const bouncenotice& n) {
    return strieq(cleantext(n.toname, false), BOUNCEFROMNAME);
}

// Writes the packet and the record line into the open unit.
int writebounce(const bouncenotice& n, std::time_t now, std::string& path) {
    (void)genfname(cfg.indir.sv(), ".PKT", path, outputtaken);
    if (unitoutput(path, PUBLISH_PACKET) != 0) return -1;
    if (writepacketfile(path, bouncepacket(n, now)) != 0) {
        unitdropoutput(path);
        logprintf("Error writing packet %s\n", path.c_str());
        return -1;
    }
    if (appendstateline(logpath(), now, {n.key, addrtext(n.toaddr), n.headline}) != 0) {
        unitdropoutput(path);
        (void)std::remove(tempname(path).c_str());
        return -1;
    }
    return 0;
}

}  // namespace

std::string bouncetext(const bouncenotice& n) {
    std::string t = "This is the Internet gateway at " + addrtext(cfg.gateaddr) + ". " +
                    cleantext(n.headline, false) + ":\r";
    std::size_t count = std::min(n.recipients.size(), MAXRECIPIENTS);
    t += count == 0 ? "your message could not be delivered.\r"
                    : "your message could not be delivered to\r\r";
    for (std::size_t i = 0; i < count; ++i) t += "   " + cleantext(n.recipients[i], false) + "\r";
    if (n.recipients.size() > count)
        t += "   and " + std::to_string(n.recipients.size() - count) + " more\r";
    std::vector<std::string> answer = textlines(n.answer, ANSWERLINES, ANSWERLINEBYTES);
    if (!answer.empty()) {
        t += "\rThe server answered:\r\r";
        for (const std::string& l : answer) t += "   " + l + "\r";
    }
    std::vector<std::string> detail = textlines(n.detail, ANSWERLINES, ANSWERLINEBYTES);
    if (!detail.empty()) {
        t += "\r";
        for (const std::string& l : detail) t += l + "\r";
    }
    t += "\rYour message:\r\r   Subject: " + cleantext(n.subject, false) + "\r";
    std::vector<std::string> first = textlines(n.firstlines, ORIGINALLINES, ORIGINALLINEBYTES);
    if (!first.empty()) t += "\r";
    for (const std::string& l : first) t += "   > " + l + "\r";
    return t;
}

int sendbounce(const bouncenotice& n) {
    loadbounces();
    std::string key = statefield(n.key);
    if (key.empty()) key = "(no key)";
    if (bounces.keys.count(key) != 0) return BOUNCE_ALREADY;
    std::string who = cleantext(n.toname, false) + " at " + addrtext(n.toaddr);
    if (tothegateway(n)) {
        logprintf("! No bounce to %s for %s: it would bounce a bounce\n", who.c_str(), key.c_str());
        return BOUNCE_REFUSED;
    }
    bouncenotice b = n;
    b.key = key;
    std::time_t now = nowtime();
    bool own = !unitopen();
    if (own) unitbegin("bounce", "");
    if (!own && bounces.made.empty()) bounces.recordsize = std::max(0LL, identify(logpath()).size);
    std::string path;
    int bad = writebounce(b, now, path);
    if (own) {
        if (bad == 0 && unitcommit() != 0) bad = -1;
        if (bad != 0) {
            unitabandon();
        } else {
            // A bounce must be on its way before the answer that caused it
            // is settled: with SyncWrites it is on the disk now.
            journalcheckpoint();
        }
    } else if (bad == 0) {
        bounces.made.push_back(path);
        bounces.madekeys.push_back(key);
    }
    if (bad != 0) {
        logprintf("Error: the bounce to %s for %s could not be written\n", who.c_str(), key.c_str());
        return BOUNCE_FAILED;
    }
    bounces.keys.insert(key);
    logprintf("! Bounce to %s: %s (%s)\n", who.c_str(), cleantext(n.headline, false).c_str(), key.c_str());
    return BOUNCE_WRITTEN;
}

int bouncemessage(std::string_view message, const bouncenotice& n) {
    sentmail s;
    std::string_view header = message.substr(0, headerlength(message));
    if (!sentmailof(header, s)) {
        logprintf("! No FidoNet sender known for %s: no bounce\n",
                  s.messageid.empty() ? "a message without Message-ID" : s.messageid.c_str());
        return BOUNCE_REFUSED;
    }
    bouncenotice b = n;
    b.subject = s.subject;
    b.firstlines = readabletext(message);
    b.toname = s.fromname;
    b.toaddr = s.from;
    if (!s.messageid.empty()) b.key = s.messageid + n.key;
    return sendbounce(b);
}

bool bouncedbefore(std::string_view key) {
    loadbounces();
    return bounces.keys.count(statefield(key)) != 0;
}

void discardbounces() {
    for (const std::string& p : bounces.made) {
        unitdropoutput(p);
        (void)std::remove(tempname(p).c_str());
    }
    for (const std::string& k : bounces.madekeys) bounces.keys.erase(k);
    // The record loses the unit's lines, or a later run would take the
    // messages for bounced.
    if (!bounces.made.empty() && bounces.recordsize >= 0 && identify(logpath()).size > bounces.recordsize)
        (void)truncate(logpath().c_str(), bounces.recordsize);
    keepbounces();
}

void resetbounces() {
    bounces = bouncestate{};
}

void keepbounces() {
    bounces.made.clear();
    bounces.madekeys.clear();
    bounces.recordsize = -1;
}
