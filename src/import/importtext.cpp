#include "import/importtext.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/fileio.h"
#include "base/identity.h"
#include "base/text.h"
#include "config/fidocharset.h"
#include "config/settings.h"
#include "config/tables.h"
#include "driver/log.h"
#include "durable/workfiles.h"
#include "import/curmsg.h"
#include "import/decode.h"
#include "import/headerlines.h"
#include "import/headerstrip.h"
#include "import/headertext.h"
#include "import/mime.h"
#include "import/mimetree.h"
#include "import/quotes.h"
#include "import/rfc822.h"
#include "mime/charsets.h"
#include "mime/encodedword.h"
#include "mime/flowed.h"
#include "mime/htmltext.h"
#include "pkt/msgheader.h"
#include "pkt/pktappend.h"
#include "pkt/pktguard.h"
#include "pkt/trailer.h"

namespace {
// Room kept below ImportLimit for the line that would start a new part.
constexpr long SPLITMARGIN = 256;
// Shorter header lines carry nothing and are dropped.
constexpr std::size_t MINHEADERLINE = 3;
// Most multipart/alternative choices the parse pass hands on.
constexpr std::size_t MAXALTCHOICES = 1024;
// Chunks are never cut before this many characters.
constexpr std::size_t MINCHUNK = 33;
// Text goes into the packet in blocks of about this size.
constexpr std::size_t OUTBLOCK = 1 << 15;

// "begin 644 name": the start of a uuencoded file and its name.
bool isuubegin(std::string_view line, std::string& name) {
    if (line.substr(0, 6) != "begin ") return false;
    std::size_t i = 6;
    auto octal = [&](std::size_t k) { return k < line.size() && line[k] >= '0' && line[k] <= '7'; };
    if (!octal(i)) return false;
    while (octal(i)) ++i;
    while (i < line.size() && iswhite(static_cast<unsigned char>(line[i]))) ++i;
    name.assign(line.substr(i));
    return true;
}

// A header field: a name of printable ASCII characters (no blank, no
// control), then a colon. Only fields are kept as kludges; any other line
// of a header, as a kludge, could pass for one of FidoNet's own ("INTL
// 1:2/3 ...", "TOPT 7", "FLAGS ...") and route the message - "INTL" and a
// control byte before the colon too, once the control is a blank.
bool isfield(std::string_view line) {
    std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0) return false;
    for (std::size_t i = 0; i < colon; ++i) {
        unsigned char c = static_cast<unsigned char>(line[i]);
        if (c <= ' ' || c >= 0x7F) return false;
    }
    return true;
}

// The StripKludges entry of the message's category decides.
bool stripped(std::string_view line, int category) {
    return strippedheader(line, cfg.stripkludges[category]);
}

bool bodyjunk(std::string_view line) {
    for (const junkrule& r : tables.junkstr) {
        if ((r.category == JUNKCAT_EMAIL || r.category == JUNKCAT_ALL) && substrcmp(r.text, line))
            return true;
    }
    return false;
}

// A body line loses its line end and trailing blanks, except inside a
// uuencoded file, where blanks are data.
void trimbodyline(std::string_view& line, bool uu) {
    if (uu) {
        if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        return;
    }
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' '))
        line.remove_suffix(1);
}

// The same for the part of line from offset from on.
void trimbodyline(std::string& line, std::size_t from, bool uu) {
    if (uu) {
        if (line.size() > from && line.back() == '\n') line.pop_back();
        if (line.size() > from && line.back() == '\r') line.pop_back();
        return;
    }
    while (line.size() > from && (line.back() == '\n' || line.back() == '\r' || line.back() == ' '))
        line.pop_back();
}

bool ismailmsg() {
    return curmsg.msgtype == MSGTYPE_MAIL;
}

// The line and the output block of every pass reuse the same storage, so
// that a message allocates nothing for them; it grows to the longest line
// and the block size once and stays there.
struct passbuffers {
    std::string line;    // one logical line
    std::string outbuf;  // text not yet written into the packet
    std::string prefixed;  // a header field named like a kludge, with its prefix
    std::string decoded;   // a header line decoded and converted
};

passbuffers& buffers() {
    static passbuffers b;
    return b;
}

// The message as the log names it.
std::string messagename() {
    std::string s = "message";
    if (!curmsg.msgid.empty()) s.append(" <").append(curmsg.msgid.sv()).append(">");
    if (!curmsg.msgfromemail.empty()) s.append(" from ").append(curmsg.msgfromemail.sv());
    return s;
}

// The parse and count passes name the files of a message without making
// them; the write pass must give them the same names.
class namedraft {
   public:
    explicit namedraft(bool on) : drafting(on) {
        if (drafting) beginnamedraft();
    }
    ~namedraft() {
        if (drafting) endnamedraft();
    }
    namedraft(const namedraft&) = delete;
    namedraft& operator=(const namedraft&) = delete;

