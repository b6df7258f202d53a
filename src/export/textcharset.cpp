#include "export/textcharset.h"

#include "base/text.h"
#include "config/settings.h"
#include "config/tables.h"
#include "import/curmsg.h"
#include "mime/charsets.h"
#include "mime/headerencode.h"

namespace {

// The label as DefCharSet and CharSetMap give it.
void labelcharset() {
    curmsg.rfccharset = cfg.defcharset.sv();
    if (curmsg.fidocharset.empty()) return;
    for (const charsetentry& c : tables.charsetmap) {
        if (c.direction != DIR_IMPORT && istartswith(c.fidoname, curmsg.fidocharset.sv())) {
            curmsg.rfccharset = c.rfcname;
            return;
        }
    }
}

// The charset the message's own kludges name: CHRS, else CHARSET, else
// CODEPAGE.
std::string messagecharset(const exportmsg& m) {
    for (std::string_view k : {curmsg.fidocharset.sv(), std::string_view(m.charsetkludge),
                               std::string_view(m.codepagekludge)}) {
        std::string name = kludgecharset(k);
        if (!name.empty()) return name;
    }
    return {};
}

}  // namespace

std::string kludgecharset(std::string_view value) {
    std::string id(value);
    trim(id);
    for (char& c : id) {
        if (c == '#') c = ' ';
    }
    if (id.empty()) return {};
    // CODEPAGE gives the number of an IBM code page.
    if (id.find_first_not_of("0123456789") == std::string::npos) id = "CP" + id;
    return fidocharsetname(id);
}

void choosecharset(exportmsg& m) {
    m.convert = false;
    m.statefulsource = false;
    m.sourcecharset.clear();
    const fidocharsetdef* def = fidocharsetfor(curmsg.fidoareaname.sv());
    if (!def) {
        labelcharset();
        // A label under which a reader would find line ends and "." lines
        // that the bytes do not show is never sent: the text is converted
        // from it, whatever UseQP says.
        if (!hidesascii(curmsg.rfccharset.sv())) return;
        m.sourcecharset = curmsg.rfccharset.str();
    } else {
        std::string source = messagecharset(m);
        m.sourcecharset = source.empty() ? def->icuname : source;
    }
    m.convert = true;
    m.statefulsource = hidesascii(m.sourcecharset);
    curmsg.rfccharset = cfg.internetcharset.sv();
}

std::string fidotextcharset(const exportmsg& m, std::string_view text) {
    if (m.convert) return m.sourcecharset;
    std::string label = mimecharsetname(curmsg.rfccharset.sv());
    if (!label.empty() && !strieq(label, "US-ASCII")) return label;
    return std::string(guesscharset(text));
}

std::string fidotextutf8(std::string_view text, const exportmsg& m) {
    if (isplainascii(text) && !m.statefulsource) return std::string(text);
    std::string out;
    if (toutf8(text, fidotextcharset(m, text), out) != 0) {
        out.clear();
        if (toutf8(text, guesscharset(text), out) != 0) out = std::string(text);
    }
    return out;
}

void appendfidotext(std::string& h, std::string_view value, const exportmsg& m, int spot) {
    if ((isplainascii(value) && !m.statefulsource) || !m.convert) {
        appendencoded(h, value, curmsg.rfccharset.sv(), spot);
        return;
    }
    appendencoded(h, fidotextutf8(value, m), "UTF-8", spot);
}
