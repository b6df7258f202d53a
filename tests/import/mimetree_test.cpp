// MIME read as a tree (a FidoNet character set configured): the shapes of
// today's mail that the golden cases do not hold, each as a small message.
#include "import/mimetree.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pkt/pktcheck.h"
#include "support/testutil.h"

namespace {

const char GATEWAY[] =
    "FidoAddr 2:280/5555\n"
    "AddrMap 2:280/5555 sysop@pond.example Sysop Pond\n"
    "MailerType Binkley\n"
    "InboundDir ./in\nOutboundDir ./out\nSoupDir ./soup\nTempDir ./tmp\n"
    "FidoCharSet LATIN-1 2\nStripKludges Yes\n";

struct treecase {
    const char* name;
    std::string body;  // after "Content-Type: " of the message
    std::vector<std::string> shown, hidden;
    std::vector<std::pair<std::string, std::string>> files;  // name, content
};

std::string mp(const std::string& type, const std::string& b, const std::vector<std::string>& parts) {
    std::string s = type + "; boundary=\"" + b + "\"\n\npreamble hidden\n";
    for (const std::string& p : parts) s += "--" + b + "\n" + p + "\n";
    return s + "--" + b + "--\nepilogue hidden\n";
}

TEST(mimetree, shapes) {
    std::string deep = "text/plain\n\ninnermost\n";
    for (int i = 0; i < 9; ++i)
        deep = mp("multipart/mixed", "d" + std::to_string(i), {"Content-Type: " + deep});
    const treecase cases[] = {
        {"boundary-like text stays",
         mp("multipart/mixed", "b", {"Content-Type: text/plain\n\n--bob wrote this\nend"}),
         {"\r--bob wrote this\rend\r"}, {"preamble", "epilogue"}, {}},
        {"base64 text with CR LF",
         "text/plain; charset=iso-8859-1\nContent-Transfer-Encoding: base64\n\n"
         "WmVpbGUgZWlucw0KWmVpbGUgenfkaQ0K\n",
         {"\rZeile eins\rZeile zw\xe4i\r"}, {"WmVp"}, {}},
        {"inline text with a name is a file",
         mp("multipart/mixed", "b",
            {"Content-Type: text/plain\n\nbody", "Content-Type: text/x-diff; name=\"fix.diff\"\n"
                                                 "Content-Disposition: inline\n\n+added\n-removed\n"}),
         {"fix.diff (16 bytes)"}, {"+added"}, {{"fix.diff", "+added\n-removed\n"}}},
        {"seven-bit attachment kept byte for byte",
         mp("multipart/mixed", "b",
            {"Content-Type: text/plain\n\nsee file",
             "Content-Type: text/plain; charset=utf-8\nContent-Disposition: attachment; "
             "filename=\"notes.txt\"\n\nline one  \nline two\n"}),
         {"notes.txt (20 bytes)"}, {"line one"}, {{"notes.txt", "line one  \nline two\n"}}},
        {"digest entries are messages",
         mp("multipart/digest", "dg",
            {"\nFrom: A <a@x>\nSubject: first\n\nentry one", "\nFrom: B <b@x>\nSubject: second\n\nentry two"}),
         {"[Forwarded message]\rFrom: A <a@x>\rSubject: first\r\rentry one", "entry two"}, {}, {}},
        {"deeper than eight is text", deep, {"\r--d0\rContent-Type: text/plain\r\rinnermost\r"}, {}, {}},
        {"html alone",
         "text/html; charset=utf-8\n\n<ul><li>one</li><li><a href=\"http://x.example/\">two</a></li></ul>\n",
         {"\r- one\r- two <http://x.example/>\r"}, {"<li>", "<a "}, {}},
        {"signed keeps what it signs",
         mp("multipart/signed; protocol=\"application/pgp-signature\"", "s",
            {"Content-Type: text/plain\n\nsigned words",
             "Content-Type: application/pgp-signature\n\n-----BEGIN PGP SIGNATURE-----"}),
         {"signed words"}, {"BEGIN PGP", "signature.asc", ".ATT"}, {}},
    };
    for (const treecase& c : cases) {
        SCOPED_TRACE(c.name);
        scratchdir dir;
        for (const char* d : {"in", "out", "tmp", "soup"}) makedirs(dir / d);
        writefile(dir / "gate.cfg", GATEWAY);
        writefile(dir / "soup/AREAS", "0000001\tEmail\tmn\n");
        writefile(dir / "soup/0000001.MSG",
                  "From x Tue Sep 14 10:00:00 1999\nFrom: Ann <ann@x.example>\n"
                  "To: sysop@pond.example\nSubject: shape\nMIME-Version: 1.0\nContent-Type: " +
                      c.body);
        runresult r = runpondlark({"import", "/config=./gate.cfg"}, dir.path);
        ASSERT_EQ(r.status, 0) << r.err;
        checkedpacket p = checkpacket(readfile(dir / "in/00000000.PKT"));
        ASSERT_EQ(p.error, "");
        ASSERT_EQ(p.messages.size(), 1u);
        const std::string& t = p.messages[0].text;
        for (const std::string& s : c.shown) EXPECT_NE(t.find(s), std::string::npos) << s << "\n" << t;
        for (const std::string& s : c.hidden) EXPECT_EQ(t.find(s), std::string::npos) << s << "\n" << t;
        for (const auto& [name, content] : c.files) EXPECT_EQ(readfile(dir / ("in/" + name)), content);
    }
}

}  // namespace

