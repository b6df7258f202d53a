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
    return 0;
}
