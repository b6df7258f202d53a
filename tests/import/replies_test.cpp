#include "import/replies.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "config/settings.h"
#include "support/testutil.h"

namespace {

class replies_test : public statetest {
   protected:
    scratchdir dir;
    void SetUp() override {
        statetest::SetUp();
        cfg.soupdir = dir.path;
    }
    // Appends one message the way export and the list server do.
    int append(int kind, const std::string& text) {
        replymsg h;
        if (openreply(kind, h) != 0) return -1;
        // A short write shows in the stream's error flag, which closereply checks.
        std::fwrite(text.data(), 1, text.size(), h.f);
        return closereply(h);
    }
    // Appends one message the way the export converter does: in pieces
    // through replyappend, held in memory while short.
    int appendheld(int kind, const std::string& text) {
        replymsg h;
        if (openreplyheld(kind, h) != 0) return -1;
        for (std::size_t i = 0; i < text.size(); i += 4096) {
            replyappend(h, std::string_view(text).substr(i, 4096));
        }
        return closereply(h);
    }
};

// A SOUP binary record: a 4-byte length, most significant byte first, and
// that many bytes of text.
std::string rec(const std::string& text) {
    auto n = static_cast<std::uint32_t>(text.size());
    return std::string{static_cast<char>(n >> 24), static_cast<char>(n >> 16),
                       static_cast<char>(n >> 8), static_cast<char>(n)} +
           text;
}

const std::string M1 = "From: a@b\nSubject: one\n\nfirst\n";
const std::string M2 = "From: a@b\nSubject: two\n\nsecond\n";
const std::string M3 = "";
const std::string N1 = "Newsgroups: alt.test\nSubject: n\n\nnews\n";

TEST_F(replies_test, slotsgetthefirstfreenamesandnofile) {
    writefile(dir / "MAIL0000.MSG", "old");
    EXPECT_EQ(genreplyfile(REPLY_MAIL), REPLY_MAIL);
    EXPECT_EQ(genreplyfile(REPLY_NEWS), REPLY_NEWS);
    EXPECT_EQ(replies[REPLY_MAIL].replyfile.str(), dir / "MAIL0001.MSG");
    EXPECT_EQ(replies[REPLY_MAIL].replyfileno, 1);
    EXPECT_EQ(replies[REPLY_NEWS].replyfile.str(), dir / "NEWS0000.MSG");
    EXPECT_EQ(listtree(dir.path), (std::vector<std::string>{"MAIL0000.MSG"}));
    // Called again without messages, a slot keeps its name.
    genreplyfile(REPLY_MAIL);
    EXPECT_EQ(replies[REPLY_MAIL].replyfile.str(), dir / "MAIL0001.MSG");
}

TEST_F(replies_test, onefileperkindandrunwithoutseparatemsg) {
    genreplyfile(REPLY_MAIL);
    genreplyfile(REPLY_NEWS);
    ASSERT_EQ(append(REPLY_MAIL, M1), 0);
    ASSERT_EQ(append(REPLY_NEWS, N1), 0);
    ASSERT_EQ(append(REPLY_MAIL, M2), 0);
    ASSERT_EQ(append(REPLY_MAIL, M3), 0);
    EXPECT_EQ(replies[REPLY_MAIL].newmsg, 3);
    // Each file is registered with its first message, once.
    EXPECT_EQ(readfile(dir / "REPLIES"), "MAIL0000\tmail\tbn\nNEWS0000\tnews\tBn\n");

    genreplyfile(REPLY_MAIL);
    genreplyfile(REPLY_NEWS);
    EXPECT_EQ(readfile(dir / "REPLIES"), "MAIL0000\tmail\tbn\nNEWS0000\tnews\tBn\n");
    EXPECT_EQ(readfile(dir / "MAIL0000.MSG"), rec(M1) + rec(M2) + rec(M3));
    EXPECT_EQ(readfile(dir / "NEWS0000.MSG"), rec(N1));
    // The slots moved on to names not yet created.
    EXPECT_EQ(replies[REPLY_MAIL].replyfile.str(), dir / "MAIL0001.MSG");
    EXPECT_EQ(replies[REPLY_MAIL].newmsg, 0);
    EXPECT_EQ(listtree(dir.path),
              (std::vector<std::string>{"MAIL0000.MSG", "NEWS0000.MSG", "REPLIES"}));
}

TEST_F(replies_test, separatemsggiveseverymessageitsownfileandline) {
    cfg.separatemsg = 1;
    writefile(dir / "REPLIES", "MAIL0007\tmail\tbn\n");  // lines are only appended
    genreplyfile(REPLY_MAIL);
    genreplyfile(REPLY_NEWS);
    ASSERT_EQ(append(REPLY_MAIL, M1), 0);
    ASSERT_EQ(append(REPLY_NEWS, N1), 0);
    ASSERT_EQ(append(REPLY_MAIL, M2), 0);
    ASSERT_EQ(append(REPLY_MAIL, M3), 0);
    const std::string lines =
        "MAIL0007\tmail\tbn\nMAIL0000\tmail\tbn\nNEWS0000\tnews\tBn\n"
        "MAIL0001\tmail\tbn\nMAIL0002\tmail\tbn\n";
    EXPECT_EQ(readfile(dir / "REPLIES"), lines);
    EXPECT_EQ(readfile(dir / "MAIL0000.MSG"), rec(M1));
    EXPECT_EQ(readfile(dir / "MAIL0001.MSG"), rec(M2));
    EXPECT_EQ(readfile(dir / "MAIL0002.MSG"), rec(M3));
    EXPECT_EQ(readfile(dir / "NEWS0000.MSG"), rec(N1));
    // The end-of-run calls find nothing more to register.
    genreplyfile(REPLY_MAIL);
    genreplyfile(REPLY_NEWS);
    EXPECT_EQ(listtree(dir.path).size(), 5u);
    EXPECT_EQ(readfile(dir / "REPLIES"), lines);
}

// Held records, short or past the limit, give the same file as records
// written straight through.
TEST_F(replies_test, heldrecordsmakethesamefile) {
    std::string big;
    for (std::size_t i = 0; big.size() < (3u << 20); ++i) big += "line " + std::to_string(i) + "\n";
    genreplyfile(REPLY_MAIL);
    ASSERT_EQ(appendheld(REPLY_MAIL, M1), 0);
    ASSERT_EQ(appendheld(REPLY_MAIL, big), 0);
    ASSERT_EQ(appendheld(REPLY_MAIL, M3), 0);
    ASSERT_EQ(append(REPLY_MAIL, M2), 0);
    ASSERT_EQ(appendheld(REPLY_MAIL, N1), 0);
    EXPECT_EQ(replies[REPLY_MAIL].newmsg, 5);
    std::string want = rec(M1) + rec(big) + rec(M3) + rec(M2) + rec(N1);
    EXPECT_EQ(replyfilesize(REPLY_MAIL), static_cast<long>(want.size()));
    genreplyfile(REPLY_MAIL);
    EXPECT_TRUE(readfile(dir / "MAIL0000.MSG") == want);
}

// A message aborted, dropped unfinished or failing to be written (held or
// not, short or past the holding limit) leaves the file as it was, is not
// counted, and the file still takes further messages.
TEST_F(replies_test, anunfinishedorfailedmessageleavesthefileasitwas) {
    genreplyfile(REPLY_MAIL);
    ASSERT_EQ(append(REPLY_MAIL, M1), 0);
    const std::string before = readfile(dir / "MAIL0000.MSG");
    for (bool held : {false, true}) {
        replymsg h;
        ASSERT_EQ(held ? openreplyheld(REPLY_MAIL, h) : openreply(REPLY_MAIL, h), 0);
        if (held) {
            replyappend(h, "half a message");
        } else {
            std::fputs("half a message", h.f);
        }
        abortreply(h);
        EXPECT_EQ(h.f, nullptr);
    }
    {
        replymsg h;  // dropped by going out of scope unfinished
        ASSERT_EQ(openreply(REPLY_MAIL, h), 0);
        std::fputs("another half", h.f);
    }
    for (bool held : {false, true}) {
        for (std::size_t size : {std::size_t{5000}, std::size_t{3} << 20}) {
            filesizelimit limit(before.size() + 100);
            testing::internal::CaptureStderr();
            std::string text(size, 'x');
            EXPECT_EQ(held ? appendheld(REPLY_MAIL, text) : append(REPLY_MAIL, text), -1);
            EXPECT_EQ(testing::internal::GetCapturedStderr(),
                      "Error: can't write reply file " + dir / "MAIL0000.MSG" + "\n");
        }
    }
    EXPECT_EQ(readfile(dir / "MAIL0000.MSG"), before);
    EXPECT_EQ(replies[REPLY_MAIL].newmsg, 1);
    ASSERT_EQ(appendheld(REPLY_MAIL, M2), 0);
    genreplyfile(REPLY_MAIL);
    EXPECT_EQ(readfile(dir / "MAIL0000.MSG"), rec(M1) + rec(M2));
    EXPECT_EQ(readfile(dir / "REPLIES"), "MAIL0000\tmail\tbn\n");

    // A message unfinished or failed in a file it created leaves no file
    // behind, nor a REPLIES line.
    cfg.separatemsg = 1;
    genreplyfile(REPLY_NEWS);
    {
        replymsg h;
        ASSERT_EQ(openreply(REPLY_NEWS, h), 0);
        std::fputs("news", h.f);
    }
    EXPECT_FALSE(fileexists(dir / "NEWS0000.MSG"));
    {
        filesizelimit limit(100);
        testing::internal::CaptureStderr();
        EXPECT_EQ(append(REPLY_NEWS, std::string(5000, 'n')), -1);
        testing::internal::GetCapturedStderr();
    }
    EXPECT_EQ(listtree(dir.path), (std::vector<std::string>{"MAIL0000.MSG", "REPLIES"}));
    EXPECT_EQ(replies[REPLY_NEWS].newmsg, 0);
}

TEST_F(replies_test, afilethatcannotbeopenedisnotwrittenorcounted) {
    replies[REPLY_MAIL].replyfile = dir / "missing/MAIL0000.MSG";
    testing::internal::CaptureStderr();
    EXPECT_EQ(append(REPLY_MAIL, M1), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Error: can't open reply file " + dir / "missing/MAIL0000.MSG" + "\n");
    EXPECT_EQ(replies[REPLY_MAIL].newmsg, 0);
    EXPECT_TRUE(listtree(dir.path).empty());

    // Opening for update fails for a reason other than absence: creating
    // the file afresh would throw its messages away.
    makedirs(dir / "MAIL0000.MSG");
    writefile(dir / "MAIL0000.MSG/keep", "k");
    replies[REPLY_MAIL].replyfile = dir / "MAIL0000.MSG";
    testing::internal::CaptureStderr();
    EXPECT_EQ(append(REPLY_MAIL, M1), -1);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(listtree(dir.path), (std::vector<std::string>{"MAIL0000.MSG/keep"}));
    EXPECT_EQ(replies[REPLY_MAIL].newmsg, 0);
}

// A message goes only into a file that REPLIES lists: when the line cannot
// be written, the message fails and neither file keeps a trace of it.
TEST_F(replies_test, amessagewhosefilecannotberegisteredfails) {
    writefile(dir / "REPLIES", std::string(90, 'r'));
    genreplyfile(REPLY_MAIL);
    {
        filesizelimit limit(100);
        testing::internal::CaptureStderr();
        EXPECT_EQ(append(REPLY_MAIL, M1), -1);
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  "Error: can't append to " + dir / "REPLIES" + "\n");
    }
    EXPECT_EQ(readfile(dir / "REPLIES"), std::string(90, 'r'));
    EXPECT_FALSE(fileexists(dir / "MAIL0000.MSG"));
    EXPECT_EQ(replies[REPLY_MAIL].newmsg, 0);

    ASSERT_EQ(append(REPLY_MAIL, M1), 0);
    EXPECT_EQ(readfile(dir / "REPLIES"), std::string(90, 'r') + "MAIL0000\tmail\tbn\n");
    EXPECT_EQ(readfile(dir / "MAIL0000.MSG"), rec(M1));
}

// Taking back the messages appended since a mark: a file registered since
// goes with its line (also when another line follows it); a file that had
// messages before is cut back and stays registered.
TEST_F(replies_test, repliesafteramarkaretakenback) {
    writefile(dir / "REPLIES", "MAIL0007\tmail\tbn\n");
    genreplyfile(REPLY_MAIL);
    genreplyfile(REPLY_NEWS);
    replymark mark = markreplies();
    ASSERT_EQ(append(REPLY_MAIL, M1), 0);
    ASSERT_EQ(append(REPLY_NEWS, N1), 0);
    EXPECT_EQ(rewindreplies(mark), 0);
    EXPECT_EQ(readfile(dir / "REPLIES"), "MAIL0007\tmail\tbn\n");
    EXPECT_EQ(listtree(dir.path), std::vector<std::string>{"REPLIES"});

    ASSERT_EQ(append(REPLY_MAIL, M1), 0);
    mark = markreplies();
    ASSERT_EQ(append(REPLY_NEWS, N1), 0);
    ASSERT_EQ(append(REPLY_MAIL, M2), 0);
    EXPECT_EQ(rewindreplies(mark), 0);
    EXPECT_EQ(readfile(dir / "REPLIES"), "MAIL0007\tmail\tbn\nMAIL0000\tmail\tbn\n");
    EXPECT_EQ(readfile(dir / "MAIL0000.MSG"), rec(M1));
    EXPECT_EQ(replies[REPLY_MAIL].newmsg, 1);
    EXPECT_FALSE(fileexists(dir / "NEWS0000.MSG"));
}

// With SeparateMSG every message has a registered file of its own; those
// written after a mark go again, lines and files, the earlier ones stay.
TEST_F(replies_test, separatefilesafteramarkaretakenback) {
    cfg.separatemsg = 1;
    genreplyfile(REPLY_MAIL);
    genreplyfile(REPLY_NEWS);
    ASSERT_EQ(append(REPLY_MAIL, M1), 0);
    replymark mark = markreplies();
    ASSERT_EQ(append(REPLY_NEWS, N1), 0);
    ASSERT_EQ(append(REPLY_MAIL, M2), 0);
    EXPECT_EQ(rewindreplies(mark), 0);
    EXPECT_EQ(readfile(dir / "REPLIES"), "MAIL0000\tmail\tbn\n");
    EXPECT_EQ(listtree(dir.path), (std::vector<std::string>{"MAIL0000.MSG", "REPLIES"}));
    // The slot had moved on to the next name already.
    ASSERT_EQ(append(REPLY_MAIL, M3), 0);
    EXPECT_EQ(readfile(dir / "REPLIES"), "MAIL0000\tmail\tbn\nMAIL0002\tmail\tbn\n");
}

}  // namespace
