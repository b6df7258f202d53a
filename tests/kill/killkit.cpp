#include "kill/killkit.h"

#include <sys/time.h>

#include <csignal>
#include <iostream>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <random>
#include <regex>
#include <sstream>

#include "pkt/pktcheck.h"

namespace {

// The leak check of a sanitizer build cannot run in a traced process, and
// a killed one has no end to check at: leaks are found by the runs that
// are neither (the unkilled run and every rerun).
const char* const UNTRACEDLEAKS = "ASAN_OPTIONS=detect_leaks=0";

// The system calls a kill is injected at, by the class it stands for.
const char* const TRACED = "write,pwrite64,rename,renameat,renameat2,unlink,unlinkat,ftruncate,"
                           "fsync,fdatasync,link,linkat";

bool endswith(const std::string& s, const std::string& end, bool nocase = false) {
    if (s.size() < end.size()) return false;
    for (std::size_t i = 0; i < end.size(); ++i) {
        char a = s[s.size() - end.size() + i], b = end[i];
        if (nocase) {
            a = static_cast<char>(std::toupper(static_cast<unsigned char>(a)));
            b = static_cast<char>(std::toupper(static_cast<unsigned char>(b)));
        }
        if (a != b) return false;
    }
    return true;
}

std::uint32_t be32(const std::string& s, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = (v << 8) | static_cast<unsigned char>(s[at + i]);
    return v;
}

// A reply message without the lines that differ from run to run for the
// same message (the serial in the Message-ID of list replies).
std::string normalreply(const std::string& m) {
    std::size_t end = m.find("\n\n");
    std::string head = end == std::string::npos ? m : m.substr(0, end + 1);
    std::string out;
    std::istringstream in(head);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("Message-ID:", 0) == 0) continue;
        out += line + "\n";
    }
    return out + (end == std::string::npos ? "" : m.substr(end + 1));
}

// The reply files REPLIES registers, record by record.
void readreplies(const std::string& soupdir, outputview& v) {
    static const std::regex line("(MAIL|NEWS)([0-9A-F]{4})\t(mail|news)\t([bB])n");
    static const std::regex replyname("(MAIL|NEWS)[0-9A-F]{4}\\.MSG");
    std::set<std::string> listed;
    std::string index = fileexists(soupdir + "REPLIES") ? readfile(soupdir + "REPLIES") : "";
    if (!index.empty() && index.back() != '\n') v.problems.push_back("REPLIES: last line cut off");
    std::istringstream in(index);
    for (std::string text; std::getline(in, text);) {
        std::smatch m;
        if (!std::regex_match(text, m, line)) {
            v.problems.push_back("REPLIES: bad line \"" + text + "\"");
            continue;
        }
        std::string name = m[1].str() + m[2].str();
        std::string path = soupdir + name + ".MSG";
        if (!listed.insert(name).second) {
            v.problems.push_back("REPLIES: " + name + " registered twice");
            continue;
        }
        std::string data = fileexists(path) ? readfile(path) : "";
        if (data.empty()) {
            v.problems.push_back(name + ".MSG registered but missing or empty");
            continue;
        }
        for (std::size_t at = 0, n; at < data.size(); at += 4 + n) {
            n = at + 4 <= data.size() ? be32(data, at) : data.size();
            if (at + 4 + n > data.size()) {
                v.problems.push_back(name + ".MSG: record at " + std::to_string(at) + " cut off");
                break;
            }
            std::string rec = data.substr(at + 4, n);
            if (rec.find("\n\n") == std::string::npos)
                v.problems.push_back(name + ".MSG: record at " + std::to_string(at) + " has no body");
            v.replies.insert(normalreply(rec));
        }
    }
    for (const std::string& name : listtree(soupdir)) {
        if (std::regex_match(name, replyname) && !listed.count(name.substr(0, 8)))
            v.problems.push_back("reply file not in REPLIES: " + name);
        if (endswith(name, ".tmp") || name == "pondlark.jnl" || endswith(name, ".NEW"))
            v.temporary.push_back(soupdir + name);
    }
}

