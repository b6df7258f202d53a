#include "pkt/trailer.h"

#include <cstdio>
#include <ctime>
#include <string>

#include "base/clock.h"
#include "base/fileio.h"
#include "base/identity.h"
#include "config/settings.h"
#include "driver/counters.h"
#include "driver/log.h"
#include "import/curmsg.h"
#include "pkt/pktappend.h"
#include "pkt/pktguard.h"

namespace {

// Without its carriage return the origin line never exceeds this.
constexpr int ORIGINLINEMAX = 79;
// " * Origin: " before the text, " (" and ")" around the address.
constexpr int ORIGINFRAME = 14;

const char* actionname(int action) {
    static const char* const names[] = {"ignored", "decoded", "killed"};
    return action >= 0 && action < 3 ? names[action] : "";
}

const char* encodingname(int encoding) {
    static const char* const names[] = {"MIME", "UU"};
    return encoding >= 0 && encoding < 2 ? names[encoding] : "";
}

bool wantorigin(int kind) {
    return cfg.killorigin == 0 || (cfg.killorigin == 2 && kind != CAT_EMAIL);
}

std::string_view origintext() {
    if (!cfg.origin.empty()) return cfg.origin.sv();
    if (!curmsg.msgorganization.empty()) return curmsg.msgorganization.sv();
    return curmsg.msgfromemail.sv();
}

// " PondLark-Linux v1.05": the same for every message, formatted once.
const std::string& programid() {
    static const std::string id = [] {
        std::string s;
        pktappendf(s, " " PROGNAME "-%s v%d.%02d", PROGOS, VERMAJOR, VERMINOR);
        return s;
    }();
    return id;
}

void appendtearline(std::string& out) {
    out.append("\r---").append(programid()).push_back('\r');
}

void appendorigin(std::string& out) {
    const fidoaddr& g = cfg.gateaddr;
    appendtearline(out);
    std::string addr;
    appendaddr(addr, g, g.point != 0);
    std::string_view text = origintext();
    int room = ORIGINLINEMAX - ORIGINFRAME - static_cast<int>(addr.size());
    if (room < 0) room = 0;
    if (text.size() > static_cast<std::size_t>(room))
        text = text.substr(0, static_cast<std::size_t>(room));
    // " * Origin: %.*s (%s)\r"; the text may come from the Internet.
    out.append(" * Origin: ");
    appendguarded(out, text);
    out.append(" (").append(addr).append(")\r");
}

// Via, SEEN-BY and PATH name the gateway's node; a point stays out of them.
void appendroute(std::string& out, int kind) {
    const fidoaddr& g = cfg.gateaddr;
    if (kind == CAT_EMAIL) {
        // "\x01Via %hu:%hu/%hu @%04d%02d%02d.%02d%02d%02d <program>\r"
        std::tm t = localclock(nowtime());
        out.append("\x01Via ");
        appendaddr(out, g, false);
        out.append(" @");
        appenddec(out, static_cast<unsigned long>(t.tm_year + 1900), 4);
        appenddec(out, static_cast<unsigned long>(t.tm_mon + 1), 2);
        appenddec(out, static_cast<unsigned long>(t.tm_mday), 2);
        out.push_back('.');
        appenddec(out, static_cast<unsigned long>(t.tm_hour), 2);
        appenddec(out, static_cast<unsigned long>(t.tm_min), 2);
        appenddec(out, static_cast<unsigned long>(t.tm_sec), 2);
        out.append(programid()).push_back('\r');
    } else {
        std::string netnode;
        appenddec(netnode, g.net);
        netnode.push_back('/');
        appenddec(netnode, g.node);
        out.append("SEEN-BY: ")
            .append(netnode)
            .append("\r\x01PATH: ")
            .append(netnode)
            .push_back('\r');
    }
}

}  // namespace

int writemsgbottom(int kind, std::FILE* f) {
    // Every message of a run ends here: one buffer serves them all.
    static std::string out;
    out.clear();
    if (wantorigin(kind)) appendorigin(out);
    appendroute(out, kind);
    out.push_back('\0');
    return writeall(f, out.data(), out.size());
}

int writefileinfo(std::string_view path, std::string_view name, int autoname, int encoding,
                  int action, long size, int noinline, std::FILE* f) {
    int type = curmsg.msgtype == MSGTYPE_NEWS ? MSGTYPE_NEWS : MSGTYPE_MAIL;
    if (cfg.attach[type] == ATTACH_IGNORE) return 0;
    // An empty decoded file is no attachment: it is neither kept nor reported.
    if (action == FILEACT_DECODED && size == 0) {
        std::string p(path);
        if (std::remove(p.c_str()) != 0) logprintf("Error removing %s\n", p.c_str());
        return 0;
    }
    std::string shown(name);
    const char* renamed = autoname ? " (auto-renamed)" : "";
    logprintf("* %s %s-encoded file %s (%ld bytes)%s\n", actionname(action), encodingname(encoding),
              shown.c_str(), size, renamed);
    ++stats.filecount;
    if (action == FILEACT_IGNORED || noinline) return 0;
    std::string note;
    pktappendf(note, "[" PROGNAME " %s %s-encoded file ", actionname(action), encodingname(encoding));
    appendguarded(note, shown);
    pktappendf(note, " (%ld bytes)%s]\r\n", size, renamed);
    return writeall(f, note.data(), note.size());
}
