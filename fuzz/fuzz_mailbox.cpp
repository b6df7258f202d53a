// Recipient texts as a FidoNet user or an Internet sender writes them:
// what ismailbox takes is one address that an SMTP command line and the
// transport's header reader carry unchanged, alone and in angle brackets;
// the pieces of a recipient list hold no comma and no blank at their ends.
// The second part of the input is an address pattern: one that reads
// reads again the same from its written form.
#include <cstdint>
#include <string>

#include "base/ftnpattern.h"
#include "base/mailbox.h"
#include "fuzzutil.h"
#include "transport/envelope.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string_view> parts = fuzzparts(fuzzinput(data, size), 2);
    std::string_view text = parts.empty() ? std::string_view() : parts[0];
    if (ismailbox(text)) {
        if (text.size() > MAILBOXMAX) __builtin_trap();
        for (unsigned char c : text) {
            if (c <= ' ' || c >= 0x7f || c == ',' || c == ';' || c == '<' || c == '>' || c == '"') __builtin_trap();
        }
        std::string s(text);
        if (addresslist(s) != std::vector<std::string>{s}) __builtin_trap();
        if (addresslist("<" + s + ">") != std::vector<std::string>{s}) __builtin_trap();
        if (!ismailbox(mailboxtext(" <" + s + "> "))) __builtin_trap();
    }
    for (std::string_view piece : recipientpieces(text)) {
        if (piece.empty() || piece.find(',') != std::string_view::npos || piece.front() == ' ' ||
            piece.back() == ' ')
            __builtin_trap();
    }
    if (parts.size() > 1) {
        ftnpattern p, q;
        if (parseftnpattern(parts[1], p)) {
            if (!parseftnpattern(ftnpatterntext(p), q)) __builtin_trap();
            if (p.zone != q.zone || p.net != q.net || p.node != q.node || p.point != q.point) __builtin_trap();
        }
    }
    return 0;
}
