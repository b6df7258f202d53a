// Decoding encoded words and converting what they hold: whatever a header
// value holds, the result is well-formed UTF-8 without control characters,
// and cutting it at any length keeps it so.
#include "fuzzutil.h"
#include "mime/charsets.h"
#include "mime/encodedword.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view in = fuzzinput(data, size);
    std::string out;
    (void)decodeencodedwords(in, out);
    if (!isvalidutf8(out)) __builtin_trap();
    for (unsigned char c : out) {
        if (c < 32 || c == 127) __builtin_trap();
    }
    std::size_t cut = charsetcut(out, size / 2, "UTF-8");
    if (cut > size / 2 || !isvalidutf8(std::string_view(out).substr(0, cut))) __builtin_trap();
    std::string cp;
    if (fromutf8(out, "ibm866", cp) != 0 || cp.size() > 8 * out.size() + 8) __builtin_trap();
    return 0;
}
