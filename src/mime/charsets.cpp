#include "mime/charsets.h"

#include <unicode/normalizer2.h>
#include <unicode/translit.h>
#include <unicode/unorm2.h>
#include <unicode/ucnv.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/uset.h>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <vector>

#include "base/text.h"

namespace {

// Whether conversions may go through the tables below (tests switch them
// off to compare with ICU's own conversion).
bool tablesallowed = true;

// A single-byte set in tables, read from its ICU converter once: what
// each byte reads as, and which byte each character it holds is written
// as. The tables only repeat what ICU says for one character at a time,
// so that text is converted without ICU where that is all it would do.
struct bytetable {
    std::array<char32_t, 256> unicode{};  // the character a byte reads as
    std::array<bool, 256> simple{};       // it is that one character, normalized and alone
    std::array<std::array<char, 4>, 256> utf8{};  // that character in UTF-8
    std::array<unsigned char, 256> utf8len{};
    std::vector<std::int16_t> byte;       // BMP character -> the byte it is written as, -1: not held
    // Byte for byte into other single-byte sets (by their tables): the
    // byte of the target, -1 where the general way must go.
    std::vector<std::pair<const bytetable*, std::array<std::int16_t, 256>>> into;
};

// One character set as ICU opened it, kept for the run.
struct charsetinfo {
    UConverter* conv = nullptr;
    std::string canonical;         // ICU's name
    bool utf8 = false;
    bool singlebyte = false;       // every character is one byte
    bool asciicompatible = false;  // ASCII bytes are the same characters, in any state
    USet* holds = nullptr;         // what it holds both ways (filled when first needed)
    std::uint32_t c1 = 0;          // bytes 0x80..0x9F that read as C1 controls (bit 0: 0x80)
    bool realutf8 = false;         // UTF-8 itself (not CESU-8)
    std::unique_ptr<bytetable> table;  // single-byte sets: made when first needed
    bool tabletried = false;

