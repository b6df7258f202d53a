// Keywords that append entries to the gateway tables. Each checks the
// table's maximum first, then its parameters, then fills and appends.
#include <cstdio>
#include <string>

#include "base/text.h"
#include "config/keywords.h"
#include "config/reader.h"
#include "config/tables.h"
#include "export/ftnnames.h"
#include "mime/charsets.h"

namespace {

template <typename T>
bool tablefull(const std::vector<T>& table, std::size_t max, const char* warning,
               const configline& l) {
    if (table.size() < max) return false;
    configwarn(warning, l.line, l.path);
    return true;
}

// An e-mail parameter optionally followed directly by "," and a second address.
template <std::size_t N>
void scanaddresspair(std::string_view par, const configline& l, fixedtext<N>& first,
                     fixedtext<N>& second) {
    std::size_t comma = par.find(',');
    if (comma == std::string_view::npos) {
        configscanemailaddr(par, l.line, l.path, first);
        return;
    }
    configscanemailaddr(par.substr(0, comma), l.line, l.path, first);
    configscanemailaddr(par.substr(comma + 1), l.line, l.path, second);
}

std::string_view dropspacesbefore(std::string_view text, std::size_t end) {
    while (end > 0 && text[end - 1] == ' ') --end;
    return text.substr(0, end);
}

// "%d-%d" with both numbers within 0..255 and the second not below the first.
bool scanrange(std::string_view text, std::uint8_t& lo, std::uint8_t& hi) {
    std::string s(text);
    int a = 0, b = 0;
    if (std::sscanf(s.c_str(), "%d-%d", &a, &b) != 2) return false;
    if (a < 0 || a > 255 || b < 0 || b > 255 || b < a) return false;
    lo = static_cast<std::uint8_t>(a);
    hi = static_cast<std::uint8_t>(b);
    return true;
}

void warntext(const std::string& msg, const configline& l) {
    configwarn(msg.c_str(), l.line, l.path);
}

// Import sends mail for an e-mail address to the first entry that names
// it; export gives a sender at an FTN address the first entry's e-mail
// address. A second entry is then never used that way.
void warnaddrmaptwice(const addrmapentry& e, const configline& l) {
    for (const addrmapentry& p : tables.addrmap) {
        bool sameaddr = p.ftnaddr == e.ftnaddr;
        bool sameemail = !e.email.empty() && strieq(p.email.sv(), e.email.sv());
        if (sameaddr && sameemail) {
            warntext("AddrMap " + ftnaddrtext(e.ftnaddr) + " " + e.email.str() + " given twice", l);
            return;
        }
        if (sameemail) {
            warntext("e-mail address " + e.email.str() + " already mapped to " +
                         ftnaddrtext(p.ftnaddr) + "; import sends its mail there",
                     l);
            return;
        }
        if (sameaddr && !p.email.empty() && !e.email.empty()) {
            warntext("FTN address " + ftnaddrtext(e.ftnaddr) + " already mapped to " +
                         p.email.str() + "; export gives its senders that address",
                     l);
            return;
        }
    }
}

// Export takes the outbound of a routed node for the first Route naming
// it; import takes mail from an address as coming from the first Route
// that has it.
void warnroutetwice(const routeentry& e, const configline& l) {
    for (const routeentry& p : tables.route) {
        if (p.ftnaddr == e.ftnaddr) {
            warntext(
                "FTN address " + ftnaddrtext(e.ftnaddr) + " already routed to " + p.email.str(), l);
            return;
        }
        if (strieq(p.email.sv(), e.email.sv())) {
            warntext("e-mail address " + e.email.str() + " already routed from " +
                         ftnaddrtext(p.ftnaddr),
                     l);
            return;
        }
    }
}

// Export looks an area up in the first entry naming it, import a
// newsgroup in the first entry naming it, whatever their directions: a
// later entry is never used for what the earlier one decides.
void warnareamaptwice(const areamapentry& e, const configline& l) {
    const areamapentry* byarea = nullptr;
    const areamapentry* bygroup = nullptr;
    for (const areamapentry& p : tables.areamap) {
        if (!byarea && strieq(p.fidoarea.sv(), e.fidoarea.sv())) byarea = &p;
        if (!bygroup && strieq(p.newsgroup.sv(), e.newsgroup.sv())) bygroup = &p;
    }
    if (e.direction == DIR_IMPORT) byarea = nullptr;
    if (e.direction == DIR_EXPORT) bygroup = nullptr;
    // The earlier entry may decide just what this one would.
    bool areaissue = byarea && (byarea->direction == DIR_IMPORT ||
                                !strieq(byarea->newsgroup.sv(), e.newsgroup.sv()));
    bool groupissue = bygroup && (bygroup->direction == DIR_EXPORT ||
                                  !strieq(bygroup->fidoarea.sv(), e.fidoarea.sv()));
    if (!areaissue && !groupissue) {
        if (byarea || bygroup)
            warntext("AreaMap " + e.fidoarea.str() + " " + e.newsgroup.str() + " given twice", l);
        return;
    }
    if (areaissue) {
        warntext("area " + e.fidoarea.str() + " already mapped to " + byarea->newsgroup.str() +
                     (byarea->direction == DIR_IMPORT ? " (import only)" : "") +
                     "; export uses the first mapping",
                 l);
    }
    if (groupissue) {
        warntext("newsgroup " + e.newsgroup.str() + " already mapped to " +
                     bygroup->fidoarea.str() +
                     (bygroup->direction == DIR_EXPORT ? " (export only)" : "") +
                     "; import uses the first mapping",
                 l);
    }
}

void addjunkrule(const configline& l, std::vector<junkrule>& table, std::size_t max,
                 const char* fullwarning) {
    if (tablefull(table, max, fullwarning, l)) return;
    table.push_back(junkrule{tables.junkcategory, std::string(l.par)});
}

}  // namespace

