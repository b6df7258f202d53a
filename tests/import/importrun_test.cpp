// The import command when its output cannot be written: nothing may be
// lost and nothing may arrive twice. A file size limit, inherited by the
// program under test, makes its writes fail once a file grows past it.
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <string>

#include "support/testutil.h"

namespace {

const char CONFIG[] =
    "FidoAddr 2:280/5555\n"
    "AddrMap 2:280/5555 sysop@pond.example Sysop\n"
    "MailerType Binkley\n"
    "InboundDir ./in\n"
    "OutboundDir ./out\n"
    "SoupDir ./soup\n"
    "TempDir ./tmp\n";

std::string mail(const std::string& subject, const std::string& body,
                 const std::string& more = "") {
    return "From x Tue Sep 14 10:00:00 1999\nFrom: Bob <bob@net.example>\n"
           "To: sysop@pond.example\nSubject: " +
           subject + "\n" + more + "\n" + body;
}

std::string lines(int n) {
    std::string s;
    for (int i = 0; i < n; ++i)
        s += "A line of text that makes the packet grow beyond the limit.\n";
    return s;
}

std::size_t count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

std::string lastline(const std::string& text) {
    if (text.size() < 2) return text;
    std::size_t start = text.rfind('\n', text.size() - 2);
    return start == std::string::npos ? text : text.substr(start + 1);
}

class importfailure : public ::testing::Test {
   protected:
    void SetUp() override {
        for (const char* d : {"in", "out", "tmp", "soup"}) makedirs(dir / d);
        writefile(dir / "gate.cfg", CONFIG);
    }
    runresult import() { return runpondlark({"import", "/config=./gate.cfg"}, dir.path); }
    // A run whose files cannot grow past 4 KiB.
    runresult importlimited() {
        filesizelimit limit(4096);
        return import();
    }
    // The SOUP input: one Email area and message file per text.
    void input(const std::vector<std::string>& files) {
        std::string areas;
        for (std::size_t i = 0; i < files.size(); ++i) {
            std::string prefix = "000000" + std::to_string(i + 1);
            areas += prefix + "\tEmail\tmn\n";
            writefile(dir / ("soup/" + prefix + ".MSG"), files[i]);
        }
        writefile(dir / "soup/AREAS", areas);
    }
    scratchdir dir;
};

TEST_F(importfailure, apacketthatcannotbewrittenkeepsitsinput) {
    std::string msgs = mail("one", "small\n") + mail("two", lines(200)) + mail("three", "small\n");
    input({msgs});
    runresult r = importlimited();
    EXPECT_EQ(r.status, 0);
    // Reported once, and the run's last line says what is left.
    EXPECT_EQ(count(r.err, "Error writing packet ./in/00000000.PKT\n"), 1u) << r.err;
    EXPECT_NE(r.err.find("! Message file ./soup/0000001.MSG kept, to be imported again\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(lastline(r.err), "1 message file kept for the next run\n") << r.err;
    EXPECT_EQ(r.err.find("message(s) imported"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("Nothing to do"), std::string::npos) << r.err;
    EXPECT_EQ(listtree(dir / "in"), std::vector<std::string>{});
    EXPECT_EQ(readfile(dir / "soup/0000001.MSG"), msgs);
    EXPECT_TRUE(fileexists(dir / "soup/AREAS"));

    // Without the limit the next run imports every message, once.
    r = import();
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("-> 3 message(s) imported"), std::string::npos) << r.err;
    EXPECT_EQ(listtree(dir / "in"), std::vector<std::string>{"00000000.PKT"});
    EXPECT_EQ(listtree(dir / "soup"), std::vector<std::string>{"pondlark.run"});
    std::string pkt = readfile(dir / "in/00000000.PKT");
    for (const char* subject : {"one", "two", "three"}) {
        std::string field = std::string("\0", 1) + subject + std::string("\0", 1);
        std::size_t at = pkt.find(field);
        EXPECT_NE(at, std::string::npos) << subject;
        EXPECT_EQ(pkt.find(field, at + 1), std::string::npos) << subject << " twice";
    }
}

TEST_F(importfailure, adecodedfilethatcannotbewrittenisremovedandkeepstheinput) {
    std::string b64;
    for (int i = 0; i < 200; ++i) b64 += std::string(76, 'A') + "\n";
    std::string m = mail("big file", b64,
                         "Content-Type: application/octet-stream; name=big.bin\n"
                         "Content-Transfer-Encoding: base64\n");
    input({m});
    runresult r = importlimited();
    EXPECT_NE(r.err.find("Error writing decoded file ./in/big.bin\n"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("decoded MIME-encoded file"), std::string::npos) << r.err;
    EXPECT_EQ(listtree(dir / "in"), std::vector<std::string>{});
    EXPECT_EQ(readfile(dir / "soup/0000001.MSG"), m);
}

TEST_F(importfailure, repliesofthefailedmessagefilearetakenbacktoo) {
    writefile(dir / "gate.cfg", std::string(CONFIG) + "ListConfig ./birds.lst\n");
    writefile(dir / "birds.lst",
              "ListName Birds\nListAddress birds@lists.example\nListUsers\n"
              "+\namy@net.example\nAmy\n1\n\n");
    auto posting = [](const std::string& text) {
        return "From x Tue Sep 14 10:00:00 1999\nFrom: Amy <amy@net.example>\n"
               "To: birds@lists.example\nSubject: birds\n\nSeen: " +
               text + "\n";
    };
    input({posting("Herons"), posting("Larks") + mail("too big", lines(200))});
    runresult r = importlimited();
    EXPECT_NE(r.err.find("! Message file ./soup/0000002.MSG kept"), std::string::npos) << r.err;
    // Only the failed message file is taken back: the first file's output
    // is complete, so it is consumed and its packet stays.
    EXPECT_EQ(listtree(dir / "in"), std::vector<std::string>{"00000000.PKT"});
    // The second file's posting was distributed before its packet failed;
    // that reply is cut off the reply file again, the first file's stays.
    EXPECT_EQ(listtree(dir / "soup"),
              (std::vector<std::string>{"0000002.MSG", "AREAS", "MAIL0000.MSG", "REPLIES", "pondlark.run"}));
    std::string first = readfile(dir / "soup/MAIL0000.MSG");
    EXPECT_NE(first.find("Seen: Herons"), std::string::npos);
    EXPECT_EQ(first.find("Seen: Larks"), std::string::npos);

    // AREAS keeps only the line of the kept file.
    EXPECT_EQ(readfile(dir / "soup/AREAS"), "0000002\tEmail\tmn\n");

    // The next run distributes the second posting once.
    r = import();
    EXPECT_EQ(r.err.find("Error"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("listmsg: 1 "), std::string::npos) << r.err;
    EXPECT_EQ(listtree(dir / "soup"),
              (std::vector<std::string>{"MAIL0000.MSG", "MAIL0001.MSG", "REPLIES", "pondlark.run"}));
    EXPECT_EQ(readfile(dir / "soup/MAIL0000.MSG"), first);
    std::string second = readfile(dir / "soup/MAIL0001.MSG");
    EXPECT_NE(second.find("Seen: Larks"), std::string::npos);
    EXPECT_EQ(second.find("Seen: Larks", second.find("Seen: Larks") + 1), std::string::npos);
    EXPECT_EQ(second.find("Seen: Herons"), std::string::npos);
}

// Files that fail and files that go through in one run: each failure is
// counted in the last line, whatever else was imported, also with /global.
TEST_F(importfailure, thelastlinecountsthefileskept) {
    std::string big = mail("too big", lines(200));
    struct {
        const char* name;
        std::vector<std::string> files;
        bool global;
        const char* last;
    } cases[] = {
        {"onefails", {mail("small", "x\n"), big}, false, "1 message file kept for the next run\n"},
        {"twofail",
         {big, mail("small", "x\n"), big},
         false,
         "2 message files kept for the next run\n"},
        {"globalstats",
         {mail("small", "x\n"), big},
         true,
         "1 message file kept for the next run\n"},
    };
    for (const auto& c : cases) {
        input(c.files);
        filesizelimit limit(4096);
        runresult r = runpondlark(
            c.global ? std::vector<std::string>{"import", "/config=./gate.cfg", "/global"}
                     : std::vector<std::string>{"import", "/config=./gate.cfg"},
            dir.path);
        EXPECT_EQ(lastline(r.err), c.last) << c.name << "\n" << r.err;
        EXPECT_EQ(count(r.err, "-> 1 message(s) imported"), 1u) << c.name << "\n" << r.err;
        EXPECT_EQ(r.err.find("Nothing to do"), std::string::npos) << c.name;
        for (const auto& f : listtree(dir / "soup")) std::remove((dir / ("soup/" + f)).c_str());
        for (const auto& f : listtree(dir / "in")) std::remove((dir / ("in/" + f)).c_str());
    }
}

// The percentage is for a person at a terminal: there it stands on a line
// of its own, overwritten as it grows and cleared before the next line;
// into a pipe, a file or the log it never goes.
TEST_F(importfailure, progressonlyonaterminal) {
    writefile(dir / "gate.cfg", std::string(CONFIG) + "LogFile ./gate.log\n");
    input({mail("one", "a\n") + mail("two", lines(10)) + mail("three", "c\n")});
    const std::vector<std::string> args = {"import", "/config=./gate.cfg", "/test", "/verbose"};

    runresult piped = runpondlark(args, dir.path);
    EXPECT_EQ(piped.err.find('%'), std::string::npos) << piped.err;
    EXPECT_EQ(piped.err.find('\r'), std::string::npos) << piped.err;
    EXPECT_EQ(count(piped.err, "- from bob@net.example"), 3u) << piped.err;

    runresult tty = runpondlarkonterminal(args, dir.path);
    EXPECT_EQ(tty.status, 0);
    EXPECT_NE(tty.err.find("\n\r  0%"), std::string::npos) << tty.err;
    EXPECT_NE(tty.err.find("\r100%\r    \r-> 3 message(s) imported\n"), std::string::npos)
        << tty.err;
    // Every line logged while the percentage stands there clears it first.
    EXPECT_EQ(count(tty.err, "\r    \r- from bob@net.example"), 3u) << tty.err;
    // Less the progress, the terminal saw what the pipe got.
    std::string plain = std::regex_replace(tty.err, std::regex("\r( {0,2}\\d+%| {4}\r)"), "");
    EXPECT_EQ(plain, piped.err);

    std::string log = readfile(dir / "gate.log");
    EXPECT_EQ(log.find('%'), std::string::npos) << log;
    EXPECT_EQ(log.find('\r'), std::string::npos) << log;
}

}  // namespace