    charsetinfo() = default;
    charsetinfo(const charsetinfo&) = delete;
    charsetinfo& operator=(const charsetinfo&) = delete;
    ~charsetinfo() {
        if (holds) uset_close(holds);
        if (conv) ucnv_close(conv);
    }
};

std::string_view stripname(std::string_view name) {
    while (!name.empty() && (name.front() == ' ' || name.front() == '\t')) name.remove_prefix(1);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.remove_suffix(1);
    while (name.size() > 1 && (name.front() == '"' || name.front() == '\'') &&
           name.back() == name.front())
        name = name.substr(1, name.size() - 2);
    return name;
}

// Stateful encodings give 7-bit bytes meanings of their own (ISO-2022-JP,
// UTF-7, HZ): their ASCII-looking text is no ASCII.
bool isstateful(UConverterType t) {
    switch (t) {
        case UCNV_ISO_2022:
        case UCNV_UTF7:
        case UCNV_HZ:
        case UCNV_SCSU:
        case UCNV_BOCU1:
        case UCNV_IMAP_MAILBOX:
        case UCNV_LMBCS_1:
        case UCNV_ISCII:
            return true;
        default:
            return false;
    }
}

bool passesascii(UConverter* conv) {
    char ascii[96];
    for (int i = 0; i < 95; ++i) ascii[i] = static_cast<char>(32 + i);
    ascii[95] = '\t';
    UErrorCode err = U_ZERO_ERROR;
    UChar wide[128];
    ucnv_resetToUnicode(conv);
    int32_t n = ucnv_toUChars(conv, wide, 128, ascii, 96, &err);
    if (U_FAILURE(err) || n != 96) return false;
    for (int i = 0; i < 96; ++i) {
        if (wide[i] != static_cast<unsigned char>(ascii[i])) return false;
    }
    return true;
}

// The bytes 0x80..0x9F that a single-byte set reads as C1 controls (all of
// them in the ISO 8859 sets, none in the DOS and Windows code pages).
std::uint32_t c1bytes(UConverter* conv) {
    std::uint32_t mask = 0;
    for (int b = 0x80; b < 0xA0; ++b) {
        char byte = static_cast<char>(b);
        UChar wide[2];
        UErrorCode err = U_ZERO_ERROR;
        ucnv_resetToUnicode(conv);
        int32_t n = ucnv_toUChars(conv, wide, 2, &byte, 1, &err);
        if (U_SUCCESS(err) && n == 1 && wide[0] >= 0x80 && wide[0] <= 0x9F)
            mask |= std::uint32_t{1} << (b - 0x80);
    }
    ucnv_resetToUnicode(conv);
    return mask;
}

// Names met so far, and the sets they name. Every name ICU knows shares
// the one converter of its set; names it does not know are remembered up
// to a limit, so that a hostile message naming thousands of made-up sets
// costs no memory.
struct charsetcache {
    std::unordered_map<std::string, charsetinfo*> names;  // null: unknown
    std::unordered_map<std::string, std::unique_ptr<charsetinfo>> sets;  // by ICU name
    std::size_t unknown = 0;
};
constexpr std::size_t MAXUNKNOWNNAMES = 256;

std::unique_ptr<charsetinfo> makecharset(UConverter* conv, const std::string& key) {
    auto info = std::make_unique<charsetinfo>();
    info->conv = conv;
    UErrorCode e2 = U_ZERO_ERROR;
    const char* name = ucnv_getName(conv, &e2);
    info->canonical = U_SUCCESS(e2) && name ? name : key;
    UConverterType type = ucnv_getType(conv);
    info->utf8 = type == UCNV_UTF8 || type == UCNV_CESU8;
    info->realutf8 = type == UCNV_UTF8;
    info->singlebyte = ucnv_getMaxCharSize(conv) == 1 && !isstateful(type);
    info->asciicompatible =
        ucnv_getMinCharSize(conv) == 1 && !isstateful(type) && passesascii(conv);
    if (info->singlebyte) info->c1 = c1bytes(conv);
    // What a target lacks is written "?", never the control character
    // SUB that some code pages would use.
    UErrorCode e3 = U_ZERO_ERROR;
    ucnv_setSubstChars(conv, "?", 1, &e3);
    ucnv_setFallback(conv, true);
    return info;
}

charsetinfo* opencharset(std::string_view given) {
    static charsetcache cache;
    // A conversion asks for the same few names line after line (the
    // message's set, the target's): the last four, as given, answer first.
    struct recent {
        std::string given;
        charsetinfo* info = nullptr;
        bool valid = false;
    };
    static recent last[4];
    static unsigned next = 0;
    for (const recent& r : last) {
        if (r.valid && given == r.given) return r.info;
    }
    std::string key(stripname(given));
    strlwr(key);
    // A name is printable ASCII; anything else names no set (and a zero
    // byte would cut it short for ICU).
    for (char c : key) {
        if (c <= ' ' || c >= 127) return nullptr;
    }
    auto it = cache.names.find(key);
    if (it != cache.names.end()) {
        recent& r = last[next++ % 4];
        r.given.assign(given);
        r.info = it->second;
        r.valid = true;
        return it->second;
    }
    // An empty name would open ICU's default converter.
    UErrorCode err = U_ZERO_ERROR;
    UConverter* conv = key.empty() ? nullptr : ucnv_open(key.c_str(), &err);
    if (conv && U_FAILURE(err)) {
        ucnv_close(conv);
        conv = nullptr;
    }
    if (!conv) {
        if (cache.unknown < MAXUNKNOWNNAMES) {
            ++cache.unknown;
            cache.names.emplace(key, nullptr);
        }
        return nullptr;
    }
    UErrorCode e2 = U_ZERO_ERROR;
    const char* name = ucnv_getName(conv, &e2);
    std::string canonical = U_SUCCESS(e2) && name ? name : key;
    auto set = cache.sets.find(canonical);
    charsetinfo* info;
    if (set != cache.sets.end()) {
        ucnv_close(conv);
        info = set->second.get();
    } else {
        info = cache.sets.emplace(canonical, makecharset(conv, key)).first->second.get();
    }
    cache.names.emplace(key, info);
    return info;
}

// What a set holds both ways - except the characters that it would write
// as a control byte (below 0x20, or 0x7F) without being controls
// themselves: some code pages give the control bytes pictures as well
// (a smiley for 0x01, a note for 0x0D), and those must never come back as
// the controls that a FidoNet reader obeys.
const USet* holdset(charsetinfo& cs) {
    if (!cs.holds) {
        UErrorCode err = U_ZERO_ERROR;
        cs.holds = uset_openEmpty();
        ucnv_getUnicodeSet(cs.conv, cs.holds, UCNV_ROUNDTRIP_SET, &err);
        if (cs.singlebyte) {
            for (int b = 0; b < 0x80; ++b) {
                if (b >= 0x20 && b != 0x7F) continue;
                char byte = static_cast<char>(b);
                UChar wide[2];
                UErrorCode e2 = U_ZERO_ERROR;
                ucnv_resetToUnicode(cs.conv);
                int32_t n = ucnv_toUChars(cs.conv, wide, 2, &byte, 1, &e2);
                if (U_SUCCESS(e2) && n == 1 && u_charType(wide[0]) != U_CONTROL_CHAR)
                    uset_remove(cs.holds, wide[0]);
            }
            ucnv_resetToUnicode(cs.conv);
        }
    }
    return cs.holds;
}

// Other scripts in Latin letters, accents and typographic signs in ASCII,
// then the compatibility forms ("TM" for the trade mark sign, "fi" for its
// ligature) and ASCII once more for what those gave.
constexpr char TRANSLITERATION[] = "Any-Latin; Latin-ASCII; NFKC; Latin-ASCII";

icu::Transliterator* transliterator() {
    static std::unique_ptr<icu::Transliterator> t = [] {
        UErrorCode err = U_ZERO_ERROR;
        std::unique_ptr<icu::Transliterator> made(icu::Transliterator::createInstance(
            icu::UnicodeString(TRANSLITERATION, -1, US_INV), UTRANS_FORWARD, err));
        if (U_FAILURE(err)) made.reset();
        return made;
    }();
    return t.get();
}

// Characters that may vanish in transliteration without loss: joiners,
// marks, controls.
bool isinvisible(UChar32 c) {
    int8_t t = u_charType(c);
    return t == U_FORMAT_CHAR || t == U_NON_SPACING_MARK || t == U_ENCLOSING_MARK ||
           t == U_CONTROL_CHAR;
}

// A transliteration grows a run at most this many times: a few signs spell
// out as whole words, which would let a message grow without bound.
constexpr int32_t MAXTRANSLITGROWTH = 4;

// What of text the target holds; every other visible character becomes
// "?" and the invisible ones go. The converter's own fallbacks are never
// asked: they write the pictures of control bytes as those bytes.
icu::UnicodeString heldonly(const icu::UnicodeString& text, const USet* holds) {
    icu::UnicodeString out;
    for (int32_t i = 0; i < text.length(); i = text.moveIndex32(i, 1)) {
        UChar32 c = text.char32At(i);
        if (uset_contains(holds, c)) {
            out.append(c);
        } else if (!isinvisible(c)) {
            out.append(u'?');
        }
    }
    return out;
}

// A run of characters the target lacks, in Latin letters where ICU knows
// them; what is visible and still lost becomes "?".
icu::UnicodeString translit(const icu::UnicodeString& run, const USet* holds) {
    icu::UnicodeString r(run);
    if (icu::Transliterator* t = transliterator()) t->transliterate(r);
    if (r.length() > MAXTRANSLITGROWTH * run.length() + MAXTRANSLITGROWTH) {
        // Character by character, each within the bound.
        r.remove();
        for (int32_t i = 0; i < run.length(); i = run.moveIndex32(i, 1)) {
            icu::UnicodeString one(run.char32At(i));
            icu::UnicodeString spelled(one);
            if (icu::Transliterator* t = transliterator()) t->transliterate(spelled);
            r.append(spelled.length() > MAXTRANSLITGROWTH ? one : spelled);
        }
    }
    if (r.isEmpty()) {
        for (int32_t i = 0; i < run.length(); i = run.moveIndex32(i, 1)) {
            if (!isinvisible(run.char32At(i))) return icu::UnicodeString(u'?');
        }
    }
    return heldonly(r, holds);
}

// The text with every run of characters that target cannot hold replaced
// by its transliteration.
icu::UnicodeString fitto(const icu::UnicodeString& u, charsetinfo& target) {
    const USet* holds = holdset(target);
    icu::UnicodeString out;
    int32_t i = 0, n = u.length();
    while (i < n) {
        UChar32 c = u.char32At(i);
        if (uset_contains(holds, c)) {
            out.append(c);
            i = u.moveIndex32(i, 1);
            continue;
        }
        int32_t j = i;
        while (j < n && !uset_contains(holds, u.char32At(j))) j = u.moveIndex32(j, 1);
        out.append(translit(u.tempSubStringBetween(i, j), holds));
        i = j;
    }
    return out;
}

icu::UnicodeString tounicode(std::string_view text, charsetinfo& from) {
    UErrorCode err = U_ZERO_ERROR;
    ucnv_resetToUnicode(from.conv);
    icu::UnicodeString u(text.data(), static_cast<int32_t>(text.size()), from.conv, err);
    if (U_FAILURE(err)) u.remove();
    UErrorCode nerr = U_ZERO_ERROR;
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(nerr);
    if (U_SUCCESS(nerr) && !nfc->isNormalized(u, nerr) && U_SUCCESS(nerr)) {
        UErrorCode e2 = U_ZERO_ERROR;
        icu::UnicodeString composed = nfc->normalize(u, e2);
        if (U_SUCCESS(e2)) u = composed;
    }
    return u;
}

void fromunicode(const icu::UnicodeString& u, charsetinfo& to, std::string& out) {
    if (to.utf8) {
        u.toUTF8String(out);
        return;
    }
    icu::UnicodeString fitted = fitto(u, to);
    ucnv_resetFromUnicode(to.conv);
    UErrorCode err = U_ZERO_ERROR;
    int32_t need = fitted.extract(nullptr, 0, to.conv, err);
    if (err != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(err)) return;
    std::size_t old = out.size();
    out.resize(old + static_cast<std::size_t>(need) + 1);
    err = U_ZERO_ERROR;
    ucnv_resetFromUnicode(to.conv);
    int32_t got = fitted.extract(out.data() + old, need + 1, to.conv, err);
    out.resize(old + (U_FAILURE(err) ? 0 : static_cast<std::size_t>(got)));
}

// Whether a character is in composed form whatever stands around it: text
// of such characters only is left as it is by the composition that text
// read into Unicode goes through.
bool composedalone(UChar32 c) {
    return c < 0x300 || (u_getCombiningClass(c) == 0 &&
                         u_getIntPropertyValue(c, UCHAR_NFC_QUICK_CHECK) == UNORM_YES);
}

void appendutf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// The tables of a single-byte set, made on first use; null when the set is
// none or ICU converts some character it holds otherwise than byte for
// character (then ICU converts all of its text).
bytetable* tableof(charsetinfo& cs) {
    if (cs.tabletried) return cs.table.get();
    cs.tabletried = true;
    if (!cs.singlebyte) return nullptr;
    auto t = std::make_unique<bytetable>();
    for (int b = 0; b < 256; ++b) {
        char byte = static_cast<char>(b);
        UChar wide[4];
        UErrorCode err = U_ZERO_ERROR;
        ucnv_resetToUnicode(cs.conv);
        int32_t n = ucnv_toUChars(cs.conv, wide, 4, &byte, 1, &err);
        if (U_SUCCESS(err) && n == 1 && !U16_IS_SURROGATE(wide[0])) {
            t->unicode[b] = wide[0];
            t->simple[b] = composedalone(wide[0]);
            std::string u;
            appendutf8(u, wide[0]);
            std::memcpy(t->utf8[b].data(), u.data(), u.size());
            t->utf8len[b] = static_cast<unsigned char>(u.size());
        }
    }
    ucnv_resetToUnicode(cs.conv);
    // Every character the set holds (see holdset) and the byte ICU writes
    // it as; the characters it lacks are transliterated first.
    const USet* holds = holdset(cs);
    t->byte.assign(0x10000, -1);
    int32_t items = uset_getItemCount(holds);
    for (int32_t i = 0; i < items; ++i) {
        UChar32 start = 0, end = -1;
        UErrorCode err = U_ZERO_ERROR;
        if (uset_getItem(holds, i, &start, &end, nullptr, 0, &err) != 0) continue;  // a string
        if (U_FAILURE(err)) return nullptr;
        for (UChar32 c = start; c <= end; ++c) {
            if (c > 0xFFFF || U_IS_SURROGATE(c)) return nullptr;
            UChar one = static_cast<UChar>(c);
            char bytes[8];
            UErrorCode e2 = U_ZERO_ERROR;
            ucnv_resetFromUnicode(cs.conv);
            int32_t n = ucnv_fromUChars(cs.conv, bytes, sizeof bytes, &one, 1, &e2);
            if (U_FAILURE(e2) || n != 1) return nullptr;
            t->byte[static_cast<std::size_t>(c)] = static_cast<unsigned char>(bytes[0]);
        }
    }
    ucnv_resetFromUnicode(cs.conv);
    cs.table = std::move(t);
    return cs.table.get();
}

int heldbyte(const bytetable& t, char32_t c) {
    return c < 0x10000 ? t.byte[c] : -1;
}

// Well-formed UTF-8 (as isvalidutf8) read character by character into
// put, each composed alone (composedalone); false for anything else and
// when put fails.
template <typename Put>
bool readutf8(std::string_view text, Put&& put) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    std::size_t n = text.size(), i = 0;
    while (i < n) {
        unsigned char c = p[i];
        if (c < 0x80) {
            if (!put(c)) return false;
            ++i;
            continue;
        }
        std::size_t len;
        unsigned lo = 0x80, hi = 0xBF;
        char32_t v;
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
            v = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            v = c & 0x0F;
            if (c == 0xE0) lo = 0xA0;
            if (c == 0xED) hi = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            v = c & 0x07;
            if (c == 0xF0) lo = 0x90;
            if (c == 0xF4) hi = 0x8F;
        } else {
            return false;
        }
        if (i + len > n || p[i + 1] < lo || p[i + 1] > hi) return false;
        for (std::size_t k = 1; k < len; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) return false;
            v = (v << 6) | (p[i + k] & 0x3F);
        }
        if (!composedalone(static_cast<UChar32>(v)) || !put(v)) return false;
        i += len;
    }
    return true;
}