   private:
    bool drafting;
};

// Whether a named character set is one that text must never be written
// in (UTF-16, UTF-7, ...): its text is converted, whatever else is done.
bool widecharset(std::string_view name) {
    return !name.empty() && charsetknown(name) && !asciisafecharset(name);
}

// Whose header block is being read: the message's, a part's, or that of a
// forwarded message inside it.
enum blockkinds { BLOCK_MESSAGE = 0, BLOCK_PART = 1, BLOCK_EMBEDDED = 2 };

class converter {
   public:
    explicit converter(importpass& p)
        : pass(p),
          v(p.verdict),
          in(p.window ? rangereader(*p.window, p.range) : rangereader(p.msgfile, p.range)),
          writing(p.mode == IMPORT_WRITE),
          parsing(p.mode == IMPORT_PARSE),
          draft(!writing),
          dec(writing, p.verdict.ignored, p.packet),
          linebuf(buffers().line),
          outbuf(buffers().outbuf) {
        // A pass that failed may have left text behind.
        outbuf.clear();
        budget = MAXGROWTH * (p.range.end - p.range.start) + GROWTHROOM;
    }

    int run();

   private:
    bool output() const { return writing && !v.ignored; }
    int emit(std::string_view s);
    int spill();
    int flushout();
    int start();
    int infoblock();
    bool readline(std::string_view& line);
    bool readbodyline(std::string_view& line);
    std::string& editable(std::string_view line);
    int handleline(std::string_view line);
    int boundary(bool closing);
    int emptyline();
    int nonemptyline(std::string_view line, bool secret);
    int startfile(int encoding, const std::string& name, int namerule = NAME_SAFE);
    int keepline(std::string_view text);
    // MIME as a tree.
    int treeline(std::string_view line, bool secret);
    int endheaderblock();
    int beginpart(bool shown);
    int endpart();
    int treeboundary(std::size_t k, bool closing);
    int boundaryframe(std::string_view line, bool& closing) const;
    void closeframe();
    int base64text(std::string_view line);
    int bodytext(std::string_view line);
    int textout(std::string_view text, bool isutf8);
    int drainhtml();
    int forwardedheader();
    bool utf8text(std::string_view text);
    int newpart();
    int leftout();
    void moreparts();
    int finish();

    importpass& pass;
    msgverdict& v;
    rangereader in;
    bool writing;
    bool parsing;
    namedraft draft;
    attachdecoder dec;
    mimestate mime;
    quotetracker quote;
    bool headermode = true;
    long headerblocks = 0;
    bool infodone = false;
    bool bodystarted = false;
    long pending = 0;  // empty body lines not written yet
    bool truncated = false;
    bool done = false;   // the closing boundary was met
    std::string& linebuf;  // a line that had to be copied or changed
    std::string& outbuf;
    // The file-attach list as the parse pass left it, for the first header
    // and the information block.
    text72 parsefname;
    int parseisfattach = 0;

    // MIME as a tree (import/mimetree.h), when a FidoNet character set is
    // configured; else MIME is read flat, as mime holds it.
    bool tree = fidocharsetsconfigured();
    std::vector<mimeframe> frames;
    partheader ph;                  // the header block being read
    int blockkind = BLOCK_MESSAGE;  // whose header block it is
    partplan plan;                  // the part being read
    int action = PART_TEXT;
    std::size_t embeds = 0;         // forwarded messages open
    mimestate scratch;              // MIME fields of curmsg, read as always
    std::string b64carry;           // decoded bytes of a Base64 text part, not yet a line
    std::unique_ptr<htmltext> html;
    std::unique_ptr<flowedtext> flow;
    std::vector<std::string> pieces;  // lines made by flowed text
    std::string convbuf;              // a line converted
    std::string textbuf;              // a line being converted
    std::string fwdfrom, fwddate, fwdsubj;  // the header of a forwarded message

    // Bounds a sender cannot raise.
    long mimeparts = 0;      // parts begun (ImportMaxParts)
    bool partsleftout = false;  // the rest of the message was left out
    long textwritten = 0;    // text bytes put into the packet
    long budget = 0;         // at most this many (MAXGROWTH)
    bool widelabel = false;  // read flat: the text is in a set it must not be written in
    bool partwide = false;   // read as a tree: the part's text is
};


// The text is gathered and written in large blocks; whatever else writes
// into the packet (header, trailer, file notes) flushes it first.
int converter::emit(std::string_view s) {
    outbuf.append(s);
    return spill();
}

// Writes the gathered text once a block is full.
int converter::spill() {
    return outbuf.size() < OUTBLOCK ? 0 : flushout();
}

