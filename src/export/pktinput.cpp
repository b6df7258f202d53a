#include "export/pktinput.h"

#include <cstring>

namespace {
constexpr std::size_t WINDOW = 64 * 1024;
// Bytes kept from the previous block when the window moves on, so that
// going back over a line or two never touches the file.
constexpr std::size_t KEEP = 4 * 1024;
}  // namespace

pktinput::pktinput(std::FILE* f, bool eofendstext)
    : f_(f), eofendstext_(eofendstext), buf_(new unsigned char[WINDOW]) {
    long at = f_ ? std::ftell(f_) : -1;
    bufstart_ = at < 0 ? 0 : at;
}

pktinput::~pktinput() {
    if (f_) std::fseek(f_, tell(), SEEK_SET);
}

bool pktinput::fill() {
    if (!f_ || readerror_) return false;
    std::size_t keep = len_ < KEEP ? len_ : KEEP;
    if (keep && keep < len_) std::memmove(buf_.get(), buf_.get() + len_ - keep, keep);
    bufstart_ += static_cast<long>(len_ - keep);
    pos_ = keep;
    len_ = keep;
    std::size_t got = std::fread(buf_.get() + len_, 1, WINDOW - len_, f_);
    if (got == 0 && std::ferror(f_)) readerror_ = true;
    len_ += got;
    return got > 0;
}

std::size_t pktinput::read(unsigned char* out, std::size_t n) {
    std::size_t done = 0;
    while (done < n) {
        if (pos_ == len_ && !fill()) {
            hiteof_ = true;
            break;
        }
        std::size_t take = len_ - pos_;
        if (take > n - done) take = n - done;
        std::memcpy(out + done, buf_.get() + pos_, take);
        pos_ += take;
        done += take;
    }
    return done;
}

void pktinput::skipzero() {
    for (;;) {
        if (pos_ == len_ && !fill()) {
            hiteof_ = true;
            return;
        }
        const void* z = std::memchr(buf_.get() + pos_, 0, len_ - pos_);
        if (z) {
            pos_ = static_cast<std::size_t>(static_cast<const unsigned char*>(z) - buf_.get()) + 1;
            return;
        }
        pos_ = len_;
    }
}

std::size_t pktinput::takeline(char* out, std::size_t max, int& ended) {
    std::size_t n = 0;
    while (n < max) {
        if (pos_ == len_ && !fill()) {
            hiteof_ = true;
            ended = -1;
            return n;
        }
        std::size_t avail = len_ - pos_;
        if (avail > max - n) avail = max - n;
        const unsigned char* from = buf_.get() + pos_;
        const void* cr = std::memchr(from, '\r', avail);
        const void* zero =
            std::memchr(from, 0, cr ? static_cast<const unsigned char*>(cr) - from : avail);
        const unsigned char* stop = static_cast<const unsigned char*>(zero ? zero : cr);
        std::size_t take = stop ? static_cast<std::size_t>(stop - from) : avail;
        std::memcpy(out + n, from, take);
        n += take;
        pos_ += take;
        if (stop) {
            ended = *stop;
            ++pos_;
            return n;
        }
    }
    ended = 1;
    return n;
}

int pktinput::seek(long pos) {
    hiteof_ = false;
    if (pos >= bufstart_ && pos <= bufstart_ + static_cast<long>(len_)) {
        pos_ = static_cast<std::size_t>(pos - bufstart_);
        return 0;
    }
    if (!f_ || pos < 0 || std::fseek(f_, pos, SEEK_SET) != 0) return -1;
    std::clearerr(f_);
    readerror_ = false;
    bufstart_ = pos;
    pos_ = len_ = 0;
    return 0;
}
