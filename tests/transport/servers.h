// Real mail and news servers for the end-to-end tests: a Postfix and an
// INN of their own, each with its configuration, queue or spool and log
// below a scratch folder, listening on a free loopback port, so that tests
// running at the same time (and the system's own servers) never meet.
// Both need root, as they do on the machines that run the suite.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <string>
#include <vector>

// Whether the suite runs under CI (CI=true): a server that cannot start
// is then a failure, never a skip.
bool underci();

// Stops the test when a server could not start: a failure under CI, else
// a skip that says why.
#define REQUIRE_SERVER(started, why)                                               \
    if (!(started)) {                                                              \
        if (underci()) FAIL() << "the server did not start under CI: " << (why);    \
        GTEST_SKIP() << "the server did not start (" << (why)                       \
                     << "): this end-to-end case needs root and the Debian package"; \
    }

// A port on 127.0.0.1 that nothing listens on right now.
int freeport();

// A Postfix for the domain pond.test: its virtual mailboxes are Maildirs
// below dir/vmail/pond.test/<user>/, the users those added; addresses
// refused with 550 can be named. Everything else is refused too: no mail
// leaves the machine.
class testpostfix {
   public:
    explicit testpostfix(const std::string& dir);
    ~testpostfix();
    testpostfix(const testpostfix&) = delete;
    testpostfix& operator=(const testpostfix&) = delete;

    void adduser(const std::string& user);            // before start
    // The README's set-up for the gateway: mail to gate@fido.test goes by
    // an alias, in an alias file of the gateway user's own (here nobody),
    // to the Maildir this returns, delivered by local(8) as that user.
    std::string gatewaymaildir() const { return dir + "pondlark/Maildir/"; }
    void refuse(const std::string& address);          // before start
    // Puts off a recipient with 450 for ever (before start).
    void deferrecipient(const std::string& address);
    // Every address of domain goes to the gateway's Maildir, as the
    // README's virtual alias for the FidoNet users' domain does; each
    // recipient gets a copy of its own (before start).
    void gatewaydomain(const std::string& domain);
    // Messages whose Subject begins with these words are refused for good
    // at the end of their data (550); those from this sender are put off
    // (450) when they ask to send their data (before start).
    void refusesubject(const std::string& subject);
    void defersender(const std::string& address);
    void setting(const std::string& line);            // a main.cf line, before start
    // Offers STARTTLS on port and TLS from the first byte on tlsport, with
    // this certificate and key (before start).
    void tls(const std::string& cert, const std::string& key);
    int tlsport = 0;
    // Asks for AUTH (PLAIN, LOGIN; cyrus SASL with a sasldb) on tlsport,
    // where mail is taken only from a client logged in as user (before
    // start).
    void sasluser(const std::string& user, const std::string& password);
    // Offers that AUTH on the plain port too, without TLS, where a client
    // that logs in sends its password in clear (before start).
    void authincleartext() { clearauth = true; }
    bool start(std::string& why);
    void stop();
    bool running() const { return up; }

    int port = 0;
    std::string etc;  // its configuration folder
    std::string url() const;  // smtp://127.0.0.1:<port>
    std::string maildir(const std::string& user) const;
    // The messages delivered to user so far, waiting up to a few seconds
    // for count of them; sorted by content.
    std::vector<std::string> delivered(const std::string& user, std::size_t count = 0) const;
    // How many SMTP connections smtpd has accepted so far.
    int connections() const;
    // Waits until the queue is empty (every message delivered or bounced).
    bool drained() const;
    std::string log() const;

   private:
    std::string dir;
    std::vector<std::string> users, refused, extra, subjects, deferred, deferredrcpt, gatedomains;
    std::string sasl[2];
    bool clearauth = false;
    bool up = false;
};

// An INN serving alt.test and alt.other (and the groups added), storing
// articles one file each (tradspool) below dir/spool/articles, with a
// feed "pondlark" of alt.* written to dir/spool/outgoing/pondlark as
// tokens and Message-IDs, the way a UUCP feed is fed to batcher.
class testinn {
   public:
    explicit testinn(const std::string& dir);
    ~testinn();
    testinn(const testinn&) = delete;
    testinn& operator=(const testinn&) = delete;

    // Readers (before start): nnrpd serving readers on readerport, where
    // anyone may read and post (and log in, and turn to TLS by STARTTLS
    // when tls is set); with tls, also on tlsport, TLS from the first
    // byte, where only the users added may read and post (AUTHINFO USER
    // and PASS checked by ckpasswd against a password file).
    void tls(const std::string& cert, const std::string& key);
    void adduser(const std::string& user, const std::string& password);
    // Further groups the server carries (before start).
    void addgroup(const std::string& group);
    bool start(std::string& why);
    void stop();
    // Feeds articles to innd as one rnews batch; true when rnews took it.
    bool feed(const std::vector<std::string>& articles, std::string& why) const;
    // Feeds many articles quickly, streamed to innd as a peer (TAKETHIS);
    // true when innd took every one.
    bool stream(const std::vector<std::string>& articles, std::string& why) const;

    // Whether newsfeeds has the feed "pondlark" from the start (else a
    // test adds it, as the README does).
    bool withfeed = true;
    int port = 0;
    int readerport = 0;
    int tlsport = 0;
    std::string conf;  // its inn.conf, for INNCONF
    std::string env() const { return "INNCONF=" + conf; }
    // The articles stored in a group (alt.test -> alt/test/1, 2, ...).
    std::vector<std::string> articles(const std::string& group) const;
    // Runs an INN program (from /usr/lib/news/bin, or an absolute path) as
    // the news user with INNCONF set; returns its exit status and output.
    int runnews(const std::string& shellcommand, std::string& output) const;
    // A copy of scripts/pondlark-newsbatch that the news user can run: the
    // source tree may lie in a folder only root can enter (a clone in
    // /root), as the script's installed place would not.
    std::string batchscript() const;
    std::string dir;

   private:
    bool startreader(int onport, bool tlsfirst, const std::string& readersconf, pid_t& out, std::string& why);
    pid_t pid = -1;
    pid_t readerpid = -1, tlspid = -1;
    std::string cert, key;
    std::vector<std::pair<std::string, std::string>> users;
    std::vector<std::string> groups;
};
