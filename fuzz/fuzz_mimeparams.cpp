// Content-Type and Content-Disposition values: parameters in every form
// (quoted, RFC 2231 pieces and charsets, encoded words) stay within their
// bounds and come out as UTF-8, and so does the safe file name made of one.
#include "fuzzutil.h"
#include "import/attachname.h"
#include "mime/charsets.h"
#include "mime/mimeparams.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    mimefield f = parsemimefield(fuzzinput(data, size));
    if (f.params.size() > MAXMIMEPARAMS) __builtin_trap();
    for (const auto& [name, value] : f.params) {
        if (value.size() > 4 * MAXMIMEPARAMVALUE + 16) __builtin_trap();
        std::string safe = asciifilename(value);
        if (safe.size() > MAXASCIINAME || !isplainascii(safe)) __builtin_trap();
        if (safe.find('/') != std::string::npos || (!safe.empty() && safe[0] == '.'))
            __builtin_trap();
    }
    return 0;
}
