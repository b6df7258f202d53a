// A Maildir as mail servers and fetchers deliver into it: complete
// messages appear in new/ (moved there from tmp/ by the deliverer), and a
// reader moves each one to cur/ with an info suffix ":2,<flags>" ("S" for
// seen) once it has it.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

// One message of a Maildir, as found.
struct maildirmsg {
    std::string sub;   // "new/" or "cur/"
    std::string name;  // its file name there
    std::string unique() const;  // the name before the ":" of the info
};

// Why dir (ending in "/") is no Maildir: "" when it has new/ and cur/.
std::string maildirproblem(const std::string& dir);

// The messages of dir not marked seen: every file in new/, and every file
// in cur/ whose flags lack "S"; names beginning with "." are passed over.
// In name order, new/ first. Returns false (out empty) when new/ or cur/
// cannot be read.
bool unseenmessages(const std::string& dir, std::vector<maildirmsg>& out);

// The folders new/ and cur/ of a Maildir, open, so that the names of its
// messages are found without walking the whole path each time (a few
// thousand messages take a few thousand renames).
class maildirfolders {
   public:
    maildirfolders() = default;
    ~maildirfolders();
    maildirfolders(const maildirfolders&) = delete;
    maildirfolders& operator=(const maildirfolders&) = delete;
    // Opens dir's new/ and cur/ (closing what was open). false when either cannot be.
    bool open(const std::string& dir);
    const std::string& dir() const { return path; }
    // The folder a message lies in ("new/" or "cur/"); -1 for another name.
    int fd(const std::string& sub) const;

   private:
    std::string path;
    int newfd = -1, curfd = -1;
};

// The names in cur/ by their unique part, read once when first needed: a
// message no longer where it was found (a reader changed its flags, or a
// run that was killed had marked it already) is looked up here.
struct curindex {
    bool read = false;
    std::unordered_map<std::string, std::string> names;
};

// Marks a message seen: cur/<unique>:2,<flags with S>, moved from new/
// when it was there. Returns 0 (also when it is already marked or gone),
// or -1.
[[nodiscard]] int markseen(const maildirfolders& md, const maildirmsg& m, curindex& index);

// Removes a message (ImportMaildir ... Delete). 0 (also when gone), or -1.
[[nodiscard]] int removemessage(const maildirfolders& md, const maildirmsg& m, curindex& index);

// The name a message takes once marked seen: the info's flags with "S"
// added in order (flags are kept in ASCII order), or ":2,S" when it had
// no info.
std::string seenname(const std::string& name);
