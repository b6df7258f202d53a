#include "mime/encodedword.h"

#include "base/codec.h"
#include "base/text.h"
#include "mime/charsets.h"

namespace {

bool isspace_(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// "=?charset?X?text?=" at the start of v: charset (without a language),
// the encoded text and the length taken. Nothing blank or "?" inside the
// charset, nothing blank inside the text.
struct wordparts {
    std::string_view charset;
    char encoding = 0;
    std::string_view text;
    std::size_t length = 0;
};

bool splitword(std::string_view v, wordparts& w) {
    if (v.size() < 8 || v[0] != '=' || v[1] != '?') return false;
    std::size_t q1 = v.find('?', 2);
    if (q1 == std::string_view::npos || q1 == 2 || q1 + 3 > v.size() || v[q1 + 2] != '?')
        return false;
    std::string_view cs = v.substr(2, q1 - 2);
    for (char c : cs) {
        if (isspace_(c) || c == '=') return false;
    }
    char enc = static_cast<char>(upperc(static_cast<unsigned char>(v[q1 + 1])));
    if (enc != 'B' && enc != 'Q') return false;
    std::size_t tstart = q1 + 3;
    std::size_t end = v.find("?=", tstart);
    if (end == std::string_view::npos) return false;
    std::string_view text = v.substr(tstart, end - tstart);
    for (char c : text) {
        if (isspace_(c)) return false;
    }
    std::size_t star = cs.find('*');
    w.charset = star == std::string_view::npos ? cs : cs.substr(0, star);
    w.encoding = enc;
    w.text = text;
    w.length = end + 2;
    return !w.charset.empty();
}

bool decodeb(std::string_view text, std::string& out) {
    unsigned acc = 0;
    int bits = 0;
    for (char c : text) {
        if (c == '=') break;
        int v = c == '-' ? -1 : mimevalue(static_cast<unsigned char>(c));
        if (v < 0) return false;
        acc = (acc << 6) | static_cast<unsigned>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<char>((acc >> bits) & 0xFF));
        }
    }
    return true;
}

void decodeq(std::string_view text, std::string& out) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '_') {
            out.push_back(' ');
        } else if (c == '=' && i + 2 < text.size() &&
                   isxdigitc(static_cast<unsigned char>(text[i + 1])) &&
                   isxdigitc(static_cast<unsigned char>(text[i + 2]))) {
            out.push_back(static_cast<char>(hexbyte(text.data() + i + 1)));
            i += 2;
        } else {
            out.push_back(c);
        }
    }
}

// Text outside encoded words.
void appendraw(std::string_view s, std::string& out) {
    if (isplainascii(s) || toutf8(s, guesscharset(s), out) != 0) out.append(s);
}

// Encoded words next to each other in one charset, not yet converted.
struct pendingwords {
    std::string charset;
    std::string bytes;
    std::string_view written;  // as they stand in the value, for a charset ICU lacks
    int count = 0;

    bool empty() const { return count == 0; }
};

int flush(pendingwords& p, std::string& out) {
    if (p.empty()) return 0;
    int decoded = 0;
    if (toutf8(p.bytes, p.charset, out) == 0) {
        decoded = p.count;
    } else {
        appendraw(p.written, out);
    }
    p = pendingwords{};
    return decoded;
}

bool onlyblanks(std::string_view s) {
    for (char c : s) {
        if (!isspace_(c)) return false;
    }
    return true;
}

void blankcontrols(std::string& s, std::size_t from) {
    for (std::size_t i = from; i < s.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 32 || c == 127) s[i] = ' ';
    }
}

}  // namespace

int decodeencodedwords(std::string_view value, std::string& out) {
    std::size_t start = out.size();
    pendingwords pend;
    int decoded = 0;
    std::size_t i = 0;
    const char* base = value.data();
    while (i < value.size()) {
        std::size_t at = value.find("=?", i);
        if (at == std::string_view::npos) break;
        wordparts w;
        std::string bytes;
        bool ok = splitword(value.substr(at), w);
        if (ok) {
            if (w.encoding == 'B') {
                ok = decodeb(w.text, bytes);
            } else {
                decodeq(w.text, bytes);
            }
        }
        if (!ok) {
            decoded += flush(pend, out);
            appendraw(value.substr(i, at + 2 - i), out);
            i = at + 2;
            continue;
        }
        std::string_view gap = value.substr(i, at - i);
        bool joins = !pend.empty() && onlyblanks(gap);
        if (!joins) {
            decoded += flush(pend, out);
            appendraw(gap, out);
        }
        if (!pend.empty() && !strieq(pend.charset, w.charset)) decoded += flush(pend, out);
        if (pend.empty()) {
            pend.charset = w.charset;
            pend.written = std::string_view(base + at, w.length);
        } else {
            pend.written = std::string_view(pend.written.data(),
                                            static_cast<std::size_t>(base + at + w.length -
                                                                     pend.written.data()));
        }
        pend.bytes += bytes;
        ++pend.count;
        i = at + w.length;
    }
    decoded += flush(pend, out);
    if (i < value.size()) appendraw(value.substr(i), out);
    blankcontrols(out, start);
    return decoded;
}
