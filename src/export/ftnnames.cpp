#include "export/ftnnames.h"

#include <cstdio>

#include "config/tables.h"
#include "driver/ftndomain.h"

std::string ftnaddrtext(const fidoaddr& addr) {
    char buf[32];
    int n = std::snprintf(buf, sizeof buf, "%u:%u/%u", addr.zone, addr.net, addr.node);
    if (addr.point) {
        std::snprintf(buf + n, sizeof buf - static_cast<std::size_t>(n), ".%u", addr.point);
    }
    return buf;
}

std::string zonedomain(std::uint16_t zone) {
    for (const domainentry& d : tables.fidodomain) {
        if (zone >= d.zonefrom && zone <= d.zoneto) return d.domain;
    }
    return std::string("#") + DEFAULTFTNDOMAIN;
}

std::string ftnformhost(const fidoaddr& addr, std::string_view domain) {
    char buf[64];
    std::string out;
    if (addr.point != 0) {
        std::snprintf(buf, sizeof buf, "p%hu.", addr.point);
        out = buf;
    }
    std::snprintf(buf, sizeof buf, "f%hu.n%hu.z%hu.", addr.node, addr.net, addr.zone);
    out += buf;
    out += domain;
    return out;
}
