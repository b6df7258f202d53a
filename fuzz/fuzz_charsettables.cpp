// Text in any character set the gateway converts: the tables that convert
// it without ICU give exactly what ICU's own conversion gives (the first
// byte picks the two sets).
#include <cstdint>
#include <string>

#include "fuzzutil.h"
#include "mime/charsets.h"

namespace {
const char* const SETS[] = {"UTF-8",        "ibm-437",    "ibm-850",    "ibm-866",
                            "ISO-8859-1",   "ISO-8859-5", "ISO-8859-15", "windows-1251",
                            "windows-1252", "windows-1258", "KOI8-R",   "macintosh",
                            "US-ASCII",     "Shift_JIS"};
constexpr std::size_t NSETS = sizeof SETS / sizeof SETS[0];
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const char* from = SETS[(data[0] & 0x0F) % NSETS];
    const char* to = SETS[(data[0] >> 4) % NSETS];
    std::string text(fuzzinput(data + 1, size - 1));
    std::string fast, slow;
    allowcharsettables(true);
    int a = convertcharset(text, from, to, fast);
    allowcharsettables(false);
    int b = convertcharset(text, from, to, slow);
    allowcharsettables(true);
    if (a != b || fast != slow) __builtin_trap();
    return 0;
}