int converter::flushout() {
    if (outbuf.empty()) return 0;
    textwritten += static_cast<long>(outbuf.size());
    if (textwritten > budget) {
        outbuf.clear();
        pass.unfinished = 1;
        logprintf("! the text of %s grows beyond %ld times its size\n", messagename().c_str(),
                  MAXGROWTH);
        return -1;
    }
    int res = writeall(pass.packet, outbuf.data(), outbuf.size());
    outbuf.clear();
    return res;
}

int converter::start() {
    if (writing) {
        curmsg.partno = 1;
        // Junk keeps its encoded files as text (startfile). The parse pass
        // listed those it met before the message was known to be junk: no
        // file is made for them, so none may be announced as attached.
        if (v.junkcategory != JUNK_NONE) {
            curmsg.fname.clear();
            curmsg.isfattach = 0;
        }
        parsefname = curmsg.fname.sv();
        parseisfattach = curmsg.isfattach;
        if (output() && writepktmsgheader(v.category, pass.packet, curmsg.fname.sv(),
                                          v.junkcategory, v.ownorg) != 0)
            return -1;
    } else if (parsing) {
        curmsg.parts = 1;
        resetmessage();
        pass.bodyoffset = pass.range.start;
        curmsg.alreadyfromto = 0;
        pass.assumedcategory = v.category;
    } else {
        curmsg.parts = 1;
        parsefname = curmsg.fname.sv();
        parseisfattach = curmsg.isfattach;
    }
    curmsg.partbytes = 0;
    curmsg.isfattach = 0;
    curmsg.fname.clear();
    curmsg.pastfirstline = 0;
    return 0;
}

int converter::run() {
    if (start() != 0) return -1;
    while (!done && !in.atend()) {
        if (output() && headerblocks > 0 && !infodone) {
            infodone = true;
            if (infoblock() != 0) return -1;
        }
        std::string_view line;
        if (!readline(line)) break;
        if (handleline(line) != 0) return -1;
    }
    if (in.error()) {
        pass.readfailed = 1;
        return -1;
    }
    return finish();
}

// What the FidoNet reader would otherwise not see: crossposted groups,
// the Internet names beside the FidoNet ones, further recipients, a wrong
// route password, and the Internet subject of a file-attach message.
int converter::infoblock() {
    // Every value comes from the Internet: appendguarded makes it safe.
    std::string s;
    for (std::size_t i = 0; i < curmsg.xpost.size(); ++i) {
        s += i == 0 ? "XPost: " : i % 3 == 0 ? "\rXPost: " : ", ";
        appendguarded(s, curmsg.xpost[i]);
    }
    if (!curmsg.xpost.empty()) s += '\r';
    auto line = [&s](const char* label, std::string_view value) {
        s += label;
        appendguarded(s, value);
        s += '\r';
    };
    if (!curmsg.alreadyfromto) {
        bool names = cfg.infoinsert == 0, addresses = cfg.infoinsert == 1;
        const text128& from = names ? curmsg.msgfromname : curmsg.msgfromemail;
        const text128& fromother = names ? curmsg.msgfromemail : curmsg.msgfromname;
        const text128& to = names ? curmsg.msgtoname : curmsg.msgtoemail;
        const text128& toother = names ? curmsg.msgtoemail : curmsg.msgtoname;
        if ((names || addresses) && !from.empty() && !strieq(from.sv(), fromother.sv()))
            line("From: ", from.sv());
        if ((names || addresses) && ismailmsg() && !to.empty() && !strieq(to.sv(), toother.sv()))
            line("To: ", to.sv());
    }
    static const char* const labels[] = {"", "To: ", "Copy: ", "BCopy: "};
    for (int kind = EMAIL_TO; kind <= EMAIL_BCC; ++kind) {
        for (const emailentry& e : curmsg.emaillist) {
            if (e.kind != kind) continue;
            s += labels[kind];
            appendguarded(s, e.email);
            if (!e.name.empty()) {
                s += " (";
                appendguarded(s, e.name);
                s += ')';
            }
            s += '\r';
        }
    }
    if (curmsg.routepwdfailed && curmsg.routeno >= 0 &&
        static_cast<std::size_t>(curmsg.routeno) < tables.route.size()) {
        const fidoaddr& a = tables.route[static_cast<std::size_t>(curmsg.routeno)].ftnaddr;
        pktappendf(s, "*** Incorrect PondLark Route-password for node %u:%u/%u", a.zone, a.net,
                   a.node);
        if (a.point != 0) pktappendf(s, ".%u", a.point);
        s += " ***\r";
    }
    if (ismailmsg() && parseisfattach && fncmp(curmsg.msgsubj.sv(), parsefname.sv()) != 0)
        line("Subject: ", curmsg.msgsubj.sv());
    if (s.empty()) return 0;
    s += '\r';
    return emit(s);
}

bool converter::readline(std::string_view& line) {
    if (headermode) {
        if (readheaderline(in, linebuf) != 1) return false;
        line = linebuf;
        return true;
    }
    return readbodyline(line);
}

