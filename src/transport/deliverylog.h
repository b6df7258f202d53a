// The delivery log "pondlark.dlv" in the SOUP directory: what became of
// each reply the servers took or refused, written the moment the answer
// came, before the reply files are rewritten. A run killed after a
// server's acceptance and before the rewrite finds the answer here and
// does not send the reply again.
//
// Each answer is one line, written with one write() as it comes, so that
// it survives the process being killed; the log is synced to the disk at
// least once a second while replies flow, and before the reply files are
// rewritten, so that a lost machine resends at most the replies of the
// last second (their Message-IDs let the receivers drop them). After the
// rewrite the log is emptied. The file also serves as the lock that keeps
// two runs from delivering at once.
#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "transport/replyqueue.h"

constexpr char DELIVERYLOGNAME[] = "pondlark.dlv";

class deliverylog {
   public:
    deliverylog() = default;
    ~deliverylog();
    deliverylog(const deliverylog&) = delete;
    deliverylog& operator=(const deliverylog&) = delete;

    // Opens (creating) cfg.soupdir + DELIVERYLOGNAME and locks it. Returns
    // 0; 1 when another run holds the lock; -1 (errno) when it cannot be
    // opened.
    [[nodiscard]] int open();
    // The answers in the log (a last line cut by a crash is left out).
    [[nodiscard]] int read(std::vector<recordfate>& out);
    // Appends one answer. 0, or -1: the answer may be lost, and the reply
    // sent again.
    [[nodiscard]] int note(const recordfate& f);
    // Syncs the log. 0, or -1.
    [[nodiscard]] int sync();
    // Empties the log once its answers are applied. 0, or -1.
    [[nodiscard]] int clear();
    const std::string& path() const { return file; }

   private:
    int fd = -1;
    std::string file;
    std::time_t lastsync = 0;
    bool dirty = false;
};