void kw_addrmap(const configline& l) {
    if (tablefull(tables.addrmap, MAXADDRMAP, "too many AddrMap keywords", l)) return;
    std::string_view rest = l.par;
    std::string_view addr = nextparam(rest);
    std::string_view email = nextparam(rest);
    if (addr.empty() || email.empty()) {
        configwarn("AddrMap misses parameter", l.line, l.path);
        return;
    }
    addrmapentry e;
    configscanfidoaddr(addr, l.line, l.path, e.ftnaddr);
    scanaddresspair(email, l, e.email, e.replyemail);
    configscantext(rest, e.name);
    warnaddrmaptwice(e, l);
    tables.addrmap.push_back(e);
}

void kw_personal(const configline& l) {
    configwarn("obsolete keyword Personal", l.line, l.path);
    if (tablefull(tables.addrmap, MAXADDRMAP, "too many AddrMap/Personal keywords", l)) return;
    std::string_view rest = l.par;
    std::string_view addr = nextparam(rest);
    if (addr.empty() || rest.empty()) {
        configwarn("Personal misses parameter", l.line, l.path);
        return;
    }
    addrmapentry e;
    configscanfidoaddr(addr, l.line, l.path, e.ftnaddr);
    configscantext(rest, e.name);
    tables.addrmap.push_back(e);
}

void kw_areamap(const configline& l) {
    if (tablefull(tables.areamap, MAXAREAMAP, "too many AreaMap keywords", l)) return;
    std::string_view rest = l.par;
    std::string_view area = nextparam(rest);
    std::string_view group = nextparam(rest);
    if (area.empty() || group.empty()) {
        configwarn("AreaMap misses parameter", l.line, l.path);
        return;
    }
    areamapentry e;
    configscantext(area, e.fidoarea);
    strupr(e.fidoarea.data());
    configscantext(group, e.newsgroup);
    // The rest: a direction and a server=<name>, in either order.
    bool directed = false;
    for (std::string_view w = nextparam(rest); !w.empty(); w = nextparam(rest)) {
        if (!directed && strieq(w, "import")) {
            e.direction = DIR_IMPORT;
            directed = true;
        } else if (!directed && strieq(w, "export")) {
            e.direction = DIR_EXPORT;
            directed = true;
        } else if (istartswith(w, "server=") && w.size() > 7) {
            configscantext(w.substr(7), e.server);
        } else {
            configwarn("unknown direction", l.line, l.path);
        }
    }
    e.cfgline = l.line;
    e.cfgfile = l.path;
    warnareamaptwice(e, l);
    tables.areamap.push_back(e);
}

