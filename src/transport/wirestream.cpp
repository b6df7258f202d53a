#include "transport/wirestream.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {
constexpr long BLOCK = 1 << 16;
}

wirestream::wirestream(std::string h, int f, long offset, long length, bool c)
    : head(std::move(h)), fd(f), bodystart(offset), bodypos(offset), bodyend(offset + length), crlf(c) {}

// Converts the next piece (header first, then a block of the body) into
// pending. Returns its size, 0 at the end, -1 on a read error.
long wirestream::fill() {
    std::string_view src;
    if (headpos < head.size()) {
        src = std::string_view(head).substr(headpos);
        headpos = head.size();
    } else if (bodypos < bodyend) {
        block.resize(static_cast<std::size_t>(std::min(BLOCK, bodyend - bodypos)));
        ssize_t n;
        do {
            n = pread(fd, block.data(), block.size(), bodypos);
        } while (n < 0 && errno == EINTR);
        if (n <= 0) return -1;
        bodypos += n;
        src = std::string_view(block.data(), static_cast<std::size_t>(n));
    } else {
        return 0;
    }
    pending.clear();
    blockpos = 0;
    if (!crlf) {
        pending.assign(src);
        return static_cast<long>(pending.size());
    }
    pending.reserve(src.size() + src.size() / 32 + 2);
    for (char ch : src) {
        if (ch == '\n' && !lastcr) pending.push_back('\r');
        pending.push_back(ch);
        lastcr = ch == '\r';
    }
    return static_cast<long>(pending.size());
}

long wirestream::read(char* buf, std::size_t max) {
    std::size_t out = 0;
    while (out < max) {
        if (blockpos >= pending.size()) {
            long n = fill();
            if (n < 0) return -1;
            if (n == 0) break;
        }
        std::size_t take = std::min(max - out, pending.size() - blockpos);
        std::memcpy(buf + out, pending.data() + blockpos, take);
        out += take;
        blockpos += take;
    }
    return static_cast<long>(out);
}
