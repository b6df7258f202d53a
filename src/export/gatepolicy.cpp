#include "export/gatepolicy.h"

#include <string>

#include "config/tables.h"
#include "export/exportcounts.h"
#include "export/expstate.h"
#include "export/refusal.h"
#include "import/curmsg.h"

namespace {

bool isnetmail(const exportmsg& m) {
    return curmsg.msgtype == MSGTYPE_MAIL && !m.gated && m.listno < 0;
}

bool allowed(const exportmsg& m) {
    if (tables.exportallow.empty()) return true;
    bool netmail = isnetmail(m);
    for (const exportallowentry& e : tables.exportallow) {
        if (e.nodes.matches(curmsg.fromaddr) && (netmail ? e.mail : e.news)) return true;
    }
    return false;
}

const exportlimitentry* limitfor(const fidoaddr& a) {
    for (const exportlimitentry& e : tables.exportlimit) {
        if (e.nodes.matches(a)) return &e;
    }
    return nullptr;
}

bool refuse(const exportmsg& m, int kind, const std::string& why, exportrefusal& r) {
    r = exportrefusal{};
    r.kind = kind;
    r.why = why;
    r.netmail = isnetmail(m);
    return false;
}

}  // namespace

bool mayexport(const exportmsg& m, exportrefusal& r) {
    if (curmsg.routing != ROUTING_GATEWAY) return true;
    if (!allowed(m)) {
        return refuse(m, REFUSED_NOTALLOWED,
                      isnetmail(m) ? "the node may not send mail through the gateway"
                                   : "the node may not send echomail through the gateway",
                      r);
    }
    const exportlimitentry* limit = limitfor(curmsg.fromaddr);
    if (limit && exportcount(curmsg.fromaddr) >= static_cast<long>(limit->perday)) {
        return refuse(m, REFUSED_OVERLIMIT,
                      "the node has sent its " + std::to_string(limit->perday) + " messages for today", r);
    }
    return true;
}

void countexported(const exportmsg&) {
    if (curmsg.routing != ROUTING_GATEWAY || !limitfor(curmsg.fromaddr)) return;
    (void)countexport(curmsg.fromaddr);
}