// The conversion of convertcharset without ICU where ICU would do no more
// than read and write characters one by one: from a single-byte set or
// well-formed UTF-8, into UTF-8 or a single-byte set, for text already in
// composed form. Only the characters the target lacks go to the
// transliteration, run by run as fitto hands them. False (out unchanged)
// when ICU must convert the text.
bool tableconvert(std::string_view text, charsetinfo& from, charsetinfo& to, std::string& out) {
    if (!tablesallowed) return false;
    bytetable* ft = nullptr;
    if (from.singlebyte) {
        ft = tableof(from);
        if (!ft) return false;
    } else if (!from.realutf8) {
        return false;
    }
    const bytetable* tt = nullptr;
    if (!to.utf8) {
        if (!to.singlebyte) return false;
        tt = tableof(to);
        if (!tt) return false;
    }
    std::size_t old = out.size();
    out.reserve(old + text.size() + text.size() / 4);
    icu::UnicodeString run;  // characters the target lacks, not yet written
    auto flush = [&]() {
        if (run.isEmpty()) return true;
        icu::UnicodeString spelled = translit(run, holdset(to));
        run.remove();
        for (int32_t k = 0; k < spelled.length(); k = spelled.moveIndex32(k, 1)) {
            int b = heldbyte(*tt, static_cast<char32_t>(spelled.char32At(k)));
            if (b < 0) return false;
            out.push_back(static_cast<char>(b));
        }
        return true;
    };
    auto put = [&](char32_t c) {
        if (!tt) {
            appendutf8(out, c);
            return true;
        }
        int b = heldbyte(*tt, c);
        if (b < 0) {
            run.append(static_cast<UChar32>(c));
            return true;
        }
        if (!flush()) return false;
        out.push_back(static_cast<char>(b));
        return true;
    };
    bool done = true;
    if (ft && !tt) {
        // Byte by byte into UTF-8: the commonest way, from FidoNet text.
        std::size_t at = old;
        out.resize(old + 3 * text.size() + 1);  // room for the last 4-byte copy
        for (char ch : text) {
            auto b = static_cast<unsigned char>(ch);
            if (!ft->simple[b]) {
                out.resize(old);
                return false;
            }
            std::memcpy(out.data() + at, ft->utf8[b].data(), 4);
            at += ft->utf8len[b];
        }
        out.resize(at);
        return true;
    }
    if (ft && tt) {
        // Byte for byte, as long as every byte is one the target holds.
        const std::array<std::int16_t, 256>* direct = nullptr;
        for (const auto& [target, map] : ft->into) {
            if (target == tt) direct = &map;
        }
        if (!direct) {
            std::array<std::int16_t, 256> map{};
            for (int b = 0; b < 256; ++b)
                map[b] = ft->simple[b] ? static_cast<std::int16_t>(heldbyte(*tt, ft->unicode[b])) : -1;
            ft->into.emplace_back(tt, map);
            direct = &ft->into.back().second;
        }
        out.resize(old + text.size());
        char* w = out.data() + old;
        bool all = true;
        for (char ch : text) {
            std::int16_t v = (*direct)[static_cast<unsigned char>(ch)];
            if (v < 0) {
                all = false;
                break;
            }
            *w++ = static_cast<char>(v);
        }
        if (all) return true;
        out.resize(old);
    }
    if (ft) {
        for (char ch : text) {
            auto b = static_cast<unsigned char>(ch);
            if (!ft->simple[b] || !put(ft->unicode[b])) {
                done = false;
                break;
            }
        }
    } else {
        done = readutf8(text, put);
    }
    if (done && flush()) return true;
    out.resize(old);
    return false;
}

