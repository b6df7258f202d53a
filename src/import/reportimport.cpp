#include "import/reportimport.h"

#include <unistd.h>

#include <algorithm>

#include "base/text.h"
#include "bounce/sentmail.h"
#include "config/settings.h"
#include "driver/log.h"
#include "import/curmsg.h"
#include "import/dsn.h"
#include "mime/charsets.h"
#include "mime/encodedword.h"
#include "mime/readable.h"
#include "pkt/msgheader.h"
#include "pkt/pktappend.h"
#include "pkt/pktguard.h"
#include "pkt/pktfile.h"
#include "pkt/pktlayout.h"
#include "pkt/trailer.h"
#include "transport/envelope.h"

namespace {

constexpr std::size_t MAXLINES = 300, MAXLINEBYTES = 1000;

int readrange(std::FILE* f, const msgrange& r, std::string& out) {
    long n = std::min<long>(r.end - r.start, static_cast<long>(MAXREPORTBYTES));
    out.resize(static_cast<std::size_t>(std::max(0L, n)));
    long got = 0;
    while (got < n) {
        ssize_t k = pread(fileno(f), out.data() + got, static_cast<std::size_t>(n - got), r.start + got);
        if (k <= 0) return -1;
        got += k;
    }
    return 0;
}

// Who the report is for.
bool findsender(const dsnreport& d, sentmail& s) {
    if (!d.returnedid.empty() && findsentmail(d.returnedid, s)) return true;
    for (const dsnrecipient& x : d.recipients) {
        if (!x.recipient.empty() && findsentto(x.recipient, s)) return true;
    }
    if (!d.returnedto.empty() && findsentto(d.returnedto, s)) return true;
    s = sentmail{};
    return !d.returnedfrom.empty() && fidosenderof(d.returnedfrom, d.returnedid, s.fromname, s.from);
}

// The text in the netmail's character set: the FidoNet one when text is
// converted, else UTF-8 (labelled so when it is more than ASCII); control
// bytes other than the line ends become blanks.
std::string fidobytes(std::string_view utf8) {
    std::string out;
    if (curmsg.convertcharset && !curmsg.outcharset.empty()) {
        if (fromutf8(utf8, curmsg.outcharset, out) != 0) out.assign(utf8);
    } else {
        out.assign(utf8);
    }
    for (char& c : out) {
        unsigned char b = static_cast<unsigned char>(c);
        if ((b < 0x20 && b != '\r') || b == 0x7F) c = ' ';
    }
    return out;
}

std::string fieldbytes(std::string_view utf8, std::size_t max) {
    std::string b = fidobytes(utf8);
    for (char& c : b) {
        if (c == '\r') c = ' ';
    }
    std::string_view cs = curmsg.convertcharset && !curmsg.outcharset.empty() ? std::string_view(curmsg.outcharset)
                                                                              : std::string_view("UTF-8");
    b.resize(charsetcut(b, max, cs));
    return b;
}

void appendlines(std::string& t, std::string_view text) {
    std::size_t pos = 0, lines = 0;
    // Blank lines at the start and the end say nothing.
    while (pos < text.size() && (text[pos] == '\n' || text[pos] == ' ')) {
        std::size_t nl = text.find('\n', pos);
        if (nl == std::string_view::npos || text.substr(pos, nl - pos).find_first_not_of(' ') != std::string_view::npos)
            break;
        pos = nl + 1;
    }
    std::string body;
    while (pos < text.size() && lines < MAXLINES) {
        std::size_t nl = text.find('\n', pos);
        std::string_view l = text.substr(pos, nl == std::string_view::npos ? std::string_view::npos : nl - pos);
        if (l.size() > MAXLINEBYTES) l = l.substr(0, charsetcut(l, MAXLINEBYTES, "UTF-8"));
        body.append(l).append("\r");
        ++lines;
        if (nl == std::string_view::npos) break;
        pos = nl + 1;
    }
    if (lines == MAXLINES) body.append("[...]\r");
    while (body.size() >= 2 && body[body.size() - 1] == '\r' && body[body.size() - 2] == '\r') body.pop_back();
    t += body;
}

std::string reporttext(const dsnreport& d, const std::string& summary) {
    std::string t;
    appendlines(t, d.humantext);
    if (!summary.empty()) {
        t += "\r[Delivery report]\r";
        appendlines(t, summary);
    }
    if (!d.returnedid.empty() || !d.returnedsubject.empty()) {
        t += "\r[Your message]\r";
        if (!d.returnedsubject.empty()) t += "Subject:    " + d.returnedsubject + "\r";
        if (!d.returnedto.empty()) t += "To:         " + d.returnedto + "\r";
        if (!d.returnedid.empty()) t += "Message-ID: " + d.returnedid + "\r";
    }
    return t;
}

}  // namespace

