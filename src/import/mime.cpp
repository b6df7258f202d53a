#include "import/mime.h"

#include <cstring>

#include "base/codec.h"
#include "base/text.h"
#include "import/curmsg.h"
#include "mime/mimeparams.h"

namespace {
// Longest charset name kept (the field holds 127 characters).
constexpr std::size_t MAXCHARSET = 127;

bool isblank(char c) {
    return iswhite(static_cast<unsigned char>(c));
}

void droptrailingwhite(std::string& s) {
    while (!s.empty() && isblank(s.back())) s.pop_back();
}

// The value of a header line after its name: leading white space skipped.
std::string_view headervalue(std::string_view line, std::size_t namelen) {
    std::string_view v = line.substr(namelen);
    while (!v.empty() && isblank(v.front())) v.remove_prefix(1);
    return v;
}

// charset= runs to the next ";", quotes and all.
void takecharset(std::string_view rest) {
    if (!curmsg.rfccharset.empty()) return;
    std::size_t b = 0;
    while (b < rest.size() && isblank(rest[b])) ++b;
    std::size_t e = rest.find(';', b);
    if (e == std::string_view::npos) e = rest.size();
    std::string cs(rest.substr(b, std::min(e - b, MAXCHARSET)));
    droptrailingwhite(cs);
    curmsg.rfccharset = cs;
}

// Every position of the line is tried, so a parameter is found wherever it
// stands; a value found is skipped, so that nothing inside it (a quoted
// file name holding "name=") counts as a parameter of its own.
void scanparameters(std::string_view line, mimestate& m) {
    static constexpr std::string_view charset = "charset=";
    // Every parameter name ends in "=", at one of these offsets from its
    // start: positions that no "=" follows there cannot start one.
    static constexpr std::size_t NEAREST = 4, FARTHEST = 8;  // "name=", "boundary="
    std::string value;
    std::size_t i = 0;
    while (i < line.size()) {
        if (i + NEAREST >= line.size()) break;
        const void* eq = std::memchr(line.data() + i + NEAREST, '=', line.size() - i - NEAREST);
        if (!eq) break;
        std::size_t at_eq = static_cast<std::size_t>(static_cast<const char*>(eq) - line.data());
        if (at_eq - i > FARTHEST) i = at_eq - FARTHEST;
        std::string_view at = line.substr(i);
        std::size_t used;
        // "filename=" ends in "name=" and is found through it.
        if ((used = mimeparameter(at, "name=", MAXFILENAME, value)) != 0) {
            m.filename = value;
        } else if (m.boundary.empty() &&
                   (used = mimeparameter(at, "boundary=", MAXBOUNDARY, value)) != 0) {
            m.boundary = value;
        } else if (istartswith(at, charset)) {
            takecharset(at.substr(charset.size()));
            used = charset.size();
        } else {
            used = 1;
        }
        i += used;
    }
}
}  // namespace

std::size_t mimeparameter(std::string_view text, std::string_view param, std::size_t max,
                          std::string& value) {
    if (!istartswith(text, param)) return 0;
    std::string_view rest = text.substr(param.size());
    std::size_t b = 0, e, used;
    if (!rest.empty() && rest.front() == '"') {
        b = 1;
        while (b < rest.size() && isblank(rest[b])) ++b;
        e = rest.find('"', b);
        if (e == std::string_view::npos) e = rest.size();
        used = std::min(e + 1, rest.size());
    } else {
        // Unquoted, as RFC 2045 allows for tokens: boundary=abc; name=x.zip
        e = b;
        while (e < rest.size() && rest[e] != ';' && !isblank(rest[e])) ++e;
        used = e;
    }
    value.assign(rest.substr(b, std::min(e - b, max)));
    droptrailingwhite(value);
    return param.size() + used;
}

void mimeheaderline(std::string_view line, mimestate& m) {
    static constexpr std::string_view contenttype = "Content-Type:";
    static constexpr std::string_view contentcte = "Content-Transfer-Encoding:";
    static constexpr std::string_view contentdisp = "Content-Disposition:";
    // Most lines are text: only a line starting with "C" can be a MIME header.
    bool maybeheader = !line.empty() && lowerc(static_cast<unsigned char>(line[0])) == 'c';
    if (!maybeheader) {
        if (m.paramscan) scanparameters(line, m);
        return;
    }
    if (istartswith(line, "Content-")) m.paramscan = 1;
    bool type = istartswith(line, contenttype);
    bool disposition = !type && istartswith(line, contentdisp);
    std::string before;
    if (type && m.namefromdisposition) before = m.filename;
    if (m.paramscan) scanparameters(line, m);
    // Only a field that names a file is read whole (most name none).
    if ((type || disposition) && substrcmp("name", line)) {
        // The name as its field writes it, decoded: a scan for name= alone
        // would take "=?UTF-8?B?...?=" or an RFC 2231 piece for the name.
        mimefield f = parsemimefield(headervalue(line, type ? contenttype.size() : contentdisp.size()));
        const std::string* name = f.param(disposition ? "filename" : "name");
        if (type && m.namefromdisposition) {
            m.filename = before;
        } else if (name && !name->empty()) {
            m.filename = name->substr(0, MAXFILENAME);
            if (disposition) m.namefromdisposition = 1;
        }
    }
    if (type) {
        if (curmsg.mimetype.empty()) curmsg.mimetype = headervalue(line, contenttype.size());
    } else if (istartswith(line, contentcte)) {
        std::string_view v = headervalue(line, contentcte.size());
        m.qp = 0;
        if (curmsg.mimecte.empty()) curmsg.mimecte = v;
        if (substrcmp("base64", v)) m.base64pending = 1;
        if (substrcmp("quoted-printable", v)) m.qp = 1;
    }
}

bool isboundaryline(std::string_view line, std::string_view boundary, bool& closing) {
    closing = false;
    if (boundary.empty() || line.size() < boundary.size() + 2) return false;
    if (line[0] != '-' || line[1] != '-' || line.substr(2, boundary.size()) != boundary)
        return false;
    closing = line.substr(2 + boundary.size(), 2) == "--";
    return true;
}

void decodeqp(std::string& line) {
    // Nothing changes in front of the first "=", and most lines have none.
    const void* first = std::memchr(line.data(), '=', line.size());
    if (!first) return;
    std::size_t out = static_cast<std::size_t>(static_cast<const char*>(first) - line.data());
    for (std::size_t i = out; i < line.size(); ++i) {
        char c = line[i];
        if (c == '=' && i + 2 < line.size() && isxdigitc(static_cast<unsigned char>(line[i + 1])) &&
            isxdigitc(static_cast<unsigned char>(line[i + 2]))) {
            int b = hexbyte(line.data() + i + 1);
            // A zero byte would end the FidoNet message text.
            c = b == 0 ? ' ' : static_cast<char>(b);
            i += 2;
        }
        line[out++] = c;
    }
    line.resize(out);
}
