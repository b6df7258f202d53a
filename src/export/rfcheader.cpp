#include "export/rfcheader.h"

#include <cstdio>

#include "config/settings.h"
#include "driver/clock.h"
#include "driver/codec.h"
#include "driver/startup.h"
#include "driver/text.h"
#include "export/expstate.h"
#include "export/msgidprint.h"
#include "import/curmsg.h"
#include "lists/listfiles.h"
#include "lists/memberindex.h"

namespace {

// Before entry n (from 0) of a To, Cc or Bcc line: a new line every third.
const char* addrseparator(std::size_t n) {
    return n % 3 == 0 ? ",\n    " : ", ";
}

void appendentry(std::string& h, const emailentry& e) {
    h += headervalue(e.email);
    if (!e.name.empty()) h += " (" + headercomment(e.name) + ")";
}

bool haskind(int kind) {
    for (const emailentry& e : curmsg.emaillist) {
        if (e.kind == kind) return true;
    }
    return false;
}

void toline(std::string& h, const exportmsg& m) {
    h += "To: ";
    std::size_t n = 0;
    if (!m.touucp) {
        h += headervalue(curmsg.msgtoemail.sv());
        if (curmsg.routing != ROUTING_GATEWAY && !curmsg.msgtoname.empty()) {
            h += " (" + headercomment(curmsg.msgtoname.sv()) + ")";
        }
    }
    for (const emailentry& e : curmsg.emaillist) {
        if (e.kind != EMAIL_TO) continue;
        if (n > 0 || !m.touucp) h += addrseparator(n);
        appendentry(h, e);
        ++n;
    }
    h += "\n";
}

void kindline(std::string& h, const char* label, int kind) {
    if (!haskind(kind)) return;
    h += label;
    std::size_t n = 0;
    for (const emailentry& e : curmsg.emaillist) {
        if (e.kind != kind) continue;
        if (n > 0) h += addrseparator(n);
        appendentry(h, e);
        ++n;
    }
    h += "\n";
}

void newsgroupsline(std::string& h) {
    h += "Newsgroups: " + headervalue(curmsg.areaname.sv());
    for (const std::string& g : curmsg.xpost) {
        h += ',';
        h += headervalue(g);
    }
    h += "\n";
}

// Every member of the list but the black-listed, as blind copies.
void subscriberline(std::string& h, const listrecord& list) {
    h += "Bcc: ";
    std::size_t n = 0;
    walkmembers(list, [&](const memberdata& d) {
        if (d.status == STATUS_BLACKLISTED) return;
        if (n > 0) h += n % 2 == 0 ? ",\n   " : ", ";
        h += '<';
        h += headervalue(d.address.sv());
        h += '>';
        ++n;
    });
    h += "\n";
}

bool subjectnamesmail() {
    std::string_view s = curmsg.msgsubj.sv();
    std::size_t i = 0;
    while (i < s.size()) {
        if (s[i] == ' ') {
            ++i;
            continue;
        }
        std::size_t end = s.find(' ', i);
        if (end == std::string_view::npos) end = s.size();
        if (ismail(s.substr(i, end - i))) return true;
        i = end;
    }
    return false;
}

std::string subjectline() {
    bool routesubj = curmsg.isfattach && curmsg.routing != ROUTING_GATEWAY &&
                     !curmsg.routemailsubj.empty() && subjectnamesmail();
    return "Subject: " + headervalue(routesubj ? curmsg.routemailsubj.sv() : curmsg.msgsubj.sv()) +
           "\n";
}

std::string dateline() {
    const msgtimes& t = curmsg.msgtime;
    int mon = t.month < 12 ? t.month : 0;
    char buf[96];
    std::snprintf(buf, sizeof buf, "Date: %s, %02d %-3s %04d %02d:%02d:%02d %s\n",
                  weekday[dow(t.year, mon + 1, t.day)], t.day, month[mon], t.year, t.hour, t.minute,
                  t.second, datezone().c_str());
    return buf;
}

void fromlines(std::string& h, const exportmsg& m) {
    bool news = curmsg.msgtype == MSGTYPE_NEWS;
    h += "From: " + std::string(news ? cfg.nospamtext.sv() : "") +
         headervalue(curmsg.msgfromemail.sv()) + " (" + headercomment(curmsg.msgfromname.sv()) +
         ")\n";
    if (m.listno >= 0) {
        std::string addr = headervalue(lists.listconfig[m.listno].listaddress.value_or(""));
        h += "Reply-to: " + addr + "\n";
        h += "Sender: " + addr + "\n";
    } else if (!strieq(curmsg.msgreplyemail.sv(), curmsg.msgfromemail.sv())) {
        h += "Reply-to: " + headervalue(curmsg.msgreplyemail.sv()) + " (" +
             headercomment(curmsg.msgreplyname.sv()) + ")\n";
    }
}

void idlines(std::string& h) {
    h += "Message-ID: " +
         headervalue(msgidtext(curmsg.msgid.sv(), curmsg.fidomsgid, curmsg.msgidaddr)) + "\n";
    if (curmsg.fidoreplyid != 0 || !curmsg.replyid.empty()) {
        h += curmsg.msgtype == MSGTYPE_MAIL ? "In-Reply-To: " : "References: ";
        h += headervalue(msgidtext(curmsg.replyid.sv(), curmsg.fidoreplyid, curmsg.replyidaddr)) +
             "\n";
    }
}

void gatewaylines(std::string& h, const exportmsg& m) {
    bool mail = curmsg.msgtype == MSGTYPE_MAIL;
    bool list = m.listno >= 0;
    if (!cfg.organization.empty())
        h += "Organization: " + headervalue(cfg.organization.sv()) + "\n";
    if ((!mail || list || m.gated) && !curmsg.msgtoname.empty()) {
        h += "X-Comment-To: " + headervalue(curmsg.msgtoname.sv()) + "\n";
    }
    if (mail && curmsg.routing != ROUTING_GATEWAY && !curmsg.routemailpwd.empty()) {
        h += "X-MailPassword: " + headervalue(curmsg.routemailpwd.sv()) + "\n";
    }
    char buf[96];
    std::snprintf(buf, sizeof buf, "X-Mail%s: " PROGNAME "-%s v%d.%02d\n",
                  list ? "Server" : "Converter", PROGOS, VERMAJOR, VERMINOR);
    h += buf;
}

void mimelines(std::string& h, const exportmsg& m) {
    h += "Mime-version: 1.0\n";
    if (curmsg.isfattach) {
        h += "Content-Type: multipart/mixed; boundary=\"" + std::string(EXPORTBOUNDARY) + "\"\n";
        h += "\n--" + std::string(EXPORTBOUNDARY) + "\n";
    }
    h += "Content-Type: text/plain; charset=" + headervalue(curmsg.rfccharset.sv()) + "\n";
    h += "Content-Transfer-Encoding: ";
    if (!m.needsencoding) {
        h += "7bit\n";
    } else {
        h += cfg.useqp ? "quoted-printable\n" : "8bit\n";
    }
    h += "\n";
}

}  // namespace

