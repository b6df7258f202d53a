#include "import/importtext.h"

#include <cstring>
#include <string>

#include "config/settings.h"
#include "config/tables.h"
#include "driver/fileio.h"
#include "driver/text.h"
#include "import/curmsg.h"
#include "import/decode.h"
#include "import/headerlines.h"
#include "import/headerstrip.h"
#include "import/headertext.h"
#include "import/mime.h"
#include "import/quotes.h"
#include "mime/charsets.h"
#include "pkt/msgheader.h"
#include "pkt/pktappend.h"
#include "pkt/trailer.h"

namespace {
// Room kept below ImportLimit for the line that would start a new part.
constexpr long SPLITMARGIN = 256;
// Shorter header lines carry nothing and are dropped.
constexpr std::size_t MINHEADERLINE = 3;
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

// A header field: a name without blanks, then a colon. Only fields are
// kept as kludges; any other line of a header, as a kludge, could pass
// for one of FidoNet's own ("INTL 1:2/3 ...", "TOPT 7", "FLAGS ...") and
// route the message.
bool isfield(std::string_view line) {
    std::size_t colon = line.find(':');
    return colon != std::string_view::npos && colon > 0 &&
           line.substr(0, colon).find_first_of(" \t") == std::string_view::npos;
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

// A zero byte would end the FidoNet message text early: it becomes a blank.
void blankzeros(std::string& s) {
    char* p = s.data();
    char* end = p + s.size();
    while (p < end) {
        void* z = std::memchr(p, '\0', static_cast<std::size_t>(end - p));
        if (!z) return;
        p = static_cast<char*>(z);
        *p++ = ' ';
    }
}

// FidoNet control lines (kludges) begin with 0x01 and come from the
// gateway alone. In body text, from from on, the byte becomes "@": else a
// line of text - or a piece of one after a lone CR, or a chunk of a long
// line - could pose as one and route the message or give it an identity.
void unkludge(std::string& s, std::size_t from) {
    char* p = s.data() + from;
    char* end = s.data() + s.size();
    while (p < end) {
        void* k = std::memchr(p, '\x01', static_cast<std::size_t>(end - p));
        if (!k) return;
        p = static_cast<char*>(k);
        *p++ = '@';
    }
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

class converter {
   public:
    explicit converter(importpass& p)
        : pass(p),
          v(p.verdict),
          in(p.window ? rangereader(*p.window, p.range) : rangereader(p.msgfile, p.range)),
          writing(p.mode == IMPORT_WRITE),
          parsing(p.mode == IMPORT_PARSE),
          dec(writing, p.verdict.ignored, p.packet),
          linebuf(buffers().line),
          outbuf(buffers().outbuf) {
        // A pass that failed may have left text behind.
        outbuf.clear();
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
    int startfile(int encoding, const std::string& name);
    int keepline(std::string_view text);
    bool utf8text(std::string_view text);
    int newpart();
    int finish();

    importpass& pass;
    msgverdict& v;
    rangereader in;
    bool writing;
    bool parsing;
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
    blankzeros(outbuf);
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
    std::string s;
    for (std::size_t i = 0; i < curmsg.xpost.size(); ++i) {
        s += i == 0 ? "XPost: " : i % 3 == 0 ? "\rXPost: " : ", ";
        s += curmsg.xpost[i];
    }
    if (!curmsg.xpost.empty()) s += '\r';
    if (!curmsg.alreadyfromto) {
        bool names = cfg.infoinsert == 0, addresses = cfg.infoinsert == 1;
        const text128& from = names ? curmsg.msgfromname : curmsg.msgfromemail;
        const text128& fromother = names ? curmsg.msgfromemail : curmsg.msgfromname;
        const text128& to = names ? curmsg.msgtoname : curmsg.msgtoemail;
        const text128& toother = names ? curmsg.msgtoemail : curmsg.msgtoname;
        if ((names || addresses) && !from.empty() && !strieq(from.sv(), fromother.sv()))
            pktappendf(s, "From: %s\r", from.c_str());
        if ((names || addresses) && ismailmsg() && !to.empty() && !strieq(to.sv(), toother.sv()))
            pktappendf(s, "To: %s\r", to.c_str());
    }
    static const char* const labels[] = {"", "To: ", "Copy: ", "BCopy: "};
    for (int kind = EMAIL_TO; kind <= EMAIL_BCC; ++kind) {
        for (const emailentry& e : curmsg.emaillist) {
            if (e.kind != kind) continue;
            s += labels[kind];
            s += e.email;
            if (!e.name.empty()) pktappendf(s, " (%s)", e.name.c_str());
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
        pktappendf(s, "Subject: %s\r", curmsg.msgsubj.c_str());
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
    trimbodyline(line, uu);
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
        trimbodyline(joined, before, false);
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
    if (line.empty()) return emptyline();
    return nonemptyline(line, secret);
}

// A part of a multipart message begins (its header block follows), or the
// closing boundary ends the message.
int converter::boundary(bool closing) {
    if (flushout() != 0 || dec.end() != 0) return -1;
    headermode = true;
    mime.qp = 0;
    mime.base64pending = 0;
    mime.paramscan = 0;
    mime.filename.clear();  // a part without a name of its own gets a generated one
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
    ++headerblocks;
    mime.paramscan = 0;
    if (!mime.base64pending) return 0;
    mime.base64pending = 0;
    std::string name = mime.filename;
    mime.filename.clear();
    return startfile(FILEENC_MIME, name);
}

int converter::startfile(int encoding, const std::string& name) {
    if (flushout() != 0 || dec.end() != 0) return -1;
    // Junk never leaves files behind: its encoded parts stay text.
    int mode = v.junkcategory != JUNK_NONE ? ATTACH_IGNORE : cfg.attach[ismailmsg() ? 0 : 1];
    // Uuencoded files are listed once, by the parse pass; MIME files again
    // by the write pass, for the headers of later parts.
    bool listit = ismailmsg() && (encoding == FILEENC_MIME || !writing);
    dec.begin(encoding, name, mode, listit);
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
    mimeheaderline(line, mime);
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
        if (building) {
            outbuf.append(prefix);
            std::size_t from = outbuf.size();
            outbuf.append(rest.substr(0, n)).push_back('\r');
            if (!kludge) unkludge(outbuf, from);
        }
        written += static_cast<long>(prefix.size() + n + 1);
        pos += n;
    } while (pos < text.size());
    curmsg.partbytes += written;
    return building ? spill() : 0;
}

int converter::finish() {
    if (parsing) {
        quote.finish();
        if (!bodystarted) pass.bodyoffset = pass.range.end;
    } else if (!writing) {
        // The count pass leaves the file-attach list to the parse pass's.
        curmsg.fname = parsefname.sv();
        curmsg.isfattach = parseisfattach;
    }
    if (flushout() != 0 || dec.end() != 0) return -1;
    if (!output()) return 0;
    // A message that ends with its header (or with the empty line after
    // it) met no line to put the information block in front of: it goes
    // in here, so that no recipient or warning of it is lost.
    if (!infodone) {
        infodone = true;
        if (infoblock() != 0 || flushout() != 0) return -1;
    }
    return writemsgbottom(v.category, pass.packet);
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
