// The places a run may change files in: the folders the configuration
// names (and the folders below them), the list files, and the packet
// folder of an export /pkt=. The journal and the staging plan live in the
// SOUP folder, which other programs may write: a path read back from them
// is acted on only when it lies in scope, and it is reached from its
// folder without following a link, so that neither a crafted record nor a
// link planted in a shared folder leads anywhere else.
//
// Hidden state: the process-wide scope, set by start-up before the journal
// is opened (and by tests); empty until then, so that nothing is in scope.
#pragma once

#include <string>
#include <vector>

enum scopekinds {
    SCOPE_TREE = 0,      // any entry in the folder or below it
    SCOPE_NAME = 1,      // the one entry name in the folder
    SCOPE_LISTTEMP = 2,  // the temporaries of a list file being packed ("list%04X.tmp")
};

struct scopeentry {
    std::string folder;  // as spelled where the paths are made, ending in "/" ("" the working folder)
    int kind = SCOPE_TREE;
    std::string name;    // SCOPE_NAME: the entry
};

// What a unit of the journal named besides a path outside the scope: a
// file in scope (a flow file, a stored message) may vouch for it, as the
// run itself trusted it. action is the journal's letter (X, Z or M).
using scopevoucher = bool (*)(const std::string& path, char action,
                              const std::vector<std::string>& named);

struct pathscope {
    std::vector<scopeentry> entries;
    scopevoucher vouch = nullptr;
};

extern pathscope scope;

// Adds a folder (a "/" is appended when missing; empty names nothing), a
// single file, or the list-file temporaries beside a list file.
void scopefolder(const std::string& folder);
void scopefile(const std::string& path);
void scopelisttemps(const std::string& listfile);

// Whether path lies in scope: it begins with the spelling of a folder and
// the rest holds no empty, "." or ".." component; or it names a single
// file of the scope. Lexical only; openscoped checks the links.
bool inscope(const std::string& path);

// One entry in scope, its folder open: act on it with the *at calls and
// never follow a link in leaf (AT_SYMLINK_NOFOLLOW, O_NOFOLLOW).
struct scopedpath {
    int dirfd = -1;
    std::string leaf;
    scopedpath() = default;
    ~scopedpath();
    scopedpath(const scopedpath&) = delete;
    scopedpath& operator=(const scopedpath&) = delete;
};

// Opens the folder that holds path: the scope folder as configured, then
// each folder below it with O_NOFOLLOW. Returns 0, or -1 with errno EXDEV
// when path is not in scope, ELOOP or ENOTDIR when a folder on the way is
// a link or no folder.
[[nodiscard]] int openscoped(const std::string& path, scopedpath& at);
