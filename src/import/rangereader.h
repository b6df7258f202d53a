// The bytes of one message inside its message file, read line by line.
//
// A SOUP message file holds many messages back to back; a message is only
// ever handled as a byte range of that file, never copied as a whole. The
// reader stops at the end of the range, so no message can read into the next.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

// Where one message lies in its file: the bytes [start, end).
struct msgrange {
    long start = 0;
    long end = 0;
};

class rangereader {
   public:
    // Positions f (open for binary reading) at r.start.
    rangereader(std::FILE* f, msgrange r);

    // Appends one physical line of at most max bytes to out: up to and
    // including its line feed, or fewer bytes at max or at the end of the
    // range. Returns the number of bytes appended; 0 at the end of the range
    // or after a read error.
    std::size_t readline(std::string& out, std::size_t max);

    // The next byte of the range without taking it, or EOF at its end.
    int peek();

    // The file offset of the next byte.
    long tell() const { return pos; }
    bool atend() const { return failed || pos >= end; }
    // True after a seek or read error: the range was not read completely.
    bool error() const { return failed; }

   private:
    std::FILE* file;
    long pos;
    long end;
    bool failed = false;
};
