// The character-set identifiers of FidoNet's CHRS kludge and the sets ICU
// knows them by. Where two identifiers name one set, the first is the one
// written (CP437 rather than the older IBMPC, CP866 rather than +7_FIDO).
#include <string>
#include <string_view>

#include "base/text.h"
#include "mime/charsets.h"

namespace {

struct chrsname {
    const char* identifier;
    int level;
    const char* icuname;
};

constexpr chrsname chrsnames[] = {
    {"ASCII", 1, "US-ASCII"},
    {"CP437", 2, "ibm-437"},
    {"IBMPC", 2, "ibm-437"},
    {"CP850", 2, "ibm-850"},
    {"CP852", 2, "ibm-852"},
    {"CP855", 2, "ibm-855"},
    {"CP857", 2, "ibm-857"},
    {"CP858", 2, "ibm-858"},
    {"CP860", 2, "ibm-860"},
    {"CP861", 2, "ibm-861"},
    {"CP862", 2, "ibm-862"},
    {"CP863", 2, "ibm-863"},
    {"CP864", 2, "ibm-864"},
    {"CP865", 2, "ibm-865"},
    {"CP866", 2, "ibm-866"},
    // The Russian FidoNet name for CP866: read and written as CP866.
    {"+7_FIDO", 2, "ibm-866"},
    {"CP869", 2, "ibm-869"},
    {"CP1125", 2, "ibm-1125"},
    {"CP1250", 2, "windows-1250"},
    {"CP1251", 2, "windows-1251"},
    {"CP1252", 2, "windows-1252"},
    {"CP1253", 2, "windows-1253"},
    {"CP1254", 2, "windows-1254"},
    {"CP1255", 2, "windows-1255"},
    {"CP1256", 2, "windows-1256"},
    {"CP1257", 2, "windows-1257"},
    {"CP1258", 2, "windows-1258"},
    {"LATIN-1", 2, "ISO-8859-1"},
    {"LATIN-2", 2, "ISO-8859-2"},
    {"LATIN-3", 2, "ISO-8859-3"},
    {"LATIN-4", 2, "ISO-8859-4"},
    {"LATIN-5", 2, "ISO-8859-9"},
    {"LATIN-9", 2, "ISO-8859-15"},
    {"KOI8-R", 2, "KOI8-R"},
    {"KOI8-U", 2, "KOI8-U"},
    {"MAC", 2, "macintosh"},
    {"UTF-8", 4, "UTF-8"},
};

// The identifier without a level after it.
std::string_view identifierpart(std::string_view id) {
    while (!id.empty() && id.front() == ' ') id.remove_prefix(1);
    std::size_t sp = id.find_first_of(" \t");
    return sp == std::string_view::npos ? id : id.substr(0, sp);
}

const chrsname* findidentifier(std::string_view id) {
    id = identifierpart(id);
    for (const chrsname& c : chrsnames) {
        if (strieq(id, c.identifier)) return &c;
    }
    return nullptr;
}

}  // namespace

std::string fidocharsetname(std::string_view identifier) {
    if (const chrsname* c = findidentifier(identifier)) return canonicalcharset(c->icuname);
    return canonicalcharset(identifierpart(identifier));
}

std::string fidotointernet(std::string_view identifier) {
    std::string icu = fidocharsetname(identifier);
    return icu.empty() ? std::string() : mimecharsetname(icu);
}

std::string fidoidentifier(std::string_view identifier) {
    if (const chrsname* c = findidentifier(identifier)) return c->identifier;
    std::string id(identifierpart(identifier));
    if (!charsetknown(id)) return {};
    strupr(id);
    return id;
}

int fidocharsetlevel(std::string_view identifier) {
    if (const chrsname* c = findidentifier(identifier)) return c->level;
    return charsetknown(identifierpart(identifier)) ? 2 : 0;
}

std::string chrsforcharset(std::string_view name) {
    std::string canonical = canonicalcharset(name);
    if (canonical.empty()) return {};
    for (const chrsname& c : chrsnames) {
        if (canonicalcharset(c.icuname) == canonical)
            return std::string(c.identifier) + " " + std::to_string(c.level);
    }
    return {};
}
