#include "import/headerlines.h"

#include "base/text.h"
#include "import/curmsg.h"
#include "import/headertext.h"
#include "import/ownoutput.h"
#include "import/rfc822.h"

namespace {
// Drops the line feed that ends the physical line read from offset from on.
// A line that filled the buffer has its line end still ahead when it ended
// right there: that is taken too, or it would read as the empty line that
// ends the header, and the fields after it would be lost.
void droplinefeed(rangereader& in, std::string& s, std::size_t from) {
    if (s.size() > from && s.back() == '\n') {
        s.pop_back();
    } else if (s.size() >= MAXLOGICALLINE) {
        (void)in.takelineend();
    }
}

bool iscontinuation(int c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f';
}

// Whether s is normal already: no white space but single blanks between
// other characters. Most header lines are; the test is a plain pass that
// the compiler vectorises.
bool isnormal(std::string_view s) {
    if (s.empty()) return true;
    if (s.front() == ' ' || s.back() == ' ') return false;
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    std::size_t n = s.size();
    // Byte-wide flags keep the vector lanes narrow.
    unsigned char bad = 0;
    // Tab, line feed, vertical tab, form feed and carriage return are 9..13.
    for (std::size_t i = 0; i < n; ++i) bad |= static_cast<unsigned char>(p[i] - 9) < 5;
    for (std::size_t i = 0; i + 1 < n; ++i) bad |= (p[i] == ' ') & (p[i + 1] == ' ');
    return bad == 0;
}

// Every run of white space becomes one space; none is left at either end.
void normalise(std::string& s) {
    if (isnormal(s)) return;
    std::size_t out = 0;
    bool pending = false;
    for (char c : s) {
        if (iswhite(static_cast<unsigned char>(c))) {
            pending = out > 0;
            continue;
        }
        if (pending) s[out++] = ' ';
        pending = false;
        s[out++] = c;
    }
    s.resize(out);
}
}  // namespace

int readheaderline(rangereader& in, std::string& line) {
    line.clear();
    if (in.readline(line, MAXLOGICALLINE) == 0) return 0;
    droplinefeed(in, line, 0);
    // A line with nothing but its line end closes the header, also when
    // that line end is CR LF; it never takes continuation lines.
    if (line.empty() || line == "\r") {
        line.clear();
        return 1;
    }
    while (line.size() < MAXLOGICALLINE && iscontinuation(in.peek())) {
        std::size_t before = line.size();
        if (in.readline(line, MAXLOGICALLINE - line.size()) == 0) break;
        droplinefeed(in, line, before);
    }
    normalise(line);
    return 1;
}

namespace {
using fieldaction = bool (*)(std::string& value);

struct headerfield {
    std::string_view name;  // with its colon
    fieldaction action;     // false: not used, try the fields further down
};

bool fromfield(std::string& v) {
    processemail(v, &curmsg.msgfromemail, &curmsg.msgfromname, HEADER_FROM, &curmsg.fromnametext);
    return true;
}
bool replytofield(std::string& v) {
    processemail(v, &curmsg.msgreplyemail, &curmsg.msgreplyname, HEADER_REPLYTO,
                 &curmsg.replynametext);
    return true;
}
bool tofield(std::string& v) {
    processemail(v, &curmsg.msgtoemail, &curmsg.msgtoname, HEADER_TO, &curmsg.tonametext);
    return true;
}
bool ccfield(std::string& v) {
    processemail(v, nullptr, nullptr, HEADER_CC);
    return true;
}
bool bccfield(std::string& v) {
    processemail(v, nullptr, nullptr, HEADER_BCC);
    return true;
}
// X-Comment-To names the recipient only when To: has not.
bool commenttofield(std::string& v) {
    if (!curmsg.msgtoname.empty()) return false;
    storeheadertext(textvalue(v), curmsg.msgtoname, &curmsg.tonametext);
    return true;
}
bool xfromfield(std::string& v) {
    storeheadertext(textvalue(v), curmsg.xfrom, nullptr);
    return true;
}
bool senderfield(std::string& v) {
    storeheadertext(textvalue(v), curmsg.sender, nullptr);
    return true;
}
bool subjectfield(std::string& v) {
    storeheadertext(textvalue(v), curmsg.msgsubj, &curmsg.subjtext);
    return true;
}
bool datefield(std::string& v) {
    processdate(v, curmsg.msgtime, &curmsg.tzinfo);
    return true;
}
bool msgidfield(std::string& v) {
    if (curmsg.messageid.empty()) curmsg.messageid = v;
    processmsgid(v, curmsg.msgid, 0);
    return true;
}
bool orgfield(std::string& v) {
    storeheadertext(textvalue(v), curmsg.msgorganization, &curmsg.orgtext);
    return true;
}
bool inreplytofield(std::string& v) {
    processmsgid(v, curmsg.replyid, 1);
    return true;
}
// References only stands in for a missing In-Reply-To; its last entry is
// the message replied to.
bool referencesfield(std::string& v) {
    if (!curmsg.replyid.empty()) return false;
    processmsgid(v, curmsg.replyid, 1);
    return true;
}
bool newsgroupsfield(std::string& v) {
    processnewsgroups(v, curmsg.areaname.sv());
    return true;
}
bool mailpwdfield(std::string& v) {
    processtext(v, curmsg.routemailpwd);
    return true;
}

// The order decides: the first name that starts the line takes it.
const headerfield fields[] = {
    {"From:", fromfield},
    {"Reply-To:", replytofield},
    {"To:", tofield},
    {"Cc:", ccfield},
    {"Bcc:", bccfield},
    {"X-Comment-To:", commenttofield},
    {"X-From:", xfromfield},
    {"Sender:", senderfield},
    {"Subject:", subjectfield},
    {"Date:", datefield},
    {"Message-ID:", msgidfield},
    {"Organization:", orgfield},
    {"In-Reply-To:", inreplytofield},
    {"References:", referencesfield},
    {"Newsgroups:", newsgroupsfield},
    {"X-MailPassword:", mailpwdfield},
    {"X-MailConverter:", mailconverterfield},
    {"X-MailServer:", mailserverfield},
    {"X-Cron-Env:", cronenvfield},
    {"Path:", pathfield},
};
}  // namespace

int parseheaderline(std::string_view line) {
    if (line.empty()) return 0;
    // Most lines of a header are no field of the table: the first letter
    // rules out nearly every name before it is compared.
    int first = lowerc(static_cast<unsigned char>(line[0]));
    std::string value;
    for (const headerfield& f : fields) {
        if (lowerc(static_cast<unsigned char>(f.name[0])) != first || !istartswith(line, f.name))
            continue;
        value.assign(line.substr(f.name.size()));
        if (f.action(value)) return 1;
    }
    return 0;
}