namespace {

// Text without a line end in 100,000 bytes (a Base64 part, flowed text that
// never ends its paragraph, an HTML paragraph) is handed on in pieces: no
// part makes import hold it whole, and all of it arrives.
TEST(mimetree, endlesslinesarrivewhole) {
    std::string raw(100000, 'a');
    std::string b64;
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (std::size_t i = 0; i + 3 <= raw.size(); i += 3) {
        unsigned v = 'a' << 16 | 'a' << 8 | 'a';
        for (int k = 3; k >= 0; --k) b64.push_back(alphabet[(v >> (6 * k)) & 63]);
        if (i % 57 == 54) b64.push_back('\n');
    }
    std::string flowed;
    for (int i = 0; i < 5000; ++i) flowed += "word" + std::to_string(i) + " \n";
    const std::string bodies[] = {
        "text/plain\nContent-Transfer-Encoding: base64\n\n" + b64 + "\n",
        "text/plain; format=flowed\n\n" + flowed,
        "text/html\n\n<p>" + flowed + "</p>\n",
    };
    for (const std::string& body : bodies) {
        scratchdir dir;
        for (const char* d : {"in", "out", "tmp", "soup"}) makedirs(dir / d);
        writefile(dir / "gate.cfg", GATEWAY);
        writefile(dir / "soup/AREAS", "0000001\tEmail\tmn\n");
        writefile(dir / "soup/0000001.MSG",
                  "From x Tue Sep 14 10:00:00 1999\nFrom: Ann <ann@x.example>\n"
                  "To: sysop@pond.example\nSubject: long\nContent-Type: " + body);
        runresult r = runpondlark({"import", "/config=./gate.cfg"}, dir.path);
        ASSERT_EQ(r.status, 0) << r.err;
        checkedpacket p = checkpacket(readfile(dir / "in/00000000.PKT"));
        ASSERT_EQ(p.error, "");
        std::string all;
        for (const checkedmessage& m : p.messages) all += m.text;
        std::size_t letters = 0;
        for (char c : all) letters += c == 'a';
        if (body.find("base64") != std::string::npos) {
            EXPECT_GE(letters, 99999u);
        } else {
            EXPECT_NE(all.find("word4999"), std::string::npos);
        }
    }
}

}  // namespace
