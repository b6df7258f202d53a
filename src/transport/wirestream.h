// A reply message as it leaves for a server: a header prepared in memory
// (Bcc taken out, a Path added, ...) followed by the body read from its
// reply file in blocks, so that a message of any size costs the same
// memory.
//
// This is the last step before the bytes reach a server or a program, and
// it keeps the wire clean whatever the reply file holds: every line ends
// in CR LF (for SMTP) or LF (for a sendmail command and rnews), and no CR
// or LF stands anywhere else. A CR (or a run of them) before a LF is part
// of that line end, and a CR without a LF after it ends a line of its
// own: "\r.\r\n" (the SMTP smuggling pattern) leaves as a line end and a
// line of one dot, which the SMTP client doubles like any other. The last
// line gets its line end when it has none.
#pragma once

#include <string>

class wirestream {
   public:
    // head: the header as it goes out; the body is length bytes of fd from
    // offset. Line ends become CR LF with crlf, LF without.
    wirestream(std::string head, int fd, long offset, long length, bool crlf);

    // Up to max bytes of the message into buf; their number, 0 at the end,
    // -1 when the file cannot be read.
    long read(char* buf, std::size_t max);

    // The number of bytes read() hands out in all (it reads the message
    // through once), or -1 when the file cannot be read.
    long wiresize() const;

   private:
    long fill();
    std::string head;
    std::size_t headpos = 0;
    int fd;
    long bodystart, bodypos, bodyend;
    bool crlf;
    bool pendingcr = false;  // a CR was read whose line end is not written yet
    bool atlinestart = true; // the last byte handed out ended a line (or none was)
    bool ended = false;      // the end of the message was reached
    std::string block;
    std::size_t blockpos = 0;
    std::string pending;  // converted bytes not yet handed out
};
