// Tools of the fault tests: a small disk that can be filled to the page,
// and independent readers of what the gateway leaves behind (SOUP reply
// files with their REPLIES index, list files), so that a test can tell
// whether anything was lost, written twice, or left half-written.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "base/fidoaddr.h"
#include "support/testutil.h"

// What a fault test runs out of: the pages or the files of a full disk,
// or the bytes a file may take under a file size limit.
enum fillkind { PAGES, FILES, FILESIZE };
inline const char* const FILLNAMES[] = {"pages", "files", "filesize"};

// A test name made of a case's description: every other character than a
// letter or digit becomes "_".
std::string testname(const std::string& description);

// Names the tests of a fault sweep over the (case index, fill kind) pairs
// of cases, each of which has a name: "<case>_<kind>".
template <class Cases>
auto sweepname(const Cases& cases) {
    return [&cases](const ::testing::TestParamInfo<std::tuple<std::size_t, fillkind>>& info) {
        return testname(cases[std::get<0>(info.param)].name) + "_" +
               FILLNAMES[std::get<1>(info.param)];
    };
}

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

// Writes gate.cfg into the scratch folder dir for the gateway 2:280/5555
// (sysop@pond.example, PONDLARK.TEST as alt.test, 2:280/5556 routed to
// node5556@uplink.example, log ./pondlark.log) and makes its folders: in,
// soup and tmp, below dir, and the mailer's out and net below dir + mail.
// A Binkley-style mailer unless extra (further lines) names another.
void writegate(const std::string& dir, const std::string& extra = "", const std::string& in = "in",
               const std::string& soup = "soup", const std::string& mail = "");

// The disk and file size sweeps below run worlds of a fault test:
// World(args..., mount) makes a scratch gateway, its output directory on a
// small disk w.disk when mount; w.run() runs it; w.finished(log, last)
// checks what a run left (nothing lost, nothing twice, what is left kept
// whole and the log saying why; with last, nothing left) and returns true
// when no work is left. World::DISKFULL is what the log says when a write
// found the disk full.

// Fills the disk so that n = 0, 1, 2, ... pages or files (kind) stay free
// until a run has room for everything or a check failed; each time in a
// world of its own, followed by a run on the freed disk that must finish
// the work.
template <class World, class... Args>
void sweepdisk(fillkind kind, const Args&... args) {
    SKIP_WITHOUT_DISK();
    for (int n = 0, done = 0; !done && !::testing::Test::HasFailure(); ++n) {
        SCOPED_TRACE("pages or files left free: " + std::to_string(n));
        ASSERT_LT(n, 64) << "the disk never had room";
        World w(args..., true);
        w.disk->leave(kind, n);
        runresult r = w.run();
        EXPECT_EQ(r.status, 0) << r.err;
        std::string log = readfile(w.dir / "pondlark.log");
        done = w.finished(log, false);
        // Without a free file, a file cannot be made at all: no write fails.
        if (!done && kind == PAGES) {
            EXPECT_NE(log.find(World::DISKFULL), std::string::npos) << "the log does not say why:\n"
                                                                    << log;
        }
        w.disk->release();
        r = w.run();
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(w.finished(readfile(w.dir / "pondlark.log"), true)) << "work left:\n" << r.err;
    }
}

// Runs under a limit to the size of any file, at the limits given and
// around the size of the largest file a run without a limit leaves in
// outdir: writes then fail at any byte, also in a header or the last bytes
// of a file, and this runs where no disk can be mounted. The limit stops
// the log file too, so the checks read standard error. Each run under a
// limit is followed by one without that must finish the work.
template <class World, class... Args>
void sweepfilesize(const std::string& outdir, std::vector<long> limits, const Args&... args) {
    long largest = 0;
    {
        World w(args..., false);
        ASSERT_EQ(w.run().status, 0);
        for (const std::string& name : listtree(w.dir / outdir))
            largest =
                std::max(largest, static_cast<long>(readfile(w.dir / (outdir + name)).size()));
    }
    limits.insert(limits.end(), {largest / 2, largest - 2, largest - 1});
    for (long limit : limits) {
        SCOPED_TRACE("file size limit: " + std::to_string(limit));
        World w(args..., false);
        runresult r;
        {
            filesizelimit l(static_cast<rlim_t>(limit));
            r = w.run();
        }
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_FALSE(w.finished(r.err, false)) << "the limit stopped nothing";
        r = w.run();
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(w.finished(r.err, true)) << "work left:\n" << r.err;
        if (::testing::Test::HasFailure()) return;
    }
}

// The messages of every reply file that REPLIES in soupdir registers,
// read record by record: a 4-byte big-endian length, then that many bytes
// of a message with a header, an empty line and a body. Damage (a bad or
// repeated REPLIES line, a registered file missing or empty, a record cut
// off or without its header) and reply files REPLIES does not list are
// test failures.
std::vector<std::string> soundreplies(const std::string& soupdir);
// The records of the SOUP binary file at path, each checked as above; a
// record cut off is a test failure.
std::vector<std::string> souprecords(const std::string& path);
// How often each attached file name occurs (Content-Disposition or
// uuencode begin line) in messages.
std::map<std::string, int> attachments(const std::vector<std::string>& messages);

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

// A list file as an independent reader sees it. The list reader of the
// gateway passes over damage (a cut record is taken as far as it goes), so
// this one is strict: keyword lines, "ListUsers", then five-line records
// opened by "+" or "*" with a number for the status, every line ended.
struct listview {
    std::string problem;                      // empty when the file is whole
    std::map<std::string, std::string> live;  // address -> password of live records
    int waste = 0;  // deleted records and lines outside records: what a pack removes
};
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
