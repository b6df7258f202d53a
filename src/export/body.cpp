#include "export/body.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "base/codec.h"
#include "base/text.h"
#include "config/settings.h"
#include "export/pktreader.h"
#include "export/rfcheader.h"
#include "import/curmsg.h"
#include "mime/charsets.h"

namespace {

constexpr char KLUDGE = '\x01';
// Largest LineWidth: no piece is longer.
constexpr std::size_t PIECEMAX = 199;
// Bytes of the longest UTF-8 character.
constexpr std::size_t UTF8MAX = 4;

bool isutf8charset(const std::string& charset) {
    return canonicalcharset(charset) == canonicalcharset("UTF-8");
}

// The byte offset of character n of UTF-8 text (its size when it holds
// fewer): continuation bytes belong to the character before them.
std::size_t utf8offset(std::string_view s, std::size_t n) {
    std::size_t chars = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) continue;
        if (chars == n) return i;
        ++chars;
    }
    return s.size();
}
// Wrapping never breaks a line before this position.
constexpr std::size_t WRAPMIN = 33;
// RFC 2045: encoded lines are at most 76 characters.
constexpr std::size_t QPLINEMAX = 76;
// The body goes to the reply file in blocks of about this size.
constexpr std::size_t OUTBLOCK = 1 << 15;

std::size_t linewidth() {
    std::size_t w = cfg.souplinewidth;
    if (w < 1) w = 1;
    return w > PIECEMAX ? PIECEMAX : w;
}

// Control characters, DEL and 8-bit bytes; one pass without an early
// exit, which the compiler vectorises.
bool needsencoding(std::string_view s) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    unsigned char bad = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        bad |= static_cast<unsigned char>(p[i] - 0x20) >= 0x5F;
    }
    return bad != 0;
}

bool isexportboundary(std::string_view s) {
    return s.size() >= 2 && s[0] == '-' && s[1] == '-' && s.substr(2).starts_with(EXPORTBOUNDARY);
}

bool istearline(std::string_view s) {
    return s.substr(0, 3) == "---" && (s.size() == 3 || s[3] == ' ');
}

bool isoriginline(std::string_view s) {
    return s.substr(0, 10) == " * Origin:";
}

// After a tear line: the lines that make it the start of the trailer.
bool followstear(std::string_view s) {
    return isoriginline(s) || s.substr(0, 8) == "SEEN-BY:" ||
           (!s.empty() && s[0] == KLUDGE && istartswith(s.substr(1), "Via "));
}

// The bytes quoted-printable writes as they are.
constexpr std::array<bool, 256> QPLITERAL = [] {
    std::array<bool, 256> t{};
    for (int u = 0x20; u < 0x7F; ++u) t[static_cast<std::size_t>(u)] = u != '=';
    return t;
}();

struct bodywriter {
    bodywriter(pktinput& i, replymsg& o, const exportmsg& msg)
        : in(i), out(o), m(msg), qp(msg.needsencoding && cfg.useqp != 0),
          charwide(msg.convert && isutf8charset(msg.sourcecharset)),
          readwidth(charwide ? linewidth() * UTF8MAX : linewidth()) {}

    pktinput& in;
    replymsg& out;
    const exportmsg& m;
    bool qp;
    // Converted UTF-8 text is measured in characters, not bytes: a line of
    // LineWidth Cyrillic letters is twice as many bytes.
    bool charwide;
    std::size_t width = linewidth();
    std::size_t readwidth;  // bytes a piece may take
    std::string prefix;      // quote prefix carried to the continuation
    bool continues = false;  // the next piece continues a wrapped line

    std::string line;       // the line being written, reused
    std::string block;      // lines not yet handed to out
    std::string converted;  // a line in InternetCharSet, reused

    // A line of a converted message, from its FidoNet charset into
    // InternetCharSet; ASCII is the same in both.
    void convertline() {
        if (!m.convert || (isplainascii(line) && !m.statefulsource)) return;
        converted.clear();
        if (convertcharset(line, m.sourcecharset, cfg.internetcharset.sv(), converted) == 0) {
            line.swap(converted);
        }
    }

    // Where a wrapped line of a converted message may end: never inside a
    // character of a multi-byte charset (a UTF-8 sequence, or a Shift_JIS
    // character whose second byte looks like ASCII).
    std::size_t wholecharacters(std::size_t brk) {
        if (!m.convert) return brk;
        if (brk == std::string::npos) {
            // Cut hard at the width: not inside the last character.
            std::size_t cut = charsetcut(line, line.size(), m.sourcecharset);
            return cut > 0 && cut < line.size() ? cut - 1 : brk;
        }
        std::size_t end = brk + 1;
        if (end >= line.size() || ischarboundary(line, end, m.sourcecharset)) return brk;
        std::size_t cut = charsetcut(line, end, m.sourcecharset);
        return cut == 0 ? std::string::npos : cut - 1;
    }

