#include "import/headertext.h"

#include <algorithm>

#include "config/fidocharset.h"
#include "mime/charsets.h"
#include "mime/encodedword.h"

namespace {

constexpr std::size_t MAXFIELD = 127;

// The character set a message names itself: its first charset parameter,
// when ICU knows it, it is more than ASCII, and text can be written in it:
// a wide or stateful set (UTF-16, UTF-7, ISO-2022) would let chosen
// characters become any byte. Else UTF-8.
std::string labelcharset() {
    std::string_view cs = curmsg.rfccharset.sv();
    std::string canonical = canonicalcharset(cs);
    if (canonical.empty() || canonical == canonicalcharset("US-ASCII") || !asciisafecharset(cs))
        return "UTF-8";
    return canonical;
}

// The text of field converted into the message's character set; false when
// it stays as it is.
bool converted(std::string_view field, const fieldtext& ft, std::string& out) {
    std::string_view source = field;
    int state = ft.state;
    // Classification may have put another text in (a name from AddrMap,
    // the quoted author, "All"): then the field is the source.
    if (ft.state != TEXT_PLAIN && cututf8(ft.full, MAXFIELD) == field) {
        source = ft.full;
    } else if (state == TEXT_UTF8 && !isvalidutf8(field)) {
        state = TEXT_RAW8;
    }
    if (isplainascii(source)) return false;
    if (state != TEXT_UTF8 && !curmsg.convertcharset) return false;  // labelled only
    std::string_view from = state == TEXT_UTF8 ? std::string_view("UTF-8") : guesscharset(source);
    out.clear();
    if (convertcharset(source, from, curmsg.outcharset, out) != 0) return false;
    out.resize(charsetcut(out, MAXFIELD, curmsg.outcharset));
    return true;
}

void swapfield(text128& field, const fieldtext& ft, bool raw) {
    if (ft.state != TEXT_UTF8) return;
    std::string_view decoded = cututf8(ft.full, MAXFIELD);
    std::string_view written = std::string_view(ft.raw).substr(0, std::min(ft.raw.size(), MAXFIELD));
    if (raw && field == decoded) field = written;
    if (!raw && field == written) field = decoded;
}

void convertfield(text128& field, const fieldtext& ft) {
    std::string out;
    if (converted(field.sv(), ft, out)) field = out;
}

}  // namespace

std::string_view cututf8(std::string_view text, std::size_t max) {
    return text.substr(0, charsetcut(text, max, "UTF-8"));
}

std::string decodeheadertext(std::string_view value, int& state) {
    if (!hasencodedword(value)) {
        state = isplainascii(value) ? TEXT_PLAIN : TEXT_RAW8;
        return std::string(value);
    }
    std::string out;
    if (decodeencodedwords(value, out) == 0) {
        state = isplainascii(value) ? TEXT_PLAIN : TEXT_RAW8;
        return std::string(value);
    }
    state = TEXT_UTF8;
    return out;
}

void choosefidocharset() {
    const fidocharsetdef* d = fidocharsetfor(curmsg.fidoareaname.sv());
    if (d) {
        curmsg.fidocharset = d->chrs();
        curmsg.outcharset = d->icuname;
        curmsg.convertcharset = 1;
        return;
    }
    curmsg.outcharset = labelcharset();
    curmsg.convertcharset = 0;
    // A message in a set that text is never written in is written in
    // UTF-8 (import/importtext.cpp converts its lines), and says so.
    std::string_view cs = curmsg.rfccharset.sv();
    if (!cs.empty() && charsetknown(cs) && !asciisafecharset(cs)) curmsg.fidocharset = "UTF-8 4";
}

void rawheaderfields(bool raw) {
    swapfield(curmsg.msgfromname, curmsg.fromnametext, raw);
    swapfield(curmsg.msgtoname, curmsg.tonametext, raw);
    swapfield(curmsg.msgreplyname, curmsg.replynametext, raw);
    swapfield(curmsg.msgsubj, curmsg.subjtext, raw);
    swapfield(curmsg.msgorganization, curmsg.orgtext, raw);
}

void convertheaderfields() {
    convertfield(curmsg.msgfromname, curmsg.fromnametext);
    convertfield(curmsg.msgtoname, curmsg.tonametext);
    convertfield(curmsg.msgreplyname, curmsg.replynametext);
    convertfield(curmsg.msgsubj, curmsg.subjtext);
    convertfield(curmsg.msgorganization, curmsg.orgtext);
    for (emailentry& e : curmsg.emaillist) {
        fieldtext ft;
        ft.state = e.namestate;
        std::string out;
        if (converted(e.name, ft, out)) e.name = out;
    }
}

std::string_view headerlinetext(std::string_view line, std::string& buf) {
    bool words = hasencodedword(line);
    bool eightbit = !isplainascii(line);
    if (!words && !eightbit) return line;
    buf.clear();
    std::string utf8;
    bool decoded = words && decodeencodedwords(line, utf8) > 0;
    if (!decoded && !(eightbit && curmsg.convertcharset)) return line;
    std::string_view source = decoded ? std::string_view(utf8) : line;
    std::string_view from = decoded ? std::string_view("UTF-8") : guesscharset(line);
    // The parse pass does not know the message's character set yet.
    std::string_view to = curmsg.outcharset.empty() ? std::string_view("UTF-8") : curmsg.outcharset;
    if (convertcharset(source, from, to, buf) != 0) return line;
    return buf;
}
