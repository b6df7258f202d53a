#include "faults/faultkit.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <regex>
#include <set>
#include <sstream>

#include "export/sourcetest.h"

namespace {

constexpr long PAGE = 4096;
const char FILLERNAME[] = "/.filler";

// Gives the test process mounts of its own, once: they are not seen
// outside it and go when it ends.
void privatemounts() {
    static bool tried = false;
    if (tried) return;
    tried = true;
    if (unshare(CLONE_NEWNS) == 0) (void)mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr);
}

std::uint32_t be32(const std::string& s, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = (v << 8) | static_cast<unsigned char>(s[at + i]);
    return v;
}

// Checks one record's text: header lines, an empty line, a body.
std::string recordproblem(const std::string& m) {
    std::size_t end = m.find("\n\n");
    if (end == std::string::npos) return "no empty line after the header";
    std::size_t line = 0;
    while (line < end) {
        std::size_t next = m.find('\n', line);
        bool continuation = m[line] == ' ' || m[line] == '\t';
        std::size_t colon = m.find(':', line);
        if (!continuation && (colon == std::string::npos || colon > next || colon == line))
            return "header line without a name: " + m.substr(line, next - line);
        line = next + 1;
    }
    return "";
}

}  // namespace

smalldisk::smalldisk(const std::string& dir, int kib) : dir_(dir) {
    makedirs(dir);
    privatemounts();
    // Room for a few hundred files: enough for any test, few enough to fill.
    std::string opts = "size=" + std::to_string(kib) + "k,nr_inodes=256,mode=0755";
    if (mount("tmpfs", dir.c_str(), "tmpfs", 0, opts.c_str()) == 0) {
        mounted_ = true;
    } else {
        why_ = std::string("mount: ") + std::strerror(errno);
    }
}

smalldisk::~smalldisk() {
    if (mounted_) (void)umount2(dir_.c_str(), MNT_DETACH);
}