// Body lines are looked at where they lie in the read window; only a line
// that is joined or decoded is copied.
bool converter::readbodyline(std::string_view& line) {
    line = in.nextline(MAXLOGICALLINE, linebuf);
    if (line.empty()) return false;
    if (line.size() == MAXLOGICALLINE && line.back() != '\n') {
        // The line may have ended right at the buffer's end: its line end
        // is taken with it rather than read as an empty line of its own.
        // The reader moves on, so the line is copied first.
        std::string& piece = editable(line);
        (void)in.takelineend();
        line = piece;
    }
    bool uu = dec.state() == DECODE_UU;
    // Blanks at the end are data in a file, and say "goes on" in flowed text.
    bool keepblanks = uu || dec.state() == DECODE_PLAIN || (tree && flow);
    trimbodyline(line, keepblanks);
    if (!mime.qp || uu || line.empty() || line.back() != '=' || line.size() >= MAXLOGICALLINE)
        return true;
    // A soft line break of quoted-printable joins the next line - unless
    // that is a boundary line: a part whose text has no line end of its own
    // ends in a soft line break, and the boundary after it must still end
    // the part. It stays to be read as a line of its own.
    std::string& joined = editable(line);
    while (!joined.empty() && joined.back() == '=' && joined.size() < MAXLOGICALLINE) {
        joined.pop_back();
        std::size_t before = joined.size();
        long next = in.tell();
        if (in.readline(joined, MAXLOGICALLINE - joined.size()) == 0) break;
        bool closing;
        if (isboundaryline(std::string_view(joined).substr(before), mime.boundary, closing)) {
            joined.resize(before);
            in.seek(next);
            break;
        }
        if (joined.size() == MAXLOGICALLINE && joined.back() != '\n') (void)in.takelineend();
        trimbodyline(joined, before, keepblanks);
    }
    line = joined;
    return true;
}

// linebuf holding exactly line, for a change.
std::string& converter::editable(std::string_view line) {
    if (line.data() == linebuf.data() && line.size() <= linebuf.size()) {
        linebuf.resize(line.size());
    } else {
        linebuf.assign(line);
    }
    return linebuf;
}

int converter::handleline(std::string_view line) {
    if (truncated) return 0;
    bool secret = headermode && istartswith(line, "X-MailPassword:");
    // The route password is never copied into FidoNet.
    if (secret && !parsing) return 0;
    if (tree) return treeline(line, secret);
    bool closing;
    if (!headermode && isboundaryline(line, mime.boundary, closing)) return boundary(closing);
    // Quoted-printable is an encoding of the body: header lines are never
    // encoded, and decoded they would lose what their "=" stands for (a
    // Message-ID "<a=3Db@x>" would become "<a=b@x>" and its MSGID wrong).
    if (mime.qp && !headermode && line.find('=') != std::string_view::npos) {
        std::string& decoded = editable(line);
        decodeqp(decoded);
        line = decoded;
    }
    if (dec.state() != DECODE_NONE) {
        if (flushout() != 0) return -1;
        bool taken = dec.takeline(line);
        if (dec.failed()) return -1;
        if (taken) return 0;
    }
    if (widelabel && !headermode && !line.empty()) {
        std::string out;
        if (toutf8(line, curmsg.rfccharset.sv(), out) == 0) {
            convbuf.swap(out);
            line = convbuf;
        }
    }
    if (line.empty()) return emptyline();
    return nonemptyline(line, secret);
}

// A part of a multipart message begins (its header block follows), or the
// closing boundary ends the message.
int converter::boundary(bool closing) {
    if (flushout() != 0 || dec.end() != 0) return -1;
    if (!closing && ++mimeparts > cfg.importmaxparts) {
        moreparts();
        return 0;
    }
    headermode = true;
    mime.qp = 0;
    mime.base64pending = 0;
    mime.paramscan = 0;
    mime.filename.clear();  // a part without a name of its own gets a generated one
    mime.namefromdisposition = 0;
    if (closing) done = true;
    return 0;
}

int converter::emptyline() {
    if (!headermode && curmsg.pastfirstline) {
        ++pending;
        return 0;
    }
    headermode = false;
    if (parsing && !bodystarted) pass.bodyoffset = in.tell();
    bodystarted = true;
    curmsg.headerended = 1;
    ++headerblocks;
    mime.paramscan = 0;
    // Read flat, a message labelled with a set text must not be written in
    // has its lines converted into UTF-8 (its CHRS says so).
    if (!tree) widelabel = widecharset(curmsg.rfccharset.sv());
    if (!mime.base64pending) return 0;
    mime.base64pending = 0;
    // A name from a MIME header is made safe as a part's name is when MIME
    // is read as a tree: ASCII, no path, no character a tool trips on.
    std::string name = mime.filename;
    mime.filename.clear();
    mime.namefromdisposition = 0;
    return startfile(FILEENC_MIME, name, NAME_ASCII);
}

