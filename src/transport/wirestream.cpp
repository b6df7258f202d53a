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
    } else if (!ended) {
        // The end: a CR left waiting, or a last line without its end.
        ended = true;
        pending.clear();
        blockpos = 0;
        if (pendingcr || !atlinestart) pending.assign(crlf ? "\r\n" : "\n");
        pendingcr = false;
        atlinestart = true;
        return static_cast<long>(pending.size());
    } else {
        return 0;
    }
    pending.clear();
    blockpos = 0;
    pending.reserve(src.size() + src.size() / 32 + 2);
    const char* eol = crlf ? "\r\n" : "\n";
    for (char ch : src) {
        if (ch == '\r') {
            pendingcr = true;
            continue;
        }
        if (ch == '\n') {
            pending.append(eol);
            pendingcr = false;
            atlinestart = true;
            continue;
        }
        if (pendingcr) {
            pending.append(eol);
            pendingcr = false;
        }
        pending.push_back(ch);
        atlinestart = false;
    }
    return static_cast<long>(pending.size());
}

long wirestream::wiresize() const {
    wirestream copy(head, fd, bodystart, bodyend - bodystart, crlf);
    long total = 0;
    char buf[1 << 14];
    for (long n; (n = copy.read(buf, sizeof buf)) != 0;) {
        if (n < 0) return -1;
        total += n;
    }
    return total;
}

long wirestream::read(char* buf, std::size_t max) {
    std::size_t out = 0;
    while (out < max) {
        if (blockpos >= pending.size()) {
            long n = fill();
            if (n < 0) return -1;
            // A piece of nothing but CRs gives nothing yet: read on.
            if (n == 0 && ended && headpos >= head.size() && bodypos >= bodyend) break;
            if (n == 0) continue;
        }
        std::size_t take = std::min(max - out, pending.size() - blockpos);
        std::memcpy(buf + out, pending.data() + blockpos, take);
        out += take;
        blockpos += take;
    }
    return static_cast<long>(out);
}
