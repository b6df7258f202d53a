#include "transport/transporttest.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "faults/faultkit.h"

namespace fs = std::filesystem;

gateway::gateway(const std::string& extra) {
    dir = scratch.path;
    writegate(dir, extra);
}

runresult gateway::run(const std::string& command, const std::vector<std::string>& args) {
    std::vector<std::string> a = {command, "/config=./gate.cfg"};
    a.insert(a.end(), args.begin(), args.end());
    return runpondlark(a, dir);
}

std::string gateway::log() const {
    return readfile(dir + "pondlark.log");
}

std::vector<checkedmessage> gateway::messages() const {
    std::vector<checkedmessage> out;
    for (const std::string& name : listtree(dir + "in")) {
        if (!ispacketname(name)) continue;
        checkedpacket p = checkpacket(readfile(dir + "in/" + name));
        EXPECT_EQ(p.error, "") << name;
        out.insert(out.end(), p.messages.begin(), p.messages.end());
    }
    return out;
}

std::map<std::string, int> gateway::tokens() const {
    std::map<std::string, int> seen;
    for (const checkedmessage& m : messages()) {
        for (std::size_t p = 0; (p = m.text.find("Token ", p)) != std::string::npos; p += 6) {
            std::size_t end = m.text.find('\r', p);
            seen[m.text.substr(p + 6, end - p - 6)]++;
        }
    }
    return seen;
}

std::string tokenmail(const std::string& token, const std::string& msgid, const std::string& to) {
    std::string m = "Return-Path: <bob@net.example>\nDelivered-To: gate@pond.test\n"
                    "From: Bob <bob@net.example>\nTo: " + to + "\nSubject: About " + token +
                    "\nDate: Tue, 14 Sep 1999 10:00:00 +0000\n";
    if (!msgid.empty()) m += "Message-ID: <" + msgid + ">\n";
    return m + "\nToken " + token + "\nSome text.\n";
}

std::string tokenarticle(const std::string& token, const std::string& msgid, const std::string& groups) {
    return "Path: news.example!not-for-mail\nFrom: Carol <carol@news.example>\nNewsgroups: " + groups +
           "\nSubject: About " + token + "\nDate: Tue, 14 Sep 1999 10:00:00 +0000\nMessage-ID: <" +
           msgid + ">\n\nToken " + token + "\nSome news.\n";
}

std::string newsbatch(const std::vector<std::string>& articles) {
    std::string b;
    for (const std::string& a : articles) b += "#! rnews " + std::to_string(a.size()) + "\n" + a;
    return b;
}

void queuemailreplies(const std::string& soupdir, const std::vector<std::string>& messages) {
    std::string data;
    for (const std::string& m : messages) {
        unsigned char be[4] = {static_cast<unsigned char>(m.size() >> 24), static_cast<unsigned char>(m.size() >> 16),
                               static_cast<unsigned char>(m.size() >> 8), static_cast<unsigned char>(m.size())};
        data += std::string(reinterpret_cast<char*>(be), 4) + m;
    }
    writefile(soupdir + "MAIL0000.MSG", data);
    writefile(soupdir + "REPLIES", "MAIL0000\tmail\tbn\n");
}

bool killrunat(const std::string& cwd, const std::string& program, const std::vector<std::string>& args,
               const std::string& syscall, int n, const std::vector<std::string>& env) {
    std::vector<std::string> a = {"-qq", "-o", "/dev/null", "-e", "trace=" + syscall,
                                  "-e", "inject=" + syscall + ":signal=SIGKILL:when=" + std::to_string(n),
                                  "--", program};
    a.insert(a.end(), args.begin(), args.end());
    runresult r = runprogram("/usr/bin/strace", a, cwd, env);
    return r.status == 128 + 9;
}

std::vector<std::string> syscalls(const std::string& cwd, const std::string& program,
                                  const std::vector<std::string>& args, const std::string& calls,
                                  const std::vector<std::string>& env) {
    std::string out = (cwd.back() == '/' ? cwd.substr(0, cwd.size() - 1) : cwd) + ".strace";
    std::vector<std::string> a = {"-qq", "-s", "200", "-o", out, "-e", "trace=" + calls, "--", program};
    a.insert(a.end(), args.begin(), args.end());
    (void)runprogram("/usr/bin/strace", a, cwd, env);
    std::vector<std::string> lines;
    std::istringstream in(readfile(out));
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    fs::remove(out);
    return lines;
}

std::string notexactlyonce(const std::vector<std::string>& names, const std::map<std::string, int>& seen) {
    return notonce(names, seen);
}