std::size_t utf8cut(std::string_view text, std::size_t max) {
    std::size_t n = max;
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    return n;
}

// Offsets of the characters of a multi-byte set, from the start, up to pos:
// the last boundary at or before pos.
std::size_t lastboundary(std::string_view text, std::size_t pos, charsetinfo& cs) {
    ucnv_resetToUnicode(cs.conv);
    const char* start = text.data();
    const char* p = start;
    const char* end = start + text.size();
    std::size_t last = 0;
    while (p < end) {
        UErrorCode err = U_ZERO_ERROR;
        ucnv_getNextUChar(cs.conv, &p, end, &err);
        if (U_FAILURE(err) && p == start + last) ++p;  // never stand still
        std::size_t at = static_cast<std::size_t>(p - start);
        if (at > pos) break;
        last = at;
    }
    return last;
}

}  // namespace

bool charsetknown(std::string_view name) {
    return opencharset(name) != nullptr;
}

bool hidesascii(std::string_view name) {
    charsetinfo* cs = opencharset(name);
    return cs && !cs->asciicompatible;
}

std::string canonicalcharset(std::string_view name) {
    charsetinfo* cs = opencharset(name);
    return cs ? cs->canonical : std::string();
}

std::string mimecharsetname(std::string_view name) {
    charsetinfo* cs = opencharset(name);
    if (!cs) return {};
    for (const char* standard : {"MIME", "IANA"}) {
        UErrorCode err = U_ZERO_ERROR;
        const char* s = ucnv_getStandardName(cs->canonical.c_str(), standard, &err);
        if (U_SUCCESS(err) && s && *s) return s;
    }
    return cs->canonical;
}