std::string rfcheader(const exportmsg& m) {
    std::string h;
    bool mail = curmsg.msgtype == MSGTYPE_MAIL;
    if (mail && m.listno < 0) toline(h, m);
    if (mail) {
        kindline(h, "Cc: ", EMAIL_CC);
        kindline(h, "Bcc: ", EMAIL_BCC);
    } else {
        newsgroupsline(h);
    }
    if (m.listno >= 0) subscriberline(h, lists.listconfig[m.listno]);
    fromlines(h, m);
    h += subjectline();
    h += dateline();
    idlines(h);
    gatewaylines(h, m);
    mimelines(h, m);
    return h;
}

bool validrfczone(std::string_view z) {
    if (z.size() == 5 && (z[0] == '+' || z[0] == '-')) {
        for (std::size_t i = 1; i < 5; ++i) {
            if (!isdigitc(static_cast<unsigned char>(z[i]))) return false;
        }
        return z[3] <= '5';
    }
    static const char* const names[] = {"UT",  "GMT", "EST", "EDT", "CST",
                                        "CDT", "MST", "MDT", "PST", "PDT"};
    for (const char* n : names) {
        if (strieq(z, n)) return true;
    }
    return false;
}

std::string datezone() {
    if (validrfczone(cfg.timezonestr.sv())) return cfg.timezonestr.str();
    long off = localoffsetminutes(nowtime());
    char sign = off < 0 ? '-' : '+';
    if (off < 0) off = -off;
    char buf[16];
    std::snprintf(buf, sizeof buf, "%c%02ld%02ld", sign, (off / 60) % 100, off % 60);
    return buf;
}

std::string headervalue(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        unsigned char u = static_cast<unsigned char>(c);
        if ((u < 0x20 && u != '\t') || u == 0x7F) c = ' ';
    }
    return out;
}

std::string headercomment(std::string_view s) {
    std::string out;
    for (char c : headervalue(s)) {
        if (c == '(' || c == ')' || c == '\\') out += '\\';
        out += c;
    }
    return out;
}
