#include "export/outnames.h"

#include <sys/stat.h>

#include <cstdio>

#include "base/fileio.h"
#include "base/text.h"
#include "config/settings.h"

namespace {

std::string netnode(const fidoaddr& addr) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04X%04X", addr.net, addr.node);
    return buf;
}

std::string zoneext(const fidoaddr& addr) {
    char buf[16];
    std::snprintf(buf, sizeof buf, ".%03X", addr.zone);
    return buf;
}

std::string pointstem(const fidoaddr& addr) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08X", addr.point);
    return buf;
}

// A zone or point folder is a folder of the outbound, never a link that
// would lead export (and its removals) elsewhere.
bool realfolder(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool inotherzone(const fidoaddr& addr) {
    return cfg.basezone != 0 && addr.zone != cfg.basezone;
}

// The zone folders of addr: the folders beside OutboundDir named like it
// plus ".%03X", in any case; OutboundDir itself for the base zone.
std::vector<std::string> zonefolders(const fidoaddr& addr) {
    std::string out = cfg.outdir.str();
    if (!inotherzone(addr)) return {out};
    std::vector<std::string> found;
    if (out.size() < 2 || out.back() != '/') return found;
    std::string dir = out.substr(0, out.size() - 1);
    std::size_t slash = dir.rfind('/');
    std::string parent = slash == std::string::npos ? "" : dir.substr(0, slash + 1);
    std::string leaf = (slash == std::string::npos ? dir : dir.substr(slash + 1)) + zoneext(addr);
    std::vector<std::string> names;
    if (!listdir(parent, names)) return found;
    for (const std::string& n : matchnames(names, leaf))
        if (realfolder(parent + n)) found.push_back(parent + n + "/");
    return found;
}

}  // namespace

std::string outbasename(const fidoaddr& addr) {
    std::string out = cfg.outdir.str();
    if (inotherzone(addr) && !out.empty() && out.back() == '/') {
        out.pop_back();
        out += zoneext(addr) + "/";
    }
    out += netnode(addr);
    if (addr.point != 0) out += ".PNT/" + pointstem(addr);
    return out;
}

std::vector<outbase> findoutbases(const fidoaddr& addr) {
    std::vector<outbase> bases;
    for (const std::string& zone : zonefolders(addr)) {
        if (addr.point == 0) {
            bases.push_back({zone, netnode(addr)});
            continue;
        }
        std::vector<std::string> names;
        if (!listdir(zone, names)) continue;
        for (const std::string& n : matchnames(names, netnode(addr) + ".PNT")) {
            if (realfolder(zone + n)) bases.push_back({zone + n + "/", pointstem(addr)});
        }
    }
    return bases;
}

std::vector<std::string> matchnames(const std::vector<std::string>& names, std::string_view want) {
    std::vector<std::string> found;
    for (const std::string& n : names) {
        if (strieq(n, want)) found.push_back(n);
    }
    return found;
}
