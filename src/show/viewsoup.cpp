// The viewer's SOUP side: a message file cut into messages by the import's
// cutter, each shown with its header fields, its text decoded (transfer
// encoding, character set, HTML) and the files it carries listed.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "base/text.h"
#include "import/decode.h"
#include "import/mime.h"
#include "import/soup.h"
#include "mime/charsets.h"
#include "mime/encodedword.h"
#include "mime/htmltext.h"
#include "mime/mimeparams.h"
#include "pkt/pktappend.h"
#include "show/view.h"
#include "show/viewtext.h"

namespace {

// Multipart parts inside parts are followed this deep; deeper ones are
// listed, not opened.
constexpr int MAXDEPTH = 8;

std::vector<std::string_view> splitlines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        std::size_t nl = text.find('\n');
        std::string_view l = text.substr(0, nl);
        if (!l.empty() && l.back() == '\r') l.remove_suffix(1);
        lines.push_back(l);
        if (nl == std::string_view::npos) break;
        text.remove_prefix(nl + 1);
    }
    return lines;
}

// A part: its header lines (continuations joined to their field) and its
// body.
struct mimepart {
    std::vector<std::string> fields;
    std::string_view body;

    // The value of the first field of this name, or "".
    std::string field(std::string_view name) const {
        for (const std::string& f : fields) {
            if (f.size() > name.size() && f[name.size()] == ':' && istartswith(f, name)) {
                std::string v = f.substr(name.size() + 1);
                trim(v);
                return v;
            }
        }
        return {};
    }
};

mimepart splitpart(std::string_view text) {
    mimepart p;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t nl = text.find('\n', pos);
        std::size_t end = nl == std::string_view::npos ? text.size() : nl;
        std::string_view l = text.substr(pos, end - pos);
        if (!l.empty() && l.back() == '\r') l.remove_suffix(1);
        pos = nl == std::string_view::npos ? text.size() : nl + 1;
        if (l.empty()) break;
        if ((l[0] == ' ' || l[0] == '\t') && !p.fields.empty()) {
            p.fields.back() += " ";
            std::string more(l);
            trim(more);
            p.fields.back() += more;
        } else {
            p.fields.emplace_back(l);
        }
    }
    p.body = text.substr(pos);
    return p;
}

// The body's bytes after its transfer encoding.
std::string decodebody(std::string_view body, const std::string& cte) {
    std::string out;
    if (strieq(cte, "base64")) {
        for (std::string_view l : splitlines(body)) decodebase64line(l, out);
        return out;
    }
    if (!strieq(cte, "quoted-printable")) return std::string(body);
    std::string pending;
    for (std::string_view l : splitlines(body)) {
        std::string line(l);
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.pop_back();
        bool soft = !line.empty() && line.back() == '=';
        if (soft) line.pop_back();
        pending += line;
        if (soft) continue;
        decodeqp(pending);
        out += pending + "\n";
        pending.clear();
    }
    if (!pending.empty()) {
        decodeqp(pending);
        out += pending;
    }
    return out;
}

// The name a part gives its file, or "".
std::string partfilename(const mimefield& type, const mimefield& disposition) {
    if (const std::string* n = disposition.param("filename")) return *n;
    if (const std::string* n = type.param("name")) return *n;
    return {};
}

struct soupview {
    const viewoptions& o;
    std::string& out;

    void textlines(std::string_view utf8) {
        // Uuencoded files inside the text are listed, not shown.
        std::string uuname, uudata;
        bool inuu = false;
        for (std::string_view l : splitlines(utf8)) {
            if (!inuu && l.size() > 10 && l.substr(0, 6) == "begin " &&
                l.find(' ', 6) != std::string_view::npos) {
                inuu = true;
                uuname = std::string(l.substr(l.find(' ', 6) + 1));
                uudata.clear();
                continue;
            }
            if (inuu) {
                if (l == "end") {
                    out += ".\n";
                    listfile(uuname, "uuencoded", uudata.size());
                    out += "text:\n";
                    inuu = false;
                } else {
                    decodeuuline(l, uudata);
                }
                continue;
            }
            out += viewline(l) + "\n";
        }
        if (inuu) out += "# an uuencoded file " + viewfield(uuname) + " without its end line\n";
    }

    void listfile(const std::string& name, const std::string& how, std::size_t size) {
        out += "attachment: " + (name.empty() ? std::string("(no name)") : viewfield(name)) + " (" +
               viewfield(how) + "): " + std::to_string(size) + " bytes\n";
    }

