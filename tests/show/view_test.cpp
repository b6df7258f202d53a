// pondlark show, through the real program: every packet and stored
// message the tests describe is shown (with /raw) as a description that
// builds the same bytes again; the readable view converts, marks and
// lists what a sysop needs; SOUP files are cut, decoded and their files
// listed.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/testutil.h"

namespace fs = std::filesystem;

namespace {

const std::string SOURCE = PONDLARK_SOURCE_DIR;
const std::string MKPKT = SOURCE + "/tests/export/mkpkt.py";

runresult mkpkt(const std::string& description, const std::string& out) {
    return runprogram("/usr/bin/env", {"python3", MKPKT, description, out}, "");
}

// Builds many packets in one run of the description tool: arguments are
// pairs of description and output.
runresult mkpkts(const std::vector<std::string>& pairs) {
    std::vector<std::string> args = {
        "python3", "-c",
        "import sys; sys.path.insert(0, sys.argv[1]); import mkpkt\n"
        "for d, o in zip(sys.argv[2::2], sys.argv[3::2]):\n"
        "    open(o, 'wb').write(mkpkt.build(open(d, encoding='latin-1').read()))\n",
        SOURCE + "/tests/export"};
    args.insert(args.end(), pairs.begin(), pairs.end());
    return runprogram("/usr/bin/env", args, "");
}

runresult show(const std::vector<std::string>& args) {
    std::vector<std::string> all{"show"};
    all.insert(all.end(), args.begin(), args.end());
    return runprogram(PONDLARK_BIN, all, "");
}

// Descriptions of whole packets and stored messages: those of the
// examples and of the golden cases, less the ones cut short on purpose.
std::vector<std::string> descriptions() {
    std::vector<std::string> found;
    for (const char* top : {"/examples", "/tests/golden"}) {
        for (const auto& e : fs::recursive_directory_iterator(SOURCE + top)) {
            if (!e.is_regular_file() || e.path().extension() != ".txt") continue;
            std::string text = readfile(e.path().string());
            bool packet =
                text.rfind("packet:", 0) == 0 || text.find("\npacket:") != std::string::npos ||
                text.rfind("stored:", 0) == 0 || text.find("\nstored:") != std::string::npos;
            if (!packet || text.find("\ncutlast:") != std::string::npos ||
                text.find("\npkttype: 1\n") != std::string::npos)
                continue;
            found.push_back(e.path().string());
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

TEST(show, rawdescriptionsbuildthesamebytes) {
    scratchdir dir;
    std::vector<std::string> all = descriptions();
    ASSERT_GT(all.size(), 40u);
    std::vector<std::string> first, second;
    for (std::size_t i = 0; i < all.size(); ++i) {
        first.insert(first.end(), {all[i], dir / ("first" + std::to_string(i))});
        second.insert(second.end(),
                      {dir / ("shown" + std::to_string(i)), dir / ("second" + std::to_string(i))});
    }
    runresult made = mkpkts(first);
    ASSERT_EQ(made.status, 0) << made.err;
    std::vector<std::string> shown(all.size());
    for (std::size_t i = 0; i < all.size(); ++i) {
        runresult r = show({"/raw", first[2 * i + 1]});
        EXPECT_EQ(r.err, "") << all[i];
        shown[i] = r.out;
        writefile(second[2 * i], r.out);
    }
    made = mkpkts(second);
    ASSERT_EQ(made.status, 0) << made.err;
    for (std::size_t i = 0; i < all.size(); ++i) {
        std::string a = readfile(first[2 * i + 1]), b = readfile(second[2 * i + 1]);
        EXPECT_TRUE(a == b) << all[i] << ": " << describediff(a, b) << "\n" << shown[i];
    }
}

// The readable view of packets: what each text looks like and what the
// remarks say.
TEST(show, packetsasasysopreadsthem) {
    const std::string head =
        "packet: 2+ 2:280/100 -> 2:280/5555.1\npassword: PW\n"
        "msg: 280/100 -> 280/5555 attr 0x0011\ndate: 14 Sep 99  20:16:10\n"
        "to: Jane\nfrom: Bob\nsubject: report.txt\ntext:\n";
    struct {
        const char* name;
        std::string description;
        std::vector<std::string> shown;   // lines the view holds
        std::vector<std::string> absent;  // texts it must not hold
        int status;
    } cases[] = {
        {"charsetconverted",
         head + "^ACHRS: LATIN-1 2\nThe water is 14 \\xB0C.\n.\n",
         {"# text in LATIN-1 2, shown in UTF-8", "^ACHRS: LATIN-1 2",
          "The water is 14 \xC2\xB0"
          "C.",
          "packet: 2+ 2:280/100 -> 2:280/5555.1", "password: PW",
          "msg: 280/100 -> 280/5555 attr 0x0011 (private, file attached)",
          "# files attached (named in the subject): report.txt"},
         {"14 \\xB0"},
         0},
        {"nocharsetescapes",
         head + "14 \\xB0C\\x07 and \\\\ stay\n\\x2E\n.\n",
         {"14 \\xB0C\\x07 and \\\\ stay", "\\x2E"},
         {"\xB0", "\x07"},
         0},
        {"softlinefeedleftout",
         head + "first\n\\x0Asecond\nlast\\c\n.\n",
         {"first", "second", "last\\c"},
         {"\\x0A"},
         0},
        {"decodedfilelisted",
         head + "[PondLark decoded MIME-encoded file notes.txt (12 bytes)]\n.\n",
         {"# decoded file notes.txt, 12 bytes, beside the packet: "},
         {},
         0},
        {"cutpacket",
         head + "a text that is cut\n.\ncutlast: 8\n",
         {"# damaged: the packet ends inside the text of the message at offset 58"},
         {},
         1},
        {"noterminator",
         head + "text\n.\nterminator: no\n",
         {"# the packet ends without its terminating zero word"},
         {},
         1},
    };
    for (const auto& c : cases) {
        scratchdir dir;
        writefile(dir / "d.txt", c.description);
        writefile(dir / "notes.txt", "twelve bytes");
        ASSERT_EQ(mkpkt(dir / "d.txt", dir / "00000001.PKT").status, 0) << c.name;
        runresult r = show({dir / "00000001.PKT"});
        EXPECT_EQ(r.status, c.status) << c.name;
        for (const std::string& l : c.shown)
            EXPECT_NE(r.out.find(l), std::string::npos) << c.name << ": " << l << "\n" << r.out;
        for (const std::string& a : c.absent)
            EXPECT_EQ(r.out.find(a), std::string::npos) << c.name << ": " << a << "\n" << r.out;
    }
}

std::string binaryrecord(const std::string& message) {
    std::string len(4, '\0');
    for (int i = 0; i < 4; ++i) len[i] = static_cast<char>((message.size() >> (24 - 8 * i)) & 0xFF);
    return len + message;
}

// SOUP files: the format from the index beside them or from their first
// bytes, header fields with encoded words decoded, text decoded, files
// listed with their decoded size.
TEST(show, soupmessagesdecodedandtheirfileslisted) {
    scratchdir dir;
    const std::string multipart =
        "From: =?iso-8859-1?Q?J=FCrgen?= <j@example.com>\n"
        "Subject: map\n"
        "MIME-Version: 1.0\n"
        "Content-Type: multipart/mixed;\n boundary=\"XX\"\n\n"
        "preamble\n"
        "--XX\n"
        "Content-Type: text/plain; charset=iso-8859-1\n"
        "Content-Transfer-Encoding: quoted-printable\n\n"
        "Gr=FC=DFe, a long line that goes=\n on\n"
        "begin 644 tiny.bin\n"
        "#86)C\n"
        "`\n"
        "end\n"
        "--XX\n"
        "Content-Type: application/octet-stream; name=map.bin\n"
        "Content-Transfer-Encoding: base64\n\n"
        "AAECAwQFBgc=\n"
        "--XX\n"
        "Content-Type: text/html; charset=utf-8\n\n"
        "<p>Hello <b>pond</b></p>\n"
        "--XX--\n";
    writefile(dir / "soup/MAIL0000.MSG",
              binaryrecord(multipart) + binaryrecord("Subject: two\n\nplain\n"));
    writefile(dir / "soup/REPLIES", "MAIL0000\tmail\tbn\n");
    writefile(dir / "mbox.txt",
              "From x Tue Sep 14 10:00:00 1999\nSubject: one\n\nbody one\n"
              "From y Tue Sep 14 10:00:00 1999\nSubject: two\n\nbody two\n");
    writefile(dir / "news.txt", "#! rnews 22\nSubject: n\n\nnews body\n");

    runresult r = show({dir / "soup/REPLIES"});
    EXPECT_EQ(r.status, 0) << r.err;
    for (const char* l :
         {"#   MAIL0000\tmail\tbn",
          "SOUP message file, binary (each message after its 4-byte length), 2 messages",
          "message: 1 (", "header:\nFrom: J\xC3\xBCrgen <j@example.com>\nSubject: map\n",
          "Content-Type: multipart/mixed; boundary=\"XX\"\n",
          "text: text/plain, iso-8859-1, quoted-printable\nGr\xC3\xBC\xC3\x9F"
          "e, a long line that "
          "goes on\n.\nattachment: tiny.bin (uuencoded): 3 bytes\ntext:\n.\n",
          "attachment: map.bin (application/octet-stream, base64): 8 bytes\n",
          "text: text/html, utf-8\nHello pond\n.\n", "message: 2 (", "text:\nplain\n.\n"}) {
        EXPECT_NE(r.out.find(l), std::string::npos) << l << "\n" << r.out;
    }
    EXPECT_EQ(r.out.find("preamble"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("AAECAwQFBgc"), std::string::npos) << r.out;

    r = show({dir / "mbox.txt", dir / "news.txt"});
    EXPECT_EQ(r.status, 0) << r.err;
    for (const char* l : {"mailbox (\"From \" lines), 2 messages", "body one", "body two",
                          "news batch (\"#! rnews\" lines), 1 message", "news body"})
        EXPECT_NE(r.out.find(l), std::string::npos) << l << "\n" << r.out;
}

// What the viewer cannot show is an error, never an empty success.
TEST(show, filesitcannotshow) {
    scratchdir dir;
    writefile(dir / "notes.txt", "just some text, no packet\n");
    struct {
        std::vector<std::string> args;
        std::string err;
    } cases[] = {
        {{dir / "nothere.pkt"}, "Error: can't read " + dir / "nothere.pkt\n"},
        {{dir.path}, "Error: can't read " + dir.path + "\n"},
        {{dir / "notes.txt"},
         "Error: " + dir / "notes.txt" + " is no FidoNet packet, stored message or SOUP file\n"},
        {{}, ""},
    };
    for (const auto& c : cases) {
        runresult r = show(c.args);
        EXPECT_EQ(r.status, 1) << c.err;
        EXPECT_EQ(r.err, c.err);
        if (c.args.empty()) {
            EXPECT_EQ(r.out.rfind("Usage: pondlark show", 0), 0u) << r.out;
        }
    }
}

}  // namespace
