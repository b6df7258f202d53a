// The inbound SOUP packet: the AREAS index and the message files it names.
//
// An Internet client leaves AREAS and one message file per area in the SOUP
// directory. AREAS says, line by line, which file holds which area and in
// which format; each message file is cut here into messages, handed on as
// byte ranges of the file.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "base/fileio.h"
#include "base/fixedtext.h"
#include "import/rangereader.h"

constexpr char AREASNAME[] = "AREAS";  // inbound index, in the SOUP directory
constexpr char MESSAGEEXT[] = ".MSG";  // every message file, inbound and reply
constexpr char RNEWSHEADER[] = "#! rnews ";
constexpr char EMAILAREANAME[] = "Email";  // an area of this name is always mail

// Message-file formats, from the first letter of an area's encoding.
enum msgformats {
    FORMAT_RNEWS = 0,   // 'u': articles opened by "#! rnews <count>" lines
    FORMAT_MBOX = 1,    // 'm': messages opened by "From " lines
    FORMAT_MMDF = 2,    // 'M': messages separated by lines of four 0x01 bytes
    FORMAT_BINARY = 3,  // 'b', 'B': each message preceded by a 4-byte length
    FORMAT_UNKNOWN = 4
};

// One area of AREAS.
struct souparea {
    std::string prefix;  // base name of the message file
    text128 areaname;    // the newsgroup for news; a byte not allowed in it is "_"
    // The name was empty or held a blank, a control or 8-bit byte: written
    // after "AREA:" it could add lines of its own, so its messages are junk.
    bool unusablename = false;
    int msgformat = FORMAT_UNKNOWN;
    int msgtype = 0;  // 0 mail, 1 news
};

enum arearesults {
    AREA_OK = 0,       // an area to import
    AREA_ERROR = 1,    // fewer than three fields: skipped
    AREA_UNKNOWN = 2,  // unknown format letter: skipped, and AREAS must be kept
    AREA_END = 3,      // no more lines
    AREA_FAILED = 4    // AREAS could not be read to its end: stop, and keep AREAS
};

// Splits one AREAS line (without its line feed) into a; returns AREA_OK,
// AREA_ERROR or AREA_UNKNOWN. An area name must be printable ASCII without
// blanks (see souparea::unusablename). Reports nothing.
[[nodiscard]] int parsearealine(std::string_view line, souparea& a);

// Reads AREAS line by line; a last line without line feed counts like any
// other, so no area is skipped and then deleted with AREAS.
class areasreader {
   public:
    explicit areasreader(std::FILE* f) : file(f) {}

    // The next line into a. Reports error lines ("Error in line ..."),
    // unknown formats ("Unknown message format in line ..."), unusable area
    // names and read errors ("Error reading AREAS") itself; the caller goes on after AREA_ERROR,
    // goes on but keeps AREAS after AREA_UNKNOWN, and stops and keeps AREAS
    // after AREA_FAILED.
    [[nodiscard]] int next(souparea& a);

    // Number of the line last returned, from 1 (error lines count too).
    long lineno() const { return line; }

    // The line last returned as it stands, without its line end.
    const std::string& text() const { return current; }

   private:
    std::FILE* file;
    long line = 0;
    std::string current;
};

// The message file of an area: soupdir + prefix + ".MSG".
std::string messagefilepath(std::string_view soupdir, std::string_view prefix);

// Opens a message file for binary reading, never through a link (errno
// ELOOP). Its messages are read through a filewindow (see
// soupcutter::window). Empty when it cannot be opened.
fileptr openmessagefile(const std::string& path);

enum cutresults {
    CUT_MESSAGE = 0,  // the next message's range
    CUT_NOMORE = 1,   // the file has no further message
    CUT_BADFILE = 2   // the file is damaged (or unreadable) from here on
};

// Cuts an open message file into messages, one per call of next(). Other
// readers may move the file's position between calls (the conversion reads
// each range twice); next() always continues at the end of the last range.
class soupcutter {
   public:
    // f: open for binary reading; format: FORMAT_RNEWS .. FORMAT_BINARY.
    soupcutter(std::FILE* f, int format);

    // The next message into r. For the counted formats (rnews, binary) the
    // count is also noted in curmsg.messagesize. A read error gives
    // CUT_BADFILE, never CUT_NOMORE, so a file is never taken as finished
    // when it could not be read.
    [[nodiscard]] int next(msgrange& r);

    // The size of the file (-1 when unknown) and where the next message
    // will be looked for (for the progress display).
    long size() const { return filesize; }
    long position() const { return pos; }

    // The read-ahead block of the file, for the readers of its messages.
    filewindow& window() { return win; }

   private:
    int cutrnews(msgrange& r);
    int cutmbox(msgrange& r);
    int cutmmdf(msgrange& r);
    int cutbinary(msgrange& r);
    int counted(long start, long count, msgrange& r);
    // Reads one whole line, keeping at most headmax bytes of it in head;
    // sets eof when the line ran into the end of the file. Returns false
    // on a read error.
    bool readline(std::string& head, std::size_t headmax, bool& eof);

    int format;
    long filesize;
    filewindow win;  // shared with the readers of the messages (window())
    rangereader in;  // the whole file
    long pos = 0;
    bool readerror = false;
};
