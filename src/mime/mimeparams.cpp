#include "mime/mimeparams.h"

#include <algorithm>
#include <map>

#include "base/codec.h"
#include "base/text.h"
#include "mime/charsets.h"
#include "mime/encodedword.h"

namespace {

constexpr int MAXPIECES = 256;  // continuation pieces of one parameter

bool isblank_(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

struct reader {
    std::string_view s;
    std::size_t i = 0;

    bool atend() const { return i >= s.size(); }
    void skipblanks() {
        for (;;) {
            while (i < s.size() && isblank_(s[i])) ++i;
            if (i >= s.size() || s[i] != '(') return;
            // A comment, nested ones included.
            int depth = 0;
            for (; i < s.size(); ++i) {
                if (s[i] == '\\') {
                    if (i + 1 < s.size()) ++i;
                } else if (s[i] == '(') {
                    ++depth;
                } else if (s[i] == ')' && --depth == 0) {
                    ++i;
                    break;
                }
            }
        }
    }
    // A token up to one of the stop characters or white space.
    std::string_view token(std::string_view stops) {
        std::size_t b = i;
        while (i < s.size() && !isblank_(s[i]) && stops.find(s[i]) == std::string_view::npos) ++i;
        return s.substr(b, i - b);
    }
    // A quoted string after its opening quote: backslashes escape.
    std::string quoted() {
        std::string v;
        ++i;
        while (i < s.size() && s[i] != '"') {
            if (s[i] == '\\' && i + 1 < s.size()) ++i;
            if (v.size() < MAXMIMEPARAMVALUE) v.push_back(s[i]);
            ++i;
        }
        if (i < s.size()) ++i;
        return v;
    }
    // An unquoted value: up to ";", blanks inside kept (name=My File.pdf,
    // as some programs write), trailing ones dropped.
    std::string bare() {
        std::size_t b = i;
        while (i < s.size() && s[i] != ';') ++i;
        std::size_t e = i;
        while (e > b && isblank_(s[e - 1])) --e;
        return std::string(s.substr(b, std::min(e - b, MAXMIMEPARAMVALUE)));
    }
};

// One piece of an RFC 2231 parameter: name*<index>[*]=value.
struct piece {
    int index = 0;
    bool encoded = false;
    std::string text;
};

std::string percentdecode(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && isxdigitc(static_cast<unsigned char>(s[i + 1])) &&
            isxdigitc(static_cast<unsigned char>(s[i + 2]))) {
            out.push_back(static_cast<char>(hexbyte(s.data() + i + 1)));
            i += 2;
        } else {
            out.push_back(s[i]);
        }
    }
    return out;
}

std::string asutf8(std::string_view bytes, std::string_view charset) {
    std::string out;
    if (isplainascii(bytes)) return std::string(bytes);
    if (charset.empty() || toutf8(bytes, charset, out) != 0) {
        out.clear();
        if (toutf8(bytes, guesscharset(bytes), out) != 0) out.assign(bytes);
    }
    return out;
}

// A plain value: encoded words in it decoded, raw 8-bit read as UTF-8 or
// windows-1252.
std::string plainvalue(std::string_view v) {
    if (isplainascii(v) && !hasencodedword(v)) return std::string(v);
    std::string out;
    (void)decodeencodedwords(v, out);
    return out;
}

// The RFC 2231 pieces of one name joined: charset and language from the
// first piece when it is encoded; encoded pieces percent-decoded.
std::string joinpieces(std::vector<piece>& pieces) {
    std::sort(pieces.begin(), pieces.end(),
              [](const piece& a, const piece& b) { return a.index < b.index; });
    std::string charset, bytes;
    for (std::size_t k = 0; k < pieces.size(); ++k) {
        piece& p = pieces[k];
        // Pieces must follow each other from 0; a gap ends the value.
        if (p.index != static_cast<int>(k)) break;
        std::string_view t = p.text;
        if (k == 0 && p.encoded) {
            std::size_t q1 = t.find('\''), q2 = q1 == std::string_view::npos ? q1 : t.find('\'', q1 + 1);
            if (q2 != std::string_view::npos) {
                charset = t.substr(0, q1);
                t = t.substr(q2 + 1);
            }
        }
        bytes += p.encoded ? percentdecode(t) : std::string(t);
        if (bytes.size() > MAXMIMEPARAMVALUE) bytes.resize(MAXMIMEPARAMVALUE);
    }
    return asutf8(bytes, charset);
}

void setparam(mimefield& f, std::string name, std::string value) {
    for (auto& p : f.params) {
        if (p.first == name) {
            p.second = std::move(value);
            return;
        }
    }
    if (f.params.size() < MAXMIMEPARAMS) f.params.emplace_back(std::move(name), std::move(value));
}

}  // namespace

const std::string* mimefield::param(std::string_view name) const {
    for (const auto& p : params) {
        if (p.first == name) return &p.second;
    }
    return nullptr;
}

mimefield parsemimefield(std::string_view value) {
    mimefield f;
    reader r{value};
    r.skipblanks();
    std::string type(r.token(";"));
    r.skipblanks();
    // "text / plain" is seen too.
    if (!r.atend() && r.s[r.i] == '/') {
        ++r.i;
        r.skipblanks();
        type += '/';
        type += r.token(";");
    }
    strlwr(type);
    f.value = type;
    std::map<std::string, std::vector<piece>> extended;
    while (!r.atend()) {
        if (r.s[r.i] != ';') {
            // Junk before the next parameter.
            std::size_t semi = r.s.find(';', r.i);
            if (semi == std::string_view::npos) break;
            r.i = semi;
        }
        ++r.i;
        r.skipblanks();
        std::string name(r.token("=;"));
        r.skipblanks();
        if (name.empty() || r.atend() || r.s[r.i] != '=') continue;
        ++r.i;
        r.skipblanks();
        std::string v = !r.atend() && r.s[r.i] == '"' ? r.quoted() : r.bare();
        r.skipblanks();
        strlwr(name);
        std::size_t star = name.find('*');
        if (star == std::string::npos) {
            // A plain value does not replace one in the RFC 2231 form.
            if (!extended.count(name)) setparam(f, name, plainvalue(v));
            continue;
        }
        std::string base = name.substr(0, star);
        std::string_view rest = std::string_view(name).substr(star + 1);
        piece p;
        p.text = std::move(v);
        if (rest.empty()) {  // name*=charset'lang'value
            p.encoded = true;
        } else {
            p.encoded = rest.back() == '*';
            if (p.encoded) rest.remove_suffix(1);
            int idx = 0;
            for (char c : rest) {
                if (!isdigitc(static_cast<unsigned char>(c)) || idx > MAXPIECES) {
                    idx = -1;
                    break;
                }
                idx = idx * 10 + (c - '0');
            }
            if (idx < 0 || idx >= MAXPIECES) continue;
            p.index = idx;
        }
        if (base.empty()) continue;
        std::vector<piece>& pieces = extended[base];
        if (pieces.size() < MAXPIECES) pieces.push_back(std::move(p));
    }
    for (auto& [base, pieces] : extended) setparam(f, base, joinpieces(pieces));
    return f;
}
