#include "mime/htmltext.h"

#include <libxml/HTMLparser.h>

#include <cstring>

#include "base/text.h"

namespace {

htmltext& self(void* ctx) {
    auto* parser = static_cast<htmlParserCtxtPtr>(ctx);
    return *static_cast<htmltext*>(parser->_private);
}

std::string_view sv(const xmlChar* s) {
    return s ? std::string_view(reinterpret_cast<const char*>(s)) : std::string_view();
}

void onstart(void* ctx, const xmlChar* name, const xmlChar** attrs) {
    self(ctx).startelement(sv(name), reinterpret_cast<const char* const*>(attrs));
}
void onend(void* ctx, const xmlChar* name) {
    self(ctx).endelement(sv(name));
}
void onchars(void* ctx, const xmlChar* ch, int len) {
    self(ctx).characters(std::string_view(reinterpret_cast<const char*>(ch),
                                          static_cast<std::size_t>(len > 0 ? len : 0)));
}
void quiet(void*, const char*, ...) {}

bool is(std::string_view name, std::initializer_list<std::string_view> names) {
    for (std::string_view n : names) {
        if (strieq(name, n)) return true;
    }
    return false;
}

bool isblock(std::string_view n) {
    return is(n, {"p", "div", "h1", "h2", "h3", "h4", "h5", "h6", "ul", "ol", "dl", "table",
                  "blockquote", "pre", "hr", "address", "section", "article", "header",
                  "footer", "center", "form", "fieldset", "figure", "main", "nav", "aside"});
}

bool isbreak(std::string_view n) {
    return is(n, {"br", "tr", "dt", "dd", "li"});
}

bool isskipped(std::string_view n) {
    return is(n, {"script", "style", "head", "title", "noscript", "template"});
}

const char* attr(const char* const* attrs, std::string_view name) {
    for (; attrs && attrs[0]; attrs += 2) {
        if (strieq(attrs[0], name)) return attrs[1] ? attrs[1] : "";
    }
    return nullptr;
}

}  // namespace

htmltext::htmltext() {
    htmlSAXHandler sax;
    std::memset(&sax, 0, sizeof sax);
    sax.startElement = onstart;
    sax.endElement = onend;
    sax.characters = onchars;
    sax.cdataBlock = onchars;
    sax.ignorableWhitespace = onchars;
    sax.warning = quiet;
    sax.error = quiet;
    htmlParserCtxtPtr p = htmlCreatePushParserCtxt(&sax, nullptr, nullptr, 0, nullptr,
                                                   XML_CHAR_ENCODING_UTF8);
    if (p) {
        p->_private = this;
        htmlCtxtUseOptions(p, HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING |
                                  HTML_PARSE_NONET | HTML_PARSE_IGNORE_ENC | HTML_PARSE_NOBLANKS);
    }
    ctxt = p;
}

htmltext::~htmltext() {
    if (ctxt) htmlFreeParserCtxt(static_cast<htmlParserCtxtPtr>(ctxt));
}

void htmltext::feed(std::string_view utf8) {
    if (!ctxt || utf8.empty()) return;
    htmlParseChunk(static_cast<htmlParserCtxtPtr>(ctxt), utf8.data(), static_cast<int>(utf8.size()),
                   0);
}

void htmltext::finish() {
    if (ctxt) htmlParseChunk(static_cast<htmlParserCtxtPtr>(ctxt), nullptr, 0, 1);
    breakline();
}

namespace {
int quotemarks(int depth) {
    return depth < MAXHTMLQUOTE ? depth : MAXHTMLQUOTE;
}
}  // namespace

void htmltext::emit(std::string_view text) {
    if (line.empty() && quote > 0) {
        for (int i = quotemarks(quote); i > 0; --i) line += "> ";
    }
    line.append(text);
    started = true;
    blanklines = 0;
    if (line.size() >= MAXHTMLLINE) breakline();
}