template <class Set>
void diffsets(const char* what, const Set& want, const Set& got, std::string& out) {
    int shown = 0;
    for (const auto& x : want) {
        if (got.count(x) < want.count(x) && shown++ < 3)
            out += std::string(what) + " missing or fewer: " + x.substr(0, 120) + "\n";
    }
    for (const auto& x : got) {
        if (got.count(x) > want.count(x) && shown++ < 6)
            out += std::string(what) + " extra or more: " + x.substr(0, 120) + "\n";
    }
}

}  // namespace

std::string killpoint::text() const {
    if (call.empty()) return "after " + std::to_string(delayus) + " us";
    return "at " + call + " #" + std::to_string(nth);
}

bool havestrace() {
    static int known = -1;
    if (known < 0) known = runprogram("/bin/sh", {"-c", "command -v strace"}, "").status == 0;
    return known == 1;
}

std::map<std::string, long> countcalls(const std::vector<std::string>& args, const std::string& cwd) {
    std::map<std::string, long> counts;
    std::string table = cwd + ".calls";
    std::vector<std::string> a = {"-f", "-c", "-o", table, "-e", std::string("trace=") + TRACED,
                                  PONDLARK_FIXED_BIN};
    a.insert(a.end(), args.begin(), args.end());
    auto start = std::chrono::steady_clock::now();
    runresult r = runprogram("/usr/bin/env", [&] {
        std::vector<std::string> e = {"strace"};
        e.insert(e.end(), a.begin(), a.end());
        return e;
    }(), cwd, {UNTRACEDLEAKS});
    auto us = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
    EXPECT_EQ(r.status, 0) << r.err;
    std::istringstream in(readfile(table));
    std::remove(table.c_str());
    for (std::string line; std::getline(in, line);) {
        std::istringstream l(line);
        std::vector<std::string> t;
        for (std::string w; l >> w;) t.push_back(w);
        if (t.size() < 5 || !std::isdigit(static_cast<unsigned char>(t[3][0]))) continue;
        if (t.back() == "total") continue;
        counts[t.back()] = std::atol(t[3].c_str());
    }
    // Under strace the run is slower; the delays are spread over the plain run.
    counts["us"] = static_cast<long>(us.count());
    return counts;
}

std::vector<killpoint> killpoints(const std::map<std::string, long>& counts, int n, unsigned seed) {
    if (const char* e = std::getenv("PONDLARK_KILLPOINTS")) n = std::max(1, std::atoi(e));
    if (const char* e = std::getenv("PONDLARK_KILLSEED")) seed += static_cast<unsigned>(std::atoi(e));
    std::mt19937 rng(seed);
    std::vector<killpoint> points;
    auto count = [&counts](const char* c) {
        auto it = counts.find(c);
        return it == counts.end() ? 0L : it->second;
    };
    // Classes and their shares of the points.
    struct share {
        const char* call;
        double part;
    };
    const share shares[] = {{"write", 0.50},  {"pwrite64", 0.05}, {"renameat2", 0.10},
                            {"rename", 0.03}, {"unlink", 0.07},   {"ftruncate", 0.05},
                            {"fdatasync", 0.03}, {"fsync", 0.02}, {"link", 0.0}};
    int delays = std::max(1, n / 6);
    int left = n - delays;
    for (const share& s : shares) {
        long c = count(s.call);
        if (c == 0 || left <= 0) continue;
        int k = std::max(1, static_cast<int>(s.part * n + 0.5));
        k = std::min<long>(std::min(k, left), c);
        left -= k;
        for (int i = 0; i < k; ++i) {
            // Evenly over the calls, each moved a little at random.
            double at = (i + std::uniform_real_distribution<double>(0.1, 0.9)(rng)) * c / k;
            points.push_back({s.call, std::clamp<long>(1 + static_cast<long>(at), 1, c), 0});
        }
    }
    // What the shares left goes to the writes.
    long writes = count("write");
    for (int i = 0; i < left && writes > 0; ++i)
        points.push_back({"write", std::uniform_int_distribution<long>(1, writes)(rng), 0});
    long us = std::max(1L, count("us"));
    for (int i = 0; i < delays; ++i)
        points.push_back({"", 0, std::uniform_int_distribution<long>(0, us)(rng)});
    return points;
}

