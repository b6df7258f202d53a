#include "import/dsn.h"

#include <algorithm>

#include "base/text.h"
#include "mime/encodedword.h"
#include "mime/readable.h"
#include "transport/envelope.h"

namespace {

// What a mailer daemon's report says in its subject.
constexpr std::string_view REPORTSUBJECTS[] = {
    "mail delivery failed",   "undelivered mail",      "delivery status notification",
    "undeliverable",          "returned mail",         "delivery failure",
    "mail delivery system",   "failure notice",        "delayed mail",
    "warning: could not send", "delivery has failed",  "non-delivery",
    "message not delivered",  "mail system error",
};
// Who sends reports.
constexpr std::string_view DAEMONS[] = {"mailer-daemon", "postmaster", "mail-daemon", "mailerdaemon"};
// Lines that introduce the copy of the message in a plain-text report.
constexpr std::string_view COPYMARKS[] = {
    "copy of the message",     "original message",      "undelivered message",
    "message headers follow",  "returned message",      "message that you sent",
    "this is a copy",          "headers of the message", "rfc822 headers",
};
constexpr std::size_t MAXLINESAFTER = 8;

std::string lower(std::string_view s) {
    std::string l(s);
    strlwr(l);
    return l;
}

std::vector<std::string_view> linesof(std::string_view text) {
    std::vector<std::string_view> out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t nl = text.find('\n', pos);
        std::size_t end = nl == std::string_view::npos ? text.size() : nl;
        std::string_view l = text.substr(pos, end - pos);
        if (!l.empty() && l.back() == '\r') l.remove_suffix(1);
        out.push_back(l);
        pos = end + 1;
    }
    return out;
}