bool asciisafecharset(std::string_view name) {
    charsetinfo* cs = opencharset(name);
    return cs && cs->asciicompatible;
}

bool isasciicharset(std::string_view name) {
    static charsetinfo* ascii = opencharset("US-ASCII");
    charsetinfo* cs = opencharset(name);
    return cs && cs == ascii;
}

bool isutf8charset(std::string_view name) {
    charsetinfo* cs = opencharset(name);
    return cs && cs->utf8;
}

std::uint32_t charsetc1bytes(std::string_view name) {
    charsetinfo* cs = opencharset(name);
    return cs ? cs->c1 : 0;
}

bool isplainascii(std::string_view text) {
    // Many bytes at a time: most text is long and plain.
    const char* p = text.data();
    std::size_t n = text.size(), i = 0;
#ifdef __SSE2__
    for (; i + 16 <= n; i += 16) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        if (_mm_movemask_epi8(a) != 0) return false;
    }
#endif
    std::uint64_t any = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, p + i, 8);
        any |= w;
    }
    if (i < n && n >= 8) {
        // The last bytes as the last eight: some are looked at twice.
        std::uint64_t w;
        std::memcpy(&w, p + n - 8, 8);
        any |= w;
    } else {
        for (; i < n; ++i) any |= static_cast<unsigned char>(p[i]);
    }
    return (any & 0x8080808080808080ULL) == 0;
}

