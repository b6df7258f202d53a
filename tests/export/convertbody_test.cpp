// Converted text (FidoCharSet/AreaCharSet): which charset a message is read
// in, what it goes out in, and that no line is ever cut inside a character.
#include <gtest/gtest.h>

#include <vector>

#include "base/fileio.h"
#include "config/settings.h"
#include "config/tables.h"
#include "export/expstate.h"
#include "export/pktreader.h"
#include "export/sourcetest.h"
#include "import/curmsg.h"
#include "import/replies.h"
#include "mime/charsets.h"

namespace {

const fidoaddr GATE{2, 280, 5555, 0};

fidocharsetdef charsetdef(const char* area, const char* identifier) {
    fidocharsetdef d;
    d.area = area;
    d.identifier = identifier;
    d.level = fidocharsetlevel(identifier);
    d.icuname = fidocharsetname(identifier);
    return d;
}

class convertbodytest : public sourcetest {
   protected:
    void SetUp() override {
        sourcetest::SetUp();
        cfg.fidocharset = charsetdef("", "CP437");
        cfg.useqp = 0;  // 8bit: the body as it stands
    }
    // The message export makes of m, header and body.
    std::string exported(const testmsg& m) {
        writefile(dir / "p.pkt", testpacket(GATE, {m}));
        fileptr f = openfile(dir / "p.pkt", "rb");
        curmsg.routing = ROUTING_GATEWAY;
        std::string before = fileexists(replyfile(REPLY_MAIL)) ? readfile(replyfile(REPLY_MAIL)) : "";
        if (exportpkt(f.get(), 0) != PKT_EXPORTED) return "not exported";
        return readfile(replyfile(REPLY_MAIL)).substr(before.size() + 4);
    }
    static std::string body(const std::string& msg) { return msg.substr(msg.find("\n\n") + 2); }
    static std::string header(const std::string& msg, const std::string& field) {
        std::size_t at = msg.find("\n" + field + ": ");
        if (at == std::string::npos) return "(none)";
        at += field.size() + 3;
        return msg.substr(at, msg.find('\n', at) - at);
    }
};

testmsg withtext(const std::string& text) {
    testmsg m;
    m.text = text;
    return m;
}

TEST_F(convertbodytest, themessagescharsetintointernetcharset) {
    struct {
        const char* name;
        std::string text;
        const char* internet;
        std::string body;
        const char* label;
    } cases[] = {
        {"FidoCharSet when the message names none", "Gr\x81\xe1" "e\r", "utf-8",
         "Gr\xc3\xbc\xc3\x9f" "e\n", "utf-8"},
        {"CHRS before FidoCharSet", "\x01" "CHRS: CP866 2\r\x8d\xa5\xe2\r", "utf-8",
         "\xd0\x9d\xd0\xb5\xd1\x82\n", "utf-8"},
        {"CHARSET when there is no CHRS", "\x01" "CHARSET: LATIN-1\rCaf\xe9\r", "utf-8",
         "Caf\xc3\xa9\n", "utf-8"},
        {"CODEPAGE gives an IBM code page", "\x01" "CODEPAGE: 866\r\x8d\xa5\xe2\r", "utf-8",
         "\xd0\x9d\xd0\xb5\xd1\x82\n", "utf-8"},
        {"a CHRS nobody knows leaves FidoCharSet", "\x01" "CHRS: MARTIAN 2\rGr\x81\xe1" "e\r",
         "utf-8", "Gr\xc3\xbc\xc3\x9f" "e\n", "utf-8"},
        {"what InternetCharSet lacks is transliterated",
         "\x01" "CHRS: CP866 2\r\x8d\xa5\xe2, \xa4\xa0\r", "iso-8859-1", "Net, da\n",
         "iso-8859-1"},
    };
    for (const auto& c : cases) {
        cfg.internetcharset = c.internet;
        std::string msg = exported(withtext(c.text));
        EXPECT_EQ(body(msg), c.body) << c.name;
        EXPECT_EQ(header(msg, "Content-Type"), std::string("text/plain; charset=") + c.label)
            << c.name;
    }
    // An area of its own: AreaCharSet before FidoCharSet; netmail is NETMAIL.
    tables.areacharset.push_back(charsetdef("NETMAIL", "CP866"));
    cfg.internetcharset = "utf-8";
    EXPECT_EQ(body(exported(withtext("\x8d\xa5\xe2\r"))), "\xd0\x9d\xd0\xb5\xd1\x82\n");
}

std::size_t characters(const std::string& utf8) {
    std::size_t n = 0;
    for (char c : utf8) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

// Converted UTF-8 text is wrapped at LineWidth characters (not bytes), and
// never inside a character; the lines read back give the text.
TEST_F(convertbodytest, utf8iswrappedbycharacters) {
    cfg.fidocharset = charsetdef("", "UTF-8");
    std::string word, words;
    for (int i = 0; i < 100; ++i) word += "\xd0\x96";  // Ж: two bytes
    for (int i = 0; i < 20; ++i) words += "\xce\x95\xce\xbb\xce\xbb\xce\xac\xcf\x82 ";  // Ελλάς
    struct {
        std::string text;
        std::vector<std::size_t> widths;  // characters of each line
    } cases[] = {
        {word + "\r", {72, 28}},
        {words + "\r", {72, 48}},
        {"\xf0\x9f\x90\xb8" + word + "\r", {72, 29}},
    };
    for (const auto& c : cases) {
        std::string got = body(exported(withtext(c.text)));
        std::string joined;
        std::vector<std::size_t> widths;
        for (std::size_t at = 0; at < got.size();) {
            std::size_t nl = got.find('\n', at);
            std::string line = got.substr(at, nl - at);
            EXPECT_TRUE(isvalidutf8(line)) << line;
            widths.push_back(characters(line));
            joined += line;
            at = nl + 1;
        }
        EXPECT_EQ(widths, c.widths) << c.text;
        EXPECT_EQ(joined + "\r", c.text);
    }
}

}  // namespace
