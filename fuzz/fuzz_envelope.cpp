// Reply headers as export and the list server write them, and as anyone
// could: the envelope read from them never holds an address that could
// break an SMTP command line, the header that leaves is never longer than
// the one stored, and recipients named as sent are never sent to again.
#include <cstdint>
#include <string>

#include "transport/envelope.h"

namespace {
bool usable(const std::string& a) {
    if (a.empty()) return false;
    for (unsigned char c : a) {
        if (c <= ' ' || c == 0x7f || c == '<' || c == '>') return false;
    }
    return true;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    std::string header = text.substr(0, headerlength(text));
    envelope e;
    std::string problem;
    int r = readenvelope(header, e, problem);
    if (!e.sender.empty() && !usable(e.sender)) __builtin_trap();
    for (const std::string& a : e.recipients) {
        if (!usable(a)) __builtin_trap();
    }
    if (outgoingheader(header, false).size() > header.size()) __builtin_trap();
    if (r == 0 && !e.recipients.empty()) {
        std::string kept = withsentto(header, e.recipients);
        envelope again;
        (void)readenvelope(kept.substr(0, headerlength(kept)), again, problem);
        for (const std::string& a : again.recipients) {
            for (const std::string& b : e.recipients) {
                if (sameaddress(a, b)) __builtin_trap();
            }
        }
    }
    return 0;
}
