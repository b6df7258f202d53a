#include "export/recipients.h"

#include <string>

#include "base/fixedtext.h"
#include "base/mailbox.h"
#include "config/settings.h"
#include "export/expstate.h"
#include "export/refusal.h"
#include "import/curmsg.h"

namespace {

// The mailbox a recipient text names, or "" when it names none.
std::string mailboxof(std::string_view text) {
    std::string_view box = mailboxtext(text);
    if (!ismailbox(box) || box.size() >= text128::capacity) return {};
    return std::string(box);
}

}  // namespace

bool checkrecipients(exportmsg& m, std::vector<exportrefusal>& refusals) {
    if (curmsg.routing != ROUTING_GATEWAY || curmsg.msgtype != MSGTYPE_MAIL || m.gated || m.listno >= 0)
        return true;
    if (!m.touucp) {
        std::string box = mailboxof(curmsg.msgtoemail.sv());
        if (box.empty()) {
            m.refused.push_back(curmsg.msgtoemail.str());
            m.addresseerefused = true;
        } else {
            curmsg.msgtoemail = box;
        }
    }
    std::vector<emailentry> kept;
    for (emailentry& e : curmsg.emaillist) {
        std::string box = mailboxof(e.email);
        if (box.empty()) {
            m.refused.push_back(e.email);
            continue;
        }
        e.email = box;
        kept.push_back(std::move(e));
    }
    curmsg.emaillist = std::move(kept);
    bool anyone = m.touucp || !m.addresseerefused || !curmsg.emaillist.empty();
    if (!m.refused.empty()) {
        exportrefusal r;
        r.kind = REFUSED_RECIPIENT;
        r.why = anyone ? "not a single Internet address" : "not a single Internet address: the message is not sent";
        r.recipients = m.refused;
        r.whole = !anyone;
        refusals.push_back(r);
    }
    if (!m.overlimit.empty()) {
        exportrefusal r;
        r.kind = REFUSED_RECIPIENT;
        r.why = "more recipients than the gateway takes (ExportMaxTo " + std::to_string(cfg.exportmaxto) + ")";
        r.recipients = m.overlimit;
        r.whole = !anyone;
        refusals.push_back(r);
    }
    return anyone;
}
