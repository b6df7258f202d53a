#include "export/sender.h"

#include <algorithm>
#include <cstring>

#include "base/text.h"
#include "config/settings.h"
#include "config/tables.h"
#include "export/ftnnames.h"
#include "export/textcharset.h"
#include "import/curmsg.h"
#include "mime/asciiname.h"

void fixorigin(const exportmsg& m) {
    fidoaddr& from = curmsg.fromaddr;
    const fidoaddr& id = curmsg.msgidaddr;
    // An Internet-style MSGID says nothing about the FidoNet origin; the
    // address the INTL and FMPT kludges gave stands.
    if (m.hasmsgid && m.msgidftn) {
        if (id.zone != 0) {
            from = id;
        } else if (id.net == from.net && id.node == from.node && from.point == 0) {
            from.point = id.point;
        }
    } else {
        curmsg.msgidaddr = from;
    }
    if (curmsg.fidomsgid == 0) curmsg.fidomsgid = messageserial(m.serial);
}

void applyaliases(const exportmsg& m) {
    for (const aliasentry& a : tables.alias) {
        if (!m.touucp && strieq(curmsg.msgtoemail.sv(), a.name.sv()))
            curmsg.msgtoemail = a.email.sv();
        for (emailentry& e : curmsg.emaillist) {
            if (strieq(e.email, a.name.sv())) e.email = a.email.str();
        }
    }
}

std::string dotatom(std::string_view name) {
    std::string out;
    for (char c : name) {
        unsigned char u = static_cast<unsigned char>(c);
        bool atext = isalnumc(u) || (u < 0x80 && std::strchr("!#$%&'*+-/=?^_`{|}~", c) && c != 0);
        if (atext) {
            out += c;
        } else if ((c == ' ' || c == '.') && !out.empty() && out.back() != '.') {
            out += '.';
        }
    }
    while (!out.empty() && out.back() == '.') out.pop_back();
    return out;
}

std::string mappedsender(std::string_view name, const fidoaddr& addr) {
    std::string domain = zonedomain(addr.zone);
    if (domain.find('@') != std::string::npos) return domain.substr(0, text128::capacity - 1);
    std::string host =
        !domain.empty() && domain[0] == '#' ? ftnformhost(addr, std::string_view(domain).substr(1))
                                            : domain;
    std::string local = dotatom(asciiname(name));
    // A name of nothing but signs still needs a local part.
    if (local.empty()) local = "unknown";
    // The local part gives way, so that the address keeps its host whole.
    std::size_t room = text128::capacity - 2 > host.size() ? text128::capacity - 2 - host.size() : 1;
    local = local.substr(0, std::min({local.size(), room, LOCALPARTMAX}));
    while (local.size() > 1 && local.back() == '.') local.pop_back();
    return (local + "@" + host).substr(0, text128::capacity - 1);
}

namespace {

const addrmapentry* findsender() {
    for (const addrmapentry& a : tables.addrmap) {
        if (a.ftnaddr == curmsg.fromaddr) return &a;
    }
    for (const addrmapentry& a : tables.addrmap) {
        if (!a.name.empty() && strieq(a.name.sv(), curmsg.msgfromname.sv())) return &a;
    }
    return nullptr;
}

}  // namespace

void choosesender(const exportmsg& m) {
    if (curmsg.msgfromemail.empty()) {
        if (!tables.addrmap.empty()) curmsg.msgfromemail = tables.addrmap[0].email.sv();
        if (const addrmapentry* a = findsender()) {
            if (!a->email.empty()) curmsg.msgfromemail = a->email.sv();
            if (!a->replyemail.empty()) curmsg.msgreplyemail = a->replyemail.sv();
        } else if (cfg.mapfidoorg) {
            curmsg.msgfromemail =
                mappedsender(fidotextutf8(curmsg.msgfromname.sv(), m), curmsg.fromaddr);
        }
    }
    curmsg.msgreplyname = curmsg.msgfromname.sv();
    if (curmsg.msgreplyemail.empty()) curmsg.msgreplyemail = curmsg.msgfromemail.sv();
}