void kw_route(const configline& l) {
    if (tablefull(tables.route, MAXROUTE, "too many Route keywords", l)) return;
    std::string_view rest = l.par;
    std::string_view addr = nextparam(rest);
    std::string_view email = nextparam(rest);
    if (addr.empty() || email.empty()) {
        configwarn("Route misses parameter", l.line, l.path);
        return;
    }
    std::string_view p3 = nextparam(rest);
    std::string_view p4 = rest;
    std::string_view password, subject;
    if (istartswith(p3, "SUBJ=")) {
        // Without a password the subject is one word.
        if (!p4.empty()) {
            configwarn("Route has too many parameters", l.line, l.path);
            return;
        }
        subject = p3.substr(5);
    } else {
        password = p3;
        if (!p4.empty()) {
            if (!istartswith(p4, "SUBJ=")) {
                configwarn("Route has invalid parameter", l.line, l.path);
                return;
            }
            subject = p4.substr(5);
        }
    }
    routeentry e;
    configscanfidoaddr(addr, l.line, l.path, e.ftnaddr);
    configscanemailaddr(email, l.line, l.path, e.email);
    configscantext(password, e.password);
    configscantext(subject, e.subject);
    warnroutetwice(e, l);
    tables.route.push_back(e);
}

void kw_alias(const configline& l) {
    if (tablefull(tables.alias, MAXALIAS, "too many Alias keywords", l)) return;
    std::string_view rest = l.par;
    std::string_view email = nextparam(rest);
    if (email.empty() || rest.empty()) {
        configwarn("Alias misses parameter", l.line, l.path);
        return;
    }
    aliasentry e;
    configscanemailaddr(email, l.line, l.path, e.email);
    configscantext(rest, e.name);
    tables.alias.push_back(e);
}

void kw_mailinglist(const configline& l) {
    if (tablefull(tables.maillist, MAXMAILLIST, "too many MailingList keywords", l)) return;
    std::string_view rest = l.par;
    std::string_view area = nextparam(rest);
    std::string_view addr = nextparam(rest);
    if (area.empty() || addr.empty() || rest.empty()) {
        configwarn("MailingList misses parameter", l.line, l.path);
        return;
    }
    maillistentry e;
    configscantext(area, e.area);
    scanaddresspair(addr, l, e.listaddr, e.senderaddr);
    std::size_t tr = rest.find("TRUNCATE=");
    if (tr == std::string_view::npos) {
        configscantext(rest, e.match);
    } else {
        configscantext(dropspacesbefore(rest, tr), e.match);
        std::string_view after = rest.substr(tr + 9);
        std::size_t subj = after.find(";SUBJ:");
        if (subj == std::string_view::npos) {
            configscantext(after, e.truncate);
        } else {
            // The one character before ";SUBJ:" (normally a space) ends the
            // truncate text and belongs to neither.
            if (subj > 0) configscantext(after.substr(0, subj - 1), e.truncate);
            configscantext(after.substr(subj + 6), e.subjstrip);
        }
    }
    tables.maillist.push_back(e);
}

