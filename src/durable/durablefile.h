// Files that must survive a killed run or a lost machine: written under a
// temporary name, synced to the disk, renamed over their final name, and
// the folder synced, so that a reader finds the old content or the new
// one, never a part, and the new one is on the disk once this returns.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Syncs the folder that holds path (the folder itself when path ends in
// "/"), so that a rename or removal in it is on the disk. 0, or -1.
[[nodiscard]] int syncfolder(const std::string& path);

// The temporary name a durable file is written under before its rename:
// path + ".plnew". Such a file left by a killed run is incomplete.
std::string durabletemp(const std::string& path);

// Removes what killed runs left of durable files in dir: every temporary
// file whose final name is one of names or begins with one of prefixes.
void removestaletemps(const std::string& dir, const std::vector<std::string>& names,
                      const std::vector<std::string>& prefixes);

// One file being written durably.
class durablefile {
   public:
    durablefile() = default;
    ~durablefile();  // an uncommitted file is dropped
    durablefile(const durablefile&) = delete;
    durablefile& operator=(const durablefile&) = delete;

    // Creates the temporary file of path as a new file (an old one a killed
    // run left, or a link in its place, is removed first, never written
    // through). 0, or -1 (errno tells why).
    [[nodiscard]] int open(const std::string& path);
    // Appends bytes; a failure shows in commit.
    void write(std::string_view data);
    void write(const void* data, std::size_t n) { write(std::string_view(static_cast<const char*>(data), n)); }
    // Bytes written so far.
    long size() const { return written; }
    // Overwrites n bytes written before, at offset at (a length filled in
    // once what it counts is written). 0, or -1.
    [[nodiscard]] int patch(long at, const void* data, std::size_t n);
    // Gives up the bytes written since size was at: they are not committed.
    [[nodiscard]] int cutback(long at);
    // Writes out and syncs the content and closes the file (it keeps its
    // temporary name until commit): many files can wait for their commit
    // without holding descriptors or buffers. 0, or -1.
    [[nodiscard]] int seal();
    // Syncs the content (unless sealed), renames it over path and syncs the folder. With
    // syncdir false the folder is left for the caller to sync (one sync for
    // several files). 0, or -1: the file at path is then as it was.
    [[nodiscard]] int commit(bool syncdir = true);
    // Removes the temporary file.
    void abort();
    const std::string& path() const { return final; }

   private:
    int flushbuffer();
    int fd = -1;
    bool failed = false;
    bool sealed = false;
    long written = 0;
    std::string buffer;  // written in blocks, not per call
    std::string final, temp;
};

// Replaces the file at path by data, durably. 0, or -1 (path unchanged).
[[nodiscard]] int writedurable(const std::string& path, std::string_view data);

// Reads a whole file into data. 0; 1 when it does not exist; -1 on error.
[[nodiscard]] int readwhole(const std::string& path, std::string& data);

// The same for a file in a folder other programs may write: a link or
// anything but a plain file in its place is not read (-1).
[[nodiscard]] int readshared(const std::string& path, std::string& data);

// Renames (renameat2 with RENAME_NOREPLACE, or a link and an unlink where the
// file system lacks the flag) without ever replacing an entry at to.
// 0, or -1 (errno EEXIST when to is taken).
[[nodiscard]] int renamenoreplace(int fromdir, const std::string& from, int todir, const std::string& to);

