// What waits because a server put it off: "pondlark.dfr" in SoupDir, one
// line per reply still waiting after the last delivery, with the time it
// was first put off, its kind, the recipients still to go and the last
// answer. Delivery gives a reply up once it has waited GiveUpDays; status
// shows what waits and since when.
//
// The book is read when delivery begins and replaced (durably, in one
// rename) when it ends, holding only the replies put off in that run: a
// reply that went, or was refused, leaves it. A run killed before the end
// leaves the book of the run before, which only makes a reply wait a
// little longer.
#pragma once

#include <cstdint>
#include <ctime>
#include <map>
#include <string>
#include <string_view>
#include <vector>

constexpr char DEFERRALSNAME[] = "pondlark.dfr";

struct deferral {
    std::time_t first = 0;  // first put off
    std::time_t last = 0;   // last put off
    int kind = 0;           // 0 mail, 1 news
    std::vector<std::string> pending;
    std::string answer;
};

class deferralbook {
   public:
    // Reads the book of cfg.soupdir (nothing when there is none).
    void load();
    // Notes that the reply known by key waits: returns when it was first
    // put off (now when it was not waiting before).
    std::time_t note(const std::string& key, int kind, const std::vector<std::string>& pending,
                     const std::string& answer);
    // The reply left the queue (or is being given up).
    void forget(const std::string& key);
    // Replaces the book by the replies noted since load. 0, or -1 (reported).
    int save();

   private:
    std::map<std::string, deferral> before, now;
    bool loaded = false;
};

extern deferralbook deferrals;

// The key of a reply in the book: its Message-ID, else its text's hash.
std::string deferralkey(std::string_view header, std::uint64_t hash);

// The entries of a book file, by key (for status). 0, or -1 when it cannot
// be read.
int readdeferrals(const std::string& path, std::map<std::string, deferral>& out);
