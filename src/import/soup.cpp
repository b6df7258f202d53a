#include "import/soup.h"

#include <cstdint>

#include "driver/log.h"
#include "driver/text.h"
#include "import/curmsg.h"

namespace {
// Longest part of an AREAS line that is kept; the rest of a longer line is
// read and dropped, so it can never pose as a line of its own.
constexpr std::size_t MAXAREASLINE = 8191;
// The count line of a USENET batch is looked at in its first 254 bytes.
constexpr std::size_t MAXCOUNTLINE = 254;
constexpr std::size_t MESSAGEBUFSIZE = 1 << 16;

// The first letter of an area's encoding: the file format and the kind it
// stands for unless the third letter or the area name says otherwise.
struct formatletter {
    char letter;
    int format;
    int type;  // 0 mail, 1 news
};
const formatletter formatletters[] = {
    {'u', FORMAT_RNEWS, 1},  {'m', FORMAT_MBOX, 0},   {'M', FORMAT_MMDF, 0},
    {'b', FORMAT_BINARY, 0}, {'B', FORMAT_BINARY, 1},
};

const formatletter* findformat(char letter) {
    for (const formatletter& f : formatletters) {
        if (f.letter == letter) return &f;
    }
    return nullptr;
}
}  // namespace

int parsearealine(std::string_view line, souparea& a) {
    std::size_t tab1 = line.find('\t');
    if (tab1 == std::string_view::npos) return AREA_ERROR;
    std::size_t tab2 = line.find('\t', tab1 + 1);
    if (tab2 == std::string_view::npos) return AREA_ERROR;

    // The message file must lie in the SOUP directory: a prefix that names
    // another directory would let a packet read, and then delete, any
    // ".MSG" file on the system.
    std::string_view prefix = line.substr(0, tab1);
    if (prefix.empty() || prefix.find('/') != std::string_view::npos) return AREA_ERROR;
    a.prefix = std::string(prefix);
    a.areaname = line.substr(tab1 + 1, tab2 - tab1 - 1);
    // Only the first and third characters of the encoding matter; a
    // description after a further TAB is ignored.
    std::string_view enc = line.substr(tab2 + 1);
    enc = enc.substr(0, enc.find('\t'));
    char first = enc.empty() ? '\0' : enc[0];
    char third = enc.size() > 2 ? enc[2] : '\0';

    const formatletter* fl = findformat(first);
    if (!fl) {
        a.msgformat = FORMAT_UNKNOWN;
        return AREA_UNKNOWN;
    }
    a.msgformat = fl->format;
    a.msgtype = fl->type;
    if (third == 'm') a.msgtype = 0;
    if (third == 'n') a.msgtype = 1;
    if (strieq(a.areaname.sv(), EMAILAREANAME)) a.msgtype = 0;
    return AREA_OK;
}

int areasreader::next(souparea& a) {
    std::string text;
    bool any = false;
    for (;;) {
        int c = getc_unlocked(file);
        if (c == EOF) break;
        any = true;
        if (c == '\n') break;
        if (text.size() < MAXAREASLINE) text.push_back(static_cast<char>(c));
    }
    if (std::ferror(file)) {
        // Lines after the damage would be lost if AREAS were deleted.
        logprintf("Error reading %s\n", AREASNAME);
        return AREA_FAILED;
    }
    if (!any) return AREA_END;
    ++line;
    if (!text.empty() && text.back() == '\r') text.pop_back();

    int res = parsearealine(text, a);
    if (res == AREA_ERROR) logprintf("Error in line %ld in %s\n", line, AREASNAME);
    if (res == AREA_UNKNOWN)
        logprintf("Unknown message format in line %ld in %s\n", line, AREASNAME);
    return res;
}

std::string messagefilepath(std::string_view soupdir, std::string_view prefix) {
    std::string p(soupdir);
    p.append(prefix).append(MESSAGEEXT);
    return p;
}

fileptr openmessagefile(const std::string& path) {
    fileptr f = openfile(path, "rb");
    if (f) std::setvbuf(f.get(), nullptr, _IOFBF, MESSAGEBUFSIZE);
    return f;
}

soupcutter::soupcutter(std::FILE* f, int fmt) : file(f), format(fmt), filesize(filelength(f)) {}

int soupcutter::getbyte() {
    int c = getc_unlocked(file);
    if (c == EOF) {
        if (std::ferror(file)) readerror = true;
        return EOF;
    }
    ++pos;
    return c;
}

