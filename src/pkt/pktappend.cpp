#include "pkt/pktappend.h"

#include <cstdarg>
#include <cstdio>

void pktappendf(std::string& out, const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    va_list copy;
    va_copy(copy, ap);
    int n = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    if (n > 0) {
        std::size_t old = out.size();
        out.resize(old + static_cast<std::size_t>(n) + 1);
        std::vsnprintf(out.data() + old, static_cast<std::size_t>(n) + 1, fmt, ap);
        out.resize(old + static_cast<std::size_t>(n));
    }
    va_end(ap);
}
