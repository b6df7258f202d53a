// What a news server sends, in arbitrary pieces: the first byte sets the
// piece size, the rest is the server's bytes. Status lines carry a real
// code or none and no control characters; a block read in pieces is the
// block read whole, never larger than its limit; and any text without CR
// that is posted as a block reads back as itself.
#include <cstdint>
#include <string>

#include "transport/nntpreply.h"

namespace {

void statusline(const std::string& line) {
    nntpstatus s = parsestatus(line);
    if (s.code != 0 && (s.code < 100 || s.code > 599)) __builtin_trap();
    if (s.text.size() > 400) __builtin_trap();
    for (char c : s.text) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f) __builtin_trap();
    }
    groupreply g;
    if (parsegroupreply(s.text, g) && (g.count < 0 || g.low < 0 || g.high < 0 || g.group.empty())) __builtin_trap();
    long long n = 0;
    std::string id;
    if (parsearticlereply(s.text, n, id) && (n < 0 || id.size() < 3 || id.front() != '<' || id.back() != '>'))
        __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    std::size_t piece = data[0] % 64 + 1;
    std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    for (std::size_t pos = 0; pos <= bytes.size();) {
        std::size_t nl = bytes.find('\n', pos);
        statusline(bytes.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos));
        if (nl == std::string::npos) break;
        pos = nl + 1;
    }
    const std::size_t limit = 256;
    blockreader whole(limit), pieces(limit);
    std::size_t usedwhole = whole.feed(bytes), used = 0;
    for (std::size_t at = 0; at < bytes.size() && !pieces.done(); at += piece)
        used += pieces.feed(std::string_view(bytes).substr(at, piece));
    if (used != usedwhole || whole.done() != pieces.done() || whole.text != pieces.text ||
        whole.toolarge() != pieces.toolarge())
        __builtin_trap();
    if (whole.text.size() > limit || (whole.toolarge() && !whole.text.empty())) __builtin_trap();
    if (usedwhole > bytes.size() || (!whole.done() && usedwhole != bytes.size())) __builtin_trap();

    std::string text;
    for (char c : bytes) {
        if (c != '\r') text.push_back(c);
    }
    blockwriter w;
    std::string wire;
    for (std::size_t at = 0; at < text.size(); at += piece) w.feed(std::string_view(text).substr(at, piece), wire);
    w.finish(wire);
    blockreader back(text.size() + 2);
    if (back.feed(wire) != wire.size() || !back.done()) __builtin_trap();
    if (!text.empty() && text.back() != '\n') text.push_back('\n');
    if (back.text != text) __builtin_trap();
    return 0;
}