bool soupcutter::readline(std::string& head, std::size_t headmax, bool& eof) {
    head.clear();
    eof = false;
    for (;;) {
        int c = getbyte();
        if (c == EOF) {
            eof = true;
            return !readerror;
        }
        if (head.size() < headmax) head.push_back(static_cast<char>(c));
        if (c == '\n') return true;
    }
}

int soupcutter::next(msgrange& r) {
    if (filesize < 0 || readerror) return CUT_BADFILE;
    if (std::fseek(file, pos, SEEK_SET) != 0) return CUT_BADFILE;
    int res;
    switch (format) {
        case FORMAT_RNEWS:
            res = cutrnews(r);
            break;
        case FORMAT_MBOX:
            res = cutmbox(r);
            break;
        case FORMAT_MMDF:
            res = cutmmdf(r);
            break;
        case FORMAT_BINARY:
            res = cutbinary(r);
            break;
        default:
            return CUT_BADFILE;
    }
    if (readerror) return CUT_BADFILE;
    if (res == CUT_MESSAGE) pos = r.end;
    return res;
}

// A message of count bytes starting at the current position.
int soupcutter::counted(long count, msgrange& r) {
    if (count < 0 || count > filesize - pos) return CUT_BADFILE;
    r.start = pos;
    r.end = pos + count;
    curmsg.messagesize = count;
    return CUT_MESSAGE;
}

int soupcutter::cutrnews(msgrange& r) {
    std::string head;
    bool eof;
    if (!readline(head, MAXCOUNTLINE, eof) || eof) return CUT_NOMORE;
    std::string_view h = head;
    if (h.substr(0, sizeof RNEWSHEADER - 1) != RNEWSHEADER) return CUT_BADFILE;

    std::size_t i = sizeof RNEWSHEADER - 1;
    while (i < h.size() && (h[i] == ' ' || h[i] == '\t')) ++i;
    bool negative = false;
    if (i < h.size() && (h[i] == '-' || h[i] == '+')) negative = h[i++] == '-';
    long count = 0;
    for (; i < h.size() && isdigitc(static_cast<unsigned char>(h[i])); ++i) {
        // Anything beyond the file size is bad anyway; stop growing there.
        if (count <= filesize) count = count * 10 + (h[i] - '0');
    }
    return counted(negative ? -count : count, r);
}

int soupcutter::cutmbox(msgrange& r) {
    std::string head;
    bool eof;
    if (!readline(head, 5, eof) || eof) return CUT_NOMORE;
    if (head != "From ") return CUT_BADFILE;
    r.start = pos;
    // Only a "From " at the start of a line opens the next message; one
    // further inside a long line is text.
    for (;;) {
        long candidate = pos;
        if (!readline(head, 5, eof)) return CUT_BADFILE;
        if (eof) {
            r.end = pos;
            return CUT_MESSAGE;
        }
        if (head == "From ") {
            r.end = candidate;
            return CUT_MESSAGE;
        }
    }
}

int soupcutter::cutmmdf(msgrange& r) {
    // Skip the separator lines before the message (runs of 0x01 bytes, each
    // with the line feed that ends it).
    int c = getbyte();
    while (c == 1) {
        while (c == 1) c = getbyte();
        if (c == '\n') c = getbyte();
    }
    if (c == EOF) return readerror ? CUT_BADFILE : CUT_NOMORE;
    r.start = pos - 1;
    // The message ends at the next four 0x01 bytes in a row, even when that
    // last separator has no line feed; otherwise at the end of the file.
    int run = 0;
    for (;;) {
        c = getbyte();
        if (c == EOF) {
            if (readerror) return CUT_BADFILE;
            r.end = pos;
            return CUT_MESSAGE;
        }
        run = c == 1 ? run + 1 : 0;
        if (run == 4) {
            r.end = pos - 4;
            return CUT_MESSAGE;
        }
    }
}

int soupcutter::cutbinary(msgrange& r) {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) {
        int c = getbyte();
        if (c == EOF) return readerror ? CUT_BADFILE : CUT_NOMORE;
        v = (v << 8) | static_cast<std::uint32_t>(c);
    }
    // The length is taken as signed: a length with the top bit set is damage.
    return counted(static_cast<long>(static_cast<std::int32_t>(v)), r);
}
