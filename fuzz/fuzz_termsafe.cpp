// Text from strangers on its way to a log or a terminal: what termsafe
// makes of it holds no control a terminal obeys, text that held none is
// left as it was, and a log line made by logprintf's formatting is one
// line whatever its arguments hold.
#include <cstdint>
#include <string>

#include "base/termsafe.h"
#include "driver/log.h"
#include "fuzzutil.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(fuzzinput(data, size));
    for (int allow : {static_cast<int>(TERM_NONE), TERM_NEWLINE | TERM_TAB}) {
        std::string e = termsafe(text, allow);
        if (!istermsafe(e, allow)) __builtin_trap();
        if (istermsafe(text, allow) && e != text) __builtin_trap();
        if (termsafe(e, allow) != e) __builtin_trap();
    }
    std::string arg = text.substr(0, text.find('\0'));
    std::string line = logformat("! msg from %s (%s): %.20s\n", "2:280/5556", arg.c_str(), arg.c_str());
    if (line.find('\n') != line.size() - 1 || !istermsafe(line, TERM_NEWLINE)) __builtin_trap();
    return 0;
}
