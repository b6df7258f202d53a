// Flow files: the mailer's lists of files to send to an address, one path
// a line, with a leading "^" (delete the file once sent) or "#" (truncate
// it once sent). Their entries join the attachment list while the mail for
// the address is exported; afterwards the flow file goes, or keeps only the
// lines whose files are still to be sent.
#pragma once

#include <string>
#include <vector>

// The longest flow-file line taken as a file name; a longer line is left
// in the flow file untouched.
constexpr std::size_t FLOWLINEMAX = 4093;

struct flowline {
    std::string text;  // the line without its line end
    std::string end;   // its line end as read ("\n", "\r\n", or "" for a last line without one)
    long entry = -1;   // its attachment-list entry, or -1 when it has none
    long at = 0;       // where the line begins in the file
};

struct flowfile {
    std::string path;
    std::vector<flowline> lines;
};

// Reads the flow file at path into ff, every line including a last line
// without a line end, and adds each non-empty line to the attachment list
// while the list has room. A line that begins with "~" names a file sent
// already (mailers mark them so) and is passed over. Returns 0, or -1 when
// the file cannot be read.
[[nodiscard]] int readflowfile(const std::string& path, flowfile& ff);

// True when the line still has a file to send: its entry is not done, or
// the attachment list had no room for it.
bool flowlinepending(const flowline& l);

// After the entries were exported: removes the flow file when no line is
// pending, rewrites it with the pending lines (through a temporary file and
// a rename) when some were settled, and leaves it alone when none was.
// When the rewrite fails (a full disk) the settled lines are marked sent in
// place instead, their first character overwritten by "~" (reported).
// Nothing changes under /test. Returns 1 when the flow file is gone, 0 when
// lines are left for the next run, -1 when removing or updating failed
// (reported; the file keeps its old content).
int settleflowfile(const flowfile& ff);
