#include "show/viewtext.h"

#include <cstdio>

#include "base/termsafe.h"
#include "mime/charsets.h"

namespace {

// The length of the UTF-8 character that starts at p[i], or 0 when none
// does (the byte is then shown as an escape).
std::size_t utf8length(std::string_view s, std::size_t i) {
    auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char c = b(i);
    std::size_t n = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
    if (n == 0 || i + n > s.size()) return 0;
    return isvalidutf8(s.substr(i, n)) ? n : 0;
}

void escape(std::string& out, unsigned char c) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "\\x%02X", c);
    out += buf;
}

}  // namespace

std::string viewfield(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c == 0x01) {
            out += "^A";
        } else if (c == '\\') {
            out += "\\\\";
        } else if (c == '^' && i + 1 < bytes.size() && bytes[i + 1] == 'A') {
            escape(out, c);
        } else if (c == 'c' && i + 1 == bytes.size() && !out.empty() && out.back() == '\\') {
            escape(out, c);
        } else if ((c < 0x20 && c != '\t') || c == 0x7F) {
            escape(out, c);
        } else if (c >= 0x80) {
            std::size_t n = utf8length(bytes, i);
            if (n == 0) {
                escape(out, c);
            } else if (unsafelength(bytes, i) != 0) {
                // A C1 or bidirectional control in UTF-8: its bytes.
                for (std::size_t k = 0; k < n; ++k) escape(out, static_cast<unsigned char>(bytes[i + k]));
                i += n - 1;
            } else {
                out.append(bytes.substr(i, n));
                i += n - 1;
            }
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string viewline(std::string_view bytes) {
    if (bytes == ".") return "\\x2E";
    return viewfield(bytes);
}

std::string viewutf8(std::string_view bytes, const std::string& charset) {
    if (charset.empty() || isplainascii(bytes)) return std::string(bytes);
    std::string out;
    if (toutf8(bytes, charset, out) != 0) return std::string(bytes);
    return out;
}

std::string attributewords(unsigned attr) {
    static const char* const names[16] = {"private",
                                          "crash",
                                          "received",
                                          "sent",
                                          "file attached",
                                          "in transit",
                                          "orphan",
                                          "kill when sent",
                                          "local",
                                          "hold",
                                          "bit 10",
                                          "file request",
                                          "return receipt request",
                                          "return receipt",
                                          "audit request",
                                          "file update request"};
    std::string out;
    for (int bit = 0; bit < 16; ++bit) {
        if (!(attr & (1u << bit))) continue;
        if (!out.empty()) out += ", ";
        out += names[bit];
    }
    return out;
}
