// Mail and news as a hostile Internet sender writes them, imported under
// every kind of FidoNet character set, and the packets tossed by a real
// tosser (crashmail). The text is drawn from the characters that a FidoNet
// character set writes as a control byte (the pictures of the DOS code
// pages, C1 controls, bidirectional overrides) and from FidoNet's control
// lines, with carriage returns, line feeds, zero bytes and 0x01 spelled
// every way mail allows: raw, in encoded words of many character sets (UTF-16
// and UTF-7 among them), quoted-printable, Base64, RFC 2231 parameters,
// HTML entities, parts labelled with wide sets; in every header field that
// reaches FidoNet and in the body. Each message of the packets must carry
// exactly the control information the gateway writes itself, and
// crashmail must toss every one where its true header says, forwarding
// the echomail to the area's link.
#include <gtest/gtest.h>
#include <unicode/ucnv.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "base/codec.h"
#include "pkt/ftnmeaning.h"
#include "pkt/pktcheck.h"
#include "support/testutil.h"
#include "support/utf8.h"

namespace fs = std::filesystem;

namespace {

// The seed and the number of messages per area and configuration: fixed,
// so that a failure repeats.
constexpr unsigned SEED = 2021;
constexpr int MESSAGES = 24;

const expectedmeaning NETMAIL = {"", "2:280/5555 2:280/5556", "280/5556", "2:280/5556"};
const expectedmeaning ECHO = {"PONDLARK.TEST", "2:280/5555 2:280/5556", "280/5556", "2:280/5556"};

// Every character that one of the FidoNet sets writes as a control byte,
// by a fallback or both ways, asked of ICU itself; and the C1 controls
// and bidirectional overrides of UTF-8 text.
std::vector<char32_t> dangerouscharacters() {
    std::vector<char32_t> out;
    for (const char* set : {"ibm-437", "ibm-850", "ibm-866", "ISO-8859-1"}) {
        UErrorCode err = U_ZERO_ERROR;
        UConverter* conv = ucnv_open(set, &err);
        if (U_FAILURE(err)) continue;
        ucnv_setFallback(conv, true);
        for (char32_t c = 0x20; c < 0x10000; ++c) {
            if (c >= 0xD800 && c < 0xE000) continue;
            UChar u = static_cast<UChar>(c);
            char b[8];
            UErrorCode e2 = U_ZERO_ERROR;
            int32_t n = ucnv_fromUChars(conv, b, sizeof b, &u, 1, &e2);
            unsigned char byte = static_cast<unsigned char>(b[0]);
            if (U_SUCCESS(e2) && n == 1 && (byte < 0x20 || byte == 0x7F || (byte >= 0x80 && byte < 0xA0)))
                out.push_back(c);
        }
        ucnv_close(conv);
    }
    for (char32_t c = 0x80; c < 0xA0; ++c) out.push_back(c);
    for (char32_t c : {0x202A, 0x202B, 0x202C, 0x202D, 0x202E, 0x2066, 0x2067, 0x2068, 0x2069})
        out.push_back(c);
    return out;
}

// What a sender would want a reader or tosser to obey.
const char* const CONTROLLINES[] = {
    "\r\x01INTL 1:1/1 9:9/9\r", "\x01MSGID: 1:1/1 deadbeef", "\r\x01" "FMPT 7\r", "\x01TOPT 9",
    "\rSEEN-BY: 280/1 280/2\r", "\nAREA:EVIL\n", "\r---\r * Origin: evil (1:1/1)\r",
    "\r\x01PATH: 280/1\r", "\r\x01Via 1:1/1\r", "\x01" "CHRS: UTF-8 4", "\r\n * Origin: x (9:9/9)",
};

class hostile {
   public:
    explicit hostile(unsigned seed) : rng(seed), pictures(dangerouscharacters()) {}

