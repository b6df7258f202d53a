#include "mime/headerencode.h"

#include <algorithm>

#include "base/codec.h"
#include "base/text.h"
#include "mime/charsets.h"

namespace {

bool isspacec(char c) {
    return c == ' ';
}

// What may not stand in a header value: control characters but the tab
// (a line feed would start a header of its own), and DEL.
bool iscontrolbyte(char c) {
    unsigned char u = static_cast<unsigned char>(c);
    return (u < 0x20 && u != '\t') || u == 0x7F;
}

// The bytes Q writes as they are; the rest as "=XX", the blank as "_".
bool qliteral(unsigned char u, int spot) {
    if (spot == SPOT_PHRASE) {
        return isalnumc(u) || u == '!' || u == '*' || u == '+' || u == '-' || u == '/';
    }
    return u > 0x20 && u < 0x7F && u != '=' && u != '?' && u != '_';
}

std::size_t qcost(unsigned char u, int spot) {
    return u == ' ' || qliteral(u, spot) ? 1 : 3;
}

std::size_t qlength(std::string_view s, int spot) {
    std::size_t n = 0;
    for (char c : s) n += qcost(static_cast<unsigned char>(c), spot);
    return n;
}

std::size_t blength(std::size_t n) {
    return (n + 2) / 3 * 4;
}

void appendq(std::string& out, std::string_view s, int spot) {
    static constexpr char hex[] = "0123456789ABCDEF";
    for (char c : s) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u == ' ') {
            out += '_';
        } else if (qliteral(u, spot)) {
            out += c;
        } else {
            out += '=';
            out += hex[u >> 4];
            out += hex[u & 15];
        }
    }
}

void appendb(std::string& out, std::string_view s) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    for (std::size_t i = 0; i < s.size(); i += 3) {
        std::size_t k = std::min<std::size_t>(3, s.size() - i);
        unsigned b1 = p[i], b2 = k > 1 ? p[i + 1] : 0, b3 = k > 2 ? p[i + 2] : 0;
        out += MIMEALPHABET[b1 >> 2];
        out += MIMEALPHABET[((b1 & 3) << 4) | (b2 >> 4)];
        out += k > 1 ? MIMEALPHABET[((b2 & 15) << 2) | (b3 >> 6)] : '=';
        out += k > 2 ? MIMEALPHABET[b3 & 63] : '=';
    }
}

// How many bytes of s encode into at most room characters.
std::size_t bytesfitting(std::string_view s, long room, bool b, int spot) {
    if (room <= 0) return 0;
    if (b) return std::min(s.size(), static_cast<std::size_t>(room / 4 * 3));
    std::size_t used = 0, n = 0;
    while (n < s.size()) {
        std::size_t c = qcost(static_cast<unsigned char>(s[n]), spot);
        if (used + c > static_cast<std::size_t>(room)) break;
        used += c;
        ++n;
    }
    return n;
}

// The first character of s whole, when not even one fits a word.
std::size_t firstcharacter(std::string_view s, std::string_view charset) {
    for (std::size_t k = 1; k < s.size(); ++k) {
        if (ischarboundary(s, k, charset)) return k;
    }
    return s.size();
}

std::size_t columnof(const std::string& out) {
    std::size_t nl = out.rfind('\n');
    return nl == std::string::npos ? out.size() : out.size() - nl - 1;
}

// ASCII text as it stands, folded before a blank where a word would pass
// the fold column (the blank stays: unfolding gives the text back).
void appendliteral(std::string& out, std::size_t& col, std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        std::size_t wordstart = i;
        while (wordstart < s.size() && isspacec(s[wordstart])) ++wordstart;
        std::size_t end = wordstart;
        while (end < s.size() && !isspacec(s[end])) ++end;
        std::string_view piece = s.substr(i, end - i);
        if (wordstart > i && end > wordstart && col + piece.size() > HEADERLINEFOLD && col > 1) {
            out += '\n';
            col = 0;
        }
        out.append(piece);
        col += piece.size();
        i = end;
    }
}