bool reportonsentmail(std::string_view contenttype, std::string_view body) {
    std::string message = "Content-Type: ";
    message.append(contenttype).append("\n\n").append(body);
    dsnreport d;
    parsedsn(message, d);
    if (!d.isreport) return false;
    sentmail s;
    if (!d.returnedid.empty() && findsentmail(d.returnedid, s)) return true;
    for (const dsnrecipient& x : d.recipients) {
        if (!x.recipient.empty() && findsentto(x.recipient, s)) return true;
    }
    return !d.returnedto.empty() && findsentto(d.returnedto, s);
}

bool reportcandidate(const msgverdict& v) {
    if (curmsg.msgtype != MSGTYPE_MAIL || v.outcome != OUTCOME_CONVERT || v.junkcategory != JUNK_NONE ||
        v.maillistrule || v.ownorg || v.ignored || v.listindex >= 0)
        return false;
    return maybereport(curmsg.mimetype, curmsg.msgfromemail.sv(), curmsg.subjtext.full.empty()
                                                                     ? curmsg.msgsubj.sv()
                                                                     : std::string_view(curmsg.subjtext.full));
}

int importreport(std::FILE* f, const msgrange& r) {
    std::string message;
    if (readrange(f, r, message) != 0) return REPORT_FAILED;
    dsnreport d;
    parsedsn(message, d);
    if (!d.isreport) return REPORT_NONE;
    sentmail s;
    bool found = findsender(d, s);
    if (found) {
        curmsg.destaddr = s.from;
        if (d.returnedsubject.empty()) d.returnedsubject = s.subject;
    }
    std::string subject;
    (void)decodeencodedwords(firstfield(splitpart(message).header, "Subject"), subject);
    if (subject.empty()) subject = "Delivery report";
    if (!d.returnedsubject.empty() && subject.find(d.returnedsubject) == std::string::npos)
        subject += " (" + d.returnedsubject + ")";
    std::string text = reporttext(d, dsnsummary(d));
    // Text that is more than ASCII and is not converted goes as UTF-8.
    if (!(curmsg.convertcharset && !curmsg.outcharset.empty()) &&
        !isplainascii(text + subject + (found ? s.fromname : std::string())))
    {
        curmsg.fidocharset = "UTF-8 4";
        curmsg.outcharset = "UTF-8";
    }
    curmsg.msgsubj = fieldbytes(subject, PKTSUBJMAX);
    if (found && !s.fromname.empty()) curmsg.msgtoname = fieldbytes(s.fromname, PKTNAMEMAX);
    curmsg.isfattach = 0;
    curmsg.parts = curmsg.partno = 1;
    std::FILE* pkt = outpkt.file.get();
    if (writepktmsgheader(CAT_EMAIL, pkt, "", JUNK_NONE, 0) != 0) return REPORT_FAILED;
    std::string bytes = fidobytes(text);
    // The report's text is the Internet's: the packet's guard has the last word.
    guardbody(bytes.data(), bytes.size());
    if (std::fwrite(bytes.data(), 1, bytes.size(), pkt) != bytes.size()) return REPORT_FAILED;
    if (writemsgbottom(CAT_EMAIL, pkt) != 0) return REPORT_FAILED;
    std::string who;
    appendaddr(who, curmsg.destaddr, true);
    logprintf("- delivery report for %s imported for %s at %s\n",
              d.returnedid.empty() ? "a message" : d.returnedid.c_str(), curmsg.msgtoname.c_str(), who.c_str());
    return REPORT_WRITTEN;
}