    // A text of words, dangerous characters and control lines, in UTF-8.
    std::string text(int pieces) {
        std::string s;
        for (int i = 0; i < pieces; ++i) {
            switch (rng() % 6) {
                case 0:
                case 1:
                    s += utf8(pictures[rng() % pictures.size()]);
                    break;
                case 2:
                    s += CONTROLLINES[rng() % std::size(CONTROLLINES)];
                    break;
                case 3:
                    s += std::string(1, "\r\n\x01\0\t"[rng() % 5]);
                    break;
                default:
                    s += i % 2 ? " pond " : "lark";
            }
        }
        return s;
    }

    // The text as a header value: one of the spellings mail allows.
    std::string headervalue(const std::string& t) {
        switch (rng() % 8) {
            case 0: {  // raw: line ends would end the field, zero bytes the line
                std::string raw;
                for (char c : t) {
                    if (c == '\n') c = '\r';
                    if (c != '\0') raw += c;
                }
                return raw;
            }
            case 1:
                return words(t, "UTF-8", 'B');
            case 2:
                return words(t, "UTF-8", 'Q');
            case 3:
                return words(t, "UTF-16BE", 'B');
            case 4:
                return words(t, "UTF-16LE", 'B');
            case 5:
                return words(t, "UTF-7", 'B');
            case 6:
                return words(t, "UTF-32", 'B');
            default:
                return words(t, "ISO-8859-1", 'Q');
        }
    }

    // A whole message: mail to the sysop or an article in alt.test.
    std::string message(bool news, int n) {
        std::string h;
        h += "From: " + headervalue(text(4)) + " <eve" + std::to_string(n) + "@evil.example>\n";
        if (news) {
            h += "Newsgroups: alt.test\n";
        } else {
            h += "To: " + headervalue(text(3)) + " <sysop@pond.example>\n";
            h += "Cc: " + headervalue(text(2)) + " <other@pond.example>, x@y.example\n";
        }
        h += "Subject: " + headervalue(text(6)) + "\n";
        h += "Organization: " + headervalue(text(4)) + "\n";
        h += "X-Comment-To: " + headervalue(text(3)) + "\n";
        h += "Reply-To: " + headervalue(text(2)) + " <eve@evil.example>\n";
        h += "X-Note: " + headervalue(text(5)) + "\n";
        h += "INTL: 1:1/1 9:9/9\n";
        h += "Message-ID: <" + std::to_string(n) + "." + std::to_string(rng() % 100000) + "@evil.example>\n";
        h += "Date: Tue, 14 Sep 1999 20:16:10 +0200\nMIME-Version: 1.0\n";
        switch (rng() % 6) {
            case 0:
                return h + "Content-Type: text/plain; charset=utf-8\nContent-Transfer-Encoding: 8bit\n\n" +
                       rawbody(text(12));
            case 1:
                return h + "Content-Type: text/plain; charset=utf-8\n"
                           "Content-Transfer-Encoding: quoted-printable\n\n" + qp(text(12));
            case 2:
                return h + "Content-Type: text/plain; charset=utf-8\nContent-Transfer-Encoding: base64\n\n" +
                       base64lines(text(12));
            case 3:
                return h + "Content-Type: text/plain; charset=utf-16be\nContent-Transfer-Encoding: base64\n\n" +
                       base64lines(convert(text(12), "UTF-16BE"));
            case 4:
                return h + "Content-Type: text/html; charset=utf-8\n\n<html><body><p>" + entities(text(12)) +
                       "</p><blockquote>" + entities(text(4)) + "</blockquote></body></html>\n";
            default:
                return h + "Content-Type: multipart/mixed; boundary=\"=b=\"\n\npreamble\n--=b=\n"
                           "Content-Type: text/plain; charset=utf-7\n\n" + convert(text(6), "UTF-7") +
                       "\n--=b=\nContent-Type: application/octet-stream;\n name*=utf-8''" +
                       percent(text(2)) + "\nContent-Disposition: attachment; filename=\"DEADBEEF.PKT\"\n"
                       "Content-Transfer-Encoding: base64\n\n" + base64lines(fakepacket()) + "--=b=--\n";
        }
    }

