#include "export/fromline.h"

#include "base/fixedtext.h"
#include "base/mailbox.h"
#include "base/text.h"
#include "config/settings.h"
#include "config/tables.h"
#include "driver/log.h"
#include "export/ftnnames.h"
#include "import/curmsg.h"

bool vouchedfrom(const fidoaddr& from, std::string_view name, std::string_view mailbox) {
    for (const addrmapentry& a : tables.addrmap) {
        // Users told apart by name at one node each have their own.
        if (a.ftnaddr != from || (!a.name.empty() && !strieq(a.name.sv(), name))) continue;
        if (strieq(a.email.sv(), mailbox) || strieq(a.replyemail.sv(), mailbox)) return true;
    }
    if (tables.trustfrom.empty()) {
        return from == cfg.gateaddr || (!tables.addrmap.empty() && from == tables.addrmap[0].ftnaddr);
    }
    for (const ftnpattern& p : tables.trustfrom) {
        if (p.matches(from)) return true;
    }
    return false;
}

void takefromline(exportmsg& m) {
    if (m.claimedfrom.empty()) return;
    std::string_view box = mailboxtext(m.claimedfrom);
    if (!ismailbox(box) || box.size() >= text128::capacity) {
        logprintf("! msg from %s (%s) names From: %s, which is no single Internet address: left out\n",
                  ftnaddrtext(curmsg.fromaddr).c_str(), curmsg.msgfromname.c_str(), m.claimedfrom.c_str());
        return;
    }
    if (vouchedfrom(curmsg.fromaddr, curmsg.msgfromname.sv(), box)) {
        curmsg.msgfromemail = box;
    } else {
        m.unvouchedfrom = std::string(box);
    }
}

void replytounvouched(const exportmsg& m) {
    if (m.unvouchedfrom.empty()) return;
    curmsg.msgreplyemail = m.unvouchedfrom;
    curmsg.msgreplyname = curmsg.msgfromname.sv();
    logprintf("! msg from %s (%s) names From: %s, which the gateway cannot vouch for: sent from %s, "
              "the address as Reply-To\n",
              ftnaddrtext(curmsg.fromaddr).c_str(), curmsg.msgfromname.c_str(), m.unvouchedfrom.c_str(),
              curmsg.msgfromemail.c_str());
}