int converter::startfile(int encoding, const std::string& name, int namerule) {
    if (flushout() != 0 || dec.end() != 0) return -1;
    // Junk never leaves files behind: its encoded parts stay text.
    int mode = v.junkcategory != JUNK_NONE ? ATTACH_IGNORE : cfg.attach[ismailmsg() ? 0 : 1];
    // Uuencoded files are listed once, by the parse pass; MIME files again
    // by the write pass, for the headers of later parts.
    bool listit = ismailmsg() && (encoding == FILEENC_MIME || !writing);
    dec.begin(encoding, name, mode, listit, namerule);
    if (parsing) pass.sawfiles = 1;
    return 0;
}

int converter::nonemptyline(std::string_view line, bool secret) {
    if (!headermode && !curmsg.pastfirstline) {
        if (parsing && (istartswith(line, "From:") || istartswith(line, "To:")))
            curmsg.alreadyfromto = 1;
        curmsg.pastfirstline = 1;
    }
    if (!headermode && !v.truncate.empty() && line.find(v.truncate) != std::string_view::npos) {
        truncated = true;
        return 0;
    }
    if (pending > 0) {
        if (output()) {
            outbuf.append(static_cast<std::size_t>(pending), '\r');
            if (spill() != 0) return -1;
        }
        curmsg.partbytes += pending;
        pending = 0;
    }
    if (parsing && !headermode && cfg.quoteto) quote.line(line);
    // Read flat, MIME header lines count also in the text; as a tree only
    // in header blocks, and the tree keeps its own state.
    if (!tree) {
        mimeheaderline(line, mime);
    } else if (headermode) {
        mimeheaderline(line, scratch);
    }
    std::string uuname;
    if (!headermode && isuubegin(line, uuname)) {
        if (startfile(FILEENC_UU, uuname) != 0) return -1;
        // Left as text, the file keeps its "begin" line.
        if (dec.state() == DECODE_UU && dec.attachmode() != ATTACH_IGNORE) return 0;
    }
    if (parsing) {
        if (headermode) {
            (void)parseheaderline(line);
        } else if (ismailmsg() && v.junkcategory == JUNK_NONE && bodyjunk(line)) {
            v.junkcategory = JUNK_BODY;
        }
    }
    if (v.ignored) return 0;
    if (headermode && (line.size() < MINHEADERLINE || secret || !isfield(line) ||
                       stripped(line, v.category)))
        return 0;
    if (!headermode) return keepline(line);
    std::string_view text = headerlinetext(line, buffers().decoded);
    // What the parse pass counted may be converted otherwise in writing.
    if (parsing && text.data() != line.data()) pass.sensitive = 1;
    if (iskludgefield(text)) {
        std::string& prefixed = buffers().prefixed;
        prefixed.assign(FIELDPREFIX).append(text);
        return keepline(prefixed);
    }
    return keepline(text);
}

int converter::newpart() {
    curmsg.partbytes = 0;
    if (!writing) {
        ++curmsg.parts;
        return 0;
    }
    ++curmsg.partno;
    if (!output()) return 0;
    if (emit("\r[continued in next message]\r") != 0 || flushout() != 0 ||
        writemsgbottom(v.category, pass.packet) != 0 ||
        writepktmsgheader(v.category, pass.packet, curmsg.fname.sv(), v.junkcategory, v.ownorg) !=
            0)
        return -1;
    return emit("[continued from previous message]\r\r");
}

// Whether a line is written as UTF-8, to be cut between characters only.
bool converter::utf8text(std::string_view text) {
    if (text.size() <= CONTKLUDGEWIDTH || isplainascii(text)) return false;
    bool unknown = curmsg.outcharset.empty();
    if (!unknown && curmsg.outcharset != "UTF-8") return false;
    if (!isvalidutf8(text)) return false;
    // The parse pass cuts as UTF-8 what may be written in another set.
    if (parsing) pass.sensitive = 1;
    return true;
}

int converter::keepline(std::string_view text) {
    long limit = static_cast<long>(cfg.importlimit);
    if (limit != 0 && curmsg.partbytes > 0 &&
        curmsg.partbytes + static_cast<long>(text.size()) + SPLITMARGIN >= limit) {
        if (newpart() != 0) return -1;
    }
    bool kludge = headermode;
    // The parse pass only counts what the write pass will write.
    bool building = output();
    bool utf8 = utf8text(text);
    long written = 0;
    std::size_t pos = 0;
    do {
        bool first = pos == 0;
        std::size_t width = kludge ? (first ? KLUDGEWIDTH : CONTKLUDGEWIDTH) : BODYWIDTH;
        std::string_view rest = text.substr(pos);
        std::size_t n = chunklength(rest, width, utf8);
        std::string_view prefix = !kludge ? "" : first ? "\x01" : "\x01  ";
        // Every line goes into the packet made safe (pkt/pktguard.h).
        if (building && kludge) {
            appendkludgeline(outbuf, rest.substr(0, n), !first);
        } else if (building) {
            appendbodyline(outbuf, rest.substr(0, n));
        }
        written += static_cast<long>(prefix.size() + n + 1);
        pos += n;
    } while (pos < text.size());
    curmsg.partbytes += written;
    return building ? spill() : 0;
}

