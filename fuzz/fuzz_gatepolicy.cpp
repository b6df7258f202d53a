// What decides who may send through the gateway, as hostile input may
// give it, in three parts separated by "----" lines:
// - a recipient text as a FidoNet user or an Internet sender writes it:
//   what ismailbox takes is one address that an SMTP command line and the
//   transport's header reader carry unchanged, alone and in angle
//   brackets; the pieces of a recipient list hold no comma and no blank
//   at their ends;
// - an address pattern (TrustFrom, ExportAllow, ExportLimit): one that
//   reads reads again the same from its written form;
// - a counts file (pondlark.lim), damaged or forged: every count read is
//   a sane number, and the file written from the counts reads back as the
//   same counts and as nothing stale.
#include <cstdint>
#include <string>

#include "base/ftnpattern.h"
#include "base/mailbox.h"
#include "export/exportcounts.h"
#include "fuzzutil.h"
#include "transport/envelope.h"

namespace {

void recipient(std::string_view text) {
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
}

void pattern(std::string_view text) {
    ftnpattern p, q;
    if (!parseftnpattern(text, p)) return;
    if (!parseftnpattern(ftnpatterntext(p), q)) __builtin_trap();
    if (p.zone != q.zone || p.net != q.net || p.node != q.node || p.point != q.point) __builtin_trap();
}

void counts(std::string_view text) {
    bool stale = false;
    nodecounts c = parseexportcounts(text, "1999-09-14", stale);
    for (const auto& [key, n] : c) {
        if (n < 0 || n > 2000000000) __builtin_trap();
    }
    bool stale2 = true;
    if (parseexportcounts(exportcountstext(c, "1999-09-14"), "1999-09-14", stale2) != c || stale2)
        __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string_view> parts = fuzzparts(fuzzinput(data, size), 3);
    if (parts.size() > 0) recipient(parts[0]);
    if (parts.size() > 1) pattern(parts[1]);
    if (parts.size() > 2) counts(parts[2]);
    // The whole input as each, too: a part may hold what another expects.
    std::string_view whole = fuzzinput(data, size);
    recipient(whole);
    counts(whole);
    return 0;
}
