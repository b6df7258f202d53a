#include "export/ftnnames.h"

#include <cstdio>

#include "config/tables.h"
#include "driver/ftndomain.h"

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
