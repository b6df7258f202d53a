// A journal is read back from the SOUP folder, which other programs may
// write: whatever it says, recovery touches nothing outside the folders
// of the configuration, follows no link planted in them, and trusts no
// journal another user made. A file outside is settled only while a flow
// file of the outbound or a stored message written on this system still
// asks for it, as the run itself would have done.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "config/settings.h"
#include "durable/journal.h"
#include "durable/pathscope.h"
#include "durable/recovery.h"
#include "export/vouch.h"
#include "support/testutil.h"

namespace {

class confinement : public statetest {
   protected:
    scratchdir dir;
    std::string gate, outside, jpath;
    void SetUp() override {
        statetest::SetUp();
        gate = dir / "gate/";
        outside = dir / "outside/";
        for (const char* d : {"gate/soup", "gate/out", "gate/net", "gate/in", "outside"}) makedirs(dir / d);
        jpath = gate + "soup/pondlark.jnl";
        cfg.outdir = gate + "out/";
        cfg.netdir = gate + "net/";
        scope = pathscope{};
        for (const char* d : {"soup/", "out/", "net/", "in/"}) scopefolder(gate + d);
        scope.vouch = listedforaction;
    }
    // A file outside with known content.
    std::string victim(const std::string& name, const std::string& content = "precious\n") {
        writefile(outside + name, content);
        return outside + name;
    }
    static std::string idtext(const std::string& path) {
        fileid id = identify(path);
        return std::to_string(id.ino) + ":" + std::to_string(id.size) + ":" + std::to_string(id.mtime);
    }
    static std::string ino(const std::string& path) {
        struct stat st {};
        stat(path.c_str(), &st);  // through a link: what an attacker would name
        return std::to_string(st.st_ino);
    }
    static std::string header() {
        return encoderecord('H', {"PondLark journal", "1", "export", "4242", "0"});
    }
    std::string recover(const std::string& journal) {
        writefile(jpath, journal);
        recoveryinfo info;
        testing::internal::CaptureStderr();
        EXPECT_EQ(recoverjournal(jpath, info), 0);
        return testing::internal::GetCapturedStderr();
    }
};

// Every kind of record, naming files outside by their path, by ".." and
// through links planted in the SOUP folder, in a unit that committed and
// in one that did not.
TEST_F(confinement, acraftedjournaltouchesnothingoutside) {
    std::vector<std::string> victims;
    for (int i = 1; i <= 14; ++i) victims.push_back(victim("v" + std::to_string(i)));
    writefile(outside + "t.tmp", "an output of someone else\n");
    ASSERT_EQ(symlink(outside.c_str(), (gate + "soup/link").c_str()), 0);
    ASSERT_EQ(symlink((outside + "v7").c_str(), (gate + "soup/leaf7").c_str()), 0);
    ASSERT_EQ(symlink((outside + "v8").c_str(), (gate + "soup/leaf8").c_str()), 0);
    ASSERT_EQ(symlink((outside + "v10").c_str(), (gate + "soup/leaf10").c_str()), 0);
    ASSERT_EQ(symlink((outside + "v11").c_str(), (gate + "soup/leaf11").c_str()), 0);
    writefile(gate + "soup/x.tmp", "ours\n");
    writefile(outside + "v14", "PondLark 4242\n");
    std::string j =
        header() + encoderecord('B', {"1", "flavour", outside + "v1", "0:0:0"}) +
        encoderecord('X', {outside + "v1", idtext(outside + "v1")}) +
        encoderecord('M', {outside + "v2", outside + "v2.BAD", idtext(outside + "v2")}) +
        encoderecord('W', {outside + "v3", "0", "5858", ino(outside + "v3")}) +
        encoderecord('Z', {outside + "v4", "0", ino(outside + "v4")}) +
        encoderecord('O', {outside + "t.tmp", outside + "published", "f"}) +
        encoderecord('O', {gate + "soup/x.tmp", outside + "v5", "r"}) +
        encoderecord('X', {gate + "soup/../../outside/v6", idtext(outside + "v6")}) +
        encoderecord('X', {gate + "soup/link/v9", idtext(outside + "v9")}) +
        encoderecord('W', {gate + "soup/leaf7", "0", "5858", ino(outside + "v7")}) +
        encoderecord('Z', {gate + "soup/leaf8", "0", ino(outside + "v8")}) +
        encoderecord('M', {gate + "soup/x.tmp", outside + "moved", idtext(gate + "soup/x.tmp")}) +
        encoderecord('C', {"1"}) +
        encoderecord('B', {"2", "import", gate + "soup/1.MSG", "0:0:0"}) +
        encoderecord('S', {outside + "v12", "0", ino(outside + "v12")}) +
        encoderecord('S', {gate + "soup/leaf10", "0", ino(outside + "v10")}) +
        encoderecord('P', {gate + "soup/leaf11", "0", "58", ino(outside + "v11")}) +
        encoderecord('P', {outside + "v13", "0", "58", ino(outside + "v13")}) +
        encoderecord('S', {outside + "v2", "-1", "-1"}) +
        encoderecord('O', {outside + "v3", outside + "v3.final", "p"}) +
        encoderecord('T', {outside + "v4"}) + encoderecord('Y', {outside + "v14"});
    std::string log = recover(j);
    for (const std::string& v : victims) {
        ASSERT_TRUE(fileexists(v)) << v << " is gone\n" << log;
        EXPECT_EQ(readfile(v), v == outside + "v14" ? "PondLark 4242\n" : "precious\n") << v << "\n" << log;
    }
    EXPECT_EQ(listtree(outside).size(), 15u) << log;
    EXPECT_EQ(readfile(gate + "soup/x.tmp"), "ours\n");
    EXPECT_NE(log.find("! recovery leaves " + outside + "v1 alone: outside the folders of the configuration\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("! recovery leaves " + gate + "soup/link/v9 alone: a link on the way\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("paths outside the folders left alone"), std::string::npos) << log;
    // The same journal again changes nothing either.
    recover(j);
    for (const std::string& v : victims) EXPECT_TRUE(fileexists(v)) << v;
}

// Files a flow file of the outbound asks to have deleted ("^") or emptied
// ("#") are settled, as the run would have: before the flow file goes, and
// only those it still lists. A listing anywhere else vouches for nothing.
TEST_F(confinement, whatthemailerlistedisstillsettled) {
    std::string sent = victim("sent.zip"), emptied = victim("emptied.zip"), kept = victim("kept.zip"),
                unlisted = victim("unlisted.zip"), decoy = victim("decoy.zip"), packet = victim("0001.PKT");
    std::string flow = gate + "out/01180001.FLO";
    writefile(flow, "^" + sent + "\r\n#" + emptied + "\n" + kept + "\n" + packet + "\n");
    // A decoded attachment that looks like a flow file, in the inbound.
    std::string inbound = gate + "in/evil.FLO";
    writefile(inbound, "^" + decoy + "\n");
    std::string j =
        header() + encoderecord('B', {"1", "flavour", flow, "0:0:0"}) +
        encoderecord('X', {sent, idtext(sent)}) + encoderecord('Z', {emptied, "0", ino(emptied)}) +
        encoderecord('X', {kept, idtext(kept)}) + encoderecord('X', {unlisted, idtext(unlisted)}) +
        encoderecord('X', {packet, idtext(packet)}) + encoderecord('X', {flow, idtext(flow)}) +
        encoderecord('C', {"1"}) + encoderecord('B', {"2", "flavour", inbound, "0:0:0"}) +
        encoderecord('X', {decoy, idtext(decoy)}) + encoderecord('C', {"2"});
    std::string log = recover(j);
    EXPECT_FALSE(fileexists(sent)) << log;
    EXPECT_EQ(readfile(emptied), "");
    EXPECT_FALSE(fileexists(packet)) << "a listed packet goes once sent";
    EXPECT_FALSE(fileexists(flow));
    EXPECT_EQ(readfile(kept), "precious\n") << "listed without \"^\": sent, never deleted";
    EXPECT_EQ(readfile(unlisted), "precious\n");
    EXPECT_EQ(readfile(decoy), "precious\n");
    EXPECT_NE(log.find("! recovery leaves " + unlisted + " alone"), std::string::npos) << log;
    EXPECT_NE(log.find("! recovery leaves " + decoy + " alone"), std::string::npos) << log;
}

// A stored message vouches only when it was written on this system
// (Local) and still names the file, with "^" or its FLAGS kludge.
TEST_F(confinement, astoredmessagevouchesonlywhenwrittenhere) {
    std::string a = victim("a.zip"), b = victim("b.zip"), c = victim("c.zip");
    auto stored = [this](const std::string& name, const std::string& subject, std::uint16_t attr,
                         const std::string& text) {
        std::string raw(190, '\0');
        raw.replace(72, subject.size(), subject);
        unsigned char at[2];
        put16le(at, attr);
        raw[186] = static_cast<char>(at[0]);
        raw[187] = static_cast<char>(at[1]);
        writefile(gate + "net/" + name, raw + text);
        return gate + "net/" + name;
    };
    ASSERT_LT(a.size(), 70u) << "the scratch folder's path is too long for a subject";
    std::string local = stored("1.MSG", "^" + a, 0x0110, "hello\r");
    std::string flagged = stored("2.MSG", b, 0x0110, "\x01" "FLAGS KFS\rhello\r");
    std::string remote = stored("3.MSG", "^" + c, 0x0010, "hello\r");
    std::string j = header() + encoderecord('B', {"1", "stored", local, "0:0:0"}) +
                    encoderecord('X', {a, idtext(a)}) + encoderecord('C', {"1"}) +
                    encoderecord('B', {"2", "stored", flagged, "0:0:0"}) +
                    encoderecord('X', {b, idtext(b)}) + encoderecord('C', {"2"}) +
                    encoderecord('B', {"3", "stored", remote, "0:0:0"}) +
                    encoderecord('X', {c, idtext(c)}) + encoderecord('C', {"3"});
    std::string log = recover(j);
    EXPECT_FALSE(fileexists(a)) << log;
    EXPECT_FALSE(fileexists(b)) << log;
    EXPECT_EQ(readfile(c), "precious\n") << "a message from elsewhere names no file of this system";
}

// What lies in the journal's place is read only when PondLark could have
// written it: no link, no file of another user, none others may write.
TEST_F(confinement, ajournalfromsomeoneelseisnotactedon) {
    std::string v = victim("v");
    std::string j = header() + encoderecord('B', {"1", "import", gate + "soup/1.MSG", "0:0:0"}) +
                    encoderecord('X', {gate + "soup/1.MSG", "0:0:0"}) + encoderecord('C', {"1"});
    writefile(gate + "soup/1.MSG", "input");
    j = header() + encoderecord('B', {"1", "import", gate + "soup/1.MSG", "0:0:0"}) +
        encoderecord('X', {gate + "soup/1.MSG", idtext(gate + "soup/1.MSG")}) + encoderecord('C', {"1"});
    writefile(v, j);
    ASSERT_EQ(symlink(v.c_str(), jpath.c_str()), 0);
    recoveryinfo info;
    testing::internal::CaptureStderr();
    EXPECT_EQ(recoverjournal(jpath, info), 0);
    std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("is not a journal of PondLark's (a link): nothing is recovered from it"),
              std::string::npos)
        << log;
    EXPECT_TRUE(fileexists(gate + "soup/1.MSG"));
    EXPECT_EQ(journalpending(jpath), jpath + " is not a journal of PondLark's (a link): the next command "
                                             "replaces it unread");
    unlink(jpath.c_str());

    writefile(jpath, j);
    chmod(jpath.c_str(), 0666);
    testing::internal::CaptureStderr();
    EXPECT_EQ(recoverjournal(jpath, info), 0);
    log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("(others may write it)"), std::string::npos) << log;
    EXPECT_TRUE(fileexists(gate + "soup/1.MSG"));
    if (geteuid() == 0) {
        chmod(jpath.c_str(), 0644);
        ASSERT_EQ(chown(jpath.c_str(), 65534, 65534), 0);
        testing::internal::CaptureStderr();
        EXPECT_EQ(recoverjournal(jpath, info), 0);
        log = testing::internal::GetCapturedStderr();
        EXPECT_NE(log.find("(it belongs to user 65534)"), std::string::npos) << log;
        EXPECT_TRUE(fileexists(gate + "soup/1.MSG"));
    }
    // The fresh journal of the next command replaces it, and the link is
    // never written through.
    unlink(jpath.c_str());
    ASSERT_EQ(symlink(v.c_str(), jpath.c_str()), 0);
    cfg.soupdir = gate + "soup/";
    testing::internal::CaptureStderr();
    ASSERT_EQ(journalstart("import", 0, info), 0);
    journalfinish();
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(readfile(v), j);
    EXPECT_FALSE(fileexists(jpath));
}

