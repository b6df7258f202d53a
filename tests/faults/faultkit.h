// Tools of the fault tests: a small disk that can be filled to the page,
// and independent readers of what the gateway leaves behind (SOUP reply
// files with their REPLIES index, list files), so that a test can tell
// whether anything was lost, written twice, or left half-written.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "driver/fidoaddr.h"
#include "support/testutil.h"

// What a full disk runs out of.
enum fillkind { PAGES, FILES };

// A tmpfs mounted on a directory while the object lives. The mount is made
// in a mount namespace of the test process where the system allows one, so
// that it vanishes with the process even when a test dies on the way.
class smalldisk {
   public:
    smalldisk(const std::string& dir, int kib);
    ~smalldisk();
    smalldisk(const smalldisk&) = delete;
    smalldisk& operator=(const smalldisk&) = delete;

    bool ready() const { return mounted_; }
    const std::string& why() const { return why_; }  // why it could not be mounted
    // Fills the disk with a filler file (outside the directories the test
    // uses) until exactly pages pages of 4 KiB are left free.
    void leavefree(int pages);
    // Takes all files the disk can hold but n with empty filler files.
    void leavefiles(int n);
    void leave(fillkind k, int n) { k == PAGES ? leavefree(n) : leavefiles(n); }
    // Removes the fillers: the disk has room again.
    void release();

   private:
    std::string dir_;
    int fillers_ = 0;
    bool mounted_ = false;
    std::string why_;
};

// Whether a small disk can be mounted here at all; why receives the reason
// when not.
bool canmount(std::string& why);

// Stops the test with a clear message when no disk can be mounted.
#define SKIP_WITHOUT_DISK()                                                                    \
    if (std::string why_; !canmount(why_)) {                                                   \
        GTEST_SKIP() << "cannot mount a small tmpfs here (" << why_                            \
                     << "): this full-disk case needs root or CAP_SYS_ADMIN and does not run"; \
    }

// Runs attempt(n) for n = 0, 1, 2, ... pages or files left free on a full
// disk, until attempt returns true (the run had room for everything) or a
// check failed. Each attempt makes a world of its own, runs on the full
// disk, frees it and runs again.
template <class Attempt>
void sweepfull(Attempt attempt) {
    for (int n = 0;; ++n) {
        SCOPED_TRACE("pages or files left free: " + std::to_string(n));
        if (attempt(n) || ::testing::Test::HasFailure()) return;
        ASSERT_LT(n, 64) << "the disk never had room";
    }
}

// One SOUP reply file as an independent reader sees it.
struct replyfileview {
    std::string name;                   // e.g. MAIL0000
    std::string kind;                   // "mail" or "news" as REPLIES says
    std::vector<std::string> messages;  // the records' texts
};

struct soupreplies {
    std::vector<replyfileview> files;   // every file REPLIES registers, in its order
    std::vector<std::string> problems;  // damaged lines or records, missing files
    std::vector<std::string> strays;    // MAIL*/NEWS*.MSG files REPLIES does not list
    // How often each subject occurs over all registered messages.
    std::map<std::string, int> subjects() const;
    // How often each attached file name occurs (Content-Disposition or
    // uuencode begin line) over all registered messages.
    std::map<std::string, int> attachments() const;
};

// Reads REPLIES in soupdir and every file it registers, record by record:
// a 4-byte big-endian length, then that many bytes of a message with a
// header, an empty line and a body.
soupreplies readreplies(const std::string& soupdir);
// The messages of every registered reply file; damage and reply files
// REPLIES does not list are test failures.
std::vector<std::string> soundreplies(const std::string& soupdir);

// A SOUP message file of the messages (header, empty line, body) in
// format 'm' (mailbox), 'b' (binary, 4-byte lengths) or 'u' (USENET batch).
std::string soupfile(char format, const std::vector<std::string>& messages);

// The mailing list Birds <birds@lists.example>. Its reply templates, each
// known by the words it starts with:
inline const char* const BIRDREPLIES[][2] = {{"welcome", "Welcome aboard"},
                                             {"goodbye", "Goodbye now"},
                                             {"newpass", "New password"},
                                             {"info", "How to subscribe"},
                                             {"pwinfo", "Wrong password"}};
// Writes the templates to dir + "t/" and returns the list's keyword lines
// naming them (without the ListUsers line).
std::string birdlist(const std::string& dir);
// A mailbox message from from to the list; its body is "Seen: <subject>".
std::string birdmail(const std::string& from, const std::string& subject);

// A list file as an independent reader sees it.
struct listview {
    std::string problem;  // empty when the file is whole
    std::string head;     // the keyword section up to and including "ListUsers\n"
    std::map<std::string, std::string> live;  // address -> password of live records
    int deleted = 0;
    int records = 0;
    int stray = 0;  // lines outside any record
};

// Parses a list file: keyword lines, "ListUsers", then five-line records
// each opened by "+" or "*" and every line ended by a line feed; stray
// lines between records are counted, a record cut off is a problem.
listview readlistfile(const std::string& text);

// FidoNet mail for the gateway 2:280/5555 and its route 2:280/5556, from
// 2:280/100.
inline const fidoaddr GATE{2, 280, 5555, 0};
inline const fidoaddr ROUTE{2, 280, 5556, 0};

// A FidoNet message known by the line "Token <token>" that opens its text.
struct ftnmsg {
    ftnmsg(std::string t, std::size_t size, bool n = false, std::string a = "")
        : token(std::move(t)), textsize(size), news(n), attach(std::move(a)) {}
    std::string token;
    std::size_t textsize;  // bytes of text after the token line
    bool news;             // echomail in PONDLARK.TEST instead of mail to someone@example.com
    std::string attach;    // files it attaches (file-attach bit; the subject)
};

// A type 2+ packet to dest, made by a mailer on 14 Sep 1999.
std::string ftnpacket(const fidoaddr& dest, const std::vector<ftnmsg>& msgs);
// A stored netmail message to the gateway with the attribute word attr.
std::string ftnstored(const ftnmsg& m, std::uint16_t attr);
// How often "Token <t>" followed by end is in text, for each token.
void counttokens(const std::string& text, const std::vector<std::string>& tokens,
                 const std::string& end, std::map<std::string, int>& seen);
// Packet file names, as the outbound and the packet directory have them.
bool ispacketname(const std::string& name);

// Text helpers for building inputs.
std::string base64(const std::string& data);
// Deterministic bytes of length n, different for each seed.
std::string filebytes(std::size_t n, int seed);
// Lines of about 60 characters making up about n bytes.
std::string filler(std::size_t n, int seed);
// Occurrences of needle in hay.
int countof(const std::string& hay, const std::string& needle);
// Every message that appears a number of times other than once, as text.
std::string notonce(const std::vector<std::string>& names, const std::map<std::string, int>& seen);
