// Export with the SOUP directory on a disk that fills up, from each of the
// three sources: the packet directory of /pkt=, the stored netmail of an
// ArcMail-style mailer, and the Binkley-style outbound with flow files;
// also with the mailer's folders on the same full disk (kept packets and
// flow files cannot be rewritten then), with SeparateMSG, and under a file
// size limit instead of a full disk. Whatever the point, every message is
// either in a registered reply file or still in its input (never both,
// never neither), REPLIES lists only whole reply files, and a second run
// sends the rest, each message and each attached file exactly once.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "faults/faultkit.h"
#include "pkt/pktcheck.h"
#include "support/testutil.h"

namespace {

bool isflowname(const std::string& name) {
    std::string ext = name.size() > 4 ? name.substr(name.size() - 4) : "";
    for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return ext == ".FLO" || ext == ".CLO" || ext == ".DLO" || ext == ".HLO";
}

// A listed or subject file name without "^" or "#" and its directory.
std::string basename(std::string name) {
    if (!name.empty() && (name[0] == '^' || name[0] == '#')) name.erase(0, 1);
    std::size_t slash = name.rfind('/');
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

enum sources { FROM_PKT, FROM_NETMAIL, FROM_OUTBOUND };

struct exportcase {
    const char* name;
    int source;
    bool shared;    // the mailer's folders are on the full disk too
    bool separate;  // SeparateMSG: a reply file for every message
};

// A scratch gateway whose SOUP directory lives on a small disk, with the
// mail of one source waiting for export.
struct exportworld {
    scratchdir dir;
    std::optional<smalldisk> disk;  // none for runs under a file size limit
    const exportcase& c;
    std::string root;                 // of the mailer's folders: "" or "disk/"
    std::vector<std::string> tokens;  // every message
    std::vector<std::string> files;   // every file that is to be attached

    exportworld(const exportcase& ec, bool mount) : c(ec), root(ec.shared ? "disk/" : "") {
        if (mount) disk.emplace(dir / "disk", 512);
        if (mount && !disk->ready()) return;
        writegate(dir.path,
                  std::string(c.source == FROM_NETMAIL ? "MailerType ArcMail\n" : "") +
                      (c.separate ? "SeparateMSG Yes\n" : ""),
                  "in", "disk/soup", root);
        for (const char* d : {"pkt", "files"}) makedirs(dir / (root + d));
        if (c.source == FROM_PKT) pktsource();
        if (c.source == FROM_NETMAIL) netmailsource();
        if (c.source == FROM_OUTBOUND) outboundsource();
    }

    void put(const std::string& name, const std::vector<ftnmsg>& msgs,
             const fidoaddr& dest = GATE) {
        for (const ftnmsg& m : msgs) tokens.push_back(m.token);
        writefile(dir / (root + name), ftnpacket(dest, msgs));
    }

    void attachment(const std::string& name, std::size_t size) {
        files.push_back(name);
        writefile(dir / (root + "files/" + name), filebytes(size, static_cast<int>(files.size())));
    }

    void stored(const std::string& name, const ftnmsg& m, std::uint16_t attr) {
        tokens.push_back(m.token);
        writefile(dir / (root + "net/" + name), ftnstored(m, attr));
    }

    void pktsource() {
        put("pkt/0001.PKT", {{"P1", 900}, {"P2", 3500, true}, {"P3", 200}});
        put("pkt/0002.PKT", {{"P4", 5200}, {"P5", 700}});
        put("pkt/0003.PKT", {{"P6", 1500, true}, {"P7", 2600}, {"P8", 400}, {"P9", 4100}});
        put("pkt/0004.PKT", {{"P10", 800, true}});
    }

    void netmailsource() {
        stored("1.MSG", {"N1", 3000}, 0x0001);
        attachment("nm1.dat", 5000);
        // File attaches written here (Local): they name their files by path.
        stored("2.MSG", {"N2", 300, false, root + "files/nm1.dat"}, 0x0111);
        put("files/0003.PKT", {{"N3a", 2500}, {"N3b", 900, true}});
        attachment("nm3.dat", 2500);
        stored("3.MSG", {"N3", 700, false, root + "files/nm3.dat " + root + "files/0003.PKT"},
               0x0191);
        stored("4.MSG", {"N4", 4500}, 0x0081);
        attachment("nm5.dat", 2000);
        stored("5.MSG", {"N5", 200, false, root + "files/nm5.dat"}, 0x0191);
        stored("6.MSG", {"N6", 1200}, 0x0001);
    }

    void outboundsource() {
        attachment("ob1.dat", 3000);
        attachment("ob2.dat", 2500);
        attachment("ob3.dat", 1800);
        attachment("rt1.dat", 4000);
        put("out/011815B3.OUT",
            {{"O1", 200}, {"O2", 300, false, root + "files/ob1.dat"}, {"O3", 300, true}});
        put("files/0010.PKT", {{"L1", 6000}, {"L2", 2800}});
        const std::string f = root + "files/";
        writefile(dir / (root + "out/011815B3.FLO"),
                  f + "ob1.dat\n^" + f + "ob2.dat\n^" + f + "0010.PKT\n#" + f + "ob3.dat\n");
        put("out/011815B3.CUT", {{"C1", 4000}, {"C2", 600, true}});
        put("out/011815B4.OUT", {{"R1", 2200}}, ROUTE);
        writefile(dir / (root + "out/011815B4.FLO"), "^" + f + "rt1.dat\n");
    }

    runresult run() {
        std::vector<std::string> args = {"export", "/config=./gate.cfg"};
        if (c.source == FROM_PKT) args.push_back("/pkt=./" + root + "pkt");
        return runpondlark(args, dir.path);
    }

    // What is still waiting in the inputs: tokens in packets and unsent
    // stored messages, files in flow files and unsent file attaches.
    void pending(std::map<std::string, int>& msgs, std::map<std::string, int>& atts) {
        for (const char* sub : {"pkt/", "out/", "files/", "net/"}) {
            for (const std::string& name : listtree(dir / (root + sub))) {
                std::string bytes = readfile(dir / (root + sub + name));
                std::string text = bytes;
                if (ispacketname(name)) {
                    checkedpacket p = checkpacket(bytes);
                    EXPECT_EQ(p.error, "") << "damaged packet left: " << sub << name;
                } else if (isflowname(name)) {
                    for (std::size_t at = 0; at < bytes.size();) {
                        std::size_t end = bytes.find('\n', at);
                        std::string line = bytes.substr(at, end - at);
                        // "~" marks a line whose file was sent.
                        if (!line.empty() && line[0] != '~' && !ispacketname(line))
                            ++atts[basename(line)];
                        at = end == std::string::npos ? bytes.size() : end + 1;
                    }
                    continue;
                } else if (name.size() > 4 && name.substr(name.size() - 4) == ".MSG") {
                    unsigned attr = static_cast<unsigned char>(bytes[186]) |
                                    static_cast<unsigned char>(bytes[187]) << 8;
                    if (attr & 0x0008) continue;
                    std::string subject = bytes.substr(72, bytes.find('\0', 72) - 72);
                    for (std::size_t at = 0; (attr & 0x0010) && at < subject.size();) {
                        std::size_t end = std::min(subject.find(' ', at), subject.size());
                        std::string word = subject.substr(at, end - at);
                        if (!word.empty() && !ispacketname(word)) ++atts[basename(word)];
                        at = end + 1;
                    }
                } else {
                    continue;
                }
                counttokens(text, tokens, "\r", msgs);
            }
        }
    }

    static constexpr const char* DISKFULL = "Error";

    // Every message once in the registered replies or in the inputs, and
    // so every attached file. Returns true when nothing is left waiting.
    bool finished(const std::string&, bool last) {
        SCOPED_TRACE(last ? "after the second run" : "after the run under a fault");
        std::vector<std::string> replies = soundreplies(dir / "disk/soup/");
        std::map<std::string, int> sent, waiting, attached = attachments(replies), queued;
        for (const std::string& m : replies) counttokens(m, tokens, "\n", sent);
        pending(waiting, queued);
        bool left = false;
        for (const std::string& t : tokens) {
            EXPECT_EQ(sent[t] + waiting[t], 1)
                << t << ": " << sent[t] << " times sent, " << waiting[t] << " times waiting";
            left = left || waiting[t] > 0;
        }
        for (const std::string& f : files) {
            EXPECT_EQ(attached[f] + queued[f], 1)
                << f << ": " << attached[f] << " times attached, " << queued[f] << " times waiting";
            left = left || queued[f] > 0;
        }
        EXPECT_EQ(listtree(dir / "tmp"), std::vector<std::string>{}) << "temporary packets left";
        return !left;
    }
};

const std::vector<exportcase> CASES = {
    {"pkt", FROM_PKT, false, false},
    {"netmail", FROM_NETMAIL, false, false},
    {"outbound", FROM_OUTBOUND, false, false},
    {"pkt_on_one_disk", FROM_PKT, true, false},
    {"netmail_on_one_disk", FROM_NETMAIL, true, false},
    {"outbound_on_one_disk", FROM_OUTBOUND, true, false},
    {"pkt_separatemsg", FROM_PKT, false, true},
};

class exportfaults : public ::testing::TestWithParam<std::tuple<std::size_t, fillkind>> {};

// The disk is filled so that 0, 1, 2, ... pages (or files: reply files,
// REPLIES, temporary copies of packets and flow files) stay free, or no
// file may grow past a limit.
TEST_P(exportfaults, everymessageisrepliedoronceleftwaiting) {
    const auto [index, kind] = GetParam();
    if (kind == FILESIZE) {
        sweepfilesize<exportworld>("disk/soup/", {10, 3000}, CASES[index]);
    } else {
        sweepdisk<exportworld>(kind, CASES[index]);
    }
}

// Every source on a full disk; for files, the mailer's folders on that
// disk too only where they hold flow files to rewrite. On one disk the
// file size limit stops every file alike: the same as the others there.
INSTANTIATE_TEST_SUITE_P(faults, exportfaults,
                         ::testing::ValuesIn(std::vector<std::tuple<std::size_t, fillkind>>{
                             {0, PAGES},
                             {1, PAGES},
                             {2, PAGES},
                             {3, PAGES},
                             {4, PAGES},
                             {5, PAGES},
                             {6, PAGES},
                             {0, FILES},
                             {1, FILES},
                             {2, FILES},
                             {5, FILES},
                             {6, FILES},
                             {0, FILESIZE},
                             {1, FILESIZE},
                             {2, FILESIZE},
                             {6, FILESIZE}}),
                         sweepname(CASES));

// A flow file that cannot be rewritten (its disk is full) while one of its
// files was sent and another cannot be: the next run must not send the
// first again.
TEST(flowfilefull, afilesentisnotsentagain) {
    scratchdir dir;
    smalldisk disk(dir / "out", 64);
    SKIP_WITHOUT_DISK();
    writegate(dir.path, "", "in", "disk/soup");
    makedirs(dir / "files");
    writefile(dir / "files/a.dat", filebytes(1000, 1));
    // Opens, but cannot be read: stays in the flow file.
    writefile(dir / "out/011815B3.FLO", "files/a.dat\n/proc/self/mem\n");
    disk.leavefree(0);
    for (int i = 0; i < 2; ++i) {
        runresult r = runpondlark({"export", "/config=./gate.cfg"}, dir.path);
        EXPECT_EQ(attachments(soundreplies(dir / "disk/soup/"))["a.dat"], 1) << r.err;
        EXPECT_NE(readfile(dir / "out/011815B3.FLO").find("/proc/self/mem\n"), std::string::npos);
    }
}

}  // namespace
