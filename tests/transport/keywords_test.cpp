// check on the keywords that connect the gateway to its servers: each
// problem a sysop can make draws the usual warning, and what works draws
// none.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "transport/transporttest.h"

namespace {

struct checkcase {
    const char* line;     // the keyword line (./ is the gateway's folder)
    const char* warning;  // "" when none is due
};

const checkcase checkcases[] = {
    {"ImportMaildir ./md", ""},
    {"ImportMaildir ./md Delete", ""},
    {"ImportMaildir ./md Keep", "invalid ImportMaildir parameter"},
    {"ImportMaildir ./half", "ImportMaildir without new/ and cur/"},
    {"ImportMaildir ./nothere", "ImportMaildir folder not found"},
    {"ImportMaildir", "ImportMaildir misses its folder"},
    {"ImportNewsBatches ./nb", ""},
    {"ImportNewsBatches ./nothere", "ImportNewsBatches folder not found"},
    {"ImportNewsBatches ./afile", "ImportNewsBatches folder not found"},
    {"SendMail smtp://localhost", ""},
    {"SendMail smtp://mail.example.net:587 starttls", ""},
    {"SendMail smtps://me@mail.example.net secret=./secret.ok", ""},
    {"SendMail smtps://me@mail.example.net secret=./secret.open", "SendMail secret file readable by others"},
    {"SendMail smtps://me@mail.example.net secret=./nothere", "SendMail secret file unreadable"},
    {"SendMail smtps://me:pw@mail.example.net", "SendMail password in a file others can read"},
    {"SendMail smtps://mail.example.net starttls", "SendMail starttls needs smtp://"},
    {"SendMail smtp//localhost", "invalid SendMail URL"},
    {"SendMail smtp://localhost:99999", "invalid SendMail URL"},
    {"SendMail smtp://localhost tls", "unknown SendMail option"},
    {"SendMail /bin/true -oi -t", ""},
    {"SendMail /usr/sbin/no-such-sendmail -oi -t", "SendMail command not found"},
    {"PostNews /bin/true", ""},
    {"PostNews /usr/bin/no-such-rnews", "PostNews command not found"},
    {"PostNews rnews", "PostNews command must begin with /"},
    {"HistoryDays 7", ""},
    {"HistoryDays 0", ""},
    {"HistoryDays week", "invalid number"},
};

TEST(checkkeywords, warnsaboutwhatwouldfail) {
    for (const checkcase& c : checkcases) {
        gateway g(std::string(c.line) + "\n");
        for (const char* d : {"md/new", "md/cur", "half/new", "nb"}) makedirs(g.path(d));
        writefile(g.path("afile"), "");
        writefile(g.path("secret.ok"), "pw\n");
        chmod(g.path("secret.ok").c_str(), 0600);
        writefile(g.path("secret.open"), "pw\n");
        chmod(g.path("secret.open").c_str(), 0644);
        chmod(g.path("gate.cfg").c_str(), 0644);
        runresult r = g.run("check");
        // Only a keyword without its value is an error.
        const bool error = std::string(c.line).find(' ') == std::string::npos;
        EXPECT_EQ(r.status, error ? 1 : 0) << c.line << "\n" << r.err;
        // The keyword stands in line 12, after writegate's lines, and the
        // message shows it (a password hidden).
        std::string shown = c.line;
        if (shown.find(":pw@") != std::string::npos) shown.replace(shown.find(":pw@"), 4, ":***@");
        std::string want = *c.warning ? std::string(error ? "Error: " : "Warning: ") + c.warning +
                                            " in line 12 of ./gate.cfg: " + shown + "\n\n"
                                      : "";
        std::string warnings = r.err.substr(0, r.err.find("Configuration checked"));
        if (want.empty()) {
            EXPECT_EQ(warnings.find("Warning"), std::string::npos) << c.line << "\n" << r.err;
            EXPECT_EQ(warnings.find("Error"), std::string::npos) << c.line << "\n" << r.err;
        } else {
            EXPECT_EQ(warnings.substr(0, warnings.find("\n\n") + 2), want) << c.line;
        }
    }
}

}  // namespace