    void emit() {
        convertline();
        if (qp) {
            appendqp(block, line);
        } else {
            // With files attached the text is a part of a multipart message:
            // a line reading as its boundary would end the part early and
            // make what follows pass for a part of its own. A blank in front
            // keeps it text. (Quoted-printable writes its "=" as "=3D".)
            if (curmsg.isfattach && isexportboundary(line)) block.push_back(' ');
            block.append(line).push_back('\n');
        }
        if (block.size() >= OUTBLOCK) flush();
    }

    void flush() {
        replyappend(out, block);
        block.clear();
    }

    // Drops the rest of a kludge line that was cut at the width.
    int dropcontinuation(int r) {
        char piece[PIECEMAX * UTF8MAX + 1];
        while (r == 2) r = readasciicr(in, piece, readwidth);
        return r;
    }

    // A tear line ends the text when nothing follows it or the trailer
    // does; otherwise it is text, and reading goes on right after it.
    // atend: the text's zero has been read already.
    int tearendstext(int r, bool& trailer, bool& atend) {
        if (r == 0) return trailer = true, 0;
        long after = in.tell();
        char next[PIECEMAX + 1];
        int rn = readasciicr(in, next, width);
        if (followstear(next)) {
            trailer = true;
            atend = rn == 0;
            return 0;
        }
        trailer = false;
        return in.seek(after);
    }

    // A piece of UTF-8 text of more than width characters ends after the
    // width-th; the input goes back to the character after it. r becomes 2
    // (the line goes on).
    int fitcharacters(std::string_view& s, int& r, long textstart) {
        std::size_t at = utf8offset(s, width);
        if (at >= s.size()) return 0;
        s = s.substr(0, at);
        r = 2;
        return in.seek(textstart + static_cast<long>(at));
    }

    // Writes a piece cut at the width up to its break and goes back in the
    // input to the text after the break.
    int wrap(long textstart) {
        std::size_t oldprefix = prefix.size();
        prefix = quoteprefix(line, prefix);
        std::size_t top = charwide ? utf8offset(line, width) : width;
        std::size_t brk = wholecharacters(wrapposition(line, top));
        continues = true;
        if (brk == std::string::npos || brk + 1 <= oldprefix) return 0;
        line.resize(brk + 1);
        return in.seek(textstart + static_cast<long>(brk + 1 - oldprefix));
    }

    int run() {
        char piece[PIECEMAX * UTF8MAX + 1];
        for (;;) {
            long textstart = 0;
            std::size_t len = 0;
            int r = readasciicr(in, piece, readwidth, len, &textstart);
            std::string_view s(piece, len);
            if (charwide && fitcharacters(s, r, textstart) != 0) return -1;
            if (!continues) {
                if (!s.empty() && s[0] == KLUDGE) {
                    if (dropcontinuation(r) == 0) return 0;
                    continue;
                }
                bool trailer = isoriginline(s);
                bool atend = r == 0;
                if (!trailer && istearline(s) && tearendstext(r, trailer, atend) != 0) return -1;
                if (trailer) {
                    if (!atend) in.skipzero();
                    return 0;
                }
            }
            line.assign(prefix);
            line.append(s);
            if (r == 2) {
                if (wrap(textstart) != 0) return -1;
            } else {
                prefix.clear();
                continues = false;
            }
            // The zero after a last line's carriage return is no line.
            if (r != 0 || !line.empty()) emit();
            if (r == 0) return 0;
        }
    }
};

}  // namespace

namespace {
// The pre-scan as the body reads the text: in pieces of LineWidth.
// Returns 0, or -1 when the input cannot be positioned.
void scanpieces(pktinput& in, exportmsg& m) {
    std::size_t width = linewidth();
    char piece[PIECEMAX + 1];
    bool linestart = true, kludge = false;
    for (;;) {
        std::size_t len = 0;
        int r = readasciicr(in, piece, width, len);
        if (linestart) kludge = piece[0] == KLUDGE;
        // A last line without its carriage return is text like any other.
        if (len > 0 && !kludge) {
            m.empty = false;
            if (needsencoding(std::string_view(piece, len))) {
                m.needsencoding = true;
                return;
            }
        }
        if (r == 0) return;
        linestart = r != 2;
    }
}

// One line of the text in place, up to its carriage return or the text's
// zero, passed over with what the pre-scan needs to know of it.
struct scannedline {
    std::size_t length = 0;
    bool kludge = false;
    bool eightbit = false;   // needs encoding
    bool linefeed = false;   // holds a line feed (after the one it may begin with)
    bool last = true;        // ended by the zero or the end of the file
};

scannedline passline(pktinput& in) {
    scannedline l;
    if (in.peekbyte() == '\n') in.getbyte();
    for (;;) {
        std::string_view w = in.buffered();
        if (w.empty()) return l;
        const void* cr = std::memchr(w.data(), '\r', w.size());
        std::size_t n = cr ? static_cast<std::size_t>(static_cast<const char*>(cr) - w.data()) : w.size();
        const void* zero = std::memchr(w.data(), 0, n);
        if (zero) n = static_cast<std::size_t>(static_cast<const char*>(zero) - w.data());
        std::string_view part = w.substr(0, n);
        if (l.length == 0 && n > 0) l.kludge = part[0] == KLUDGE;
        l.linefeed = l.linefeed || part.find('\n') != std::string_view::npos;
        l.eightbit = l.eightbit || needsencoding(part);
        l.length += n;
        in.advance(n);
        if (zero || cr) {
            l.last = zero != nullptr;
            in.advance(1);
            return l;
        }
    }
}
}  // namespace