bool isvalidutf8(std::string_view text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    std::size_t n = text.size(), i = 0;
    while (i < n) {
        unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        std::size_t len;
        unsigned lo = 0x80, hi = 0xBF;  // range of the second byte
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            if (c == 0xE0) lo = 0xA0;
            if (c == 0xED) hi = 0x9F;  // no surrogates
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            if (c == 0xF0) lo = 0x90;
            if (c == 0xF4) hi = 0x8F;
        } else {
            return false;
        }
        if (i + len > n || p[i + 1] < lo || p[i + 1] > hi) return false;
        for (std::size_t k = 2; k < len; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) return false;
        }
        i += len;
    }
    return true;
}

std::string_view guesscharset(std::string_view text) {
    return isvalidutf8(text) ? "UTF-8" : "windows-1252";
}

int convertcharset(std::string_view text, std::string_view from, std::string_view to,
                   std::string& out) {
    charsetinfo* f = opencharset(from);
    charsetinfo* t = opencharset(to);
    if (!f || !t) return -1;
    if (f->asciicompatible && t->asciicompatible && isplainascii(text)) {
        out.append(text);
        return 0;
    }
    // The same single-byte set both sides: nothing to do. UTF-8 is passed
    // on only when it is well-formed.
    if (f->canonical == t->canonical && (f->singlebyte || (f->utf8 && isvalidutf8(text)))) {
        out.append(text);
        return 0;
    }
    if (tableconvert(text, *f, *t, out)) return 0;
    fromunicode(tounicode(text, *f), *t, out);
    return 0;
}

