#include "pkt/pktappend.h"

#include <cstdarg>
#include <cstdio>

void pktappendf(std::string& out, const char* fmt, ...) {
    // Most texts fit a small buffer and are formatted once; only a longer
    // one is formatted again into its full length.
    char small[256];
    va_list ap;
    va_start(ap, fmt);
    va_list copy;
    va_copy(copy, ap);
    int n = std::vsnprintf(small, sizeof small, fmt, ap);
    va_end(ap);
    if (n > 0 && static_cast<std::size_t>(n) < sizeof small) {
        out.append(small, static_cast<std::size_t>(n));
    } else if (n > 0) {
        std::size_t old = out.size();
        out.resize(old + static_cast<std::size_t>(n) + 1);
        std::vsnprintf(out.data() + old, static_cast<std::size_t>(n) + 1, fmt, copy);
        out.resize(old + static_cast<std::size_t>(n));
    }
    va_end(copy);
}
