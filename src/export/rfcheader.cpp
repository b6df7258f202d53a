#include "export/rfcheader.h"

#include <array>
#include <cstdio>

#include "base/clock.h"
#include "base/codec.h"
#include "base/identity.h"
#include "base/text.h"
#include "config/settings.h"
#include "export/datezone.h"
#include "export/expstate.h"
#include "export/msgidprint.h"
#include "export/textcharset.h"
#include "import/curmsg.h"
#include "lists/listfiles.h"
#include "lists/listheaders.h"
#include "lists/memberindex.h"
#include "mime/charsets.h"
#include "mime/headerencode.h"
#include "pkt/pktappend.h"

namespace {

// Header values are appended in place: a header is built for every
// message, and temporaries for each piece cost more than the text.
void appendvalue(std::string& h, std::string_view s) {
    std::size_t from = h.size();
    h.append(s);
    for (std::size_t i = from; i < h.size(); ++i) {
        unsigned char u = static_cast<unsigned char>(h[i]);
        if ((u < 0x20 && u != '\t') || u == 0x7F) h[i] = ' ';
    }
}

// " (comment)" with the comment's brackets and backslashes escaped.
void appendcomment(std::string& h, std::string_view s) {
    h += " (";
    for (char c : s) {
        unsigned char u = static_cast<unsigned char>(c);
        if ((u < 0x20 && u != '\t') || u == 0x7F) c = ' ';
        if (c == '(' || c == ')' || c == '\\') h += '\\';
        h += c;
    }
    h += ')';
}

// An address and the name that goes with it: "addr (name)" as ever for a
// name in ASCII; a name that is not becomes the display name, in encoded
// words, in front of "<addr>", where readers show it.
void appendmailbox(std::string& h, std::string_view addr, std::string_view name,
                   const exportmsg& m) {
    if (isplainascii(name)) {
        appendvalue(h, addr);
        appendcomment(h, name);
        return;
    }
    appendfidotext(h, name, m, SPOT_PHRASE);
    std::size_t nl = h.rfind('\n');
    std::size_t col = nl == std::string::npos ? h.size() : h.size() - nl - 1;
    h += col + addr.size() + 3 > HEADERLINEFOLD ? "\n <" : " <";
    appendvalue(h, addr);
    h += '>';
}

// Before entry n (from 0) of a To, Cc or Bcc line: a new line every third.
const char* addrseparator(std::size_t n) {
    return n % 3 == 0 ? ",\n    " : ", ";
}

void appendentry(std::string& h, const emailentry& e) {
    appendvalue(h, e.email);
    if (!e.name.empty()) appendcomment(h, e.name);
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
    bool addressee = !m.touucp && !m.addresseerefused;
    if (addressee) {
        if (curmsg.routing != ROUTING_GATEWAY && !curmsg.msgtoname.empty()) {
            appendmailbox(h, curmsg.msgtoemail.sv(), curmsg.msgtoname.sv(), m);
        } else {
            appendvalue(h, curmsg.msgtoemail.sv());
        }
    }
    for (const emailentry& e : curmsg.emaillist) {
        if (e.kind != EMAIL_TO) continue;
        if (n > 0 || addressee) h += addrseparator(n);
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
    h += "Newsgroups: ";
    appendvalue(h, curmsg.areaname.sv());
    for (const std::string& g : curmsg.xpost) {
        h += ',';
        appendvalue(h, g);
    }
    h += "\n";
}

// Every member of the list but the black-listed, as blind copies.
void subscriberline(std::string& h, const listrecord& list) {
    h += "Bcc: ";
    std::size_t n = 0;
    walkmembers(list, [&](const memberdata& d) {
        if (!receiveslistmail(list, d)) return;
        if (n > 0) h += n % 2 == 0 ? ",\n   " : ", ";
        h += '<';
        appendvalue(h, d.address.sv());
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

void subjectline(std::string& h, const exportmsg& m) {
    bool routesubj = curmsg.isfattach && curmsg.routing != ROUTING_GATEWAY &&
                     !curmsg.routemailsubj.empty() && subjectnamesmail();
    h += "Subject: ";
    if (routesubj) {
        // The route's subject is the configuration's text.
        appendencoded(h, curmsg.routemailsubj.sv(), "");
    } else {
        appendfidotext(h, curmsg.msgsubj.sv(), m, SPOT_TEXT);
    }
    h += "\n";
}

// "Date: %s, %02d %-3s %04d %02d:%02d:%02d %s\n" (the month names are
// three letters), the zone the offset of the message's TZUTC kludge or of
// the gateway's zone on that date.
void dateline(std::string& h, const exportmsg& m) {
    const msgtimes& t = curmsg.msgtime;
    int mon = t.month < 12 ? t.month : 0;
    h += "Date: ";
    h += weekday[dow(t.year, mon + 1, t.day)];
    h += ", ";
    appenddec(h, t.day, 2);
    h += ' ';
    h += month[mon];
    h += ' ';
    appenddec(h, t.year, 4);
    h += ' ';
    appenddec(h, t.hour, 2);
    h += ':';
    appenddec(h, t.minute, 2);
    h += ':';
    appenddec(h, t.second, 2);
    h += ' ';
    h += rfcoffset(m.hastzutc ? m.tzutc : gatewayoffsetfor(t));
    h += '\n';
}

void fromlines(std::string& h, const exportmsg& m) {
    bool news = curmsg.msgtype == MSGTYPE_NEWS;
    h += "From: ";
    std::string from = news ? cfg.nospamtext.str() : std::string();
    from += curmsg.msgfromemail.sv();
    appendmailbox(h, from, curmsg.msgfromname.sv(), m);
    h += "\n";
    if (m.listno >= 0) {
        const listtext& listaddress = lists.listconfig[m.listno].listaddress;
        std::string_view addr = listaddress ? std::string_view(*listaddress) : std::string_view();
        h += "Reply-to: ";
        appendvalue(h, addr);
        h += "\nSender: ";
        appendvalue(h, addr);
        h += "\n";
        appendlistlines(h, lists.listconfig[m.listno]);
    } else if (!strieq(curmsg.msgreplyemail.sv(), curmsg.msgfromemail.sv())) {
        h += "Reply-to: ";
        appendmailbox(h, curmsg.msgreplyemail.sv(), curmsg.msgreplyname.sv(), m);
        h += "\n";
    }
}

void idlines(std::string& h) {
    h += "Message-ID: ";
    appendvalue(h, msgidtext(curmsg.msgid.sv(), curmsg.fidomsgid, curmsg.msgidaddr));
    h += "\n";
    if (curmsg.fidoreplyid != 0 || !curmsg.replyid.empty()) {
        h += curmsg.msgtype == MSGTYPE_MAIL ? "In-Reply-To: " : "References: ";
        appendvalue(h, msgidtext(curmsg.replyid.sv(), curmsg.fidoreplyid, curmsg.replyidaddr));
        h += "\n";
    }
}

// "X-Mail%s: PondLark-%s v%d.%02d\n": the same for every message.
const std::string& mailerline(bool list) {
    static const std::array<std::string, 2> lines = [] {
        std::array<std::string, 2> l;
        for (std::size_t i = 0; i < 2; ++i) {
            char buf[96];
            std::snprintf(buf, sizeof buf, "X-Mail%s: " PROGNAME "-%s v%d.%02d\n",
                          i ? "Server" : "Converter", PROGOS, VERMAJOR, VERMINOR);
            l[i] = buf;
        }
        return l;
    }();
    return lines[list ? 1 : 0];
}

void gatewaylines(std::string& h, const exportmsg& m) {
    bool mail = curmsg.msgtype == MSGTYPE_MAIL;
    bool list = m.listno >= 0;
    if (!cfg.organization.empty()) {
        // The configuration's text, in whatever charset it was written.
        h += "Organization: ";
        appendencoded(h, cfg.organization.sv(), "");
        h += "\n";
    }
    if ((!mail || list || m.gated) && !curmsg.msgtoname.empty()) {
        h += "X-Comment-To: ";
        appendfidotext(h, curmsg.msgtoname.sv(), m, SPOT_TEXT);
        h += "\n";
    }
    if (mail && curmsg.routing != ROUTING_GATEWAY && !curmsg.routemailpwd.empty()) {
        h += "X-MailPassword: ";
        appendvalue(h, curmsg.routemailpwd.sv());
        h += "\n";
    }
    h += mailerline(list);
}

void mimelines(std::string& h, const exportmsg& m) {
    h += "Mime-version: 1.0\n";
    if (curmsg.isfattach) {
        h.append("Content-Type: multipart/mixed; boundary=\"").append(EXPORTBOUNDARY).append("\"\n");
        h.append("\n--").append(EXPORTBOUNDARY).append("\n");
    }
    h += "Content-Type: text/plain; charset=";
    appendvalue(h, curmsg.rfccharset.sv());
    h += "\n";
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
    h.reserve(1024);
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
    subjectline(h, m);
    dateline(h, m);
    idlines(h);
    gatewaylines(h, m);
    mimelines(h, m);
    return h;
}

std::string headervalue(std::string_view s) {
    std::string out;
    appendvalue(out, s);
    return out;
}

std::string headercomment(std::string_view s) {
    std::string out;
    appendcomment(out, s);
    return out.substr(2, out.size() - 3);
}
