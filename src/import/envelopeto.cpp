#include "import/envelopeto.h"

#include <utility>

#include "base/text.h"
#include "config/tables.h"
#include "import/curmsg.h"
#include "import/ftnform.h"
#include "lists/listfiles.h"

namespace {

bool namesfidouser(std::string_view a) {
    if (a.empty() || a.find('@') == std::string_view::npos) return false;
    if (hasmapdomain(a)) return true;
    for (const addrmapentry& e : tables.addrmap) {
        if (strieq(e.email.sv(), a) || (!e.replyemail.empty() && strieq(e.replyemail.sv(), a))) return true;
    }
    for (const auto& l : lists.listconfig) {
        if (l.listaddress && strieq(*l.listaddress, a)) return true;
    }
    return false;
}

std::string_view envelopeof() {
    if (namesfidouser(curmsg.origto.sv())) return curmsg.origto.sv();
    for (const std::string& d : curmsg.deliveredto) {
        if (namesfidouser(d)) return d;
    }
    return {};
}

}  // namespace

void applyenvelope() {
    if (curmsg.msgtype != MSGTYPE_MAIL) return;
    std::string to(envelopeof());
    if (to.empty()) return;
    curmsg.hasenvelope = 1;
    if (strieq(curmsg.msgtoemail.sv(), to)) return;
    // The recipient trades places with the first To address, so that every
    // recipient stays listed.
    emailentry first;
    first.kind = EMAIL_TO;
    first.email = curmsg.msgtoemail.str();
    first.name = curmsg.msgtoname.str();
    first.namestate = curmsg.tonametext.state;
    std::string name;
    fieldtext nametext;
    auto& list = curmsg.emaillist;
    for (auto it = list.begin(); it != list.end(); ++it) {
        if (!strieq(it->email, to)) continue;
        name = it->name;
        nametext.full = it->name;
        nametext.state = it->namestate;
        list.erase(it);
        break;
    }
    if (!first.email.empty() && list.size() < MAXEMAILLIST) list.insert(list.begin(), std::move(first));
    curmsg.msgtoemail = to;
    curmsg.msgtoname = name;
    curmsg.tonametext = nametext;
}