int converter::finish() {
    if (tree) {
        if (endpart() != 0) return -1;
        while (!frames.empty()) closeframe();
    }
    if (parsing) {
        quote.finish();
        if (!bodystarted) pass.bodyoffset = pass.range.end;
    } else if (!writing) {
        // The count pass leaves the file-attach list to the parse pass's.
        curmsg.fname = parsefname.sv();
        curmsg.isfattach = parseisfattach;
    }
    if (flushout() != 0 || dec.end() != 0) return -1;
    // A message that ends with its header (or with the empty line after
    // it) met no line to put the information block in front of: it goes
    // in here, so that no recipient or warning of it is lost.
    if (output() && !infodone) {
        infodone = true;
        if (infoblock() != 0) return -1;
    }
    if (leftout() != 0 || flushout() != 0) return -1;
    if (!output()) return 0;
    return writemsgbottom(v.category, pass.packet);
}

// What the bounds left out is said at the end of the text (every pass
// counts the lines) and in the log.
int converter::leftout() {
    long files = dec.filesleftout();
    if (files == 0 && !partsleftout) return 0;
    headermode = false;
    std::string note;
    if (files > 0) {
        pktappendf(note, "[" PROGNAME " left out %ld more encoded file%s: a message gives at most %u]",
                   files, files == 1 ? "" : "s", static_cast<unsigned>(cfg.importmaxfiles));
        if (keepline(note) != 0) return -1;
        if (writing)
            logprintf("! %s: %ld encoded file%s left out (ImportMaxFiles %u)\n",
                      messagename().c_str(), files, files == 1 ? "" : "s",
                      static_cast<unsigned>(cfg.importmaxfiles));
    }
    if (partsleftout) {
        note.clear();
        pktappendf(note, "[" PROGNAME " left out the rest of the message: more than %u MIME parts]",
                   static_cast<unsigned>(cfg.importmaxparts));
        if (keepline(note) != 0) return -1;
        if (writing)
            logprintf("! %s: left out after %u MIME parts (ImportMaxParts)\n",
                      messagename().c_str(), static_cast<unsigned>(cfg.importmaxparts));
    }
    return 0;
}

// A part beyond ImportMaxParts begins: the rest of the message is left out.
void converter::moreparts() {
    partsleftout = true;
    done = true;
}

// ------------------------------------------------------------ MIME tree

int converter::treeline(std::string_view line, bool secret) {
    bool closing = false;
    if (!headermode || blockkind != BLOCK_MESSAGE) {
        int k = boundaryframe(line, closing);
        if (k >= 0) return treeboundary(static_cast<std::size_t>(k), closing);
    }
    if (headermode) {
        if (line.empty()) return endheaderblock();
        ph.take(line);
        if (blockkind == BLOCK_MESSAGE) return nonemptyline(line, secret);
        if (blockkind == BLOCK_EMBEDDED) {
            if (istartswith(line, "From:") && fwdfrom.empty()) fwdfrom = line.substr(5);
            if (istartswith(line, "Date:") && fwddate.empty()) fwddate = line.substr(5);
            if (istartswith(line, "Subject:") && fwdsubj.empty()) fwdsubj = line.substr(8);
        }
        // The header of a part is its structure, not text.
        return 0;
    }
    if (action == PART_SKIP) return 0;
    if (mime.qp && line.find('=') != std::string_view::npos) {
        std::string& decoded = editable(line);
        decodeqp(decoded);
        line = decoded;
    }
    if ((action == PART_TEXT || action == PART_HTML) && plan.cte == CTE_BASE64)
        return base64text(line);
    return bodytext(line);
}

// The innermost open multipart whose boundary the line is, or -1.
int converter::boundaryframe(std::string_view line, bool& closing) const {
    if (line.size() < 3 || line[0] != '-' || line[1] != '-') return -1;
    for (std::size_t k = frames.size(); k-- > 0;) {
        if (!isboundaryline(line, frames[k].boundary, closing)) continue;
        // Only blanks may follow the boundary (and its closing "--"): a text
        // line that merely begins like it ("--bob" for the boundary "b")
        // stays text.
        std::string_view rest = line.substr(2 + frames[k].boundary.size() + (closing ? 2 : 0));
        if (rest.find_first_not_of(" \t\r") == std::string_view::npos) return static_cast<int>(k);
    }
    return -1;
}

