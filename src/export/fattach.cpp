#include "export/fattach.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "base/clock.h"
#include "base/codec.h"
#include "base/identity.h"
#include "config/settings.h"
#include "config/tables.h"
#include "driver/log.h"
#include "export/expstate.h"
#include "pkt/pktfile.h"
#include "pkt/pktlayout.h"

namespace {

constexpr std::uint8_t PRODREVMAJOR = 1;

fidoaddr origin() {
    return tables.addrmap.empty() ? fidoaddr{} : tables.addrmap.front().ftnaddr;
}

std::string pktheaderbytes(const fidoaddr& orig, const fidoaddr& dest, const std::tm& t) {
    pktheader h = makepktheader(orig, dest, t);
    h.prodrevmajor = PRODREVMAJOR;
    unsigned char raw[PKTHDRSIZE];
    encodepktheader(h, raw);
    return std::string(reinterpret_cast<char*>(raw), sizeof raw);
}

std::string msgheaderbytes(const fidoaddr& orig, const fidoaddr& dest) {
    pktmsgheader m;
    m.orignode = orig.node;
    m.destnode = dest.node;
    m.orignet = orig.net;
    m.destnet = dest.net;
    m.attr = MSGATTR_PRIVATE | MSGATTR_FILEATTACHED;
    unsigned char raw[PKTMSGHDRSIZE];
    encodepktmsgheader(m, raw);
    return std::string(reinterpret_cast<char*>(raw), sizeof raw);
}

std::string fidodate(const std::tm& t) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d %-3s %02d  %02d:%02d:%02d", t.tm_mday, month[t.tm_mon],
                  t.tm_year % 100, t.tm_hour, t.tm_min, t.tm_sec);
    return buf;
}

// A zero-terminated header string of at most max characters.
std::string field(std::string_view s, std::size_t max) {
    return std::string(s.substr(0, max)) + '\0';
}

std::string_view basename(std::string_view name) {
    std::size_t slash = name.rfind('/');
    if (slash != std::string_view::npos) return name.substr(slash + 1);
    return flowfilepath(name);
}

// The subject names the file so that the converter finds it in the
// attachment list: the listed name, or its base name when the listed name
// would be cut (the converter compares base names).
std::string_view subjectname(std::string_view listed) {
    return listed.size() <= PKTSUBJMAX ? listed : basename(listed);
}

std::string kludges(const fidoaddr& orig, const fidoaddr& dest) {
    char buf[80];
    std::snprintf(buf, sizeof buf, "\x01INTL %hu:%hu/%hu %hu:%hu/%hu\r", dest.zone, dest.net,
                  dest.node, orig.zone, orig.net, orig.node);
    std::string out = buf;
    if (orig.point != 0) {
        std::snprintf(buf, sizeof buf,
                      "\x01"
                      "FMPT %hu\r",
                      orig.point);
        out += buf;
    }
    if (dest.point != 0) {
        std::snprintf(buf, sizeof buf, "\x01TOPT %hu\r", dest.point);
        out += buf;
    }
    return out;
}

std::string packetbytes(const fidoaddr& dest, std::string_view toname, std::string_view listed,
                        std::string_view toaddr) {
    fidoaddr orig = origin();
    std::tm t = localclock(nowtime());
    std::string sender = tables.addrmap.empty() ? "" : tables.addrmap.front().email.str();
    std::string p = pktheaderbytes(orig, dest, t) + msgheaderbytes(orig, dest);
    p += field(fidodate(t), PKTDATELEN);
    p += field(toname, PKTNAMEMAX);
    p += field(sender, PKTNAMEMAX);
    p += field(subjectname(listed), PKTSUBJMAX);
    p += kludges(orig, dest);
    // Mail to UUCP names its recipient in an address line; the empty line
    // after it keeps the address out of the body.
    if (!toaddr.empty()) p += "To: " + std::string(toaddr) + "\r\r";
    p += "[" PROGNAME "-" PROGOS " v" + std::to_string(VERMAJOR) + ".";
    char minor[8];
    std::snprintf(minor, sizeof minor, "%02d", VERMINOR);
    p += minor;
    p += " attached file " + std::string(basename(listed)) + "]\r";
    // The zero that ends the text, then the packet's two-byte terminator.
    p += std::string(1 + PKTTERMSIZE, '\0');
    return p;
}

}  // namespace

fileptr createfattach(const fidoaddr& dest, std::string_view toname, const std::string& path,
                      std::string_view listedname, std::string_view toaddr) {
    fileptr f = openfile(path, "w+bx");
    if (!f) {
        logprintf("! can't create temporary packet %s\n", path.c_str());
        return f;
    }
    std::string bytes = packetbytes(dest, toname, listedname, toaddr);
    if (writeall(f.get(), bytes.data(), bytes.size()) != 0 || std::fflush(f.get()) != 0) {
        logprintf("! can't write temporary packet %s\n", path.c_str());
        f.reset();
        std::remove(path.c_str());
    }
    return f;
}