std::string_view trimmed(std::string_view s) {
    std::size_t b = s.find_first_not_of(" \t");
    if (b == std::string_view::npos) return {};
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

bool islocalchar(unsigned char c) {
    return isalnumc(c) || std::string_view(".!#$%&'*+-/=?^_`{|}~").find(static_cast<char>(c)) != std::string_view::npos;
}

bool isdomainchar(unsigned char c) {
    return isalnumc(c) || c == '.' || c == '-' || c == '[' || c == ']' || c == ':';
}

// Whether s is one address, nothing else.
bool isaddress(std::string_view s) {
    std::size_t at = s.rfind('@');
    if (at == std::string_view::npos || at == 0 || at + 1 >= s.size() || s.size() > 254) return false;
    for (std::size_t i = 0; i < at; ++i)
        if (!islocalchar(static_cast<unsigned char>(s[i]))) return false;
    for (std::size_t i = at + 1; i < s.size(); ++i)
        if (!isdomainchar(static_cast<unsigned char>(s[i]))) return false;
    return s.find('.', at) != std::string_view::npos;
}

// "<addr>", "addr", "addr:" or "<addr>:": the address.
std::string_view addressline(std::string_view t) {
    if (!t.empty() && t.back() == ':') t.remove_suffix(1);
    if (t.size() > 2 && t.front() == '<' && t.back() == '>') t = t.substr(1, t.size() - 2);
    return isaddress(t) ? t : std::string_view();
}

// An enhanced status code "x.y.z" in text, or "".
std::string statuscode(std::string_view text) {
    for (std::size_t i = 0; i + 5 <= text.size(); ++i) {
        char c = text[i];
        if ((c != '2' && c != '4' && c != '5') || text[i + 1] != '.') continue;
        if (i > 0 && (isdigitc(static_cast<unsigned char>(text[i - 1])) || text[i - 1] == '.')) continue;
        std::size_t j = i + 2, d1 = 0, d2 = 0;
        while (j < text.size() && isdigitc(static_cast<unsigned char>(text[j])) && d1 < 3) ++j, ++d1;
        if (d1 == 0 || j >= text.size() || text[j] != '.') continue;
        ++j;
        while (j < text.size() && isdigitc(static_cast<unsigned char>(text[j])) && d2 < 3) ++j, ++d2;
        if (d2 == 0) continue;
        return std::string(text.substr(i, j - i));
    }
    return "";
}

// A server's answer in a line: a three-digit reply code 4xx or 5xx.
bool hasreplycode(std::string_view t) {
    for (std::size_t i = 0; i + 3 < t.size(); ++i) {
        if ((t[i] == '4' || t[i] == '5') && isdigitc(static_cast<unsigned char>(t[i + 1])) &&
            isdigitc(static_cast<unsigned char>(t[i + 2])) && (t[i + 3] == ' ' || t[i + 3] == '-') &&
            (i == 0 || !isdigitc(static_cast<unsigned char>(t[i - 1]))))
            return true;
    }
    return false;
}

std::string actionof(const std::string& diagnostic, const std::string& status, std::string_view text) {
    if (!status.empty()) return status[0] == '5' ? "failed" : status[0] == '4' ? "delayed" : "delivered";
    std::string l = lower(text);
    if (l.find("permanent") != std::string::npos || l.find("could not be delivered") != std::string::npos ||
        l.find("failed") != std::string::npos)
        return "failed";
    if (l.find("delay") != std::string::npos || l.find("temporar") != std::string::npos ||
        l.find("retry") != std::string::npos)
        return "delayed";
    return diagnostic.empty() ? "" : "failed";
}

// Field groups of a status part: lines "Name: value" (continued by
// indented lines), groups separated by empty lines.
using fieldgroup = std::vector<std::pair<std::string, std::string>>;

std::vector<fieldgroup> fieldgroups(std::string_view text) {
    std::vector<fieldgroup> out(1);
    for (std::string_view l : linesof(text)) {
        if (trimmed(l).empty()) {
            if (!out.back().empty()) out.emplace_back();
            continue;
        }
        if ((l[0] == ' ' || l[0] == '\t') && !out.back().empty()) {
            out.back().back().second.append(" ").append(trimmed(l));
            continue;
        }
        std::size_t colon = l.find(':');
        if (colon == std::string_view::npos) continue;
        out.back().emplace_back(lower(trimmed(l.substr(0, colon))), std::string(trimmed(l.substr(colon + 1))));
        if (out.size() > MAXDSNRECIPIENTS + 1) break;
    }
    if (out.back().empty()) out.pop_back();
    return out;
}

const std::string* fieldin(const fieldgroup& g, std::string_view name) {
    for (const auto& [n, v] : g) {
        if (n == name) return &v;
    }
    return nullptr;
}

// "rfc822; a@b" is a@b; "smtp; 550 ..." is "550 ...".
std::string typedvalue(const std::string* v) {
    if (v == nullptr) return "";
    std::size_t semi = v->find(';');
    return std::string(trimmed(semi == std::string::npos ? std::string_view(*v) : std::string_view(*v).substr(semi + 1)));
}

void readstatusfields(std::string_view text, dsnreport& out) {
    std::vector<fieldgroup> groups = fieldgroups(text);
    for (const fieldgroup& g : groups) {
        if (const std::string* m = fieldin(g, "reporting-mta"); m != nullptr && out.reportingmta.empty())
            out.reportingmta = typedvalue(m);
        const std::string* final = fieldin(g, "final-recipient");
        const std::string* orig = fieldin(g, "original-recipient");
        const std::string* disp = fieldin(g, "disposition");
        if (final == nullptr && orig == nullptr) continue;
        if (out.recipients.size() == MAXDSNRECIPIENTS) break;
        dsnrecipient r;
        r.recipient = typedvalue(final != nullptr ? final : orig);
        r.action = fieldin(g, "action") ? *fieldin(g, "action") : disp ? *disp : "";
        // "5.1.1 (bad destination mailbox)" gives its code. A status that
        // holds none is kept as written only in a declared report, whose
        // reader may still make sense of it; in a mail that merely carries
        // status fields it is no status at all.
        if (const std::string* s = fieldin(g, "status"); s != nullptr) {
            r.status = statuscode(*s);
            if (r.status.empty() && !out.reporttype.empty()) r.status = *s;
        }
        r.diagnostic = typedvalue(fieldin(g, "diagnostic-code"));
        // "Final-Recipient: rfc822;" and nothing else says nothing to a person.
        if (r.recipient.empty() && r.action.empty() && r.status.empty() && r.diagnostic.empty()) continue;
        out.recipients.push_back(std::move(r));
    }
}

// The header of the returned message.
void readreturned(std::string_view header, dsnreport& out) {
    if (!out.returnedid.empty()) return;
    out.returnedid = firstfield(header, "Message-ID");
    out.returnedsubject.clear();
    (void)decodeencodedwords(firstfield(header, "Subject"), out.returnedsubject);
    out.returnedfrom = firstfield(header, "From");
    std::vector<std::string> to = addresslist(firstfield(header, "To"));
    out.returnedto = to.empty() ? std::string() : to.front();
}

// A header block at the start of text, after blank lines: the returned
// message in a plain-text report.
void readcopy(std::string_view text, dsnreport& out) {
    std::size_t b = text.find_first_not_of(" \t\r\n");
    if (b == std::string_view::npos) return;
    text = text.substr(b);
    mimepart p = splitpart(text);
    readreturned(p.header, out);
}

// The failed addresses a plain-text report names, each with the answer
// that follows it.
void readplainrecipients(std::string_view text, dsnreport& out) {
    std::vector<std::string_view> lines = linesof(text);
    for (std::size_t i = 0; i < lines.size() && out.recipients.size() < MAXDSNRECIPIENTS; ++i) {
        std::string_view t = trimmed(lines[i]);
        dsnrecipient r;
        std::string diag;
        std::string_view alone = addressline(t);
        if (!alone.empty()) {
            r.recipient = alone;
        } else if (!t.empty() && t[0] == '<') {
            // "<a@b>: host mx said: 550 ..." (Postfix).
            std::size_t close = t.find(">:");
            if (close == std::string_view::npos || !isaddress(t.substr(1, close - 1))) continue;
            r.recipient = t.substr(1, close - 1);
            diag = trimmed(t.substr(close + 2));
        } else {
            continue;
        }
        for (std::size_t j = i + 1; j < lines.size() && j <= i + MAXLINESAFTER && !hasreplycode(diag); ++j) {
            std::string_view n = trimmed(lines[j]);
            if (!addressline(n).empty() || (!n.empty() && n[0] == '<' && n.find(">:") != std::string_view::npos))
                break;
            if (hasreplycode(n)) diag = n;
        }
        // Postfix continues the answer on indented lines.
        for (std::size_t j = i + 1; !diag.empty() && j < lines.size() && j <= i + MAXLINESAFTER; ++j) {
            if (lines[j].empty() || (lines[j][0] != ' ' && lines[j][0] != '\t') || alone.size()) break;
            diag.append(" ").append(trimmed(lines[j]));
        }
        r.diagnostic = diag;
        r.status = statuscode(diag);
        r.action = actionof(r.diagnostic, r.status, text);
        bool known = false;
        for (const dsnrecipient& x : out.recipients) known = known || strieq(x.recipient, r.recipient);
        if (!known) out.recipients.push_back(std::move(r));
    }
}

void plainreport(std::string_view text, dsnreport& out) {
    std::vector<std::string_view> lines = linesof(text);
    std::size_t copyat = std::string_view::npos;
    for (std::string_view l : lines) {
        std::string low = lower(l);
        bool mark = false;
        for (std::string_view m : COPYMARKS) mark = mark || low.find(m) != std::string::npos;
        // A mark line is short and set apart ("------ This is a copy ...").
        if (mark && (l.find("---") != std::string_view::npos || l.find("===") != std::string_view::npos ||
                     l.size() < 60)) {
            copyat = static_cast<std::size_t>(l.data() - text.data());
            break;
        }
    }
    std::string_view human = text.substr(0, copyat == std::string_view::npos ? text.size() : copyat);
    out.humantext = std::string(human);
    if (copyat != std::string_view::npos) {
        std::size_t nl = text.find('\n', copyat);
        if (nl != std::string_view::npos) readcopy(text.substr(nl + 1), out);
    }
    readplainrecipients(human, out);
    out.isreport = copyat != std::string_view::npos || !out.recipients.empty();
}

void walkparts(std::string_view body, const std::string& boundary, int depth, dsnreport& out) {
    for (const mimepart& p : multipartparts(body, boundary)) {
        std::string type = parttype(p.header);
        if (type.rfind("multipart/", 0) == 0) {
            if (depth + 1 < MAXREADABLEDEPTH) {
                if (out.humantext.empty() && type == "multipart/alternative") {
                    std::string_view whole(p.header.data(), p.header.size() + p.body.size());
                    out.humantext = readabletext(whole);
                } else {
                    walkparts(p.body, typeparameter(p.header, "boundary"), depth + 1, out);
                }
            }
        } else if (type == "message/rfc822" || type == "message/global") {
            readreturned(splitpart(p.body).header, out);
        } else if (type == "text/rfc822-headers" || type == "message/rfc822-headers" ||
                   type == "message/global-headers") {
            readreturned(splitpart(decodedtext(p)).header, out);
        } else if (type.rfind("message/", 0) == 0 || type.rfind("text/", 0) != 0) {
            if (out.recipients.empty()) readstatusfields(decodedtext(p), out);
        } else if (out.humantext.empty()) {
            out.humantext = decodedtext(p);
        }
    }
}

}  // namespace