bool istoken(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s) {
        unsigned char u = static_cast<unsigned char>(c);
        if (!isalnumc(u) && u != '-' && u != '_' && u != '.' && u != ':' && u != '+') return false;
    }
    return true;
}

bool haseightbit(std::string_view s) {
    return !isplainascii(s);
}

}  // namespace

std::string encodedcharset(std::string_view text, std::string_view label) {
    std::string name = mimecharsetname(label);
    if (!name.empty()) {
        if (!strieq(name, "US-ASCII")) return name;
    } else if (istoken(label)) {
        // A name ICU does not know is still the sender's: readers may.
        return std::string(label);
    }
    return std::string(guesscharset(text));
}

void appendencodedwords(std::string& out, std::size_t& col, std::string_view bytes,
                        std::string_view charset, bool b, int spot, bool blankfirst) {
    const std::size_t overhead = charset.size() + 7;  // "=?" cs "?X?" ... "?="
    bool blank = blankfirst;
    while (!bytes.empty()) {
        std::size_t used = col + (blank ? 1 : 0);
        std::size_t lineroom = used < HEADERLINEFOLD ? HEADERLINEFOLD - used : 0;
        long room = static_cast<long>(std::min(ENCODEDWORDMAX, lineroom)) -
                    static_cast<long>(overhead);
        std::size_t n = bytesfitting(bytes, room, b, spot);
        if (n < bytes.size()) n = charsetcut(bytes, n, charset);
        if (n == 0) {
            if (col > 1) {
                out += "\n ";
                col = 1;
                blank = false;
                continue;
            }
            n = firstcharacter(bytes, charset);
        }
        if (blank) {
            out += ' ';
            ++col;
        }
        std::size_t start = out.size();
        out.append("=?").append(charset).append(b ? "?B?" : "?Q?");
        if (b) {
            appendb(out, bytes.substr(0, n));
        } else {
            appendq(out, bytes.substr(0, n), spot);
        }
        out.append("?=");
        col += out.size() - start;
        bytes.remove_prefix(n);
        blank = true;
    }
}

void appendencoded(std::string& out, std::string_view value, std::string_view charset, int spot) {
    if (!haseightbit(value)) {
        // Every header has some of these: appended in place, no copy.
        std::size_t from = out.size();
        out.append(value);
        for (std::size_t i = from; i < out.size(); ++i) {
            if (iscontrolbyte(out[i])) out[i] = ' ';
        }
        return;
    }
    std::string clean(value);
    for (char& c : clean) {
        if (iscontrolbyte(c)) c = ' ';
    }
    std::string cs = encodedcharset(clean, charset);
    std::string_view v = clean;
    // Encoded: the words with 8-bit bytes, from the first to the last. The
    // text before them keeps its words up to the blank that parts them
    // from the first encoded word (further blanks there are encoded with
    // it); the text after them stays as it is.
    std::size_t literal = 0, first = 0, last = v.size();
    if (spot == SPOT_TEXT) {
        std::size_t eight = 0;
        while (static_cast<unsigned char>(v[eight]) < 0x80) ++eight;
        std::size_t sp = v.rfind(' ', eight);
        if (sp != std::string_view::npos) {
            literal = sp;
            while (literal > 0 && v[literal - 1] == ' ') --literal;
            first = literal == 0 ? 0 : literal + 1;
        }
        std::size_t lasteight = v.size() - 1;
        while (static_cast<unsigned char>(v[lasteight]) < 0x80) --lasteight;
        last = std::min(v.find(' ', lasteight), v.size());
        // Literal text that reads as an encoded word would be decoded too.
        if (v.substr(0, literal).find("=?") != std::string_view::npos ||
            v.substr(last).find("=?") != std::string_view::npos) {
            literal = first = 0;
            last = v.size();
        }
    }
    std::size_t col = columnof(out);
    appendliteral(out, col, v.substr(0, literal));
    std::string_view run = v.substr(first, last - first);
    bool b = blength(run.size()) < qlength(run, spot);
    appendencodedwords(out, col, run, cs, b, spot, literal > 0);
    appendliteral(out, col, v.substr(last));
}