    void leaf(const mimepart& p, const mimefield& type, bool top) {
        mimefield disposition = parsemimefield(p.field("Content-Disposition"));
        std::string cte = p.field("Content-Transfer-Encoding");
        std::string name = partfilename(type, disposition);
        std::string kind = type.value.empty() ? "text/plain" : type.value;
        bool text = kind.rfind("text/", 0) == 0 && disposition.value != "attachment" &&
                    (name.empty() || disposition.value == "inline");
        std::string bytes = decodebody(p.body, cte);
        if (!text) {
            listfile(name, kind + (cte.empty() ? "" : ", " + cte), bytes.size());
            return;
        }
        std::string charset;
        if (const std::string* c = type.param("charset")) charset = canonicalcharset(*c);
        if (charset.empty() && !isplainascii(bytes) && !isvalidutf8(bytes))
            charset = std::string(guesscharset(bytes));
        std::string utf8 = viewutf8(bytes, charset);
        if (kind == "text/html") {
            htmltext h;
            h.feed(utf8);
            h.finish();
            utf8.clear();
            for (const std::string& l : h.lines()) utf8 += l + "\n";
            // The empty line that closes the last paragraph.
            while (utf8.size() >= 2 && utf8.compare(utf8.size() - 2, 2, "\n\n") == 0)
                utf8.pop_back();
        }
        std::string about = kind;
        if (const std::string* c = type.param("charset")) about += ", " + *c;
        if (!cte.empty()) about += ", " + cte;
        out += (top && type.value.empty() && cte.empty()) ? "text:\n"
                                                          : "text: " + viewfield(about) + "\n";
        textlines(utf8);
        out += ".\n";
    }

    void part(const mimepart& p, int depth) {
        mimefield type = parsemimefield(p.field("Content-Type"));
        const std::string* boundary = type.param("boundary");
        if (type.value.rfind("multipart/", 0) != 0 || !boundary || boundary->empty() ||
            depth >= MAXDEPTH) {
            leaf(p, type, depth == 0);
            return;
        }
        std::vector<std::string_view> lines = splitlines(p.body);
        std::size_t start = std::string_view::npos;
        const char* base = p.body.data();
        for (std::string_view l : lines) {
            bool closing = false;
            if (!isboundaryline(l, *boundary, closing)) continue;
            std::size_t at = static_cast<std::size_t>(l.data() - base);
            if (start != std::string_view::npos)
                part(splitpart(p.body.substr(start, at - start)), depth + 1);
            if (closing) return;
            std::size_t next = at + l.size();
            while (next < p.body.size() && (p.body[next] == '\r' || p.body[next] == '\n')) {
                if (p.body[next++] == '\n') break;
            }
            start = next;
        }
        if (start != std::string_view::npos) {
            out += "# the last part has no closing boundary\n";
            part(splitpart(p.body.substr(start)), depth + 1);
        }
    }

    void message(std::string_view bytes, long number) {
        pktappendf(out, "\nmessage: %ld (%zu bytes)\n", number, bytes.size());
        if (o.raw) {
            out += "text:\n";
            for (std::string_view l : splitlines(bytes)) out += viewline(l) + "\n";
            out += ".\n";
            return;
        }
        mimepart p = splitpart(bytes);
        out += "header:\n";
        for (const std::string& f : p.fields) {
            std::string shown;
            if (hasencodedword(f)) {
                decodeencodedwords(f, shown);
            } else {
                shown = f;
            }
            out += viewfield(shown) + "\n";
        }
        part(p, 0);
    }
};

const char* formatname(int format) {
    switch (format) {
        case FORMAT_RNEWS:
            return "news batch (\"#! rnews\" lines)";
        case FORMAT_MBOX:
            return "mailbox (\"From \" lines)";
        case FORMAT_MMDF:
            return "MMDF (0x01 separator lines)";
        default:
            return "binary (each message after its 4-byte length)";
    }
}

}  // namespace

int guesssoupformat(const std::string& head) {
    if (head.rfind("From ", 0) == 0) return FORMAT_MBOX;
    if (head.rfind(RNEWSHEADER, 0) == 0) return FORMAT_RNEWS;
    if (head.rfind("\x01\x01\x01\x01\n", 0) == 0) return FORMAT_MMDF;
    if (head.size() < 8) return FORMAT_UNKNOWN;
    // A length that no file could hold would be no message length; what
    // follows must begin like a header field.
    std::size_t colon = head.find(':', 4);
    if (static_cast<unsigned char>(head[0]) > 0x7F || colon == std::string::npos || colon == 4)
        return FORMAT_UNKNOWN;
    for (std::size_t i = 4; i < colon; ++i) {
        unsigned char c = static_cast<unsigned char>(head[i]);
        if (c <= ' ' || c >= 0x7F) return FORMAT_UNKNOWN;
    }
    return FORMAT_BINARY;
}

int viewsoupfile(std::FILE* f, const std::string& path, int format, const viewoptions& o,
                 std::string& out) {
    soupcutter cut(f, format);
    std::string body;
    soupview v{o, body};
    long count = 0;
    int damaged = 0;
    for (;;) {
        msgrange r;
        int c = cut.next(r);
        if (c == CUT_NOMORE) break;
        if (c == CUT_BADFILE) {
            pktappendf(body, "\n# damaged from offset %ld on\n", cut.position());
            damaged = 1;
            break;
        }
        std::string bytes(static_cast<std::size_t>(r.end - r.start), '\0');
        if (std::fseek(f, r.start, SEEK_SET) != 0 ||
            std::fread(bytes.data(), 1, bytes.size(), f) != bytes.size()) {
            pktappendf(body, "\n# can't read the message at offset %ld\n", r.start);
            damaged = 1;
            break;
        }
        v.message(bytes, ++count);
    }
    pktappendf(out, "# %s: SOUP message file, %s, %ld message%s\n", path.c_str(),
               formatname(format), count, count == 1 ? "" : "s");
    out += body;
    return damaged;
}
