// The packets of the golden cases made from today's mail (mime_*): sound
// by the project's packet checker, tossed by a real tosser (crashmail)
// without a bad message, and free of what must never reach a FidoNet
// reader: encoded words, boundary lines, part headers, HTML markup.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "pkt/pktcheck.h"
#include "support/testutil.h"

namespace fs = std::filesystem;

namespace {

struct goldenpacket {
    const char* name;
    std::size_t messages;
};

const goldenpacket cases[] = {
    {"mime_python", 4}, {"mime_nested", 4}, {"mime_mutt", 1}, {"mime_mmime", 1}};

std::string packetof(const char* name) {
    return readfile(std::string(PONDLARK_GOLDEN_DIR) + "/import/" + name +
                    "/expected/in/00000000.PKT");
}

TEST(mimegolden, nomarkupboundaryorencodedwordreachesfidonet) {
    for (const goldenpacket& c : cases) {
        SCOPED_TRACE(c.name);
        checkedpacket p = checkpacket(packetof(c.name));
        EXPECT_EQ(p.error, "");
        ASSERT_EQ(p.messages.size(), c.messages);
        for (const checkedmessage& m : p.messages) {
            for (const std::string* s : {&m.toname, &m.fromname, &m.subject, &m.text}) {
                EXPECT_EQ(s->find("=?"), std::string::npos) << *s;
            }
            // Text lines, kludges aside.
            std::size_t pos = 0;
            while (pos < m.text.size()) {
                std::size_t end = m.text.find('\r', pos);
                if (end == std::string::npos) end = m.text.size();
                std::string line = m.text.substr(pos, end - pos);
                pos = end + 1;
                if (!line.empty() && line[0] == '\x01') continue;
                EXPECT_NE(line.rfind("--=", 0), 0u) << line;
                EXPECT_NE(line.rfind("------_=_", 0), 0u) << line;
                EXPECT_NE(line.rfind("Content-", 0), 0u) << line;
                for (const char* tag : {"<p>", "<div", "<br", "</", "<html"})
                    EXPECT_EQ(line.find(tag), std::string::npos) << line;
            }
        }
    }
}

// crashmail tosses every message into its netmail area; none is bad.
TEST(mimegolden, crashmailtossesthepackets) {
    if (!fileexists("/usr/bin/crashmail")) {
        if (std::getenv("CI")) FAIL() << "crashmail is not installed";
        GTEST_SKIP() << "crashmail is not installed";
    }
    for (const goldenpacket& c : cases) {
        SCOPED_TRACE(c.name);
        scratchdir dir;
        for (const char* d : {"inb", "outb", "tmp", "net", "bad"}) makedirs(dir / d);
        writefile(dir / "inb/00000000.PKT", packetof(c.name));
        writefile(dir / "cm.prefs",
                  "SYSOP \"Sysop Pond\"\nLOGFILE \"" + dir / "cm.log" + "\"\nLOGLEVEL 5\n" +
                      "DUPEFILE \"" + dir / "dupes" + "\" 200\nDUPEMODE BAD\n" +
                      "STATSFILE \"" + dir / "stats" + "\"\n" + "INBOUND \"" + dir / "inb" +
                      "\"\nOUTBOUND \"" + dir / "outb" + "\"\nTEMPDIR \"" + dir / "tmp" +
                      "\"\nCREATEPKTDIR \"" + dir / "tmp" + "\"\nPACKETDIR \"" + dir / "outb" +
                      "\"\nAKA 2:280/5555\nDOMAIN \"FidoNet\"\n" +
                      "NETMAIL \"NETMAIL\" 2:280/5555 MSG \"" + dir / "net" + "\"\n" +
                      "AREA \"BAD\" 2:280/5555 MSG \"" + dir / "bad" + "\"\n");
        runresult r = runprogram("/usr/bin/crashmail", {"SETTINGS", dir / "cm.prefs", "TOSS"}, dir.path);
        EXPECT_EQ(r.status, 0) << r.out << r.err;
        std::size_t tossed = 0, bad = 0;
        for (const auto& e : fs::directory_iterator(dir / "net")) tossed += e.path().extension() == ".msg";
        for (const auto& e : fs::directory_iterator(dir / "bad")) bad += e.path().extension() == ".msg";
        EXPECT_EQ(tossed, c.messages) << r.out;
        EXPECT_EQ(bad, 0u) << r.out;
        EXPECT_FALSE(fileexists(dir / "inb/00000000.PKT"));
    }
}

}  // namespace
