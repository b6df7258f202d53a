#include "import/rangereader.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

filewindow::filewindow(std::FILE* f, std::size_t size)
    : fd(fileno(f)), block(std::max<std::size_t>(size, 1)) {}

bool filewindow::view(long offset, std::string_view& bytes) {
    if (offset < start || offset >= start + static_cast<long>(filled)) {
        // Moving on from the end of the block: its last bytes stay.
        std::size_t keep = 0;
        if (offset == start + static_cast<long>(filled)) {
            keep = std::min({KEEP, filled, block.size() / 4});
            std::memmove(block.data(), block.data() + filled - keep, keep);
        }
        start = offset - static_cast<long>(keep);
        filled = keep;
        while (filled < block.size()) {
            ssize_t n = pread(fd, block.data() + filled, block.size() - filled,
                              static_cast<off_t>(start) + static_cast<off_t>(filled));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                filled = 0;
                return false;
            }
            if (n == 0) break;
            filled += static_cast<std::size_t>(n);
        }
        // At the end of the file nothing new came: not even the kept bytes
        // hold offset.
        if (offset >= start + static_cast<long>(filled)) {
            bytes = {};
            return true;
        }
    }
    std::size_t at = static_cast<std::size_t>(offset - start);
    bytes = std::string_view(block.data() + at, filled - at);
    return true;
}

namespace {
// A window of its own never holds more than its range needs.
std::size_t ownsize(msgrange r) {
    return static_cast<std::size_t>(
        std::clamp(r.end - r.start, 1L, static_cast<long>(filewindow::BLOCKSIZE)));
}
}  // namespace

rangereader::rangereader(std::FILE* f, msgrange r)
    : own(std::make_unique<filewindow>(f, ownsize(r))),
      window(own.get()),
      pos(r.start),
      end(r.end) {}

rangereader::rangereader(filewindow& w, msgrange r) : window(&w), pos(r.start), end(r.end) {}

void rangereader::seek(long to) {
    pos = to;
    avail = {};
}

bool rangereader::fill() {
    if (!avail.empty()) return true;
    if (atend()) return false;
    std::string_view bytes;
    // An error, or a file shorter than the range promised.
    if (!window->view(pos, bytes) || bytes.empty()) {
        failed = true;
        return false;
    }
    avail = bytes.substr(
        0, static_cast<std::size_t>(std::min<long>(static_cast<long>(bytes.size()), end - pos)));
    return true;
}

void rangereader::take(std::size_t n) {
    avail.remove_prefix(n);
    pos += static_cast<long>(n);
}

std::size_t rangereader::readline(std::string& out, std::size_t max) {
    std::size_t n = 0;
    while (n < max && fill()) {
        std::size_t len = std::min(avail.size(), max - n);
        const void* lf = std::memchr(avail.data(), '\n', len);
        std::size_t count =
            lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - avail.data()) + 1 : len;
        out.append(avail.data(), count);
        take(count);
        n += count;
        if (lf) break;
    }
    return n;
}

std::string_view rangereader::nextline(std::size_t max, std::string& spill) {
    if (max == 0 || !fill()) return {};
    std::size_t len = std::min(avail.size(), max);
    const void* lf = std::memchr(avail.data(), '\n', len);
    // Complete here: ended by its line feed, by max, or by the range's end.
    if (lf || len == max || end - pos == static_cast<long>(avail.size())) {
        std::size_t count =
            lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - avail.data()) + 1 : len;
        std::string_view line = avail.substr(0, count);
        take(count);
        return line;
    }
    spill.clear();
    readline(spill, max);
    return spill;
}

bool rangereader::skipline() {
    while (fill()) {
        const void* lf = std::memchr(avail.data(), '\n', avail.size());
        if (lf) {
            take(static_cast<std::size_t>(static_cast<const char*>(lf) - avail.data()) + 1);
            return true;
        }
        take(avail.size());
    }
    return false;
}

int rangereader::get() {
    if (!fill()) return EOF;
    int c = static_cast<unsigned char>(avail.front());
    take(1);
    return c;
}

bool rangereader::takelineend() {
    if (peek() == '\n') {
        (void)get();
        return true;
    }
    if (!startswith("\r\n")) return false;
    (void)get();
    (void)get();
    return true;
}

// Whether the bytes from here on begin with prefix; the reader does not move.
bool rangereader::startswith(std::string_view prefix) {
    if (!fill()) return false;
    if (avail.size() >= prefix.size())
        return std::memcmp(avail.data(), prefix.data(), prefix.size()) == 0;
    // The prefix would reach into the next block.
    long at = pos;
    bool same = true;
    for (char c : prefix) {
        if (get() != static_cast<unsigned char>(c)) {
            same = false;
            break;
        }
    }
    seek(at);
    return same;
}

long rangereader::findline(std::string_view prefix) {
    for (;;) {
        long linestart = pos;
        bool match = startswith(prefix);
        if (!skipline()) return -1;
        if (match) {
            seek(linestart);
            return linestart;
        }
    }
}

int rangereader::peek() {
    if (!fill()) return EOF;
    return static_cast<unsigned char>(avail.front());
}
