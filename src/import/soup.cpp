#include "import/soup.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>

#include "base/text.h"
#include "driver/log.h"
#include "import/curmsg.h"

namespace {
// Longest part of an AREAS line that is kept; the rest of a longer line is
// read and dropped, so it can never pose as a line of its own.
constexpr std::size_t MAXAREASLINE = 8191;
// The count line of a USENET batch is looked at in its first 254 bytes.
constexpr std::size_t MAXCOUNTLINE = 254;

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
    // ".MSG" file on the system. A zero byte would cut the path there and
    // name another file of the directory (REPLIES, a reply file), which
    // would then be imported and deleted.
    std::string_view prefix = line.substr(0, tab1);
    constexpr std::string_view notinprefix("/\0", 2);
    if (prefix.empty() || prefix.find_first_of(notinprefix) != std::string_view::npos)
        return AREA_ERROR;
    a.prefix = std::string(prefix);
    // The name becomes the FidoNet area of news: printable ASCII, one word.
    std::string name(line.substr(tab1 + 1, tab2 - tab1 - 1));
    a.unusablename = name.empty();
    for (char& c : name) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u <= ' ' || u >= 0x7F) {
            c = '_';
            a.unusablename = true;
        }
    }
    a.areaname = name;
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
    current = text;

    int res = parsearealine(text, a);
    if (res == AREA_ERROR) logprintf("Error in line %ld in %s\n", line, AREASNAME);
    if (res == AREA_OK && a.unusablename)
        logprintf("! Area name %s in line %ld in %s is no printable ASCII word: its messages are junk\n",
                  a.areaname.c_str(), line, AREASNAME);
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
    // Never through a link: the SOUP folder may be written by another
    // program, and a link would import whatever file it names. Anything
    // else that is no plain file reads as damaged.
    int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return fileptr();
    int fl = fcntl(fd, F_GETFL);
    if (fl >= 0) (void)fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
    std::FILE* f = fdopen(fd, "rb");
    if (!f) close(fd);
    return fileptr(f);
}

soupcutter::soupcutter(std::FILE* f, int fmt)
    : format(fmt), filesize(filelength(f)), win(f), in(win, {0, filesize < 0 ? 0 : filesize}) {}

bool soupcutter::readline(std::string& head, std::size_t headmax, bool& eof) {
    head.clear();
    eof = false;
    std::size_t n = in.readline(head, headmax);
    if (n > 0 && head.back() != '\n') {
        // Only the start of the line matters; the rest is passed over.
        eof = n < headmax || !in.skipline();
    }
    if (n == 0) eof = true;
    return !in.error();
}

int soupcutter::next(msgrange& r) {
    if (filesize < 0 || readerror) return CUT_BADFILE;
    in.seek(pos);
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
    if (in.error()) readerror = true;
    if (readerror) return CUT_BADFILE;
    pos = res == CUT_MESSAGE ? r.end : in.tell();
    return res;
}

// A message of count bytes starting at start.
int soupcutter::counted(long start, long count, msgrange& r) {
    if (count < 0 || count > filesize - start) return CUT_BADFILE;
    r.start = start;
    r.end = start + count;
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
    return counted(in.tell(), negative ? -count : count, r);
}

int soupcutter::cutmbox(msgrange& r) {
    std::string head;
    bool eof;
    if (!readline(head, 5, eof) || eof) return CUT_NOMORE;
    if (head != "From ") return CUT_BADFILE;
    r.start = in.tell();
    // Only a "From " at the start of a line opens the next message; one
    // further inside a long line is text, and so is an unfinished last line.
    long next = in.findline("From ");
    if (in.error()) return CUT_BADFILE;
    r.end = next < 0 ? in.tell() : next;
    return CUT_MESSAGE;
}

int soupcutter::cutmmdf(msgrange& r) {
    // Skip the separator lines before the message (runs of 0x01 bytes, each
    // with the line end that ends it: LF, or CR LF as lines of the other
    // formats may end - left in front of the message, it would read as the
    // empty line that ends its header).
    int c = in.get();
    while (c == 1) {
        while (c == 1) c = in.get();
        if (c == '\r' && in.peek() == '\n') c = in.get();
        if (c == '\n') c = in.get();
    }
    if (c == EOF) return in.error() ? CUT_BADFILE : CUT_NOMORE;
    r.start = in.tell() - 1;
    // The message ends at the next four 0x01 bytes in a row, even when that
    // last separator has no line feed; otherwise at the end of the file.
    int run = 0;
    for (;;) {
        c = in.get();
        if (c == EOF) {
            if (in.error()) return CUT_BADFILE;
            r.end = in.tell();
            return CUT_MESSAGE;
        }
        run = c == 1 ? run + 1 : 0;
        if (run == 4) {
            r.end = in.tell() - 4;
            return CUT_MESSAGE;
        }
    }
}

int soupcutter::cutbinary(msgrange& r) {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) {
        int c = in.get();
        if (c == EOF) return in.error() ? CUT_BADFILE : CUT_NOMORE;
        v = (v << 8) | static_cast<std::uint32_t>(c);
    }
    // The length is taken as signed: a length with the top bit set is damage.
    return counted(in.tell(), static_cast<long>(static_cast<std::int32_t>(v)), r);
}
