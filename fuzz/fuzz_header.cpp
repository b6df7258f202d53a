// Parsing an Internet message header into the current message: every
// logical header line through the header table, and the fields' capacities
// must hold whatever the header contains.
#include "base/fileio.h"
#include "fuzzutil.h"
#include "import/curmsg.h"
#include "import/headerlines.h"
#include "import/rangereader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzreset();
    std::string path = fuzzfile("message", fuzzinput(data, size));
    fileptr f = openfile(path, "rb");
    if (!f) return 0;
    rangereader in(f.get(), msgrange{0, static_cast<long>(size)});
    resetmessage();
    std::string line;
    while (readheaderline(in, line) == 1 && !line.empty()) parseheaderline(line);
    if (curmsg.emaillist.size() > MAXEMAILLIST || curmsg.xpost.size() > MAXXPOST) __builtin_trap();
    return 0;
}
