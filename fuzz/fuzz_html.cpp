// HTML made plain text: any bytes, fed in pieces of any size (the first
// byte picks it), give lines without line ends.
#include "fuzzutil.h"
#include "mime/htmltext.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    std::size_t piece = 1 + data[0] % 64;
    std::string_view in = fuzzinput(data + 1, size - 1);
    htmltext h;
    std::size_t lines = 0;
    for (std::size_t i = 0; i < in.size(); i += piece) {
        h.feed(in.substr(i, piece));
        for (const std::string& l : h.lines()) {
            if (l.find('\n') != std::string::npos) __builtin_trap();
        }
        lines += h.lines().size();
        h.lines().clear();
    }
    h.finish();
    return lines > 0 ? 0 : 0;
}
