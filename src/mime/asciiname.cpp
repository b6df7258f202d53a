#include "mime/asciiname.h"

#include <unicode/translit.h>
#include <unicode/unistr.h>

#include "mime/charsets.h"

namespace {

// German first: a general rule would make "ü" a plain "u". The soft and
// hard signs have no letter of their own in an address.
constexpr char NAMERULES[] =
    ":: NFC;"
    "\xc3\x84 > Ae; \xc3\x96 > Oe; \xc3\x9c > Ue; \xc3\xa4 > ae; \xc3\xb6 > oe; \xc3\xbc > ue;"
    "\xc3\x9f > ss; \xe1\xba\x9e > SS;"
    "[\xd0\xac\xd1\x8c\xd0\xaa\xd1\x8a] > ;";
// Then Russian Cyrillic, the other scripts, and ASCII for what is left.
constexpr char NAMESCRIPTS[] = "NFC; [:Cyrillic:] Russian-Latin/BGN; Any-Latin; Latin-ASCII; NFKC; Latin-ASCII";

struct nametransliterators {
    icu::Transliterator* german = nullptr;
    icu::Transliterator* scripts = nullptr;
};

const nametransliterators& transliterators() {
    static nametransliterators t = [] {
        nametransliterators made;
        UErrorCode err = U_ZERO_ERROR;
        UParseError pe;
        made.german = icu::Transliterator::createFromRules(
            "PondLark-NameGerman", icu::UnicodeString::fromUTF8(NAMERULES), UTRANS_FORWARD, pe,
            err);
        if (U_FAILURE(err)) made.german = nullptr;
        err = U_ZERO_ERROR;
        made.scripts = icu::Transliterator::createInstance(
            icu::UnicodeString(NAMESCRIPTS, -1, US_INV), UTRANS_FORWARD, err);
        if (U_FAILURE(err)) made.scripts = nullptr;
        return made;
    }();
    return t;
}

}  // namespace

std::string asciiname(std::string_view text) {
    if (isplainascii(text)) return std::string(text);
    std::string utf8;
    if (isvalidutf8(text)) {
        utf8 = std::string(text);
    } else if (toutf8(text, "windows-1252", utf8) != 0) {
        utf8.clear();
    }
    icu::UnicodeString u = icu::UnicodeString::fromUTF8(utf8);
    const nametransliterators& t = transliterators();
    if (t.german) t.german->transliterate(u);
    if (t.scripts) t.scripts->transliterate(u);
    std::string done;
    u.toUTF8String(done);
    std::string out;
    for (char c : done) {
        if (static_cast<unsigned char>(c) < 0x80) out += c;
    }
    return out;
}
