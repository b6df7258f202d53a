// A reply message as it leaves for a server: a header prepared in memory
// (Bcc taken out, a Path added, ...) followed by the body read from its
// reply file in blocks, so that a message of any size costs the same
// memory; for SMTP every line end becomes CR LF.
#pragma once

#include <string>

class wirestream {
   public:
    // head: the header as it goes out; the body is length bytes of fd from
    // offset. With crlf, a LF not preceded by CR is sent as CR LF.
    wirestream(std::string head, int fd, long offset, long length, bool crlf);

    // Up to max bytes of the message into buf; their number, 0 at the end,
    // -1 when the file cannot be read.
    long read(char* buf, std::size_t max);

    // The number of bytes the message has without conversion.
    long rawsize() const { return static_cast<long>(head.size()) + bodyend - bodystart; }

   private:
    long fill();
    std::string head;
    std::size_t headpos = 0;
    int fd;
    long bodystart, bodypos, bodyend;
    bool crlf;
    bool lastcr = false;  // the byte before was CR
    std::string block;
    std::size_t blockpos = 0;
    std::string pending;  // converted bytes not yet handed out
};
