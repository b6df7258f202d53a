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
        // An open gateway that says so draws no warning of its own.
        gateway g(std::string(c.line) + "\nExportAllow *\n");
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

namespace {

// The news server keywords, each line in line 12 with a local INN in
// lines 13 and 14, so that groups mapped to no server are fine.
const checkcase newscases[] = {
    {"NewsServer news nntp://news.example.net", ""},
    {"NewsServer news nntps://me@news.example.net:5630 secret=./secret.ok", ""},
    {"NewsServer news nntp://me@news.example.net starttls secret=./secret.ok cafile=./afile timeout=20", ""},
    {"NewsServer news nntp://me@news.example.net secret=./secret.ok insecure ihave", ""},
    {"NewsServer news nntps://[::1]:563", ""},
    {"NewsServer news nntps://me@news.example.net secret=./secret.open", "NewsServer secret file readable by others"},
    {"NewsServer news nntps://me@news.example.net secret=./nothere", "NewsServer secret file unreadable"},
    {"NewsServer news nntps://me:pw@news.example.net", "NewsServer password in a file others can read"},
    {"NewsServer news nntps://news.example.net starttls", "NewsServer starttls needs nntp://"},
    {"NewsServer news nntps://news.example.net secret=./secret.ok", "NewsServer secret without a user in the URL"},
    {"NewsServer news nntp://me@news.example.net secret=./secret.ok",
     "NewsServer login without TLS: add starttls, use nntps://, or say insecure"},
    {"NewsServer news nntps://news.example.net cafile=./nothere", "NewsServer cafile unreadable"},
    {"NewsServer news http://news.example.net", "invalid NewsServer URL"},
    {"NewsServer news nntp://news.example.net:0", "invalid NewsServer URL"},
    {"NewsServer news nntp://news.example.net/alt.test", "invalid NewsServer URL"},
    {"NewsServer news nntp://bad%20user@news.example.net", "invalid NewsServer URL"},
    {"NewsServer news nntp://news.example.net tls", "unknown NewsServer option"},
    {"NewsServer news nntp://news.example.net timeout=0", "invalid NewsServer timeout"},
    {"NewsServer nntp://news.example.net", "NewsServer misses parameter"},
    {"NewsServer ne=ws nntp://news.example.net", "invalid NewsServer name"},
    {"NewsBacklog 500", ""},
    {"NewsBacklog 0", ""},
    {"NewsBacklog lots", "invalid number"},
    {"NewsBacklog -1", "invalid number"},
    {"AreaMap OTHER alt.other server=nosuch", "AreaMap server=nosuch names no NewsServer"},
};

TEST(checkkeywords, newsservers) {
    for (const checkcase& c : newscases) {
        gateway g(std::string(c.line) + "\nPostNews /bin/true\nImportNewsBatches ./nb\nExportAllow *\n");
        makedirs(g.path("nb"));
        writefile(g.path("afile"), "");
        writefile(g.path("secret.ok"), "pw\n");
        chmod(g.path("secret.ok").c_str(), 0600);
        writefile(g.path("secret.open"), "pw\n");
        chmod(g.path("secret.open").c_str(), 0644);
        chmod(g.path("gate.cfg").c_str(), 0644);
        runresult r = g.run("check");
        EXPECT_EQ(r.status, 0) << c.line << "\n" << r.err;
        // Warnings while the line is read show it, a password hidden; those
        // about the lines together come once all are read.
        std::string shown = c.line;
        if (shown.find(":pw@") != std::string::npos) shown.replace(shown.find(":pw@"), 4, ":***@");
        bool late = std::string(c.warning).find("names no NewsServer") != std::string::npos;
        std::string want = *c.warning ? "Warning: " + std::string(c.warning) + " in line 12 of ./gate.cfg" +
                                            (late ? "" : ": " + shown) + "\n\n"
                                      : "";
        std::string warnings = r.err.substr(0, r.err.find("Configuration checked"));
        if (want.empty()) {
            EXPECT_EQ(warnings.find("Warning"), std::string::npos) << c.line << "\n" << r.err;
        } else {
            EXPECT_EQ(warnings.substr(0, warnings.find("\n\n") + 2), want) << c.line << "\n" << r.err;
        }
    }
}

// Once a news server is set, a group that nothing fetches or posts is
// named; a server named twice keeps the first.
TEST(checkkeywords, groupsmappedtonoserver) {
    const struct {
        std::string extra;
        std::string warnings;
    } cases[] = {
        {"NewsServer news nntp://news.example.net\n",
         "Warning: newsgroup alt.test is mapped to no NewsServer (server=<name>) in line 9 of ./gate.cfg\n\n"},
        // A group for one direction needs a way for that direction only.
        {"NewsServer news nntp://news.example.net\nPostNews /bin/true\nAreaMap OUT.ONLY alt.out export\n"
         "AreaMap IN.ONLY alt.in import\n",
         "Warning: newsgroup alt.test is mapped to no NewsServer (server=<name>) in line 9 of ./gate.cfg\n\n"
         "Warning: newsgroup alt.in is mapped to no NewsServer (server=<name>) in line 15 of ./gate.cfg\n\n"},
        {"NewsServer news nntp://news.example.net\nImportNewsBatches ./nb\nAreaMap OUT.ONLY alt.out export\n"
         "AreaMap IN.ONLY alt.in import\n",
         "Warning: newsgroup alt.test is mapped to no NewsServer (server=<name>) in line 9 of ./gate.cfg\n\n"
         "Warning: newsgroup alt.out is mapped to no NewsServer (server=<name>) in line 14 of ./gate.cfg\n\n"},
        {"NewsServer news nntp://news.example.net\nAreaMap SERVED alt.served server=news\nPostNews /bin/true\n"
         "ImportNewsBatches ./nb\n",
         ""},
        {"PostNews /bin/true\n", ""},
        {"NewsServer news nntp://a.example\nNewsServer NEWS nntp://b.example\nPostNews /bin/true\n"
         "ImportNewsBatches ./nb\n",
         "Warning: NewsServer NEWS given twice in line 13 of ./gate.cfg: NewsServer NEWS nntp://b.example\n\n"},
    };
    for (const auto& c : cases) {
        gateway g(c.extra + "ExportAllow *\n");
        makedirs(g.path("nb"));
        runresult r = g.run("check");
        EXPECT_EQ(r.status, 0) << r.err;
        std::size_t n = 0;
        for (std::size_t p = 0; (p = c.warnings.find("Warning", p)) != std::string::npos; ++p) ++n;
        std::string tally = n == 0 ? "" : std::to_string(n) + (n == 1 ? " warning" : " warnings") + " in the configuration\n";
        EXPECT_EQ(r.err.substr(0, r.err.find("Configuration checked")), c.warnings + tally) << c.extra;
    }
}

}  // namespace
