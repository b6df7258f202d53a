#include "mime/readable.h"

#include "base/codec.h"
#include "base/text.h"
#include "mime/charsets.h"
#include "mime/mimeparams.h"
#include "transport/envelope.h"

namespace {

std::string_view withoutcr(std::string_view line) {
    if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

// "--boundary" at the start of a line, the closing one with "--" after it.
int boundarykind(std::string_view line, std::string_view boundary) {
    line = withoutcr(line);
    if (line.size() < boundary.size() + 2 || line.substr(0, 2) != "--" || line.substr(2, boundary.size()) != boundary)
        return 0;
    std::string_view rest = line.substr(2 + boundary.size());
    if (rest.substr(0, 2) == "--") return 2;
    return rest.find_first_not_of(" \t") == std::string_view::npos ? 1 : 0;
}

std::string decodeqptext(std::string_view body) {
    std::string out;
    out.reserve(body.size());
    for (std::size_t i = 0; i < body.size(); ++i) {
        char c = body[i];
        if (c != '=') {
            out.push_back(c);
            continue;
        }
        // A soft line break: "=" at the end of a line (blanks may follow).
        std::size_t j = i + 1;
        while (j < body.size() && (body[j] == ' ' || body[j] == '\t')) ++j;
        if (j < body.size() && (body[j] == '\n' || body[j] == '\r')) {
            if (body[j] == '\r' && j + 1 < body.size() && body[j + 1] == '\n') ++j;
            i = j;
            continue;
        }
        if (i + 2 < body.size() && isxdigitc(static_cast<unsigned char>(body[i + 1])) &&
            isxdigitc(static_cast<unsigned char>(body[i + 2]))) {
            out.push_back(static_cast<char>(hexbyte(body.data() + i + 1)));
            i += 2;
            continue;
        }
        out.push_back(c);
    }
    return out;
}

std::string decodebase64text(std::string_view body) {
    std::string out;
    int bits = 0, have = 0;
    for (char ch : body) {
        int v = ch == '-' ? -1 : mimevalue(static_cast<unsigned char>(ch));
        if (ch == '=') break;
        if (v < 0) continue;
        bits = (bits << 6) | v;
        have += 6;
        if (have >= 8) {
            have -= 8;
            out.push_back(static_cast<char>((bits >> have) & 0xFF));
        }
    }
    return out;
}

std::string readableof(std::string_view text, int depth, bool plainonly) {
    mimepart p = splitpart(text);
    std::string type = parttype(p.header);
    if (type.rfind("multipart/", 0) == 0) {
        if (depth >= MAXREADABLEDEPTH) return "";
        std::string boundary = typeparameter(p.header, "boundary");
        if (boundary.empty()) return "";
        for (const mimepart& c : multipartparts(p.body, boundary)) {
            std::string_view whole(c.header.data(), c.header.size() + c.body.size());
            std::string t = readableof(whole, depth + 1, plainonly);
            if (!t.empty()) return t;
        }
        return "";
    }
    if (type == "text/plain" || (!plainonly && type.rfind("text/", 0) == 0)) return decodedtext(p);
    return "";
}

}  // namespace

mimepart splitpart(std::string_view text) {
    std::size_t hl = headerlength(text);
    // A part that begins with its empty line has no header.
    if (!text.empty() && (text[0] == '\n' || text.substr(0, 2) == "\r\n")) hl = text[0] == '\n' ? 1 : 2;
    return {text.substr(0, hl), text.substr(hl)};
}

std::vector<mimepart> multipartparts(std::string_view body, std::string_view boundary) {
    std::vector<mimepart> out;
    std::size_t pos = 0, start = std::string_view::npos;
    while (pos < body.size()) {
        std::size_t nl = body.find('\n', pos);
        std::size_t end = nl == std::string_view::npos ? body.size() : nl + 1;
        int k = boundarykind(body.substr(pos, end - pos), boundary);
        if (k != 0) {
            if (start != std::string_view::npos) {
                // The line end before a boundary belongs to the boundary.
                std::size_t stop = pos;
                if (stop > start && body[stop - 1] == '\n') --stop;
                if (stop > start && body[stop - 1] == '\r') --stop;
                out.push_back(splitpart(body.substr(start, stop - start)));
                if (out.size() == MAXREADABLEPARTS) return out;
            }
            if (k == 2) return out;
            start = end;
        }
        pos = end;
    }
    if (start != std::string_view::npos && start < body.size()) out.push_back(splitpart(body.substr(start)));
    return out;
}

std::string parttype(std::string_view header) {
    std::string ct = firstfield(header, "Content-Type");
    if (ct.empty()) return "text/plain";
    mimefield f = parsemimefield(ct);
    return f.value.empty() ? "text/plain" : f.value;
}

std::string typeparameter(std::string_view header, std::string_view name) {
    mimefield f = parsemimefield(firstfield(header, "Content-Type"));
    const std::string* v = f.param(name);
    return v ? *v : std::string();
}

std::string decodedtext(const mimepart& p) {
    std::string cte = firstfield(p.header, "Content-Transfer-Encoding");
    std::string bytes;
    if (istartswith(cte, "quoted-printable")) {
        bytes = decodeqptext(p.body);
    } else if (istartswith(cte, "base64")) {
        bytes = decodebase64text(p.body);
    } else {
        bytes.assign(p.body);
    }
    std::string charset = typeparameter(p.header, "charset");
    std::string out;
    if (isplainascii(bytes)) {
        out = std::move(bytes);
    } else if (charset.empty() || !charsetknown(charset) || toutf8(bytes, charset, out) != 0) {
        out.clear();
        if (toutf8(bytes, guesscharset(bytes), out) != 0) out = bytes;
    }
    std::string lf;
    lf.reserve(out.size());
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (out[i] == '\r') {
            lf.push_back('\n');
            if (i + 1 < out.size() && out[i + 1] == '\n') ++i;
        } else {
            lf.push_back(out[i]);
        }
    }
    return lf;
}

std::string readabletext(std::string_view message) {
    std::string t = readableof(message, 0, true);
    return t.empty() ? readableof(message, 0, false) : t;
}
