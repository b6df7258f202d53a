// The SOUP reply files as the delivery sees them: the files REPLIES
// registers and the records in them, and the one way records leave them.
//
// A delivered or refused record is first noted in the delivery log (see
// deliverylog.h) by its file, the file's identity (device and inode), its
// offset, length and a hash of its text. Settling a log rewrites each
// file named whose identity still matches without those records (through
// a new file renamed over it, which gives it a new identity, so that no
// entry can ever apply twice), removes files left without records, and
// takes their lines out of REPLIES.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// One record of a reply file.
struct replyrecord {
    long offset = 0;  // of its 4-byte length
    long length = 0;  // of its text, which follows the length
    std::uint64_t hash = 0;
};

struct queuedfile {
    std::string name;  // base name as REPLIES has it, e.g. MAIL0000
    std::string path;
    int kind = 0;  // 0 mail, 1 news
    dev_t dev = 0;
    ino_t ino = 0;
    long size = 0;
    long goodend = 0;  // where readable records end; what follows is damage, kept as it is
    std::vector<replyrecord> records;
};

// FNV-1a, 64 bits, continued from h.
std::uint64_t hashbytes(std::string_view data, std::uint64_t h = 14695981039346656037ull);

// The files REPLIES in cfg.soupdir registers, once each, in its order,
// with their records (a file it names that is not there is left out).
// Returns 0 (also without REPLIES), or -1 (reported) when REPLIES or a
// file cannot be read.
int readreplyqueue(std::vector<queuedfile>& files);

// Reads n bytes at offset from the file at path. 0, or -1.
[[nodiscard]] int readat(int fd, long offset, long n, std::string& out);

// What became of one record.
enum recordfates { FATE_SENT = 0, FATE_REJECTED = 1, FATE_PARTIAL = 2 };

struct recordfate {
    int fate = FATE_SENT;
    std::string name;  // the reply file's base name
    dev_t dev = 0;
    ino_t ino = 0;
    replyrecord record;
    std::vector<std::string> sentto;  // FATE_PARTIAL: the recipients that have it
};

// Applies fates to the reply files and REPLIES, durably: records sent or
// rejected leave their files; a partly delivered one keeps its place with
// the recipients that have it named in an X-PondLark-Sent-To line. Fates
// whose file has another identity now (a rewrite applied them already) or
// whose record is not where it was are passed over. REPLIES also loses
// lines naming files that are not there and repeated lines. Returns 0, or
// -1 (reported) when a file could not be rewritten: its records stay and
// will be sent again.
int settlefates(const std::vector<recordfate>& fates);