// Line by line in place rather than piece by piece through a copy: the
// result is the same, since pieces differ from lines only where readasciicr
// passes over a line feed at the start of a piece - a line holding a line
// feed (other than one it begins with) sends the scan to the pieces.
int prescantext(pktinput& in, exportmsg& m) {
    long start = in.tell();
    m.empty = true;
    m.needsencoding = false;
    for (;;) {
        long linestart = in.tell();
        scannedline l = passline(in);
        if (l.linefeed) {
            if (in.seek(linestart) != 0) return -1;
            scanpieces(in, m);
            break;
        }
        if (l.length > 0 && !l.kludge) {
            m.empty = false;
            if (l.eightbit) {
                m.needsencoding = true;
                break;
            }
        }
        if (l.last) break;
    }
    // Text in a set like UTF-7 is plain ASCII until it is converted.
    if (m.statefulsource && !m.empty) m.needsencoding = true;
    return in.seek(start);
}

void appendbodyline(replymsg& out, const exportmsg& m, std::string_view text) {
    std::string line(text);
    if (m.convert && (!isplainascii(line) || m.statefulsource)) {
        std::string converted;
        if (convertcharset(line, m.sourcecharset, cfg.internetcharset.sv(), converted) == 0) {
            line.swap(converted);
        }
    }
    // A 7bit text must stay 7bit.
    if (!m.needsencoding) {
        for (char& c : line) {
            if (static_cast<unsigned char>(c) >= 0x80) c = '?';
        }
    }
    std::string block;
    if (m.needsencoding && cfg.useqp) {
        appendqp(block, line);
    } else {
        block.append(line).push_back('\n');
    }
    replyappend(out, block);
}

int writebody(pktinput& in, replymsg& out, const exportmsg& m) {
    bodywriter w{in, out, m};
    int res = w.run();
    w.flush();
    return res;
}

std::size_t wrapposition(std::string_view line, std::size_t width) {
    std::size_t top = line.size() < width ? line.size() : width;
    for (std::size_t p = top; p-- > WRAPMIN;) {
        if (iswhite(static_cast<unsigned char>(line[p]))) return p;
    }
    for (std::size_t p = top; p-- > WRAPMIN;) {
        unsigned char u = static_cast<unsigned char>(line[p]);
        if (u < 0x80 && !isalnumc(u)) return p;
    }
    return std::string::npos;
}

std::string quoteprefix(std::string_view line, const std::string& carried) {
    std::size_t gt = line.substr(0, 6).find('>');
    if (gt == std::string_view::npos || line.substr(0, 7).find('<') != std::string_view::npos) {
        return carried;
    }
    return std::string(line.substr(0, gt + 1)) + " ";
}

std::string qpencode(std::string_view line) {
    std::string out;
    appendqp(out, line);
    return out;
}

void appendqp(std::string& out, std::string_view line) {
    // Written in place: every byte takes at most three characters, and a
    // soft break "=\n" follows at least 73 of them.
    static constexpr char hex[] = "0123456789ABCDEF";
    std::size_t n = line.size();
    std::size_t old = out.size();
    out.resize(old + 3 * n + 2 * (3 * n / 73 + 1) + 1);
    char* o = out.data() + old;
    const auto* p = reinterpret_cast<const unsigned char*>(line.data());
    std::size_t col = 0;
    std::size_t i = 0;
    while (i < n) {
        // Most characters stand for themselves: a run of them (not the
        // line's last character) is copied in pieces that fit the line.
        std::size_t run = i;
        while (run + 1 < n && QPLITERAL[p[run]]) ++run;
        while (i < run) {
            if (col == QPLINEMAX - 1) {
                *o++ = '=';
                *o++ = '\n';
                col = 0;
            }
            std::size_t k = std::min(QPLINEMAX - 1 - col, run - i);
            std::memcpy(o, p + i, k);
            o += k;
            i += k;
            col += k;
        }
        if (i == n) break;
        unsigned char u = p[i];
        bool last = i + 1 == n;
        // A space at the end of a line would be lost to readers that strip it.
        bool literal = QPLITERAL[u] && !(last && u == ' ');
        std::size_t len = literal ? 1 : 3;
        // Room for the soft break "=" unless this token ends the line.
        std::size_t room = last ? QPLINEMAX : QPLINEMAX - 1;
        if (col + len > room) {
            *o++ = '=';
            *o++ = '\n';
            col = 0;
        }
        if (literal) {
            *o++ = static_cast<char>(u);
        } else {
            *o++ = '=';
            *o++ = hex[u >> 4];
            *o++ = hex[u & 15];
        }
        col += len;
        ++i;
    }
    *o++ = '\n';
    out.resize(static_cast<std::size_t>(o - out.data()));
}
