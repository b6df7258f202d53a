#include "import/classify.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "base/text.h"
#include "config/tables.h"
#include "driver/counters.h"
#include "driver/log.h"
#include "import/curmsg.h"
#include "import/ftnform.h"
#include "import/headertext.h"
#include "lists/listfiles.h"
#include "pkt/pktappend.h"

namespace {

bool ismailmsg() {
    return curmsg.msgtype == MSGTYPE_MAIL;
}

// A charset parameter may be written in quotes; the name is the same.
std::string_view withoutquotes(std::string_view s) {
    while (s.size() > 1 && (s.front() == '"' || s.front() == '\'') && s.back() == s.front()) {
        s = s.substr(1, s.size() - 2);
    }
    return s;
}

void choosecharset() {
    curmsg.fidocharset.clear();
    std::string_view rfc = withoutquotes(curmsg.rfccharset.sv());
    for (const charsetentry& e : tables.charsetmap) {
        if (e.direction == DIR_EXPORT || !strieq(e.rfcname, rfc)) continue;
        // The identifier's space is written "#" in the configuration.
        std::string fido = e.fidoname;
        std::size_t hash = fido.rfind('#');
        if (hash != std::string::npos) fido[hash] = ' ';
        curmsg.fidocharset = fido;
        return;
    }
}

void defaultnames() {
    if (curmsg.msgfromemail.empty())
        curmsg.msgfromemail = curmsg.msgfromname.empty() ? "anonymous" : curmsg.msgfromname.sv();
    if (curmsg.msgfromname.empty()) curmsg.msgfromname = curmsg.msgfromemail.sv();
    if (curmsg.msgtoemail.empty())
        curmsg.msgtoemail = curmsg.msgtoname.empty() ? "unknown" : curmsg.msgtoname.sv();
    if (curmsg.msgtoname.empty()) curmsg.msgtoname = curmsg.msgtoemail.sv();
    if (curmsg.msgreplyemail.empty()) curmsg.msgreplyemail = curmsg.msgfromemail.sv();
    if (curmsg.msgreplyname.empty()) curmsg.msgreplyname = curmsg.msgfromname.sv();
}

// An AddrMap entry names a recipient of the mail by address or by name.
// A copy a server delivered for one recipient (its envelope) is for that
// one alone.
bool isrecipient(const addrmapentry& e) {
    bool others = curmsg.hasenvelope == 0;
    if (!e.email.empty()) {
        if (strieq(e.email.sv(), curmsg.msgtoemail.sv())) return true;
        if (!others && !e.replyemail.empty() && strieq(e.replyemail.sv(), curmsg.msgtoemail.sv())) return true;
        for (const emailentry& r : curmsg.emaillist) {
            if (!others) break;
            if (strieq(e.email.sv(), r.email)) return true;
        }
    }
    if (!e.name.empty()) {
        if (strieq(e.name.sv(), curmsg.msgtoname.sv())) return true;
        for (const emailentry& r : curmsg.emaillist) {
            if (!others) break;
            if (strieq(e.name.sv(), r.name)) return true;
        }
    }
    return false;
}

// The first entry is the system the gateway serves: it takes news and
// every mail that no other entry claims.
void choosedestination() {
    const auto& map = tables.addrmap;
    if (map.empty()) {
        curmsg.destaddr = fidoaddr{};
        return;
    }
    std::size_t use = 0;
    if (ismailmsg()) {
        for (std::size_t i = 1; i < map.size(); ++i) {
            if (isrecipient(map[i])) {
                use = i;
                break;
            }
        }
    }
    curmsg.destaddr = map[use].ftnaddr;
}

void reportroutepassword(const fidoaddr& a) {
    std::string text;
    pktappendf(text, "! Incorrect password for node %u:%u/%u", a.zone, a.net, a.node);
    if (a.point != 0) pktappendf(text, ".%u", a.point);
    logprintf("%s\n", text.c_str());
}

// The first Route entry whose e-mail address is the sender's, or -1.
int routeofsender() {
    for (std::size_t i = 0; i < tables.route.size(); ++i) {
        if (strieq(tables.route[i].email.sv(), curmsg.msgfromemail.sv())) return static_cast<int>(i);
    }
    return -1;
}

bool routepassword(const routeentry& r) {
    return r.password.empty() || r.password.sv() == curmsg.routemailpwd.sv();
}

// Mail from a routed node's Internet address comes from that node, unless
// its password is wrong: then it still arrives, from the gateway.
void chooseorigin() {
    curmsg.fromaddr = cfg.gateaddr;
    if (!ismailmsg()) return;
    int i = routeofsender();
    if (i < 0) return;
    const routeentry& r = tables.route[static_cast<std::size_t>(i)];
    curmsg.routing = 1;
    curmsg.routeno = i;
    if (!routepassword(r)) {
        curmsg.routepwdfailed = 1;
        reportroutepassword(r.ftnaddr);
    } else {
        curmsg.fromaddr = r.ftnaddr;
    }
}

int listcommandof(std::string_view subject) {
    if (istartswith(subject, "subscribe")) return LISTCMD_SUBSCRIBE;
    if (istartswith(subject, "unsubscribe")) return LISTCMD_UNSUBSCRIBE;
    if (istartswith(subject, "changepass")) return LISTCMD_CHANGEPASS;
    return LISTCMD_NONE;
}

void findlist(msgverdict& v) {
    if (!ismailmsg()) return;
    for (std::size_t i = 0; i < lists.listconfig.size(); ++i) {
        const listtext& addr = lists.listconfig[i].listaddress;
        if (addr && strieq(*addr, curmsg.msgtoemail.sv())) {
            v.listindex = static_cast<int>(i);
            v.listcommand = listcommandof(curmsg.msgsubj.sv());
            return;
        }
    }
}

bool containedinfields(std::string_view text, std::initializer_list<std::string_view> fields) {
    return std::any_of(fields.begin(), fields.end(),
                       [&](std::string_view f) { return substrcmp(text, f) != 0; });
}

bool containedinrecipients(std::string_view text) {
    return std::any_of(curmsg.emaillist.begin(), curmsg.emaillist.end(), [&](const emailentry& r) {
        return (!r.name.empty() && substrcmp(text, r.name)) ||
               (!r.email.empty() && substrcmp(text, r.email));
    });
}

void applymaillistrule(const maillistentry& rule, msgverdict& v, bool striptag) {
    curmsg.fidoareaname = rule.area.sv();
    v.maillistrule = 1;
    v.category = CAT_LIST;
    if (!rule.truncate.empty()) v.truncate = rule.truncate.str();
    if (!striptag || rule.subjstrip.empty()) return;
    std::string subj = curmsg.msgsubj.str();
    std::size_t at = subj.find(rule.subjstrip.sv());
    if (at == std::string::npos) return;
    subj.erase(at, rule.subjstrip.size());
    curmsg.msgsubj = subj;
}

void maillistrules(msgverdict& v) {
    for (const maillistentry& rule : tables.maillist) {
        std::string_view m = rule.match.sv();
        if (containedinfields(
                m, {curmsg.msgfromname.sv(), curmsg.msgfromemail.sv(), curmsg.msgtoname.sv(),
                    curmsg.msgtoemail.sv(), curmsg.msgreplyname.sv(), curmsg.msgreplyemail.sv(),
                    curmsg.msgsubj.sv(), curmsg.sender.sv(), curmsg.xfrom.sv()})) {
            applymaillistrule(rule, v, true);
            return;
        }
        if (containedinrecipients(m)) {
            applymaillistrule(rule, v, false);
            return;
        }
    }
}

// An entry written "*text" names a whole field, recipients included;
// any other entry is looked for inside the fields.
bool ignoreentrymatches(std::string_view entry) {
    std::string_view fields[] = {curmsg.msgfromname.sv(),  curmsg.msgfromemail.sv(),
                                 curmsg.msgtoname.sv(),    curmsg.msgtoemail.sv(),
                                 curmsg.msgreplyname.sv(), curmsg.msgreplyemail.sv(),
                                 curmsg.msgsubj.sv()};
    if (!entry.empty() && entry.front() == '*') {
        std::string_view whole = entry.substr(1);
        for (std::string_view f : fields) {
            if (strieq(whole, f)) return true;
        }
        return std::any_of(
            curmsg.emaillist.begin(), curmsg.emaillist.end(),
            [&](const emailentry& r) { return strieq(whole, r.name) || strieq(whole, r.email); });
    }
    for (std::string_view f : fields) {
        if (substrcmp(entry, f)) return true;
    }
    return containedinrecipients(entry);
}

void ignoretext(msgverdict& v) {
    for (const std::string& entry : tables.ignoretext) {
        if (ignoreentrymatches(entry)) {
            v.ignored = 1;
            return;
        }
    }
}

void choosearea(msgverdict& v) {
    if (v.listindex >= 0) {
        v.category = CAT_LIST;
        const listtext& area = lists.listconfig[static_cast<std::size_t>(v.listindex)].listarea;
        curmsg.fidoareaname = area ? std::string_view(*area) : std::string_view();
    } else if (!ismailmsg()) {
        curmsg.fidoareaname = curmsg.areaname.sv();
        for (const areamapentry& a : tables.areamap) {
            if (!strieq(a.newsgroup.sv(), curmsg.areaname.sv())) continue;
            curmsg.fidoareaname = a.fidoarea.sv();
            // A group gated out only: what arrives from it is not wanted here.
            if (a.direction == DIR_EXPORT) v.junkcategory = JUNK_IMPEXP;
            break;
        }
    } else {
        curmsg.fidoareaname = cfg.emailarea.sv();
        maillistrules(v);
    }
    if (ismailmsg() && v.listindex < 0) ignoretext(v);
    strupr(curmsg.fidoareaname.data());
}

// Echomail has no real recipient: it is addressed to the quoted author when
// the body names one, else to all.
void echorecipient(const msgverdict& v) {
    bool posting = v.listindex >= 0 && v.listcommand == LISTCMD_NONE;
    if (ismailmsg() && !v.maillistrule && !posting) return;
    if (!curmsg.msgtoname.empty() && curmsg.msgtoname.sv() != curmsg.msgtoemail.sv()) return;
    if (!curmsg.quotename.empty()) {
        curmsg.msgtoname = curmsg.quotename.sv();
    } else if (!curmsg.quoteemail.empty()) {
        curmsg.msgtoname = curmsg.quoteemail.sv();
    } else {
        curmsg.msgtoname = "All";
    }
}

void decodeids(const msgverdict& v) {
    curmsg.validmsgid = decodeftnmsgid(curmsg.msgid.sv(), curmsg.msgidaddr, curmsg.fidomsgid);
    curmsg.validreplyid =
        decodeftnreplyid(curmsg.replyid.sv(), curmsg.replyidaddr, curmsg.fidoreplyid);
    // A reply to a FidoNet user's message goes to that user by name.
    if (!curmsg.validreplyid || v.maillistrule) return;
    for (const addrmapentry& e : tables.addrmap) {
        if (e.ftnaddr == curmsg.replyidaddr && !e.name.empty()) {
            curmsg.msgtoname = e.name.sv();
            ++stats.personalcount;
            return;
        }
    }
}

// "first.last@p1.f2.n3.z4.<gateway domain>" is the FidoNet user First Last.
std::string nameoflocalpart(std::string_view address) {
    std::string name(address.substr(0, address.find('@')));
    std::replace(name.begin(), name.end(), '.', ' ');
    return name;
}

void gatewaysender() {
    if (!hasmapdomain(curmsg.msgreplyemail.sv())) return;
    if (curmsg.msgreplyname.empty() ||
        strieq(curmsg.msgreplyname.sv(), curmsg.msgreplyemail.sv())) {
        curmsg.msgreplyname = nameoflocalpart(curmsg.msgreplyemail.sv());
        if (curmsg.msgfromname.empty() || strieq(curmsg.msgfromname.sv(), curmsg.msgfromemail.sv()))
            curmsg.msgfromname = curmsg.msgreplyname.sv();
    }
    fidoaddr a;
    if (decodeftnaddr(curmsg.msgreplyemail.sv(), a) && cfg.transfidoorg) curmsg.fromaddr = a;
}

void gatewayrecipient() {
    if (!hasmapdomain(curmsg.msgtoemail.sv())) return;
    if (curmsg.msgtoname.empty() || strieq(curmsg.msgtoname.sv(), curmsg.msgtoemail.sv()))
        curmsg.msgtoname = nameoflocalpart(curmsg.msgtoemail.sv());
    fidoaddr a;
    if (decodeftnaddr(curmsg.msgtoemail.sv(), a) && cfg.transfidoorg) curmsg.destaddr = a;
}

// The "junk" action keeps the message but hands it to a pseudo-user.
void divert(const text128& area, bool markjunk) {
    curmsg.fidoareaname = area.sv();
    if (!markjunk) return;
    curmsg.junkmailto = curmsg.msgtoname.sv();
    curmsg.msgtoname = "JunkMail";
}

// Returns true when the message is to be killed.
bool ownorganisation(msgverdict& v) {
    if (curmsg.msgorganization.empty() || cfg.organization.empty() ||
        curmsg.msgorganization.sv() != cfg.organization.sv())
        return false;
    v.ownorg = 1;
    v.junkcategory = JUNK_NONE;
    v.maillistrule = 0;
    switch (cfg.ownorgaction) {
        case ACTION_KILL:
            return true;
        case ACTION_MOVE:
            divert(cfg.ownorgarea, false);
            break;
        case ACTION_JUNK:
            divert(cfg.ownorgarea, true);
            break;
        default:
            break;
    }
    return false;
}

bool ruleapplies(const junkrule& r) {
    switch (r.category) {
        case JUNKCAT_ALL:
            return true;
        case JUNKCAT_EMAIL:
            return ismailmsg();
        case JUNKCAT_NEWS:
            return !ismailmsg();
        default:
            return false;
    }
}

int junkverdict() {
    for (const junkrule& r : tables.junkfrom) {
        if (ruleapplies(r) && (emailcmp(r.text, curmsg.msgfromemail.sv()) ||
                               emailcmp(r.text, curmsg.msgreplyemail.sv())))
            return JUNK_FROM;
    }
    for (const junkrule& r : tables.junksubj) {
        if (ruleapplies(r) && substrcmp(r.text, curmsg.msgsubj.sv())) return JUNK_SUBJECT;
    }
    for (const junkrule& r : tables.junkgroup) {
        if (!ruleapplies(r)) continue;
        if (strieq(r.text, curmsg.areaname.sv())) return JUNK_GROUP;
        for (const std::string& g : curmsg.xpost) {
            if (strieq(r.text, g)) return JUNK_GROUP;
        }
    }
    for (const junkrule& r : tables.junkstr) {
        if (ruleapplies(r) && substrcmp(r.text, curmsg.msgsubj.sv())) return JUNK_BODY;
    }
    if (cfg.junkfromto && ismailmsg() &&
        (strieq(curmsg.msgfromemail.sv(), curmsg.msgtoemail.sv()) ||
         strieq(curmsg.msgreplyemail.sv(), curmsg.msgtoemail.sv())))
        return JUNK_FROMTO;
    return JUNK_NONE;
}

// Returns true when the message is to be killed.
bool junkaction(msgverdict& v) {
    if (v.junkcategory == JUNK_NONE && !v.maillistrule && !v.ownorg) v.junkcategory = junkverdict();
    // An area whose name cannot be written is junk of its group, and its
    // messages cannot stay in it even where junk may stay.
    bool unusable = curmsg.unusablearea != 0;
    if (unusable && v.junkcategory == JUNK_NONE) v.junkcategory = JUNK_GROUP;
    if (v.junkcategory == JUNK_NONE) return false;
    ++stats.junkcount;
    switch (cfg.junkaction) {
        case ACTION_KILL:
            return true;
        case ACTION_MOVE:
            divert(cfg.junkarea, false);
            break;
        case ACTION_JUNK:
            divert(cfg.junkarea, true);
            break;
        default:
            if (unusable) divert(cfg.junkarea, false);
            break;
    }
    return false;
}

}  // namespace