int toutf8(std::string_view text, std::string_view from, std::string& out) {
    return convertcharset(text, from, "UTF-8", out);
}

int fromutf8(std::string_view utf8, std::string_view to, std::string& out) {
    return convertcharset(utf8, "UTF-8", to, out);
}

void allowcharsettables(bool on) {
    tablesallowed = on;
}

int charsettablebyte(std::string_view charset, char32_t c) {
    charsetinfo* cs = opencharset(charset);
    const bytetable* t = cs ? tableof(*cs) : nullptr;
    return t ? heldbyte(*t, c) : -2;
}

std::size_t charsetcut(std::string_view text, std::size_t max, std::string_view charset) {
    if (text.size() <= max) return text.size();
    charsetinfo* cs = charset.empty() ? nullptr : opencharset(charset);
    if (!cs) return isvalidutf8(text) ? utf8cut(text, max) : max;
    if (cs->utf8) return utf8cut(text, max);
    if (cs->singlebyte) return max;
    return lastboundary(text, max, *cs);
}

bool ischarboundary(std::string_view text, std::size_t pos, std::string_view charset) {
    if (pos == 0 || pos >= text.size()) return true;
    charsetinfo* cs = charset.empty() ? nullptr : opencharset(charset);
    bool utf8 = cs ? cs->utf8 : isvalidutf8(text);
    if (utf8) return (static_cast<unsigned char>(text[pos]) & 0xC0) != 0x80;
    if (!cs || cs->singlebyte) return true;
    return lastboundary(text, pos, *cs) == pos;
}
