// SMTP server replies in arbitrary pieces: the first byte sets the piece
// size, the rest is what the server sent. Every reply stays within its
// bounds and carries a real code or none.
#include <cstdint>
#include <string>
#include <vector>

#include "transport/smtpreply.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    std::size_t piece = data[0] % 64 + 1;
    std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    smtpreplyreader reader;
    std::vector<smtpreply> out;
    for (std::size_t at = 0; at < bytes.size(); at += piece) reader.feed(bytes.substr(at, piece), out);
    for (const smtpreply& r : out) {
        if (r.code != 0 && (r.code < 200 || r.code > 599)) __builtin_trap();
        if (r.text.size() > 400 || replytext(r).size() > 120) __builtin_trap();
        for (char c : r.text) {
            if (static_cast<unsigned char>(c) < 0x20) __builtin_trap();
        }
        if (!r.enhanced.empty() && (r.enhanced[0] != static_cast<char>('0' + r.code / 100) || r.enhanced[1] != '.'))
            __builtin_trap();
    }
    return 0;
}