runresult runkilled(const std::vector<std::string>& args, const std::string& cwd, const killpoint& k) {
    std::vector<std::string> a;
    std::string program;
    if (k.call.empty()) {
        program = "/usr/bin/timeout";
        char secs[32];
        std::snprintf(secs, sizeof secs, "%.6f", static_cast<double>(k.delayus) / 1e6);
        // A delay of 0 would mean no limit at all.
        a = {"-s", "KILL", k.delayus > 0 ? secs : "0.000001", PONDLARK_FIXED_BIN};
    } else {
        program = "/usr/bin/env";
        a = {"strace", "-f", "-qq", "-o", "/dev/null", "-e", "trace=" + k.call,
             "-e", "inject=" + k.call + ":signal=SIGKILL:when=" + std::to_string(k.nth),
             PONDLARK_FIXED_BIN};
    }
    a.insert(a.end(), args.begin(), args.end());
    return runprogram(program, a, cwd, {UNTRACEDLEAKS});
}

outputview readoutputs(const std::string& dir, const std::vector<std::string>& outdirs,
                       const std::string& soupdir, const std::vector<std::string>& listfiles) {
    outputview v;
    for (const std::string& od : outdirs) {
        std::string base = dir + od;
        for (const std::string& name : listtree(base)) {
            std::string path = base + name;
            if (endswith(name, ".tmp") || endswith(name, ".NEW")) {
                v.temporary.push_back(od + name);
                continue;
            }
            std::string bytes = readfile(path);
            if (!endswith(name, ".PKT", true)) {
                v.files[od + name] = bytes;
                continue;
            }
            checkedpacket p = checkpacket(bytes);
            if (!p.error.empty()) v.problems.push_back(od + name + ": " + p.error);
            for (const checkedmessage& m : p.messages) {
                v.messages.insert(m.toname + "\x1f" + m.fromname + "\x1f" + m.subject + "\x1f" +
                                  m.datetime + "\x1f" + m.text);
            }
        }
    }
    if (!soupdir.empty()) readreplies(dir + soupdir, v);
    for (const std::string& l : listfiles) v.lists[l] = fileexists(dir + l) ? readfile(dir + l) : "";
    return v;
}

std::string compareviews(const outputview& expected, const outputview& actual) {
    std::string out;
    diffsets("packet message", expected.messages, actual.messages, out);
    diffsets("reply", expected.replies, actual.replies, out);
    for (const auto& [name, data] : expected.files) {
        auto it = actual.files.find(name);
        if (it == actual.files.end()) {
            out += "file missing: " + name + "\n";
        } else if (it->second != data) {
            out += "file differs: " + name + " (" + std::to_string(it->second.size()) + " of " +
                   std::to_string(data.size()) + " bytes)\n";
        }
    }
    for (const auto& [name, data] : actual.files) {
        if (!expected.files.count(name)) out += "file extra: " + name + "\n";
    }
    for (const auto& [name, data] : expected.lists) {
        auto it = actual.lists.find(name);
        if (it == actual.lists.end() || it->second != data)
            out += "list file differs: " + name + "\n" + describediff(data, it == actual.lists.end() ? "" : it->second);
    }
    for (const std::string& p : actual.problems) out += "damaged: " + p + "\n";
    for (const std::string& t : actual.temporary) out += "left behind: " + t + "\n";
    return out;
}

void tallymessages(const outputview& expected, const outputview& actual, killtally& t) {
    auto tally = [&t](const std::multiset<std::string>& want, const std::multiset<std::string>& got) {
        std::set<std::string> all(want.begin(), want.end());
        all.insert(got.begin(), got.end());
        for (const std::string& x : all) {
            long e = static_cast<long>(want.count(x)), a = static_cast<long>(got.count(x));
            if (a < e) t.lost += static_cast<int>(e - a);
            if (a > e) t.doubled += static_cast<int>(a - e);
        }
    };
    tally(expected.messages, actual.messages);
    tally(expected.replies, actual.replies);
    for (const auto& [name, data] : expected.files)
        if (!actual.files.count(name)) ++t.lost;
    for (const auto& [name, data] : actual.files)
        if (!expected.files.count(name)) ++t.doubled;
    if (!actual.problems.empty()) ++t.damaged;
}

