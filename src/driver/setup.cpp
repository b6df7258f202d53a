#include "driver/setup.h"

#include <pwd.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "base/ftndomain.h"
#include "base/text.h"
#include "config/reader.h"
#include "config/settings.h"
#include "config/tables.h"
#include "driver/runstate.h"
#include "lists/listfiles.h"

namespace {

constexpr char DEFAULTUSER[] = "pondlark";
constexpr char ALIASFILE[] = "/etc/postfix/pondlark-aliases";
constexpr char VIRTUALFILE[] = "/etc/postfix/pondlark-virtual";
constexpr char NEWSFEEDS[] = "/etc/news/newsfeeds";
constexpr char NEWSCRON[] = "/etc/cron.d/pondlark-news";
constexpr char BATCHSCRIPT[] = "pondlark-newsbatch";

void usageline() {
    std::fputs("Usage: pondlark setup postfix|inn [/config=<filename>]\n", stderr);
}

// A value inside '...' for the shell.
std::string quoted(std::string_view s) {
    std::string out = "'";
    for (char c : s) {
        if (c == '\'') {
            out += "'\\''";
        } else {
            out.push_back(c);
        }
    }
    return out + "'";
}

// Text written into a Postfix regular expression: every character that
// means something there is escaped, the "/" that delimits it too.
std::string regexptext(std::string_view s) {
    std::string out;
    for (char c : s) {
        if (std::string_view("\\^$.|?*+()[]{}/").find(c) != std::string_view::npos) out.push_back('\\');
        out.push_back(c);
    }
    return out;
}

// A word for the shell as it stands when it needs no quotes.
std::string shellword(std::string_view s) {
    for (char c : s) {
        if (!isalnumc(static_cast<unsigned char>(c)) && std::string_view("/._-+:@%=,").find(c) == std::string_view::npos)
            return quoted(s);
    }
    return std::string(s);
}

// Only plain text goes into a command line: a control character (which
// no configuration value should hold) would break it.
bool plain(std::string_view s) {
    for (char c : s) {
        if (static_cast<unsigned char>(c) < 32 || c == 127) return false;
    }
    return !s.empty();
}

// The gateway domains: the "#" FidoDomain entries, else the default one.
std::vector<std::string> gatewaydomains() {
    std::vector<std::string> out;
    for (const domainentry& d : tables.fidodomain) {
        if (d.domain.size() < 2 || d.domain[0] != '#') continue;
        std::string dom = d.domain.substr(1);
        bool seen = false;
        for (const std::string& o : out) seen = seen || strieq(o, dom);
        if (!seen) out.push_back(dom);
    }
    if (out.empty()) out.push_back(DEFAULTFTNDOMAIN);
    return out;
}

bool ingatewaydomain(std::string_view address, const std::vector<std::string>& domains) {
    std::size_t at = address.rfind('@');
    if (at == std::string_view::npos) return false;
    std::string_view host = address.substr(at + 1);
    for (const std::string& d : domains) {
        if (strieq(host, d)) return true;
        if (host.size() > d.size() && iendswith(host, d) && host[host.size() - d.size() - 1] == '.')
            return true;
    }
    return false;
}

// The Internet addresses of FidoNet users and of the gateway's lists
// outside the gateway domains: each goes to the gateway by a line of its
// own.
std::vector<std::string> ownaddresses(const std::vector<std::string>& domains) {
    std::vector<std::string> out;
    auto add = [&](std::string_view a) {
        if (a.find('@') == std::string_view::npos || ingatewaydomain(a, domains)) return;
        for (const std::string& o : out)
            if (strieq(o, a)) return;
        out.emplace_back(a);
    };
    for (const addrmapentry& e : tables.addrmap) {
        add(e.email.sv());
        add(e.replyemail.sv());
    }
    for (const listrecord& l : lists.listconfig) {
        if (l.listaddress) add(*l.listaddress);
    }
    return out;
}

// The system user the gateway's mail is delivered as: the owner of its
// Maildir (when that is someone other than root), else "pondlark".
std::string gatewayuser(const std::string& maildir) {
    struct stat st {};
    if (stat(maildir.c_str(), &st) == 0 && st.st_uid != 0) {
        if (passwd* pw = getpwuid(st.st_uid)) return pw->pw_name;
    }
    return DEFAULTUSER;
}

// Where the news batch script is installed: beside the program's lib
// folder (/usr/bin/pondlark: /usr/lib/pondlark/).
std::string batchscript() {
    std::string prog = run.progpath.str();
    std::size_t slash = prog.rfind('/');
    if (!prog.empty() && prog[0] == '/' && slash != std::string::npos) {
        std::string bin = prog.substr(0, slash);
        std::size_t up = bin.rfind('/');
        if (up != std::string::npos && bin.substr(up + 1) == "bin")
            return bin.substr(0, up) + "/lib/pondlark/" + BATCHSCRIPT;
    }
    return std::string("/usr/lib/pondlark/") + BATCHSCRIPT;
}

std::string header(const char* what) {
    char addr[64];
    std::snprintf(addr, sizeof addr, "%u:%u/%u", cfg.gateaddr.zone, cfg.gateaddr.net, cfg.gateaddr.node);
    std::string line = "# ";
    line.append(what).append(" for the gateway ").append(addr);
    if (cfg.gateaddr.point) line.append(".").append(std::to_string(cfg.gateaddr.point));
    line.append(" (").append(run.configfile.sv()).append("); run these lines as root.\n");
    return line;
}

int postfixlines() {
    if (cfg.importmaildir.empty()) {
        std::fprintf(stderr, "Error: no ImportMaildir in %s: Postfix would deliver nowhere\n",
                     run.configfile.c_str());
        return 1;
    }
    const std::string maildir = cfg.importmaildir.front().dir;
    const std::string user = gatewayuser(maildir);
    const std::vector<std::string> domains = gatewaydomains();
    const std::vector<std::string> addresses = ownaddresses(domains);
    bool ok = plain(maildir) && plain(user);
    for (const std::string& d : domains) ok = ok && plain(d);
    for (const std::string& a : addresses) ok = ok && plain(a);
    if (!ok) {
        std::fprintf(stderr, "Error: a folder, domain or address in %s holds control characters\n",
                     run.configfile.c_str());
        return 1;
    }
    const std::string target = user + "@localhost";
    std::string out = header("Postfix");
    out += "# Mail for it is delivered as the user " + user + " into " + maildir + ".\n";
    if (domains.size() == 1 && domains[0] == DEFAULTFTNDOMAIN) {
        out += "# No FidoDomain: " + std::string(DEFAULTFTNDOMAIN) +
               " is every gateway's, and Internet mail for it never comes here;\n"
               "# give the zone a domain of your own (FidoDomain 2 #fidonet.example.org).\n";
    }
    out += "echo " + quoted(user + ": " + maildir) + " > " + ALIASFILE + "\n";
    // -o: the database is root's whoever owns the text (as the user it
    // would be written in /etc/postfix, which is root's); then it is given
    // to the user Postfix is to deliver as.
    out += std::string("postalias -o ") + ALIASFILE + "\n";
    out += "chown " + user + " " + ALIASFILE + ".db\n";
    out += std::string("postconf -e 'alias_maps = hash:/etc/aliases, hash:") + ALIASFILE + "'\n";
    const char* redirect = " > ";
    for (const std::string& d : domains) {
        out += "echo " + quoted("/@(.+\\.)?" + regexptext(d) + "$/ " + target) + redirect + VIRTUALFILE + "\n";
        redirect = " >> ";
    }
    for (const std::string& a : addresses) {
        out += "echo " + quoted("/^" + regexptext(a) + "$/ " + target) + redirect + VIRTUALFILE + "\n";
        redirect = " >> ";
    }
    // The gateway domains with every subdomain, then the other domains
    // of the addresses above.
    std::vector<std::string> accepted;
    for (const std::string& d : domains) {
        accepted.push_back(d);
        accepted.push_back("." + d);
    }
    for (const std::string& a : addresses) {
        std::string host = a.substr(a.rfind('@') + 1);
        bool seen = false;
        for (const std::string& d : accepted) seen = seen || strieq(d, host);
        if (!seen) accepted.push_back(host);
    }
    if (!addresses.empty()) {
        out += "# Postfix must take mail for the domains of the addresses above: leave out of\n"
               "# virtual_alias_domains one that is in mydestination.\n";
    }
    std::string list;
    for (const std::string& d : accepted) list += (list.empty() ? "" : ", ") + d;
    out += "postconf -e " + quoted("virtual_alias_domains = " + list) + "\n";
    out += std::string("postconf -e 'virtual_alias_maps = regexp:") + VIRTUALFILE + "'\n";
    out += "postconf -e 'enable_original_recipient = yes' 'local_destination_recipient_limit = 1'\n";
    out += "postfix reload\n";
    std::fputs(out.c_str(), stdout);
    return 0;
}

int innlines() {
    if (cfg.importnewsbatches.empty()) {
        std::fprintf(stderr, "Error: no ImportNewsBatches in %s: INN's batches would go nowhere\n",
                     run.configfile.c_str());
        return 1;
    }
    std::string groups;
    for (const areamapentry& a : tables.areamap) {
        if (a.direction == DIR_EXPORT) continue;
        std::string g = a.newsgroup.str();
        std::string item = "," + g + ",";
        if (("," + groups + ",").find(item) != std::string::npos) continue;
        groups += (groups.empty() ? "" : ",") + g;
    }
    if (groups.empty()) {
        std::fprintf(stderr, "Error: no AreaMap line in %s gates a newsgroup in\n", run.configfile.c_str());
        return 1;
    }
    std::string folder = cfg.importnewsbatches.front();
    if (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    const std::string user = cfg.importmaildir.empty() ? std::string(DEFAULTUSER)
                                                       : gatewayuser(cfg.importmaildir.front().dir);
    const std::string script = batchscript();
    if (!plain(folder) || !plain(groups) || !plain(user)) {
        std::fprintf(stderr, "Error: a folder or newsgroup in %s holds control characters\n",
                     run.configfile.c_str());
        return 1;
    }
    std::string out = header("INN");
    out += "# Articles of " + groups + " go to the feed \"pondlark\", as batches into " + folder + ".\n";
    out += "install -d -o news -g " + user + " -m 2775 " + shellword(folder) + "\n";
    out += std::string("grep -q '^pondlark:' ") + NEWSFEEDS + " || echo " +
           quoted("pondlark:" + groups + ",!junk,!control*:Tf,Wnm:") + " >> " + NEWSFEEDS + "\n";
    out += "ctlinnd reload newsfeeds pondlark\n";
    // A few minutes before each run of the cycle (at :00, :15, ...).
    out += "echo " + quoted("10-59/15 * * * * news " + script + " " + shellword(folder)) + " > " + NEWSCRON + "\n";
    out += "adduser " + user + " uucp\n";
    std::fputs(out.c_str(), stdout);
    return 0;
}

}  // namespace

int runsetup(int argc, char** argv) {
    std::string what;
    for (int i = 0; i < argc; ++i) {
        std::string_view a = argv[i];
        if (!a.empty() && (a[0] == '/' || a[0] == '-') &&
            (istartswith(a.substr(1), "config=") || istartswith(a.substr(1), "c="))) {
            run.configfile = a.substr(a.find('=') + 1);
        } else if (what.empty() && (strieq(a, "postfix") || strieq(a, "inn"))) {
            what = a;
        } else {
            usageline();
            return 1;
        }
    }
    if (what.empty()) {
        usageline();
        return 1;
    }
    if (readconfigfile(run.configfile.str(), run.progpath.str()) != 0) return 1;
    if (run.configerrors > 0) {
        std::fprintf(stderr, "Error: %ld error%s in the configuration: mend %s first (pondlark check)\n",
                     run.configerrors, run.configerrors == 1 ? "" : "s",
                     run.configerrors == 1 ? "it" : "them");
        return 1;
    }
    return strieq(what, "postfix") ? postfixlines() : innlines();
}
