// The gateway never feeds on itself: what it sent (export's mail, the list
// server's mail, its articles), the mail of the cron job that runs it and
// delivery reports about mail it did not send come back through the
// Maildir or the news batches and are kept in the junk folder with a line
// in the log, never made new FidoNet mail; mail of the same kinds
// addressed to someone in FidoNet still gets there.
#include <gtest/gtest.h>

#include <filesystem>

#include "export/sourcetest.h"
#include "faults/faultkit.h"
#include "transport/transporttest.h"

namespace fs = std::filesystem;

namespace {

const char CONFIG[] =
    "ImportMaildir ./md\nImportNewsBatches ./nb\nTransFidoOrg Yes\n"
    "FidoDomain 2 #fidonet.example.org\nListConfig ./talk.lst\n";

// A gateway with a Maildir, a batch folder and a list talk@pond.example.
struct loopgate : gateway {
    loopgate() : gateway(CONFIG) {
        for (const char* d : {"md/new", "md/cur", "md/tmp", "nb"}) makedirs(path(d));
        writefile(path("talk.lst"), "ListName Talk\nListAddress talk@pond.example\nListUsers\n"
                                    "+\nbob@net.example\nBob\n1\n\n");
    }
    void mail(const std::string& name, const std::string& text) { writefile(path("md/new/" + name), text); }
    std::vector<std::string> junk() const { return listtree(dir + "soup/junk"); }
};

// What export makes of netmail from 2:280/100 to the Internet address to.
std::string exported(const std::string& to, const std::string& token) {
    gateway g;
    testmsg m;
    m.to = to;
    m.subject = "About " + token;
    m.text = "Token " + token + "\rSome netmail.\r";
    makedirs(g.path("pkt"));
    writefile(g.path("pkt/0001.PKT"), testpacket(GATE, {m}));
    runresult r = g.run("export", {"/pkt=pkt"});
    EXPECT_EQ(r.status, 0) << r.err;
    std::vector<std::string> recs = souprecords(g.path("soup/MAIL0000.MSG"));
    EXPECT_EQ(recs.size(), 1u) << r.err;
    return recs.empty() ? "" : recs[0];
}

// Output of a cron job as cron mails it to the user the job runs as (the
// addresses qualified by Postfix on the way).
std::string cronmail(const std::string& to, const std::string& output) {
    return "From: root@gate.example (Cron Daemon)\nTo: " + to +
           "\nSubject: Cron <pondlark@gate> /etc/pondlark/cycle\nMIME-Version: 1.0\n"
           "Content-Type: text/plain; charset=UTF-8\nX-Cron-Env: <SHELL=/bin/sh>\n"
           "X-Cron-Env: <HOME=/var/spool/pondlark>\nX-Cron-Env: <LOGNAME=pondlark>\n"
           "Message-Id: <" + std::to_string(std::hash<std::string>()(to + output)) +
           "@gate>\nDate: Thu, 01 Jan 2026 10:15:00 +0100\n\n" + output;
}

// A bounce as Postfix writes it, returning the message given.
std::string bounce(const std::string& to, const std::string& returned) {
    return "Return-Path: <>\nFrom: MAILER-DAEMON@gate.example (Mail Delivery System)\nTo: " + to +
           "\nSubject: Undelivered Mail Returned to Sender\nMIME-Version: 1.0\n"
           "Content-Type: multipart/report; report-type=delivery-status; boundary=\"B1\"\n"
           "Message-Id: <" + std::to_string(std::hash<std::string>()(returned)) +
           "@gate.example>\n\n--B1\nContent-Type: text/plain\n\n"
           "I'm sorry to have to inform you that your message could not\nbe delivered.\n\n"
           "--B1\nContent-Type: message/delivery-status\n\nReporting-MTA: dns; gate.example\n\n"
           "Final-Recipient: rfc822; nobody@elsewhere.example\nAction: failed\nStatus: 5.1.1\n\n"
           "--B1\nContent-Type: message/rfc822\n\n" + returned + "\n--B1--\n";
}

TEST(ownoutput, cronoutputmailedtothegatewayreachesnoone) {
    loopgate g;
    // What a run of the cycle prints, as cron mails it to the gateway's user.
    writefile(g.path("soup/AREAS"), "");
    runresult first = g.run("import");
    g.mail("1.A.gate", cronmail("pondlark@gate.example", first.err));
    runresult r = g.run("import");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(g.messages().empty()) << r.err;
    ASSERT_EQ(g.junk().size(), 1u);
    EXPECT_EQ(readfile(g.path("soup/junk/" + g.junk()[0])), cronmail("pondlark@gate.example", first.err));
    EXPECT_NE(r.err.find("! cron output, not imported: from root@gate.example (Cron Daemon), subject \"Cron <pondlark@gate> "
                         "/etc/pondlark/cycle\"; kept in ./soup/junk/00000000.eml\n"),
              std::string::npos)
        << r.err;
    EXPECT_NE(g.log().find("! cron output, not imported"), std::string::npos);
    EXPECT_NE(r.err.find("junk: 1"), std::string::npos) << r.err;
    // Sent on purpose to the sysop's own address, it reaches the sysop.
    g.mail("2.B.gate", cronmail("sysop@pond.example", "Token c2\n"));
    r = g.run("import");
    EXPECT_EQ(g.tokens()["c2"], 1) << r.err;
    EXPECT_EQ(g.junk().size(), 1u);
}

TEST(ownoutput, exportsmailcomingbackiskeptunlessitisforfidonet) {
    loopgate g;
    // Mail export sent to the gateway's own local address, and to
    // addresses that lead into FidoNet or to the gateway's list.
    g.mail("1.A.gate", exported("pondlark@localhost", "self"));
    g.mail("2.B.gate", exported("Klaus.Groesser@f100.n280.z2.fidonet.example.org", "fido"));
    g.mail("3.C.gate", exported("sysop@pond.example", "sysop"));
    runresult r = g.run("import");
    ASSERT_EQ(r.status, 0) << r.err;
    std::map<std::string, int> seen = g.tokens();
    EXPECT_EQ(seen.count("self"), 0u) << r.err;
    EXPECT_EQ(seen["fido"], 1) << r.err;
    EXPECT_EQ(seen["sysop"], 1) << r.err;
    EXPECT_EQ(g.junk().size(), 1u);
    EXPECT_NE(r.err.find("! its own mail, not imported"), std::string::npos) << r.err;
    for (const checkedmessage& m : g.messages()) {
        if (m.text.find("Token fido") != std::string::npos) {
            EXPECT_EQ(m.destnode, 100) << m.text;
        }
    }
    // A FidoNet user's mail to the gateway's list is a posting as ever.
    g.mail("4.D.gate", exported("talk@pond.example", "post"));
    r = g.run("import");
    EXPECT_NE(r.err.find("listmsg: 1"), std::string::npos) << r.err;
    EXPECT_EQ(g.junk().size(), 1u);
}

TEST(ownoutput, anothergatewaysmailisnoloop) {
    loopgate g;
    // The same program at another gateway, writing to a user here.
    g.mail("1.A.gate", "From: Ann <ann@f7.n5020.z2.fidonet.org>\nTo: sysop@pond.example\n"
                       "Subject: Hello\nMessage-ID: <12345678@f7.n5020.z2.fidonet.org>\n"
                       "X-MailConverter: PondLark-Linux v1.05\n\nToken other\n");
    runresult r = g.run("import");
    EXPECT_EQ(g.tokens()["other"], 1) << r.err;
    EXPECT_TRUE(g.junk().empty());
}

TEST(ownoutput, listmailcomingbackisnotpostedagain) {
    loopgate g;
    // The list's distribution, come back to the gateway (a member's
    // address that leads here): no To, the list as Sender.
    g.mail("1.A.gate", "Bcc: <pondlark@localhost>\nFrom: bob@net.example (Bob)\n"
                       "Reply-to: talk@pond.example\nSender: talk@pond.example\nSubject: Hi all\n"
                       "Message-ID: <hi.net.example-talk@pond.example>\n"
                       "X-MailServer: PondLark-Linux v1.05\n\nToken dist\n");
    runresult r = g.run("import");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(g.messages().empty()) << r.err;
    EXPECT_EQ(g.junk().size(), 1u);
    EXPECT_NE(r.err.find("! its own list mail, not imported"), std::string::npos) << r.err;
    EXPECT_TRUE(listtree(g.path("soup")).size() == 2u) << r.err;  // junk/ and the history
}

TEST(ownoutput, areportaboutmailthegatewaydidnotsendisjunk) {
    loopgate g;
    // Cron's mail that could not be delivered comes back to the gateway.
    g.mail("1.A.gate", bounce("pondlark@gate.example", cronmail("nobody@elsewhere.example", "x\n")));
    // A report about a FidoNet user's mail is theirs to read.
    g.mail("2.B.gate", bounce("pondlark@gate.example", exported("nobody@elsewhere.example", "back")));
    runresult r = g.run("import");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(g.junk().size(), 1u) << r.err;
    EXPECT_NE(r.err.find("! a delivery report about the gateway's own address, not imported"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(g.messages().size(), 1u) << r.err;
}

TEST(ownoutput, articlesthegatewaypostedstayaway) {
    loopgate g;
    std::string own = tokenarticle("own", "own@pond.example", "alt.test");
    own.replace(0, own.find('\n'), "Path: news.example!news.pond.test!pondlark!not-for-mail");
    std::string near = tokenarticle("near", "near@news.example", "alt.test");
    near.replace(0, near.find('\n'), "Path: news.example!pondlarkish!not-for-mail");
    writefile(g.path("nb/b1"), newsbatch({own, near}));
    runresult r = g.run("import");
    ASSERT_EQ(r.status, 0) << r.err;
    std::map<std::string, int> seen = g.tokens();
    EXPECT_EQ(seen.count("own"), 0u) << r.err;
    EXPECT_EQ(seen["near"], 1) << r.err;
    EXPECT_EQ(g.junk().size(), 1u);
    EXPECT_NE(r.err.find("! its own Path entry, not imported"), std::string::npos) << r.err;
}

// The junk file is part of its message file's unit: a run killed before
// the unit is done leaves neither the file nor a half of it.
TEST(ownoutput, akilledrunleavesnohalfjunk) {
    const std::string mail = cronmail("pondlark@gate.example", std::string(70000, 'x') + "\n");
    // Every rename (where outputs get their names), and writes spread
    // over the run.
    for (const char* call : {"rename", "write"}) {
        for (int n = 1;; n = std::string(call) == "rename" ? n + 1 : n * 2 + 1) {
            loopgate g;
            g.mail("1.A.gate", mail);
            if (!killrunat(g.dir, PONDLARK_FIXED_BIN, {"import", "/config=./gate.cfg"}, call, n)) break;
            // Visible under its name only when whole (a ".tmp" file waits
            // for the recovery).
            for (const std::string& j : g.junk()) {
                if (j.size() < 4 || j.substr(j.size() - 4) != ".tmp") {
                    EXPECT_TRUE(readfile(g.path("soup/junk/" + j)) == mail) << call << n;
                }
            }
            runresult r = g.run("import");
            ASSERT_EQ(r.status, 0) << r.err;
            ASSERT_EQ(g.junk().size(), 1u) << call << " " << n << r.err;
            EXPECT_TRUE(readfile(g.path("soup/junk/" + g.junk()[0])) == mail) << call << n;
            EXPECT_TRUE(g.messages().empty());
        }
    }
}

}  // namespace
