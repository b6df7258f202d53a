// A FidoNet packet or stored message as the export converter reads it.
//
// The converter reads a message text several times over (the header scan
// goes back to the line that ended it, the pre-scan looks ahead for 8-bit
// text, wrapping resumes inside a line), so the input is a buffered window
// on the file with cheap backward seeks: whole blocks are read from the
// file, bytes are taken from memory, and the most recent bytes stay in the
// window when it moves on. Memory stays the same whatever the file's size.
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string_view>

class pktinput {
   public:
    // Reads f from its current position. With eofendstext the end of the
    // file is a normal end of a message text (stored messages); otherwise a
    // message text that meets the end of the file was cut off (packets).
    explicit pktinput(std::FILE* f, bool eofendstext = false);
    // Leaves f positioned at the first byte not consumed.
    ~pktinput();
    pktinput(const pktinput&) = delete;
    pktinput& operator=(const pktinput&) = delete;

    // The next byte (0..255), or -1 at the end of the file or on a read
    // error; both set hiteof().
    int getbyte() {
        if (pos_ < len_ || fill()) return buf_[pos_++];
        hiteof_ = true;
        return -1;
    }
    // The next byte without consuming it, or -1.
    int peekbyte() {
        if (pos_ < len_ || fill()) return buf_[pos_];
        return -1;
    }
    // Reads up to n bytes; returns how many were read.
    std::size_t read(unsigned char* out, std::size_t n);
    // The bytes buffered from the current position on, reading the next
    // block when none are left; empty at the end of the file (or on a read
    // error), which sets hiteof(). Valid until the next read or seek.
    std::string_view buffered() {
        if (pos_ == len_ && !fill()) {
            hiteof_ = true;
            return {};
        }
        return std::string_view(reinterpret_cast<const char*>(buf_.get()) + pos_, len_ - pos_);
    }
    // Passes over n bytes of buffered().
    void advance(std::size_t n) { pos_ += n; }
    // Consumes bytes up to and including the next zero byte (or to the end).
    void skipzero();
    // Copies bytes to out until a carriage return or a zero byte (consumed,
    // not stored), max stored bytes, or the end of the file. Returns the
    // number stored; ended receives the byte that ended the copy ('\r' or
    // 0), -1 for the end of the file, or 1 when max bytes were stored.
    std::size_t takeline(char* out, std::size_t max, int& ended);

    // The file offset of the next byte.
    long tell() const { return bufstart_ + static_cast<long>(pos_); }
    // Moves to a file offset; clears hiteof(). 0, or -1 when the file
    // cannot be positioned.
    [[nodiscard]] int seek(long pos);

    // The end of the file (or a read error) was met since the last seek.
    bool hiteof() const { return hiteof_; }
    // A read error happened on the file.
    bool readerror() const { return readerror_; }
    // The text being read was cut off by the end of the file: it met the
    // end where only a zero byte may end it.
    bool cut() const { return hiteof_ && !eofendstext_; }

   private:
    bool fill();

    std::FILE* f_;
    bool eofendstext_;
    std::unique_ptr<unsigned char[]> buf_;
    std::size_t pos_ = 0;  // next byte in buf_
    std::size_t len_ = 0;  // valid bytes in buf_
    long bufstart_ = 0;    // file offset of buf_[0]
    bool hiteof_ = false;
    bool readerror_ = false;
};