int converter::endheaderblock() {
    int kind = blockkind;
    if (kind == BLOCK_MESSAGE) {
        if (emptyline() != 0) return -1;
    }
    headermode = false;
    if (kind == BLOCK_EMBEDDED && forwardedheader() != 0) return -1;
    bool indigest = kind == BLOCK_PART && !frames.empty() && frames.back().kind == MULTI_DIGEST;
    plan = planpart(ph, indigest, frames.size() + embeds);
    ph.clear();
    bool shown = kind != BLOCK_PART || frames.empty() || showchild(frames.back(), plan);
    return beginpart(shown);
}

// A forwarded message shows a few lines of its header.
int converter::forwardedheader() {
    std::string line;
    auto show = [&](const char* label, const std::string& value) {
        if (value.empty()) return 0;
        line.assign(label);
        (void)decodeencodedwords(textvalue(value), line);
        return textout(line, true);
    };
    if (textout("[Forwarded message]", true) != 0 || show("From: ", fwdfrom) != 0 ||
        show("Date: ", fwddate) != 0 || show("Subject: ", fwdsubj) != 0 || textout("", true) != 0)
        return -1;
    fwdfrom.clear();
    fwddate.clear();
    fwdsubj.clear();
    return 0;
}

int converter::beginpart(bool shown) {
    mime.qp = 0;
    action = PART_SKIP;
    partwide = false;
    if (!shown) return 0;
    switch (plan.action) {
        case PART_MULTIPART: {
            mimeframe f;
            f.boundary = plan.boundary;
            f.kind = plan.multikind;
            f.embedsbefore = embeds;
            if (!parsing) {
                for (const auto& [b, choice] : curmsg.altchoices) {
                    if (b == f.boundary) f.recorded = choice;
                }
            }
            frames.push_back(f);
            return 0;  // its preamble is left out
        }
        case PART_MESSAGE:
            headermode = true;
            blockkind = BLOCK_EMBEDDED;
            ++embeds;
            return 0;
        case PART_RAW:
            plan.cte = CTE_IDENTITY;
            action = PART_TEXT;
            return 0;
        case PART_TEXT:
        case PART_HTML:
            action = plan.action;
            mime.qp = plan.cte == CTE_QP;
            partwide = widecharset(plan.charset);
            b64carry.clear();
            if (action == PART_HTML) html = std::make_unique<htmltext>();
            if (action == PART_TEXT && plan.flowed) flow = std::make_unique<flowedtext>(plan.delsp);
            return 0;
        default: {
            action = PART_FILE;
            mime.qp = plan.cte == CTE_QP;
            std::string name = asciifilename(plan.filename);
            if (plan.cte == CTE_BASE64) return startfile(FILEENC_MIME, name);
            if (flushout() != 0 || dec.end() != 0) return -1;
            int mode = v.junkcategory != JUNK_NONE ? ATTACH_IGNORE : cfg.attach[ismailmsg() ? 0 : 1];
            dec.beginplain(name, mode, ismailmsg());
            if (parsing) pass.sawfiles = 1;
            return 0;
        }
    }
}

// The part being read ends: what it still holds is written.
int converter::endpart() {
    if (!b64carry.empty()) {
        std::string rest;
        rest.swap(b64carry);
        if (bodytext(rest) != 0) return -1;
    }
    if (flow) {
        pieces.clear();
        flow->finish(pieces);
        flow.reset();
        for (const std::string& l : pieces) {
            if (textout(l, false) != 0) return -1;
        }
    }
    if (html) {
        html->finish();
        if (drainhtml() != 0) return -1;
        html.reset();
    }
    if (flushout() != 0 || dec.end() != 0) return -1;
    mime.qp = 0;
    action = PART_SKIP;
    return 0;
}

void converter::closeframe() {
    mimeframe& f = frames.back();
    // Choices are remembered for a sane number of alternatives; the later
    // passes show the rest as this pass counted them.
    if (parsing && f.kind == MULTI_ALTERNATIVE && curmsg.altchoices.size() < MAXALTCHOICES) {
        int choice = chosenalternative(f);
        curmsg.altchoices.emplace_back(f.boundary, choice);
        // What this pass counted was another alternative.
        if (choice != f.tentative) pass.sensitive = 1;
    }
    embeds = f.embedsbefore;
    frames.pop_back();
}

int converter::treeboundary(std::size_t k, bool closing) {
    if (endpart() != 0) return -1;
    while (frames.size() > k + 1) closeframe();
    embeds = frames[k].embedsbefore;
    if (closing) {
        closeframe();
        return 0;  // the epilogue is left out
    }
    if (++mimeparts > cfg.importmaxparts) {
        moreparts();
        return 0;
    }
    ++frames[k].children;
    headermode = true;
    blockkind = BLOCK_PART;
    ph.clear();
    return 0;
}

