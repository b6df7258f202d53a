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
