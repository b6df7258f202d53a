#include "import/mimetree.h"

#include "base/text.h"
#include "mime/mimeparams.h"

namespace {

std::string_view fieldvalue(std::string_view line, std::size_t namelen) {
    std::string_view v = line.substr(namelen);
    while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) v.remove_prefix(1);
    return v;
}

int transferencoding(std::string_view cte) {
    std::string v(cte);
    trim(v);
    strlwr(v);
    if (v == "quoted-printable") return CTE_QP;
    if (v == "base64") return CTE_BASE64;
    if (v == "x-uuencode" || v == "x-uue" || v == "uuencode" || v == "x-uu") return CTE_UUENCODE;
    return CTE_IDENTITY;
}

int multikind(std::string_view subtype) {
    if (subtype == "alternative") return MULTI_ALTERNATIVE;
    if (subtype == "signed") return MULTI_SIGNED;
    if (subtype == "digest") return MULTI_DIGEST;
    return MULTI_MIXED;
}

}  // namespace

void partheader::take(std::string_view line) {
    static constexpr std::string_view ct = "Content-Type:", cte_ = "Content-Transfer-Encoding:",
                                      cd = "Content-Disposition:";
    if (istartswith(line, ct)) {
        if (contenttype.empty()) contenttype = fieldvalue(line, ct.size());
    } else if (istartswith(line, cte_)) {
        if (cte.empty()) cte = fieldvalue(line, cte_.size());
    } else if (istartswith(line, cd)) {
        if (disposition.empty()) disposition = fieldvalue(line, cd.size());
    }
}

partplan planpart(const partheader& h, bool indigest, std::size_t depth) {
    partplan p;
    mimefield ct = parsemimefield(h.contenttype);
    mimefield cd = parsemimefield(h.disposition);
    p.type = ct.value;
    // A type without a subtype, or none at all, is the default one.
    if (p.type.find('/') == std::string::npos)
        p.type = indigest && h.contenttype.empty() ? "message/rfc822" : "text/plain";
    p.cte = transferencoding(h.cte);
    if (const std::string* cs = ct.param("charset")) p.charset = *cs;
    const std::string* name = cd.param("filename");
    if (!name || name->empty()) name = ct.param("name");
    if (name) p.filename = *name;
    bool attachment = cd.value == "attachment" || !p.filename.empty();
    std::string_view major = std::string_view(p.type).substr(0, p.type.find('/'));
    std::string_view minor = std::string_view(p.type).substr(p.type.find('/') + 1);
    if (major == "multipart") {
        const std::string* b = ct.param("boundary");
        if (b && !b->empty() && depth < MAXMIMEDEPTH) {
            p.action = PART_MULTIPART;
            p.boundary = *b;
            p.multikind = multikind(minor);
            p.showable = true;
        } else {
            p.action = PART_RAW;
        }
        return p;
    }
    if ((p.type == "message/rfc822" || p.type == "message/global") && !attachment) {
        p.action = depth < MAXMIMEDEPTH ? PART_MESSAGE : PART_RAW;
        p.showable = true;
        return p;
    }
    if (p.type == "text/plain" && !attachment) {
        p.action = PART_TEXT;
        const std::string* format = ct.param("format");
        const std::string* delsp = ct.param("delsp");
        p.flowed = format && strieq(*format, "flowed");
        p.delsp = p.flowed && delsp && strieq(*delsp, "yes");
        p.showable = true;
        return p;
    }
    if (p.type == "text/html" && !attachment) {
        p.action = PART_HTML;
        p.showable = true;
        return p;
    }
    // Uuencoded content keeps its "begin" line, which starts the file.
    p.action = p.cte == CTE_UUENCODE ? PART_TEXT : PART_FILE;
    return p;
}

bool showchild(mimeframe& f, const partplan& p) {
    int k = f.children - 1;
    switch (f.kind) {
        case MULTI_SIGNED:
            return k == 0;  // the signature follows what it signs
        case MULTI_ALTERNATIVE:
            break;
        default:
            return true;
    }
    if (p.type == "text/plain" && p.action == PART_TEXT && f.firstplain < 0) f.firstplain = k;
    if (p.action == PART_HTML && f.firsthtml < 0) f.firsthtml = k;
    if (p.showable && p.action != PART_TEXT && p.action != PART_HTML && f.firstother < 0)
        f.firstother = k;
    if (f.recorded >= 0) return k == f.recorded;
    // Without the parse pass's choice (the parse pass itself): the first
    // alternative that shows text. Where the choice turns out another, the
    // parse pass knows it at the end of the alternatives.
    if (!p.showable || f.tentative >= 0) return false;
    f.tentative = k;
    return true;
}

int chosenalternative(const mimeframe& f) {
    if (f.kind != MULTI_ALTERNATIVE) return -1;
    if (f.firstplain >= 0) return f.firstplain;
    if (f.firsthtml >= 0) return f.firsthtml;
    if (f.firstother >= 0) return f.firstother;
    return 0;
}