// Ends the line being built, if it holds anything.
void htmltext::breakline() {
    pendingblank = false;
    std::size_t prefix = static_cast<std::size_t>(quotemarks(quote)) * 2;
    if (line.size() <= prefix && line.find_first_not_of("> ") == std::string::npos) {
        line.clear();
        return;
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    done.push_back(line);
    line.clear();
    for (auto& s : linkstart) s = 0;
}

// Ends the line and leaves one empty line before the next block.
void htmltext::paragraph() {
    breakline();
    if (started && blanklines == 0) {
        done.emplace_back();
        blanklines = 1;
    }
}

void htmltext::startelement(std::string_view name, const char* const* attrs) {
    if (isskipped(name)) {
        ++skip;
        return;
    }
    if (skip) return;
    if (strieq(name, "blockquote")) {
        paragraph();
        ++quote;
    } else if (strieq(name, "pre")) {
        paragraph();
        ++pre;
    } else if (isblock(name)) {
        paragraph();
    } else if (strieq(name, "br")) {
        if (line.empty() && quote == 0) {
            // An empty line stands for itself.
            done.emplace_back();
            blanklines = 0;
        } else {
            breakline();
        }
    } else if (isbreak(name)) {
        breakline();
        if (strieq(name, "li")) emit("- ");
    } else if (is(name, {"td", "th"})) {
        if (!line.empty()) pendingblank = true;
    } else if (strieq(name, "a")) {
        const char* href = attr(attrs, "href");
        links.emplace_back(href ? href : "");
        linkstart.push_back(line.size());
    } else if (strieq(name, "img")) {
        const char* alt = attr(attrs, "alt");
        if (alt && *alt) characters(std::string("[") + alt + "]");
    }
    if (strieq(name, "hr")) {
        emit("----");
        paragraph();
    }
}

void htmltext::endelement(std::string_view name) {
    if (isskipped(name)) {
        if (skip > 0) --skip;
        return;
    }
    if (skip) return;
    if (strieq(name, "blockquote")) {
        paragraph();
        if (quote > 0) --quote;
    } else if (strieq(name, "pre")) {
        paragraph();
        if (pre > 0) --pre;
    } else if (isblock(name)) {
        paragraph();
    } else if (is(name, {"tr", "li", "dt", "dd"})) {
        breakline();
    } else if (strieq(name, "a") && !links.empty()) {
        std::string href = links.back();
        std::size_t from = linkstart.back();
        links.pop_back();
        linkstart.pop_back();
        std::string_view address = href;
        if (istartswith(address, "mailto:")) address.remove_prefix(7);
        std::string text = from <= line.size() ? line.substr(from) : std::string();
        while (!text.empty() && text.front() == ' ') text.erase(0, 1);
        while (!text.empty() && text.back() == ' ') text.pop_back();
        // Anchors within the page and scripts lead nowhere a reader can go.
        if (!address.empty() && address.front() != '#' && !istartswith(address, "javascript:") &&
            text != address && text != href) {
            characters(" <" + std::string(address) + ">");
        }
    }
}

void htmltext::characters(std::string_view text) {
    if (skip) return;
    if (pre) {
        std::size_t nl;
        while ((nl = text.find('\n')) != std::string_view::npos) {
            emit(text.substr(0, nl));
            if (line.empty()) {
                done.emplace_back();
            } else {
                breakline();
            }
            text.remove_prefix(nl + 1);
        }
        if (!text.empty()) emit(text);
        return;
    }
    std::size_t i = 0;
    while (i < text.size()) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        // A no-break space (U+00A0) reads as a blank.
        bool nbsp = c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0xA0;
        if (iswhite(c) || nbsp) {
            pendingblank = true;
            i += nbsp ? 2 : 1;
            continue;
        }
        std::size_t j = i;
        while (j < text.size() && !iswhite(static_cast<unsigned char>(text[j])) &&
               !(static_cast<unsigned char>(text[j]) == 0xC2 && j + 1 < text.size() &&
                 static_cast<unsigned char>(text[j + 1]) == 0xA0))
            ++j;
        if (pendingblank && !line.empty() && line.back() != ' ') emit(" ");
        pendingblank = false;
        emit(text.substr(i, j - i));
        i = j;
    }
}

std::string htmltoplain(std::string_view utf8) {
    htmltext h;
    h.feed(utf8);
    h.finish();
    std::string out;
    for (const std::string& l : h.lines()) out.append(l).push_back('\n');
    while (out.size() >= 2 && out[out.size() - 1] == '\n' && out[out.size() - 2] == '\n')
        out.pop_back();
    return out;
}