bool maybereport(std::string_view contenttype, std::string_view fromaddress, std::string_view subject) {
    // Asked for every mail: compared in place, nothing allocated.
    if (istartswith(trimmed(contenttype), "multipart/report")) return true;
    std::string_view local = fromaddress.substr(0, fromaddress.find('@'));
    for (std::string_view d : DAEMONS) {
        if (strieq(local, d)) return true;
    }
    std::string_view subj = trimmed(subject);
    for (std::string_view p : REPORTSUBJECTS) {
        if (istartswith(subj, p)) return true;
    }
    return false;
}

void parsedsn(std::string_view message, dsnreport& out) {
    out = dsnreport{};
    if (message.size() > MAXREPORTBYTES) message = message.substr(0, MAXREPORTBYTES);
    mimepart top = splitpart(message);
    std::string type = parttype(top.header);
    if (type.rfind("multipart/", 0) == 0) {
        if (type == "multipart/report") {
            out.reporttype = lower(typeparameter(top.header, "report-type"));
            if (out.reporttype.empty()) out.reporttype = "delivery-status";
        }
        walkparts(top.body, typeparameter(top.header, "boundary"), 0, out);
        if (type == "multipart/report") {
            out.isreport = true;
        } else if (!out.humantext.empty()) {
            // A report sent as a mixed multipart: its text reads like the
            // plain form, the copy being a part of its own.
            std::string human = out.humantext;
            dsnreport copy = out;
            plainreport(human, out);
            if (out.returnedid.empty()) {
                out.returnedid = copy.returnedid;
                out.returnedsubject = copy.returnedsubject;
                out.returnedfrom = copy.returnedfrom;
                out.returnedto = copy.returnedto;
            }
            out.isreport = !out.recipients.empty() || !out.returnedid.empty();
        }
    } else if (type.rfind("text/", 0) == 0) {
        plainreport(decodedtext(top), out);
    }
    std::replace(out.humantext.begin(), out.humantext.end(), '\r', '\n');
}

std::string dsnsummary(const dsnreport& r) {
    std::string s;
    for (const dsnrecipient& x : r.recipients) {
        if (!s.empty()) s += "\n";
        const std::pair<const char*, const std::string*> lines[] = {{"Recipient:  ", &x.recipient},
                                                                   {"Action:     ", &x.action},
                                                                   {"Status:     ", &x.status},
                                                                   {"Diagnostic: ", &x.diagnostic}};
        for (const auto& [name, value] : lines) {
            if (!value->empty()) s.append(name).append(*value).append("\n");
        }
    }
    if (!r.reportingmta.empty()) {
        if (!s.empty()) s.append("\n");
        s.append("Reported by: ").append(r.reportingmta).append("\n");
    }
    return s;
}