   private:
    std::string convert(const std::string& t, const char* to) {
        std::string out(t.size() * 4 + 16, '\0');
        UErrorCode err = U_ZERO_ERROR;
        int32_t n = ucnv_convert(to, "UTF-8", out.data(), static_cast<int32_t>(out.size()), t.data(),
                                 static_cast<int32_t>(t.size()), &err);
        out.resize(U_SUCCESS(err) ? static_cast<std::size_t>(n) : 0);
        return out;
    }

    // Encoded words of a few characters each, as RFC 2047 wants them short.
    std::string words(const std::string& t, const char* charset, char enc) {
        std::string out;
        std::size_t i = 0;
        while (i < t.size()) {
            std::size_t j = i + 1;
            for (int k = 0; k < 6 && j < t.size(); ++j) {
                if ((static_cast<unsigned char>(t[j]) & 0xC0) != 0x80) ++k;
            }
            while (j < t.size() && (static_cast<unsigned char>(t[j]) & 0xC0) == 0x80) ++j;
            std::string bytes = convert(t.substr(i, j - i), charset);
            if (!out.empty()) out += ' ';
            out += std::string("=?") + charset + "?" + enc + "?" +
                   (enc == 'B' ? base64(bytes) : qword(bytes)) + "?=";
            i = j;
        }
        return out;
    }

    static std::string base64(const std::string& b) {
        static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        std::string out;
        for (std::size_t i = 0; i < b.size(); i += 3) {
            unsigned v = static_cast<unsigned char>(b[i]) << 16;
            if (i + 1 < b.size()) v |= static_cast<unsigned char>(b[i + 1]) << 8;
            if (i + 2 < b.size()) v |= static_cast<unsigned char>(b[i + 2]);
            out += alphabet[v >> 18 & 63];
            out += alphabet[v >> 12 & 63];
            out += i + 1 < b.size() ? alphabet[v >> 6 & 63] : '=';
            out += i + 2 < b.size() ? alphabet[v & 63] : '=';
        }
        return out;
    }

    static std::string base64lines(const std::string& b) {
        std::string all = base64(b), out;
        for (std::size_t i = 0; i < all.size(); i += 76) out += all.substr(i, 76) + "\n";
        return out;
    }

    static std::string hex(unsigned char c, char mark) {
        const char* digits = "0123456789ABCDEF";
        return std::string(1, mark) + digits[c >> 4] + digits[c & 15];
    }

    static std::string qword(const std::string& b) {
        std::string out;
        for (unsigned char c : b) out += std::isalnum(c) ? std::string(1, static_cast<char>(c)) : hex(c, '=');
        return out;
    }

    static std::string percent(const std::string& b) {
        std::string out;
        for (unsigned char c : b) out += std::isalnum(c) ? std::string(1, static_cast<char>(c)) : hex(c, '%');
        return out;
    }

    static std::string qp(const std::string& t) {
        std::string out, line;
        for (unsigned char c : t) {
            std::string piece = c == '\n' ? "\n" : (c >= 33 && c < 127 && c != '=') ? std::string(1, static_cast<char>(c)) : hex(c, '=');
            if (piece == "\n") {
                out += line + "\n";
                line.clear();
                continue;
            }
            if (line.size() + piece.size() > 74) {
                out += line + "=\n";
                line.clear();
            }
            line += piece;
        }
        return out + line + "\n";
    }

    static std::string rawbody(std::string t) {
        // A body may hold anything but cannot end its own message.
        return t + "\n";
    }

