// Cutting a SOUP message file into messages: the first byte picks the
// format (rnews, mbox, MMDF, binary), the rest is the file.
#include "fuzzutil.h"
#include "import/soup.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    fuzzreset();
    std::string path = fuzzfile("0000001.MSG", fuzzinput(data + 1, size - 1));
    fileptr f = openmessagefile(path);
    if (!f) return 0;
    soupcutter cut(f.get(), data[0] % 4);
    msgrange r;
    long last = -1;
    for (int n = 0; n < 100000 && cut.next(r) == CUT_MESSAGE; ++n) {
        // Every message lies inside the file and after the one before.
        if (r.start > r.end || r.start < last) __builtin_trap();
        last = r.end;
    }
    return 0;
}