void kw_charsetmap(const configline& l) {
    if (tablefull(tables.charsetmap, MAXCHARSETMAP, "too many CharSetMap keywords", l)) return;
    std::string_view rest = l.par;
    std::string_view fidoname = nextparam(rest);
    if (fidoname.empty() || rest.empty()) {
        configwarn("CharSetMap misses parameter", l.line, l.path);
        return;
    }
    charsetentry e;
    e.fidoname = fidoname;
    std::size_t at = wordfind("Export", rest);
    if (at != std::string_view::npos) {
        e.direction = DIR_EXPORT;
    } else if ((at = wordfind("Import", rest)) != std::string_view::npos) {
        e.direction = DIR_IMPORT;
    }
    e.rfcname = at == std::string_view::npos ? rest : dropspacesbefore(rest, at);
    // The Internet name goes out in Content-Type headers as written.
    if (!charsetknown(e.rfcname)) configwarn("unknown character set", l.line, l.path);
    tables.charsetmap.push_back(e);
}

void kw_fidodomain(const configline& l) {
    if (tablefull(tables.fidodomain, MAXFIDODOMAIN, "too many FidoDomain keywords", l)) return;
    std::string_view rest = l.par;
    std::string_view zones = nextparam(rest);
    if (zones.empty() || rest.empty()) {
        configwarn("FidoDomain misses parameter", l.line, l.path);
        return;
    }
    std::string z(zones);
    unsigned from = 0, to = 0;
    bool ok = z.find('-') == std::string::npos ? std::sscanf(z.c_str(), "%u", &from) == 1
                                               : std::sscanf(z.c_str(), "%u-%u", &from, &to) == 2;
    if (!ok) {
        configwarn("FidoDomain has invalid parameter", l.line, l.path);
        return;
    }
    if (z.find('-') == std::string::npos) to = from;
    domainentry e;
    e.zonefrom = static_cast<std::uint16_t>(from);
    e.zoneto = static_cast<std::uint16_t>(to);
    e.domain = rest;
    tables.fidodomain.push_back(e);
}

void kw_quotechar(const configline& l) {
    if (tablefull(tables.quotechar, MAXQUOTECHAR, "too many QuoteChar keywords", l)) return;
    std::string_view rest = l.par;
    std::string_view quote = nextparam(rest);
    std::string_view range = nextparam(rest);
    if (quote.empty() || range.empty()) {
        configwarn("QuoteChar misses parameter", l.line, l.path);
        return;
    }
    quotecharentry e;
    e.quote = quote[0];
    bool ok = scanrange(range, e.poslo, e.poshi);
    if (ok && !rest.empty()) ok = scanrange(rest, e.letterslo, e.lettershi);
    if (!ok) {
        configwarn("QuoteChar has invalid parameter", l.line, l.path);
        return;
    }
    tables.quotechar.push_back(e);
}

void kw_quotemask(const configline& l) {
    if (tablefull(tables.quotemask, MAXQUOTEMASK, "too many QuoteMask keywords", l)) return;
    tables.quotemask.emplace_back(l.par);
}

void kw_ignoremessagetext(const configline& l) {
    if (tablefull(tables.ignoretext, MAXIGNORETEXT, "too many IgnoreMessageText keywords", l))
        return;
    tables.ignoretext.emplace_back(l.par);
}

void kw_junkcategory(const configline& l) {
    if (strieq(l.par, "Email")) {
        tables.junkcategory = JUNKCAT_EMAIL;
    } else if (strieq(l.par, "News")) {
        tables.junkcategory = JUNKCAT_NEWS;
    } else if (strieq(l.par, "All")) {
        tables.junkcategory = JUNKCAT_ALL;
    } else if (strieq(l.par, "None")) {
        tables.junkcategory = JUNKCAT_NONE;
    } else {
        configwarn("invalid category", l.line, l.path);
    }
}

void kw_junkfrom(const configline& l) {
    addjunkrule(l, tables.junkfrom, MAXJUNKFROM, "too many JunkFrom keywords");
}
void kw_junksubj(const configline& l) {
    addjunkrule(l, tables.junksubj, MAXJUNKSUBJ, "too many JunkSubj keywords");
}
void kw_junkstr(const configline& l) {
    addjunkrule(l, tables.junkstr, MAXJUNKSTR, "too many JunkStr keywords");
}
void kw_junkgroup(const configline& l) {
    addjunkrule(l, tables.junkgroup, MAXJUNKGROUP, "too many JunkGroup keywords");
}
