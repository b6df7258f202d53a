// The bytes of one message inside its message file, read line by line.
//
// A SOUP message file holds many messages back to back; a message is only
// ever handled as a byte range of that file, never copied as a whole. The
// reader stops at the end of the range, so no message can read into the next.
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Where one message lies in its file: the bytes [start, end).
struct msgrange {
    long start = 0;
    long end = 0;
};

// A read-ahead block of one file. The cutter and both passes of the
// conversion read the same messages one after the other; sharing one
// window, they read each block of the file from the system once. It reads
// by offset and never moves the file's own position.
class filewindow {
   public:
    static constexpr std::size_t BLOCKSIZE = 1 << 17;
    // Bytes kept from the block before when the window moves on: the
    // second pass over a message that began there finds it still here.
    static constexpr std::size_t KEEP = 1 << 15;

    explicit filewindow(std::FILE* f, std::size_t size = BLOCKSIZE);

    // The bytes of the file from offset on that the window holds (reading a
    // block there when it holds none); empty at the end of the file.
    // Returns false after a read error.
    bool view(long offset, std::string_view& bytes);

   private:
    int fd;
    std::vector<char> block;
    long start = 0;
    std::size_t filled = 0;
};

class rangereader {
   public:
    // Reads r of f (open for binary reading) through a window of its own.
    rangereader(std::FILE* f, msgrange r);
    // Reads r through a window shared with other readers of the same file.
    rangereader(filewindow& w, msgrange r);

    // Moves to offset to within the range.
    void seek(long to);

    // Appends one physical line of at most max bytes to out: up to and
    // including its line feed, or fewer bytes at max or at the end of the
    // range. Returns the number of bytes appended; 0 at the end of the range
    // or after a read error.
    std::size_t readline(std::string& out, std::size_t max);

    // The next physical line as readline would append it to an empty
    // string, without copying it where it lies in one block of the window:
    // a view of the window then, else of spill, which receives the line.
    // The view is valid until the reader is used again.
    std::string_view nextline(std::size_t max, std::string& spill);

    // Passes over the rest of the current line, its line feed included,
    // without keeping it. Returns true when a line feed ended it, false
    // when the range (or the readable file) ended first.
    bool skipline();

    // The next byte of the range, taken; EOF at its end.
    int get();

    // Takes a line end (LF or CR LF) that comes next. Called after a piece
    // of a line that filled the room it was read into: the line may have
    // ended right there, and its line end, or the LF of a CR LF cut in two,
    // must then not be read as an empty line of its own. Returns true when
    // a line end was taken. Views from nextline end here.
    bool takelineend();

    // From a line start on, passes over whole lines until one begins with
    // prefix and is complete (ends with a line feed); stops in front of it
    // and returns its offset. Returns -1 at the end of the range (or after
    // a read error), standing there.
    long findline(std::string_view prefix);

    // The next byte of the range without taking it, or EOF at its end.
    int peek();

    // The file offset of the next byte.
    long tell() const { return pos; }
    bool atend() const { return failed || pos >= end; }
    // True after a read error, or when the file ended inside the range: the
    // range was not read completely.
    bool error() const { return failed; }

   private:
    // Makes the next bytes of the range available in avail; false at its end.
    bool fill();
    void take(std::size_t n);
    bool startswith(std::string_view prefix);

    std::unique_ptr<filewindow> own;
    filewindow* window;
    long pos;
    long end;
    bool failed = false;
    std::string_view avail;  // the bytes at pos that the window holds, within the range
};