void smalldisk::leavefree(int pages) {
    std::string path = dir_ + FILLERNAME;
    int fd = open(path.c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(fd, 0) << path;
    static const char block[PAGE] = {};
    off_t size = lseek(fd, 0, SEEK_END);
    for (;;) {
        ssize_t n = pwrite(fd, block, sizeof block, size);
        if (n <= 0) break;
        size += n;
    }
    size = size / PAGE * PAGE - static_cast<off_t>(pages) * PAGE;
    EXPECT_EQ(ftruncate(fd, size < 0 ? 0 : size), 0);
    close(fd);
}

void smalldisk::leavefiles(int n) {
    auto name = [this](int i) { return dir_ + FILLERNAME + std::to_string(i); };
    for (;; ++fillers_) {
        int fd = open(name(fillers_).c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
        if (fd < 0) break;
        close(fd);
    }
    for (; n > 0 && fillers_ > 0; --n) std::remove(name(--fillers_).c_str());
}

void smalldisk::release() {
    std::remove((dir_ + FILLERNAME).c_str());
    for (; fillers_ > 0; --fillers_)
        std::remove((dir_ + FILLERNAME + std::to_string(fillers_ - 1)).c_str());
}

bool canmount(std::string& why) {
    static int known = -1;
    static std::string reason;
    if (known < 0) {
        scratchdir dir;
        smalldisk probe(dir / "probe", 64);
        known = probe.ready() ? 1 : 0;
        reason = probe.why();
    }
    why = reason;
    return known == 1;
}

std::string testname(const std::string& description) {
    std::string n = description;
    for (char& c : n)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return n;
}

void writegate(const std::string& dir, const std::string& extra, const std::string& in,
               const std::string& soup, const std::string& mail) {
    for (const std::string& d : {in, soup, std::string("tmp"), mail + "out", mail + "net"})
        makedirs(dir + d);
    writefile(
        dir + "gate.cfg",
        "FidoAddr 2:280/5555\nAddrMap 2:280/5555 sysop@pond.example Sysop Pond\n"
        "InboundDir ./" +
            in + "\nSoupDir ./" + soup + "\nOutboundDir ./" + mail + "out\nNetmailDir ./" + mail +
            "net\nTempDir ./tmp\nLogFile ./pondlark.log\n"
            "AreaMap PONDLARK.TEST alt.test\nRoute 2:280/5556 node5556@uplink.example\n" +
            (extra.find("MailerType") == std::string::npos ? "MailerType Binkley\n" : "") + extra);
}

std::map<std::string, int> attachments(const std::vector<std::string>& messages) {
    static const std::regex part("name=\"([^\"]*)\"\n|\nbegin 644 ([^\n]*)\n");
    std::map<std::string, int> seen;
    for (const std::string& m : messages) {
        for (std::sregex_iterator it(m.begin(), m.end(), part), end; it != end; ++it)
            ++seen[(*it)[1].matched ? (*it)[1].str() : (*it)[2].str()];
    }
    return seen;
}

std::vector<std::string> souprecords(const std::string& path) {
    std::vector<std::string> out;
    std::string data = readfile(path);
    for (std::size_t at = 0, n; at < data.size(); at += 4 + n) {
        n = at + 4 <= data.size() ? be32(data, at) : data.size();
        if (at + 4 + n > data.size()) {
            ADD_FAILURE() << path << ": record at offset " << at << " cut off";
            break;
        }
        out.push_back(data.substr(at + 4, n));
        EXPECT_EQ(recordproblem(out.back()), "") << path << " offset " << at;
    }
    return out;
}

std::vector<std::string> soundreplies(const std::string& soupdir) {
    static const std::regex line("(MAIL|NEWS)([0-9A-F]{4})\t(mail|news)\t([bB])n");
    static const std::regex replyname("(MAIL|NEWS)[0-9A-F]{4}\\.MSG");
    std::vector<std::string> all;
    std::set<std::string> listed;
    std::string index = fileexists(soupdir + "REPLIES") ? readfile(soupdir + "REPLIES") : "";
    EXPECT_TRUE(index.empty() || index.back() == '\n') << "REPLIES: last line cut off";
    std::istringstream in(index);
    for (std::string text; std::getline(in, text);) {
        std::smatch m;
        if (!std::regex_match(text, m, line)) {
            ADD_FAILURE() << "REPLIES: bad line \"" << text << "\"";
            continue;
        }
        bool mail = m[1] == "MAIL";
        EXPECT_TRUE(mail == (m[3] == "mail") && mail == (m[4] == "b"))
            << "REPLIES: kind and format disagree in \"" << text << "\"";
        std::string name = m[1].str() + m[2].str();
        std::string path = soupdir + name + ".MSG";
        if (!listed.insert(name).second) {
            ADD_FAILURE() << "REPLIES: " << name << " registered twice";
        } else if (!fileexists(path) || readfile(path).empty()) {
            ADD_FAILURE() << path << ": registered but missing or empty";
        } else {
            std::vector<std::string> records = souprecords(path);
            all.insert(all.end(), records.begin(), records.end());
        }
    }
    for (const std::string& name : listtree(soupdir)) {
        EXPECT_FALSE(std::regex_match(name, replyname) && !listed.count(name.substr(0, 8)))
            << "reply file not in REPLIES: " << name;
    }
    return all;
}

std::string soupfile(char format, const std::vector<std::string>& messages) {
    std::string out;
    for (const std::string& t : messages) {
        if (format == 'm') {
            out += "From bob@net.example Tue Sep 14 10:00:00 1999\n" + t;
        } else if (format == 'u') {
            out += "#! rnews " + std::to_string(t.size()) + "\n" + t;
        } else {
            for (int i = 0; i < 4; ++i) out += static_cast<char>(t.size() >> (24 - 8 * i));
            out += t;
        }
    }
    return out;
}

std::string birdlist(const std::string& dir) {
    makedirs(dir + "t");
    for (const auto& t : BIRDREPLIES)
        writefile(dir + "t/" + t[0], std::string(t[1]) + ", @YOURADDRESS@.\n");
    return "ListName Birds\nListAddress birds@lists.example\nWelcome ./t/welcome\n"
           "GoodBye ./t/goodbye\nNewPassword ./t/newpass\nSubscribeInfo ./t/info\n"
           "PasswordInfo ./t/pwinfo\n";
}

std::string birdmail(const std::string& from, const std::string& subject) {
    return "From x Tue Sep 14 10:00:00 1999\nFrom: " + from +
           "\nTo: birds@lists.example\nSubject: " + subject + "\n\nSeen: " + subject + "\n";
}

listview readlistfile(const std::string& text) {
    listview v;
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; at < text.size(); at = end + 1) {
        end = text.find('\n', at);
        if (end == std::string::npos) return {"last line not ended", {}, 0};
        lines.push_back(text.substr(at, end - at));
    }
    auto i = std::find(lines.begin(), lines.end(), "ListUsers");
    if (i == lines.end()) return {"no ListUsers line", {}, 0};
    for (++i; i != lines.end();) {
        std::string where = " at line " + std::to_string(i - lines.begin() + 1);
        if (*i != "+" && *i != "*") {
            ++v.waste, ++i;  // the list server skips it
        } else if (lines.end() - i < 5) {
            return {"record cut off" + where, {}, 0};
        } else if (i[3].empty() || i[3].find_first_not_of("0123456789") != std::string::npos) {
            return {"bad status in the record" + where, {}, 0};
        } else if (*i == "*") {
            ++v.waste, i += 5;
        } else if (!v.live.emplace(i[1], i[4]).second) {
            return {"a second live record for " + i[1] + where, {}, 0};
        } else {
            i += 5;
        }
    }
    return v;
}

namespace {
std::string crlines(std::size_t n, int seed) {
    std::string s = filler(n, seed);
    std::replace(s.begin(), s.end(), '\n', '\r');
    return s;
}

testmsg makemsg(const ftnmsg& m) {
    testmsg t;
    t.subject = m.attach.empty() ? "About " + m.token : m.attach;
    t.text = "Token " + m.token + "\r" + crlines(m.textsize, static_cast<int>(m.textsize));
    if (!m.attach.empty()) t.attr = 0x0011;
    if (m.news) {
        t.to = "All";
        t.text = "AREA:PONDLARK.TEST\r" + t.text;
    }
    return t;
}

void putword(std::string& s, unsigned v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>(v >> 8);
}
}  // namespace

std::string ftnpacket(const fidoaddr& dest, const std::vector<ftnmsg>& msgs) {
    std::string p;
    for (unsigned w : {100u, unsigned(dest.node), 1999u, 8u, 14u, 20u, 16u, 10u, 0u, 2u, 280u,
                       unsigned(dest.net)})
        putword(p, w);
    p += std::string("\0\1", 2) + std::string(8, '\0');
    for (unsigned w : {2u, unsigned(dest.zone), 0u, 0x0100u}) putword(p, w);
    p += "\1";
    p += '\0';
    for (unsigned w : {1u, 2u, unsigned(dest.zone), 0u, unsigned(dest.point), 0u, 0u})
        putword(p, w);
    for (const ftnmsg& m : msgs) p += packedmessage(dest, makemsg(m));
    return p + std::string(2, '\0');
}

std::string ftnstored(const ftnmsg& m, std::uint16_t attr) {
    testmsg t = makemsg(m);
    t.attr = attr;
    return storedmessage(GATE.net, GATE.node, t);
}

void counttokens(const std::string& text, const std::vector<std::string>& tokens,
                 const std::string& end, std::map<std::string, int>& seen) {
    for (const std::string& t : tokens) seen[t] += countof(text, "Token " + t + end);
}

bool ispacketname(const std::string& name) {
    std::string ext = name.size() > 4 ? name.substr(name.size() - 4) : "";
    for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return ext == ".PKT" || ext == ".OUT" || ext == ".CUT" || ext == ".DUT" || ext == ".HUT";
}

std::string base64(const std::string& data) {
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out, line;
    for (std::size_t i = 0; i < data.size(); i += 3) {
        std::uint32_t v = static_cast<unsigned char>(data[i]) << 16;
        if (i + 1 < data.size()) v |= static_cast<unsigned char>(data[i + 1]) << 8;
        if (i + 2 < data.size()) v |= static_cast<unsigned char>(data[i + 2]);
        line += digits[(v >> 18) & 63];
        line += digits[(v >> 12) & 63];
        line += i + 1 < data.size() ? digits[(v >> 6) & 63] : '=';
        line += i + 2 < data.size() ? digits[v & 63] : '=';
        if (line.size() == 76) {
            out += line + "\n";
            line.clear();
        }
    }
    return line.empty() ? out : out + line + "\n";
}

std::string filebytes(std::size_t n, int seed) {
    std::string s(n, '\0');
    std::uint32_t x = 2463534242u + static_cast<std::uint32_t>(seed) * 7919u;
    for (char& c : s) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = static_cast<char>(x & 0xFF);
    }
    return s;
}

std::string filler(std::size_t n, int seed) {
    std::string s;
    for (int line = 0; s.size() < n; ++line) {
        s += "Line " + std::to_string(line) + " of text " + std::to_string(seed) +
             ", written to take room on the disk.\n";
    }
    return s;
}

int countof(const std::string& hay, const std::string& needle) {
    int n = 0;
    for (std::size_t at = hay.find(needle); at != std::string::npos;
         at = hay.find(needle, at + needle.size()))
        ++n;
    return n;
}

std::string notonce(const std::vector<std::string>& names, const std::map<std::string, int>& seen) {
    std::string out;
    for (const std::string& n : names) {
        auto it = seen.find(n);
        int times = it == seen.end() ? 0 : it->second;
        if (times != 1) out += " " + n + " x" + std::to_string(times);
    }
    return out;
}
