// Shared pieces of the transport tests: a scratch gateway, what its
// packets hold, Internet messages known by a token, and runs of the real
// program killed at a chosen system call.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "pkt/pktcheck.h"
#include "kill/killkit.h"
#include "support/testutil.h"

// A gateway in a scratch folder (see writegate: 2:280/5555 for
// sysop@pond.example, folders in, soup, tmp; PONDLARK.TEST is alt.test),
// with further configuration lines.
struct gateway {
    explicit gateway(const std::string& extra = "");
    scratchdir scratch;
    std::string dir;  // scratch.path
    // Runs pondlark (fixed clock) with a command and further arguments.
    runresult run(const std::string& command, const std::vector<std::string>& args = {});
    std::string log() const;
    // Every message of every packet in in/; a packet that is not sound is
    // a test failure.
    std::vector<checkedmessage> messages() const;
    // How often each "Token <t>" line occurs in the packets' messages.
    std::map<std::string, int> tokens() const;
    std::string path(const std::string& rel) const { return dir + rel; }
};

// An Internet mail known by "Token <token>" in its body; no Message-ID
// when msgid is empty.
std::string tokenmail(const std::string& token, const std::string& msgid,
                      const std::string& to = "sysop@pond.example");
// A news article known the same way, posted to groups.
std::string tokenarticle(const std::string& token, const std::string& msgid, const std::string& groups);
// A news batch of articles.
std::string newsbatch(const std::vector<std::string>& articles);

// Mail replies waiting in the SOUP folder soupdir (ending in "/"): one
// binary reply file MAIL0000.MSG (each message after its length in four
// bytes, high first) registered in REPLIES.
void queuemailreplies(const std::string& soupdir, const std::vector<std::string>& messages);

// Runs program with args in cwd under strace, killed by SIGKILL at the
// nth call of syscall. True when it was killed (the call came).
bool killrunat(const std::string& cwd, const std::string& program, const std::vector<std::string>& args,
               const std::string& syscall, int n, const std::vector<std::string>& env = {});

// The system calls named (comma-separated) that program makes, in order,
// as strace writes them ("rename(\"a\", \"b\") = 0").
std::vector<std::string> syscalls(const std::string& cwd, const std::string& program,
                                  const std::vector<std::string>& args, const std::string& calls,
                                  const std::vector<std::string>& env = {});

// Messages of text that appear other than once, named.
std::string notexactlyonce(const std::vector<std::string>& names, const std::map<std::string, int>& seen);