    static std::string entities(const std::string& t) {
        std::string out;
        for (std::size_t i = 0; i < t.size();) {
            unsigned char c = static_cast<unsigned char>(t[i]);
            char32_t cp = c;
            std::size_t len = 1;
            if (c >= 0xF0) {
                cp = c & 7;
                len = 4;
            } else if (c >= 0xE0) {
                cp = c & 15;
                len = 3;
            } else if (c >= 0xC0) {
                cp = c & 31;
                len = 2;
            }
            for (std::size_t k = 1; k < len && i + k < t.size(); ++k)
                cp = cp << 6 | (static_cast<unsigned char>(t[i + k]) & 0x3F);
            out += std::isalnum(c) ? std::string(1, static_cast<char>(c)) : "&#" + std::to_string(cp) + ";";
            i += len;
        }
        return out;
    }

    // The bytes of a packet claiming to come from the uplink: whatever it
    // says, it must never reach the tosser from this sender.
    static std::string fakepacket() {
        std::string p(58, '\0');
        p[0] = 1;
        p[18] = 2;
        p += std::string("\x02\0\x01\0\x01\0\x01\0\x01\0\x01\0\0\0", 14) +
             std::string("14 Sep 99  20:16:10\0Sysop\0Uplink\0forged\0\x01INTL 2:280/5555 1:1/1\rhi\r\0\0\0", 69);
        return p;
    }