TEST(pathscope, whatliesinscope) {
    scope = pathscope{};
    scopefolder("./soup");
    scopefolder("/var/spool/fido/out/");
    scopefile("/etc/pondlark/talk.lst");
    scopelisttemps("/etc/pondlark/talk.lst");
    struct {
        const char* path;
        bool in;
    } cases[] = {
        {"./soup/pondlark.his", true},
        {"./soup/rejected/00000000.eml", true},
        {"./soup/", false},
        {"./soup/../gate.cfg", false},
        {"./soup/./AREAS", false},
        {"./soup//AREAS", false},
        {"soup/AREAS", false},  // spelled otherwise than the configuration
        {"./soupx/AREAS", false},
        {"/var/spool/fido/out/0118000A.PNT/00000001.OUT", true},
        {"/var/spool/fido/out.002/0118000A.OUT", false},
        {"/etc/pondlark/talk.lst", true},
        {"/etc/pondlark/list01AF.tmp", true},
        {"/etc/pondlark/list01af.tmp", false},
        {"/etc/pondlark/pondlark.cfg", false},
        {"/etc/passwd", false},
        {"", false},
    };
    for (const auto& c : cases) EXPECT_EQ(inscope(c.path), c.in) << c.path;
    scope = pathscope{};
    EXPECT_FALSE(inscope("./soup/AREAS")) << "an empty scope holds nothing";
}

}  // namespace