bool fromroutenode() {
    if (!ismailmsg()) return false;
    int i = routeofsender();
    return i >= 0 && routepassword(tables.route[static_cast<std::size_t>(i)]);
}

int classifymessage(msgverdict& v) {
    v.category = ismailmsg() ? CAT_EMAIL : CAT_NEWS;
    curmsg.junkmailto.clear();
    choosecharset();
    defaultnames();
    choosedestination();
    chooseorigin();
    findlist(v);
    choosearea(v);
    echorecipient(v);
    decodeids(v);
    gatewaysender();
    gatewayrecipient();
    bool killed = ownorganisation(v);
    if (!killed) killed = junkaction(v);
    if (killed) {
        v.outcome = OUTCOME_KILLED;
    } else if (v.junkcategory != JUNK_NONE || v.listindex < 0) {
        // Junk addressed to a list is neither a command nor a posting.
        v.outcome = OUTCOME_CONVERT;
        // A list without a FidoNet area gives junk left where it was no
        // area at all: it goes to netmail, not into an empty "AREA:".
        if (curmsg.fidoareaname.empty()) {
            curmsg.fidoareaname = cfg.emailarea.sv();
            v.category = CAT_EMAIL;
        }
    } else {
        v.outcome = v.listcommand != LISTCMD_NONE ? OUTCOME_LISTCOMMAND : OUTCOME_LISTPOSTING;
    }
    choosefidocharset();
    return v.outcome;
}
