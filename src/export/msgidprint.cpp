#include "export/msgidprint.h"

#include "base/ftndomain.h"
#include "export/ftnnames.h"
#include "pkt/pktappend.h"

std::string msgidtext(std::string_view id, std::uint32_t serial, const fidoaddr& addr) {
    std::string out;
    if (!id.empty()) {
        if (id.front() != '<') out += '<';
        out += id;
        if (id.back() != '>') out += '>';
        return out;
    }
    std::string domain = zonedomain(addr.zone);
    // A zone whose senders share one whole address has no domain of its
    // own for Message-IDs; "<serial@name@host>" would be no valid id.
    if (domain.find('@') != std::string::npos) domain = std::string("#") + DEFAULTFTNDOMAIN;
    out = '<';
    appenddec(out, serial);
    out += '@';
    if (!domain.empty() && domain[0] == '#') {
        out += ftnformhost(addr, std::string_view(domain).substr(1));
    } else {
        out += domain;
    }
    out += '>';
    return out;
}

int msgidprint(std::FILE* f, std::string_view id, std::uint32_t serial, const fidoaddr& addr) {
    std::string line = msgidtext(id, serial, addr) + "\n";
    return std::fputs(line.c_str(), f) < 0 ? -1 : 0;
}