// A line of a Base64 text part: its bytes, cut into the lines they hold.
int converter::base64text(std::string_view line) {
    if (base64linebytes(line) < 0) {
        // Not Base64 (a footer a list server appended): text as it stands.
        if (!b64carry.empty() && endpart() != 0) return -1;
        return bodytext(line);
    }
    decodebase64line(line, b64carry);
    std::size_t start = 0, nl;
    while ((nl = b64carry.find('\n', start)) != std::string::npos) {
        std::size_t end = nl;
        if (end > start && b64carry[end - 1] == '\r') --end;
        std::string piece = b64carry.substr(start, end - start);
        if (bodytext(piece) != 0) return -1;
        start = nl + 1;
    }
    b64carry.erase(0, start);
    // Text without line ends is handed on in pieces of a line's size.
    while (b64carry.size() >= MAXLOGICALLINE) {
        std::string piece = b64carry.substr(0, MAXLOGICALLINE);
        b64carry.erase(0, MAXLOGICALLINE);
        if (bodytext(piece) != 0) return -1;
    }
    return 0;
}

// A line of a part's text, decoded: into a file, into the HTML reader,
// through flowed text, or out.
int converter::bodytext(std::string_view line) {
    if (dec.state() != DECODE_NONE) {
        if (flushout() != 0) return -1;
        bool taken = dec.takeline(line);
        if (dec.failed()) return -1;
        if (taken) return 0;
    }
    if (action == PART_HTML && html) {
        std::string& text = convbuf;
        text.clear();
        std::string_view cs = plan.charset;
        if ((!partwide && isplainascii(line)) || cs.empty() ||
            convertcharset(line, cs, "UTF-8", text) != 0) {
            text.clear();
            if (isplainascii(line) || convertcharset(line, guesscharset(line), "UTF-8", text) != 0)
                text.assign(line);
        }
        text.push_back('\n');
        html->feed(text);
        return drainhtml();
    }
    if (flow) {
        pieces.clear();
        flow->line(line, pieces);
        for (const std::string& l : pieces) {
            if (textout(l, false) != 0) return -1;
        }
        return 0;
    }
    return textout(line, false);
}

int converter::drainhtml() {
    std::vector<std::string> lines;
    lines.swap(html->lines());
    for (const std::string& l : lines) {
        if (textout(l, true) != 0) return -1;
    }
    return 0;
}

// A line of text, in the part's character set (or in UTF-8: isutf8),
// converted into the message's and written.
int converter::textout(std::string_view text, bool isutf8) {
    // The signature separator keeps its blank.
    if (text != "-- ") {
        while (!text.empty() && (text.back() == ' ' || text.back() == '\r')) text.remove_suffix(1);
    }
    // Text in a set it must never be written in (UTF-16, UTF-7) is
    // converted also where the rest is only labelled.
    bool wide = !isutf8 && partwide;
    if (wide || !isplainascii(text)) {
        // The parse pass does not know yet what the text becomes.
        if (parsing) pass.sensitive = 1;
        if (!curmsg.outcharset.empty() && (curmsg.convertcharset || isutf8 || wide)) {
            std::string_view from = isutf8 ? std::string_view("UTF-8") : std::string_view(plan.charset);
            // Text labelled US-ASCII (or unknown) that is not is guessed at.
            if (!isutf8 && (!charsetknown(from) || isasciicharset(from))) from = guesscharset(text);
            std::string& out = textbuf;
            out.clear();
            if (convertcharset(text, from, curmsg.outcharset, out) == 0) {
                convbuf.swap(out);
                text = convbuf;
            }
        }
    }
    if (text.empty()) return emptyline();
    return nonemptyline(text, false);
}
}  // namespace

std::size_t chunklength(std::string_view rest, std::size_t width, bool utf8) {
    if (rest.size() <= width) return rest.size();
    for (std::size_t n = width; n >= MINCHUNK; --n) {
        unsigned char c = static_cast<unsigned char>(rest[n - 1]);
        if (!isalnumc(c) && !(utf8 && c >= 0x80)) return n;
    }
    if (!utf8) return width;
    std::size_t n = width;
    while (n > 1 && (static_cast<unsigned char>(rest[n]) & 0xC0) == 0x80) --n;
    return n;
}

bool needcountpass(const importpass& p, const msgverdict& v) {
    long limit = static_cast<long>(cfg.importlimit);
    if (limit == 0) return false;
    // No conversion makes text more than four times as long (a byte of
    // windows-1252 is at most three in UTF-8, a transliteration rarely more
    // than four), nor the information block longer than a few lines: a
    // message far enough below the limit stays one part whatever is written.
    long size = p.range.end - p.range.start;
    if (size < (limit - 4096) / 4) return false;
    return p.sensitive || !v.truncate.empty() ||
           cfg.stripkludges[p.assumedcategory] != cfg.stripkludges[v.category] ||
           (v.junkcategory != JUNK_NONE && p.sawfiles);
}

int processimport(importpass& p) {
    converter c(p);
    return c.run();
}
