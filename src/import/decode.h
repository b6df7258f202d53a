// Files encoded inside an imported message: Base64 MIME parts and
// uuencoded files, decoded line by line into files on disk while the
// message text keeps a one-line note about each.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "base/fileio.h"
#include "import/attachname.h"

// DECODE_PLAIN: a part that is a file but not encoded (7bit, 8bit, or
// quoted-printable decoded as it is read): its lines are the file's lines.
enum decodestates { DECODE_BASE64 = 0, DECODE_UU = 1, DECODE_NONE = 2, DECODE_PLAIN = 3 };

// The number of bytes a Base64 data line gives (its Base64 characters
// times 3 / 4), or -1 when the line is no data line (it does not begin with
// a Base64 character).
long base64linebytes(std::string_view line);

// Appends the bytes of a Base64 data line to out: groups of four characters
// from its start, as many bytes as base64linebytes counts; a byte that
// depends on a character outside the alphabet is left out.
void decodebase64line(std::string_view line, std::string& out);

// The number of bytes a uuencoded data line gives (from its first
// character), or -1 when the line is no data line: the first character is
// not "!" .. "`", or the line is too short for its count.
long uulinebytes(std::string_view line);

// Appends the bytes of a uuencoded data line to out.
void decodeuuline(std::string_view line, std::string& out);

// One encoded file at a time, during one pass over a message. The parse
// pass (writing false) only names and lists the files; the write pass
// creates and fills them and reports each through `writefileinfo`.
class attachdecoder {
   public:
    // ignored: the message is not written (no note goes into its text);
    // packet: the open packet for the notes.
    attachdecoder(bool writing, int ignored, std::FILE* packet);
    attachdecoder(const attachdecoder&) = delete;
    attachdecoder& operator=(const attachdecoder&) = delete;
    ~attachdecoder();

    int state() const { return decoding; }
    // The attach mode of the open file (ATTACH_IGNORE when it is left as text).
    int attachmode() const { return mode; }

    // Starts a file of encoding FILEENC_MIME or FILEENC_UU named given (may
    // be empty); attachmode is ATTACH_IGNORE (lines stay text), _DECODE or
    // _KILL (lines are dropped). With listit the file joins the file-attach
    // subject (`curmsg.fname`). A file that cannot be created is left in the
    // text (ATTACH_IGNORE). Created files are noted for the message file's
    // rollback. The files of a message beyond ImportMaxFiles are taken out
    // of the text unmade (filesleftout). A name like FidoNet mail from a
    // sender who is no Route node is logged when the file is made.
    // The name is made safe by namerule (NAME_SAFE, NAME_ASCII: attachname.h).
    void begin(int encoding, std::string_view given, int attachmode, bool listit,
               int namerule = NAME_SAFE);
    // The same for a part whose lines are the file's lines (DECODE_PLAIN);
    // it ends only by end().
    void beginplain(std::string_view given, int attachmode, bool listit);

    // Offers a line read while a file is open. Returns true when the line
    // was data and is taken out of the text; false when it is text (a line
    // that is no data also ends the file).
    bool takeline(std::string_view line);

    // Ends the open file, if any: closes it and (writing) reports it. A file
    // whose writes failed is reported as an error and removed. Returns 0, or
    // -1 when the file or the note in the packet could not be written.
    [[nodiscard]] int end();

    // A decoded file or a note could not be written: the message is lost.
    bool failed() const { return broken; }

    // Files beyond ImportMaxFiles: their lines are taken out of the text and
    // nothing is made, named or reported for them one by one.
    long filesleftout() const { return leftout; }

   private:
    void flushbuffer();

    bool writing;
    int ignored;
    std::FILE* packet;
    int decoding = DECODE_NONE;
    int encoding = 0;
    int mode = 0;
    attachfile file;
    std::unordered_set<std::string> chosen;  // paths chosen for files of this message
    fileptr out;
    long bytecount = 0;
    long plainlines = 0;       // lines of a DECODE_PLAIN file so far
    bool writefailed = false;  // a write to the current file failed
    bool broken = false;       // some file or note of this pass failed
    long files = 0;            // files begun that are not left as text
    long leftout = 0;          // of them beyond ImportMaxFiles
    bool silent = false;       // the current file is one of those
    // Decoded bytes not yet handed to the file.
    std::string buffer;
};
