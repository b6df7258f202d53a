#include "export/sender.h"

#include "config/settings.h"
#include "config/tables.h"
#include "driver/text.h"
#include "export/ftnnames.h"
#include "import/curmsg.h"

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

std::string mappedsender(std::string_view name, const fidoaddr& addr) {
    std::string domain = zonedomain(addr.zone);
    std::string out;
    if (domain.find('@') != std::string::npos) {
        out = domain;
    } else {
        out = std::string(name);
        for (char& c : out) {
            if (c == ' ') c = '.';
        }
        out += '@';
        if (!domain.empty() && domain[0] == '#') {
            out += ftnformhost(addr, std::string_view(domain).substr(1));
        } else {
            out += domain;
        }
    }
    return out.substr(0, text128::capacity - 1);
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

void choosesender() {
    if (curmsg.msgfromemail.empty()) {
        if (!tables.addrmap.empty()) curmsg.msgfromemail = tables.addrmap[0].email.sv();
        if (const addrmapentry* a = findsender()) {
            if (!a->email.empty()) curmsg.msgfromemail = a->email.sv();
            if (!a->replyemail.empty()) curmsg.msgreplyemail = a->replyemail.sv();
        } else if (cfg.mapfidoorg) {
            curmsg.msgfromemail = mappedsender(curmsg.msgfromname.sv(), curmsg.fromaddr);
        }
    }
    curmsg.msgreplyname = curmsg.msgfromname.sv();
    if (curmsg.msgreplyemail.empty()) curmsg.msgreplyemail = curmsg.msgfromemail.sv();
}
