#include "export/sourcetest.h"

#include <unistd.h>

#include <cstdio>

#include "base/bytes.h"
#include "config/settings.h"
#include "config/tables.h"
#include "import/replies.h"
#include "pkt/pktlayout.h"

std::string packedmessage(const fidoaddr& dest, const testmsg& m) {
    pktmsgheader mh;
    mh.orignode = 100, mh.orignet = 280, mh.destnode = dest.node, mh.destnet = dest.net;
    mh.attr = m.attr;
    unsigned char raw[PKTMSGHDRSIZE];
    encodepktmsgheader(mh, raw);
    std::string out(reinterpret_cast<char*>(raw), sizeof raw);
    for (const std::string& s :
         {std::string("13 Sep 99  07:08:09"), m.to, std::string("Jim Node"), m.subject, m.text}) {
        out += s;
        out += '\0';
    }
    return out;
}

std::string testpacket(const fidoaddr& dest, const std::vector<testmsg>& msgs) {
    pktheader h;
    h.orignode = 100, h.orignet = 280, h.destnode = dest.node, h.destnet = dest.net;
    h.capword = CAPWORD2PLUS, h.capvalid = CAPVALID2PLUS;
    h.origzone = 2, h.destzone = dest.zone, h.destpoint = dest.point;
    unsigned char raw[PKTHDRSIZE];
    encodepktheader(h, raw);
    std::string out(reinterpret_cast<char*>(raw), sizeof raw);
    for (const testmsg& m : msgs) out += packedmessage(dest, m);
    return out + std::string(2, '\0');
}

std::string storedmessage(std::uint16_t destnet, std::uint16_t destnode, const testmsg& m) {
    unsigned char h[190] = {};
    auto text = [&h](std::size_t at, const std::string& s, std::size_t width) {
        for (std::size_t i = 0; i < s.size() && i < width; ++i)
            h[at + i] = static_cast<unsigned char>(s[i]);
    };
    text(0, "Jim Node", 36);
    text(36, m.to, 36);
    text(72, m.subject, 72);
    text(144, "13 Sep 99  07:08:09", 20);
    put16le(h + 166, destnode);
    put16le(h + 168, 100);
    put16le(h + 172, 280);
    put16le(h + 174, destnet);
    put16le(h + 186, m.attr);
    return std::string(reinterpret_cast<char*>(h), sizeof h) + m.text + '\0';
}

int replyrecords(const std::string& path) {
    if (!fileexists(path)) return 0;
    std::string data = readfile(path);
    int n = 0;
    for (std::size_t at = 0; at + 4 <= data.size(); ++n) {
        at += 4 + get32be(reinterpret_cast<const unsigned char*>(data.data() + at));
    }
    return n;
}

void sourcetest::SetUp() {
    statetest::SetUp();
    for (const char* d : {"in", "soup", "tmp", "out", "net", "files"}) makedirs(dir / d);
    cfg.gateaddr = {2, 280, 5555, 0};
    tables.addrmap.push_back({{2, 280, 5555, 0}, "sysop@pond.example", "", "Sysop"});
    cfg.indir = dir / "in/";
    cfg.soupdir = dir / "soup/";
    cfg.tempdir = dir / "tmp/";
    cfg.outdir = dir / "out/";
    cfg.netdir = dir / "net/";
    genreplyfile(REPLY_MAIL);
    genreplyfile(REPLY_NEWS);
}

std::string sourcetest::replyfile(int kind) const {
    return replies[kind].replyfile.str();
}

void sourcetest::failreplies(int kind) const {
    std::remove(replyfile(kind).c_str());
    ASSERT_EQ(symlink("/dev/full", replyfile(kind).c_str()), 0);
}

void sourcetest::healreplies(int kind) const {
    std::remove(replyfile(kind).c_str());
}
