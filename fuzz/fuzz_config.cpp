// The configuration reader on a whole file with its includes: the input is
// split at "----" lines into main.cfg, a.cfg and b.cfg, which may include
// each other or name each other as mailing-list files.
#include "config/reader.h"
#include "fuzzutil.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzreset();
    auto parts = fuzzparts(fuzzinput(data, size), 3);
    const char* names[] = {"main.cfg", "a.cfg", "b.cfg"};
    for (std::size_t i = 0; i < parts.size(); ++i) fuzzfile(names[i], parts[i]);
    readconfigfile(fuzzdir() + "main.cfg", fuzzdir() + "pondlark");
    // An address the reader takes as well-formed scans whole: a zone and
    // at least zone, net and node.
    std::string first = parts.empty() ? std::string() : std::string(parts[0].substr(0, parts[0].find('\n')));
    if (ftnaddresswellformed(first)) {
        fidoaddr a;
        if (scanftnaddress(first, a) < 3 || a.zone == 0) __builtin_trap();
    }
    return 0;
}
