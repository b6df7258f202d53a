// The fetch benchmark (bench/nntpfetch.sh runs it; the suite does not):
// BENCH_COUNT articles (10,000) in one group of a private INN, taken by
// `pondlark import` from the server over one connection, against a plain
// NNTP client of this file that sends the same commands (MODE READER,
// GROUP, ARTICLE by number, 100 on their way) over one connection and
// writes the articles as an rnews batch, and against `pondlark import` of
// that batch (what staging and importing cost without the fetch). Each
// figure is the best of BENCH_REPEAT runs (3).
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "faults/faultkit.h"
#include "transport/servers.h"
#include "transport/transporttest.h"

namespace {

int envint(const char* name, int fallback) {
    const char* v = std::getenv(name);
    return v && *v ? std::atoi(v) : fallback;
}

// The plain client: the same command sequence, nothing else. Returns the
// number of articles written to batch, or -1.
long plainfetch(int port, const std::string& group, const std::string& batch) {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return -1;
    int one = 1;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    std::string in;
    std::size_t pos = 0;
    auto more = [&]() {
        if (pos > (1 << 20)) {
            in.erase(0, pos);
            pos = 0;
        }
        char buf[1 << 16];
        ssize_t n = read(s, buf, sizeof buf);
        if (n <= 0) return false;
        in.append(buf, static_cast<std::size_t>(n));
        return true;
    };
    auto line = [&](std::string& l) {
        std::size_t nl;
        while ((nl = in.find("\r\n", pos)) == std::string::npos) {
            if (!more()) return false;
        }
        l = in.substr(pos, nl - pos);
        pos = nl + 2;
        return true;
    };
    auto say = [&](const std::string& c) { return write(s, c.data(), c.size()) == static_cast<ssize_t>(c.size()); };
    std::string l;
    long low = 0, high = 0, count = 0;
    if (!line(l) || !say("MODE READER\r\n") || !line(l) || !say("GROUP " + group + "\r\n") || !line(l) ||
        std::sscanf(l.c_str(), "211 %ld %ld %ld", &count, &low, &high) != 3) {
        close(s);
        return -1;
    }
    std::FILE* out = std::fopen(batch.c_str(), "wb");
    long next = low, expect = low, taken = 0;
    std::string art;
    while (expect <= high) {
        if (next <= high && next - expect <= 50) {
            std::string cmds;
            for (; next <= high && next - expect < 100; ++next) cmds += "ARTICLE " + std::to_string(next) + "\r\n";
            if (!say(cmds)) break;
        }
        if (!line(l)) break;
        ++expect;
        if (l.compare(0, 3, "220") != 0) continue;
        // The block up to the line of one dot, undoubled, LF line ends.
        std::size_t end;
        while ((end = in.find("\r\n.\r\n", pos > 2 ? pos - 2 : 0)) == std::string::npos || end + 2 < pos) {
            if (!more()) break;
        }
        art.clear();
        std::size_t p = pos, stop = end + 2;
        while (p < stop) {
            if (in[p] == '.') ++p;
            std::size_t nl = in.find("\r\n", p);
            art.append(in, p, nl - p);
            art.push_back('\n');
            p = nl + 2;
        }
        pos = end + 5;
        std::fprintf(out, "#! rnews %zu\n", art.size());
        std::fwrite(art.data(), 1, art.size(), out);
        ++taken;
    }
    say("QUIT\r\n");
    close(s);
    std::fclose(out);
    return taken;
}

// The best time of f over repeat runs, each after prepare (not timed).
template <class P, class F>
double best(int repeat, P prepare, F f) {
    double b = 1e9;
    for (int i = 0; i < repeat; ++i) {
        prepare();
        auto start = std::chrono::steady_clock::now();
        f();
        b = std::min(b, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return b;
}

TEST(nntpbench, DISABLED_fetch) {
    int count = envint("BENCH_COUNT", 10000), repeat = envint("BENCH_REPEAT", 3);
    scratchdir home;
    testinn inn(home.path);
    inn.addgroup("bench.fetch");
    std::string why;
    ASSERT_TRUE(inn.start(why)) << why;
    std::string body;
    for (int i = 0; i < 24; ++i) {
        char l[100];
        std::snprintf(l, sizeof l, "Line %02d of an article from Usenet, long enough to look like real text.\n", i);
        body += l;
    }
    std::vector<std::string> arts;
    for (int n = 0; n < count; ++n) {
        std::string id = std::to_string(n);
        arts.push_back("Path: news.example!not-for-mail\nFrom: Carol <carol@news.example>\nNewsgroups: bench.fetch\n"
                       "Subject: Article number " + id + "\nDate: Tue, 14 Sep 1999 10:00:00 +0000\nMessage-ID: <" + id +
                       ".bench@news.example>\n\n" + (n % 10 == 0 ? ".A line with a leading dot\n" : "") + body);
    }
    auto fed = std::chrono::steady_clock::now();
    ASSERT_TRUE(inn.stream(arts, why)) << why;
    std::cout << "fed " << count << " articles to INN in "
              << std::chrono::duration<double>(std::chrono::steady_clock::now() - fed).count() << " s\n";

    std::string bin = std::getenv("BENCH_BIN") ? std::getenv("BENCH_BIN") : PONDLARK_BIN;
    std::string batch = home / "plain.batch";
    long plaintaken = 0;
    double tplain = best(repeat, [] {}, [&] { plaintaken = plainfetch(inn.readerport, "bench.fetch", batch); });
    ASSERT_EQ(plaintaken, count);
    int round = 0;
    auto gatewith = [&](const std::string& extra) {
        std::string dir = home / ("gate" + std::to_string(++round) + "/");
        writegate(dir, "NewsBacklog " + std::to_string(count) + "\n" + extra);
        return dir;
    };
    runresult r;
    std::string dir;
    double tnntp = best(
        repeat,
        [&] {
            dir = gatewith("NewsServer bench nntp://127.0.0.1:" + std::to_string(inn.readerport) +
                           "\nAreaMap BENCH bench.fetch server=bench\n");
        },
        [&] { r = runprogram(bin, {"import", "/config=./gate.cfg"}, dir); });
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_NE(r.err.find("Taking in " + std::to_string(count) + " article(s) of 1 group(s) from news server bench\n"),
              std::string::npos)
        << r.err;
    std::string batchtext = readfile(batch);
    double tbatch = best(
        repeat,
        [&] {
            dir = gatewith("ImportNewsBatches ./nb\nAreaMap BENCH bench.fetch\n");
            makedirs(dir + "nb");
            writefile(dir + "nb/batch", batchtext);
        },
        [&] { r = runprogram(bin, {"import", "/config=./gate.cfg"}, dir); });
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_NE(r.err.find("Taking in " + std::to_string(count) + " article(s) from 1 news batch(es)"), std::string::npos)
        << r.err;
    double fetch = tnntp - tbatch;
    char line[400];
    std::snprintf(line, sizeof line,
                  "fetch %d articles over one connection: pondlark import %.2f s, the same as an rnews batch %.2f s:"
                  " fetching costs %.2f s; a plain NNTP client %.2f s; ratio %.2f\n",
                  count, tnntp, tbatch, fetch, tplain, fetch / tplain);
    std::cout << line;
}

}  // namespace
