// Owned stdio files and the checked close that every output goes through.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

struct fileclose {
    void operator()(std::FILE* f) const {
        if (f) std::fclose(f);
    }
};
using fileptr = std::unique_ptr<std::FILE, fileclose>;

// fopen wrapped into an owner; empty when the file cannot be opened.
fileptr openfile(const std::string& path, const char* mode);

// Files in folders other programs may write (the SOUP folder, the inbound
// and outbound, NetmailDir, a Maildir): never opened through a link, only
// a plain file (one with a single name when it is to be written), and one
// that is made is made new (O_EXCL). opensharedfd takes open(2) flags
// (O_CREAT: make it when missing) and returns a descriptor or -1 (errno
// set); openshared takes the fopen modes "r", "r+", "a" and "w+x" ("b" is
// ignored).
int opensharedfd(const std::string& path, int flags);
fileptr openshared(const std::string& path, const char* mode);

// Flushes and closes f (which becomes empty). Returns 0, or -1 when an
// earlier write, the flush or the close failed, so nothing written to a file
// can fail unnoticed.
[[nodiscard]] int closefile(fileptr& f);

// The same for a plain FILE*.
[[nodiscard]] int closefile(std::FILE* f);

// Writes all n bytes; returns 0, or -1 on a short write.
[[nodiscard]] int writeall(std::FILE* f, const void* data, std::size_t n);

// Names of the entries of a directory (without "." and ".."), sorted by name
// so that runs are repeatable. Returns false when the directory cannot be read.
bool listdir(const std::string& dir, std::vector<std::string>& names);

// The length of an open file in bytes, or -1.
long filelength(std::FILE* f);
