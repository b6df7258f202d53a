#include "export/ftnnames.h"

#include <cstdio>

#include "base/ftndomain.h"
#include "config/settings.h"
#include "config/tables.h"
#include "pkt/pktappend.h"

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
    // Written for every message without an Internet Message-ID: no printf.
    std::string out;
    if (addr.point != 0) {
        out += 'p';
        appenddec(out, addr.point);
        out += '.';
    }
    out += 'f';
    appenddec(out, addr.node);
    out += ".n";
    appenddec(out, addr.net);
    out += ".z";
    appenddec(out, addr.zone);
    out += '.';
    out += domain;
    return out;
}

std::string gatewaymailbox() {
    std::string domain = zonedomain(cfg.gateaddr.zone);
    if (domain.find('@') != std::string::npos) return domain;
    if (!domain.empty() && domain[0] == '#') domain = ftnformhost(cfg.gateaddr, std::string_view(domain).substr(1));
    return "pondlark@" + domain;
}