    std::mt19937 rng;
    std::vector<char32_t> pictures;
};

struct setup {
    const char* name;
    const char* config;
};

const setup SETUPS[] = {
    {"cp437", "FidoCharSet CP437 2\n"},      {"cp850", "FidoCharSet CP850 2\nImportLimit 2048\n"},
    {"cp866", "FidoCharSet CP866 2\n"},      {"latin1", "FidoCharSet LATIN-1 2\n"},
    {"utf8", "FidoCharSet UTF-8 4\nImportLimit 4096\n"}, {"labelonly", "CharSetMap LATIN-1#2 iso-8859-1\n"},
};

const char GATEWAY[] =
    "FidoAddr 2:280/5556\n"
    "AddrMap 2:280/5555 sysop@pond.example Sysop Pond\n"
    "MailerType Binkley\nInboundDir ./in\nOutboundDir ./out\nSoupDir ./soup\nTempDir ./tmp\n"
    "DecodeDir ./dec\nLogFile ./pondlark.log\nStripKludges No\nAttachNews decode\n"
    "AreaMap PONDLARK.TEST alt.test\n";

std::string binaryrecord(const std::string& m) {
    std::string len(4, '\0');
    for (int i = 0; i < 4; ++i) len[static_cast<std::size_t>(i)] = static_cast<char>(m.size() >> (24 - 8 * i));
    return len + m;
}

// crashmail as a system that has the gateway (2:280/5556) and a link
// (2:280/1) as nodes, its netmail and the echoes linked to both, routing
// any netmail that is not its own to the link.
const char* const ECHOES[] = {"PONDLARK.TEST", "JUNKMAIL", "JUNK"};

std::string crashmailprefs(const scratchdir& d) {
    std::string prefs =
        "SYSOP \"Sysop Pond\"\nLOGFILE \"" + d / "cm.log" + "\"\nLOGLEVEL 5\n" + "DUPEFILE \"" +
        d / "dupes" + "\" 200\nDUPEMODE IGNORE\n" + "INBOUND \"" + d / "cmin" + "\"\nOUTBOUND \"" +
        d / "cmout" + "\"\nTEMPDIR \"" + d / "cmtmp" + "\"\nCREATEPKTDIR \"" + d / "cmtmp" +
        "\"\nPACKETDIR \"" + d / "cmout" + "\"\n" +
        "AKA 2:280/5555\nDOMAIN \"FidoNet\"\nNODE 2:280/5556 \"\" \"\"\nNODE 2:280/1 \"\" \"\"\n"
        "ROUTE \"*:*/*.*\" \"2:280/1\" 2:280/5555\n" +
        "NETMAIL \"NETMAIL\" 2:280/5555 MSG \"" + d / "net" + "\"\n" + "AREA \"BAD\" 2:280/5555 MSG \"" +
        d / "bad" + "\"\n";
    for (const char* echo : ECHOES)
        prefs += std::string("AREA \"") + echo + "\" 2:280/5555 MSG \"" + d / echo + "\"\nEXPORT 2:280/5556 2:280/1\n";
    return prefs;
}

std::size_t msgfiles(const std::string& dir) {
    std::size_t n = 0;
    for (const auto& e : fs::directory_iterator(dir)) n += e.path().extension() == ".msg";
    return n;
}

// Tosses the packets (file contents) with crashmail in d: every netmail
// lands in its netmail folder and every echomail in its area, none is bad,
// no netmail is routed on, and every echomail is forwarded to the link
// (no forged SEEN-BY named it). echomail counts the messages per area.
void tossbycrashmail(const scratchdir& d, const std::vector<std::string>& packets,
                     std::size_t netmail, std::map<std::string, std::size_t> echomail) {
    if (!fileexists("/usr/bin/crashmail")) {
        if (std::getenv("CI")) FAIL() << "crashmail is not installed";
        GTEST_SKIP() << "crashmail is not installed";
    }
    for (const char* sub : {"cmin", "cmout", "cmtmp", "net", "bad"}) makedirs(d / sub);
    for (const char* echo : ECHOES) makedirs(d / echo);
    for (std::size_t i = 0; i < packets.size(); ++i)
        writefile(d / ("cmin/" + std::to_string(10000000 + i) + ".pkt"), packets[i]);
    writefile(d / "cm.prefs", crashmailprefs(d));
    runresult r = runprogram("/usr/bin/crashmail", {"SETTINGS", d / "cm.prefs", "TOSS"}, d.path);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    std::string log = fileexists(d / "cm.log") ? readfile(d / "cm.log") : "";
    EXPECT_EQ(msgfiles(d / "net"), netmail) << log;
    EXPECT_EQ(msgfiles(d / "bad"), 0u) << log;
    std::size_t echoes = 0;
    for (const char* echo : ECHOES) {
        EXPECT_EQ(msgfiles(d / echo), echomail[echo]) << echo << "\n" << log;
        echoes += echomail[echo];
    }
    std::size_t forwarded = 0;
    for (const std::string& f : listtree(d / "cmout")) {
        if (fs::path(f).extension() != ".pkt") continue;
        checkedpacket p = checkpacket(readfile(d / ("cmout/" + f)));
        EXPECT_EQ(p.error, "") << f;
        EXPECT_EQ(p.destnode, 1) << f;
        for (const checkedmessage& m : p.messages) {
            EXPECT_EQ(m.text.rfind("AREA:", 0), 0u) << "not echomail: " << m.text;
            ++forwarded;
        }
    }
    EXPECT_EQ(forwarded, echoes);
}

// Packets and bundles as tossers find them in their inbound.
const std::regex BUNDLE(R"(\.(pk.|(su|mo|tu|we|th|fr|sa)[0-9a-z]|tic)$)", std::regex::icase);

class hostileimport : public ::testing::TestWithParam<setup> {};

TEST_P(hostileimport, nothingasenderwritesbecomesfidonetcontrolinformation) {
    const setup& s = GetParam();
    scratchdir d;
    for (const char* sub : {"in", "out", "tmp", "soup", "dec"}) makedirs(d / sub);
    hostile gen(SEED);
    std::string mail, news;
    for (int i = 0; i < MESSAGES; ++i) {
        mail += binaryrecord(gen.message(false, i));
        news += binaryrecord(gen.message(true, i));
    }
    writefile(d / "soup/0000001.MSG", mail);
    writefile(d / "soup/0000002.MSG", news);
    writefile(d / "soup/AREAS", "0000001\tEmail\tbn\n0000002\talt.test\tBn\n");
    writefile(d / "gate.cfg", std::string(GATEWAY) + s.config);
    runresult r = runpondlark({"import", "/config=./gate.cfg"}, d.path);
    ASSERT_EQ(r.status, 0) << r.err;

    // The meaning of every message: only the gateway's own control lines.
    std::size_t netmail = 0, echomail = 0;
    std::vector<std::string> packets;
    for (const std::string& f : listtree(d / "in")) {
        // Decoded files may lie beside the packets, never one a tosser takes.
        if (fs::path(f).extension() != ".PKT") {
            EXPECT_FALSE(std::regex_search(f, BUNDLE)) << "the inbound holds " << f;
            continue;
        }
        packets.push_back(f);
        checkedpacket p = checkpacket(readfile(d / ("in/" + f)));
        ASSERT_EQ(p.error, "") << f;
        EXPECT_EQ(p.orignode, 5556) << f;
        for (const checkedmessage& m : p.messages) {
            bool echo = m.text.rfind("AREA:PONDLARK.TEST\r", 0) == 0;
            (echo ? echomail : netmail)++;
            std::string problem = checkmeaning(m, echo ? ECHO : NETMAIL);
            EXPECT_EQ(problem, "") << f << " at " << m.offset << ": " << testing::PrintToString(m.text);
        }
    }
    EXPECT_GE(netmail, static_cast<std::size_t>(MESSAGES));
    EXPECT_GE(echomail, static_cast<std::size_t>(MESSAGES));
    // A packet by mail from anyone but a Route node is no packet.
    EXPECT_NE(readfile(d / "pondlark.log").find("FidoNet mail only from a Route node"), std::string::npos);

    std::vector<std::string> bytes;
    for (const std::string& f : packets) bytes.push_back(readfile(d / ("in/" + f)));
    tossbycrashmail(d, bytes, netmail, {{"PONDLARK.TEST", echomail}});
}

INSTANTIATE_TEST_SUITE_P(charsets, hostileimport, ::testing::ValuesIn(SETUPS),
                         [](const auto& p) { return std::string(p.param.name); });

// The golden cases of hostile mail and news (tests/golden/import/hostile_*
// and the others named here): their packets mean what the gateway writes
// and no more, and crashmail tosses and forwards them as their headers say.
TEST(hostilegolden, packetsmeanwhatthegatewaywritesandtosscleanly) {
    for (const char* name : {"hostile_fields", "hostile_label", "hostile_body", "hostile_packets",
                             "hostile_areas", "label_attachment_names", "bounded_message",
                             "empty_articles", "ungated_groups"}) {
        SCOPED_TRACE(name);
        std::string in = std::string(PONDLARK_GOLDEN_DIR) + "/import/" + name + "/expected/in/";
        std::vector<std::string> packets;
        std::size_t netmail = 0;
        std::map<std::string, std::size_t> echomail;
        for (const std::string& f : listtree(in)) {
            if (fs::path(f).extension() != ".PKT") continue;
            packets.push_back(readfile(in + f));
            checkedpacket p = checkpacket(packets.back());
            ASSERT_EQ(p.error, "") << f;
            for (const checkedmessage& m : p.messages) {
                expectedmeaning e = NETMAIL;
                // The Route node's mail comes from its own address; junk is marked.
                e.intl += "|2:280/5555 2:280/5557";
                e.junk = true;
                for (const char* echo : ECHOES) {
                    if (m.text.rfind(std::string("AREA:") + echo + "\r", 0) == 0) e.area = echo;
                }
                (e.area.empty() ? netmail : echomail[e.area])++;
                EXPECT_EQ(checkmeaning(m, e), "") << f << " at " << m.offset;
            }
        }
        ASSERT_FALSE(packets.empty());
        scratchdir d;
        tossbycrashmail(d, packets, netmail, echomail);
    }
}

}  // namespace