std::string killtally::report(const std::string& what) const {
    return what + ": " + std::to_string(points) + " kill points, " + std::to_string(killed) +
           " runs killed; after the reruns " + std::to_string(lost) + " lost, " +
           std::to_string(doubled) + " doubled, " + std::to_string(damaged) + " damaged, " +
           std::to_string(stuck) + " stuck";
}

std::vector<std::string> killworld::inputsleft() const {
    std::vector<std::string> left;
    for (const std::string& i : inputs)
        if (fileexists(dir / i)) left.push_back(i);
    return left;
}

void killworld::checkvisible(const outputview& expected, killtally& t) const {
    bool damaged = false;
    for (const std::string& od : outdirs) {
        for (const std::string& name : listtree(dir / od)) {
            if (endswith(name, ".tmp") || endswith(name, ".NEW")) continue;
            std::string bytes = readfile(dir / (od + name));
            if (endswith(name, ".PKT", true)) {
                checkedpacket p = checkpacket(bytes);
                if (!p.error.empty()) {
                    ADD_FAILURE() << "a killed run left an incomplete packet " << od << name << ": "
                                  << p.error;
                    damaged = true;
                }
                continue;
            }
            auto it = expected.files.find(od + name);
            if (madefiles && it != expected.files.end() && it->second != bytes) {
                ADD_FAILURE() << "a killed run left an incomplete file " << od << name;
                damaged = true;
            }
        }
    }
    if (damaged) ++t.damaged;
}

killtally killsweep(const char* what, const std::function<std::unique_ptr<killworld>()>& make,
                    int n, unsigned seed) {
    killtally t;
    outputview expected;
    std::vector<std::string> consumed;
    {
        auto base = make();
        runresult r = base->run();
        EXPECT_EQ(r.status, 0) << r.err;
        expected = base->view();
        EXPECT_TRUE(expected.problems.empty()) << expected.problems.front();
        EXPECT_TRUE(expected.temporary.empty()) << expected.temporary.front();
        consumed = base->inputsleft();
    }
    std::map<std::string, long> counts;
    {
        auto w = make();
        counts = countcalls(w->args, w->dir.path);
    }
    std::vector<killpoint> points = killpoints(counts, n, seed);
    for (const killpoint& k : points) {
        SCOPED_TRACE(std::string(what) + " killed " + k.text());
        ++t.points;
        auto w = make();
        runresult r = runkilled(w->args, w->dir.path, k);
        if (r.status == 128 + SIGKILL) ++t.killed;
        w->checkvisible(expected, t);
        runresult again = w->run();
        EXPECT_EQ(again.status, 0) << again.err;
        outputview got = w->view();
        // No temporary file anywhere, also outside the folders compared.
        for (const std::string& name : listtree(w->dir.path)) {
            bool known = false;
            for (const std::string& tmp : got.temporary) known = known || tmp.find(name) != std::string::npos;
            if (endswith(name, ".tmp") && !known) got.temporary.push_back(name);
        }
        std::string diff = compareviews(expected, got);
        EXPECT_EQ(diff, "") << "killed run:\n" << r.err << "\nrerun:\n" << again.err;
        tallymessages(expected, got, t);
        if (w->inputsleft() != consumed) {
            ++t.stuck;
            ADD_FAILURE() << "inputs left after the rerun differ from an unkilled run";
        }
        if (::testing::Test::HasFatalFailure()) break;
    }
    std::cout << "[ kill     ] " << t.report(what) << " (an unkilled run: "
              << expected.messages.size() << " packed messages, " << expected.replies.size()
              << " replies, " << expected.files.size() << " files)" << std::endl;
    EXPECT_EQ(t.lost + t.doubled + t.damaged + t.stuck, 0) << t.report(what);
    return t;
}
