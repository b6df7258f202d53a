#include "transport/delivery.h"

#include "transport/deferrals.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "base/clock.h"
#include "base/identity.h"
#include "base/text.h"
#include "bounce/bounce.h"
#include "bounce/sentmail.h"
#include "config/settings.h"
#include "driver/log.h"
#include "driver/runstate.h"
#include "durable/durablefile.h"
#include "durable/workfiles.h"
#include "import/curmsg.h"
#include "import/replies.h"
#include "transport/command.h"
#include "transport/deliverylog.h"
#include "transport/envelope.h"
#include "transport/history.h"
#include "transport/newsbatch.h"
#include "transport/newsserver.h"
#include "transport/mailfrom.h"
#include "transport/nntppost.h"
#include "transport/replyqueue.h"
#include "transport/sendtarget.h"
#include "transport/smtpsession.h"
#include "transport/wirestream.h"

namespace {

// Most of a header read at first; a longer header is read whole.
constexpr long HEADPEEK = 1 << 16;
// Exit statuses of sendmail (sysexits.h) that say the message itself can
// never be delivered: bad data, unknown user, unknown host.
constexpr int SYSEXIT_DATAERR = 65, SYSEXIT_NOUSER = 67, SYSEXIT_NOHOST = 68;

// One reply being delivered.
struct replyat {
    const queuedfile* file = nullptr;
    const replyrecord* record = nullptr;
    int fd = -1;
    std::string header;  // as stored
    long headlen = 0;
};

struct kindtally {
    long sent = 0, kept = 0, rejected = 0;
    std::string keptwhy;  // the first reason, logged once
    bool stop = false;    // the way out failed: the rest waits
};

recordfate fateof(const replyat& r, int fate) {
    recordfate f;
    f.fate = fate;
    f.name = r.file->name;
    f.dev = r.file->dev;
    f.ino = r.file->ino;
    f.record = *r.record;
    return f;
}

int loadheader(replyat& r) {
    long n = std::min(r.record->length, HEADPEEK);
    if (readat(r.fd, r.record->offset + 4, n, r.header) != 0) return -1;
    std::size_t hl = headerlength(r.header);
    if (hl == r.header.size() && n < r.record->length) {
        if (readat(r.fd, r.record->offset + 4, r.record->length, r.header) != 0) return -1;
        hl = headerlength(r.header);
    }
    r.header.resize(hl);
    r.headlen = static_cast<long>(hl);
    return 0;
}

std::string shortid(const envelope& env) {
    return env.messageid.empty() ? std::string("(no Message-ID)") : env.messageid;
}

// What a bounce quotes of a reply: the start of its readable text.
constexpr long EXCERPTBYTES = 16384;

std::string answerlines(const std::vector<std::pair<std::string, std::string>>& refused) {
    std::string a;
    for (const auto& [addr, why] : refused) {
        if (!a.empty()) a += "\n";
        a += addr + ": " + why;
    }
    return a;
}

// The failure reaches the FidoNet sender of the reply (when export wrote
// it for one), at most once for the message and the kind of failure.
// false when the bounce could not be written.
bool bouncereply(const replyat& r, const std::string& headline, const std::vector<std::string>& recipients,
                 const std::string& answer, const std::string& detail, const char* keykind) {
    std::string text;
    if (readat(r.fd, r.record->offset + 4, std::min(r.record->length, EXCERPTBYTES), text) != 0) text = r.header;
    bouncenotice n;
    n.headline = headline;
    n.recipients = recipients;
    n.answer = answer;
    n.detail = detail;
    // A reply without Message-ID is known by its text.
    n.key = firstfield(r.header, "Message-ID").empty() ? deferralkey(r.header, r.record->hash) + keykind : keykind;
    return bouncemessage(text, n) != BOUNCE_FAILED;
}

// Why a reply was refused, for its sender.
struct refusal {
    std::string headline;
    std::vector<std::string> recipients;
    std::string answer;
    std::string detail = "Your message is kept by the gateway; its sysop can see it.";
    // Told apart from a refusal of the same message: a recipient refused
    // at once and the others given up later are two failures to hear of.
    const char* keykind = "";
};

// A reply no server will take goes to rejected/ whole, as it was written,
// and its sender hears of it before its answer is settled.
int reject(const replyat& r, const std::string& id, const std::string& why, deliverylog& log, kindtally& t,
           const refusal& b) {
    std::string dir = cfg.soupdir.str() + REJECTEDDIR;
    struct stat st {};
    // Without its "/": lstat of a name ending in "/" follows a link.
    std::string name = dir.substr(0, dir.size() - 1);
    if ((mkdir(name.c_str(), 0755) != 0 && errno != EEXIST) || lstat(name.c_str(), &st) != 0) {
        logprintf("Error: can't create %s\n", dir.c_str());
        ++t.kept;
        return -1;
    }
    // A link in its place would lead the reply out of the SOUP folder.
    if (!S_ISDIR(st.st_mode)) {
        logprintf("Error: %s is not a folder (a link?): the reply stays queued\n", dir.c_str());
        ++t.kept;
        return -1;
    }
    std::string path;
    (void)genfname(dir, ".eml", path);
    durablefile out;
    std::string text;
    if (out.open(path) != 0 || readat(r.fd, r.record->offset + 4, r.record->length, text) != 0) {
        logprintf("Error writing %s\n", path.c_str());
        ++t.kept;
        return -1;
    }
    out.write(text);
    if (out.commit() != 0) {
        logprintf("Error writing %s\n", path.c_str());
        ++t.kept;
        return -1;
    }
    logprintf("! %s refused %s: %s; moved to %s\n", TYPENAME[r.file->kind], id.c_str(), why.c_str(),
              path.c_str());
    // Without its bounce the reply stays: the next run refuses it again and
    // tries the bounce again (its copy in rejected/ may then be there twice).
    if (!bouncereply(r, b.headline, b.recipients, b.answer.empty() ? why : b.answer, b.detail, b.keykind)) {
        ++t.kept;
        if (t.keptwhy.empty()) t.keptwhy = "its bounce could not be written";
        return -1;
    }
    ++t.rejected;
    if (log.note(fateof(r, FATE_REJECTED)) != 0) {
        logprintf("Error writing %s\n", log.path().c_str());
        return -1;
    }
    return 0;
}

void keep(kindtally& t, const std::string& why) {
    ++t.kept;
    if (t.keptwhy.empty()) t.keptwhy = why;
}

// A reply that must wait: noted with its answer; once it has waited
// GiveUpDays it is given up like a refused one. Returns true when given up.
bool waitorgiveup(const replyat& r, const std::vector<std::string>& pending, const std::string& why,
                  deliverylog& log, kindtally& t) {
    std::time_t first = deferrals.note(deferralkey(r.header, r.record->hash), r.file->kind, pending, why);
    if (nowtime() - first < static_cast<std::time_t>(cfg.giveupdays) * 86400) {
        keep(t, why);
        return false;
    }
    envelope env;
    std::string problem;
    (void)readenvelope(r.header, env, problem);
    std::string days = std::to_string(cfg.giveupdays) + (cfg.giveupdays == 1 ? " day" : " days");
    refusal b;
    b.headline = std::string(r.file->kind == REPLY_NEWS ? "Article" : "Mail") + " not delivered in " + days;
    b.recipients = pending;
    b.answer = why;
    b.detail = "The gateway tried for " + days + " and gave up. Your message is kept by the gateway; its sysop can see it.";
    b.keykind = " (given up)";
    deferrals.forget(deferralkey(r.header, r.record->hash));
    if (reject(r, shortid(env), "given up after " + days + ": " + why, log, t, b) != 0) return false;
    return true;
}

int notefate(deliverylog& log, const recordfate& f) {
    if (log.note(f) == 0) return 0;
    logprintf("Error writing %s: a message may be sent again\n", log.path().c_str());
    return -1;
}

// ---------------------------------------------------------------- SMTP

refusal refusedby(const char* headline, const std::vector<std::pair<std::string, std::string>>& refused) {
    refusal b;
    b.headline = headline;
    for (const auto& x : refused) b.recipients.push_back(x.first);
    b.answer = answerlines(refused);
    return b;
}

// The server took the reply: the gateway's record of what it sent gets it,
// so that a notification that comes back later finds its sender.
void notesent(const replyat& r) {
    sentmail s;
    if (sentmailof(r.header, s)) (void)notesentmail(s);
}

void smtpdeliver(replyat& r, smtpsession& s, deliverylog& log, kindtally& t) {
    envelope env;
    std::string problem;
    if (readenvelope(r.header, env, problem) != 0) {
        refusal b;
        b.headline = "Mail not sent";
        b.detail = "The message names " + std::string(problem == "no sender" ? "no sender" : "no recipient") +
                   " the gateway could send it to. " + b.detail;
        (void)reject(r, shortid(env), problem, log, t, b);
        return;
    }
    std::string head = withsender(outgoingheader(r.header, false), cfg.bounceaddress.sv());
    std::string mailfrom = cfg.bounceaddress.empty() ? env.sender : envelopesender(r.header, cfg.bounceaddress.sv());
    std::vector<std::string> done, temporary;
    std::vector<std::pair<std::string, std::string>> refused;
    bool session = false;
    std::string tempwhy;
    for (std::size_t at = 0; at < env.recipients.size() && !session; at += MAXRCPT) {
        std::vector<std::string> chunk(env.recipients.begin() + static_cast<long>(at),
                                       env.recipients.begin() +
                                           static_cast<long>(std::min(env.recipients.size(), at + MAXRCPT)));
        wirestream w(head, r.fd, r.record->offset + 4 + r.headlen, r.record->length - r.headlen, true);
        smtpoutcome o = s.send(mailfrom, chunk, [&w](char* b, std::size_t n) { return w.read(b, n); });
        switch (o.result) {
            case SMTP_ACCEPTED:
                for (std::size_t i = 0; i < chunk.size(); ++i) {
                    int cls = replyclass(o.rcpt[i].code);
                    if (cls == 5) {
                        logprintf("! %s refused for %s: %s\n", chunk[i].c_str(), shortid(env).c_str(),
                                  replytext(o.rcpt[i]).c_str());
                        refused.emplace_back(chunk[i], replytext(o.rcpt[i]));
                    } else if (cls == 4) {
                        temporary.push_back(chunk[i]);
                        if (tempwhy.empty()) tempwhy = replytext(o.rcpt[i]);
                    } else {
                        done.push_back(chunk[i]);
                    }
                }
                break;
            case SMTP_TEMPORARY:
                temporary.insert(temporary.end(), chunk.begin(), chunk.end());
                if (tempwhy.empty()) tempwhy = o.why;
                break;
            case SMTP_PERMANENT:
                if (done.empty() && refused.empty() && at + MAXRCPT >= env.recipients.size() && temporary.empty()) {
                    (void)reject(r, shortid(env), o.why, log, t, refusedby("Mail refused", {}));
                    return;
                }
                for (const std::string& c : chunk) {
                    logprintf("! %s refused for %s: %s\n", c.c_str(), shortid(env).c_str(), o.why.c_str());
                    refused.emplace_back(c, o.why);
                }
                break;
            default:
                session = true;
                tempwhy = o.why;
                t.stop = true;
                // What this chunk and the ones after it had waits as a whole.
                temporary.insert(temporary.end(), env.recipients.begin() + static_cast<long>(at),
                                 env.recipients.end());
                break;
        }
    }
    if (done.empty() && temporary.empty()) {
        refusal b = refusedby("Mail refused", refused);
        (void)reject(r, shortid(env), "every recipient refused", log, t, b);
        return;
    }
    if (!refused.empty()) {
        (void)bouncereply(r, "Mail refused for some recipients", refusedby("", refused).recipients, answerlines(refused),
                    "The other recipients " + std::string(temporary.empty() ? "have it." : "will have it."), "");
    }
    if (!temporary.empty()) {
        // Recipients refused for good are done with, like those that have it.
        if (!done.empty() || !refused.empty()) {
            recordfate f = fateof(r, FATE_PARTIAL);
            f.sentto = done;
            for (const auto& x : refused) f.sentto.push_back(x.first);
            (void)notefate(log, f);
        }
        if (!done.empty()) notesent(r);
        (void)waitorgiveup(r, temporary, tempwhy, log, t);
        return;
    }
    ++t.sent;
    notesent(r);
    deferrals.forget(deferralkey(r.header, r.record->hash));
    (void)notefate(log, fateof(r, FATE_SENT));
}

// -------------------------------------------------------------- command

void commandreply(replyat& r, const std::vector<std::string>& argv, deliverylog& log, kindtally& t) {
    envelope env;
    std::string problem;
    (void)readenvelope(r.header, env, problem);
    std::string head = withsender(outgoingheader(r.header, true), cfg.bounceaddress.sv());
    wirestream w(head, r.fd, r.record->offset + 4 + r.headlen, r.record->length - r.headlen, false);
    // The envelope sender as for SMTP: sendmail -f.
    std::vector<std::string> args = argv;
    if (!cfg.bounceaddress.empty()) {
        std::string mailfrom = envelopesender(r.header, cfg.bounceaddress.sv());
        args.insert(args.begin() + 1, {"-f", mailfrom});
    }
    commandresult res;
    runcommand(args, [&w](int fd) {
        char buf[1 << 16];
        for (;;) {
            long n = w.read(buf, sizeof buf);
            if (n < 0) return -1;
            if (n == 0) return 0;
            if (writefd(fd, std::string_view(buf, static_cast<std::size_t>(n))) != 0) return -1;
        }
    }, res);
    if (res.status == 0) {
        ++t.sent;
        notesent(r);
        deferrals.forget(deferralkey(r.header, r.record->hash));
        (void)notefate(log, fateof(r, FATE_SENT));
        return;
    }
    std::string why = argv[0] + (res.status < 0 ? std::string(" could not be run") :
                                                  " exit status " + std::to_string(res.status));
    if (!res.output.empty()) why += ": " + res.output;
    if (res.status == SYSEXIT_DATAERR || res.status == SYSEXIT_NOUSER || res.status == SYSEXIT_NOHOST) {
        refusal b;
        b.headline = "Mail refused";
        b.recipients = env.recipients;
        (void)reject(r, shortid(env), why, log, t, b);
        return;
    }
    t.stop = true;
    (void)waitorgiveup(r, env.recipients, why, log, t);
}

// ------------------------------------------------------------------ mail

struct fdholder {
    int fd = -1;
    ~fdholder() {
        if (fd >= 0) close(fd);
    }
};

// Opens a reply file again to send from it: never through a link, and
// only the file the queue was read from.
int openreplyfile(const queuedfile& f) {
    int fd = open(f.path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st {};
    if (fd >= 0 && (fstat(fd, &st) != 0 || st.st_dev != f.dev || st.st_ino != f.ino)) {
        close(fd);
        return -1;
    }
    return fd;
}

// The replies of a kind, each handed to each; once the way out failed
// (t.stop) the rest only wait, and those that waited too long are given up.
template <class Each>
void eachreply(const std::vector<queuedfile>& files, int kind, kindtally& t, deliverylog& log, Each each) {
    for (const queuedfile& f : files) {
        if (f.kind != kind || f.records.empty()) continue;
        fdholder of;
        of.fd = openreplyfile(f);
        for (const replyrecord& rec : f.records) {
            replyat r{&f, &rec, of.fd, "", 0};
            if (of.fd < 0 || loadheader(r) != 0) {
                logprintf("Error reading %s\n", f.path.c_str());
                keep(t, "the reply file cannot be read");
                continue;
            }
            if (t.stop) {
                envelope env;
                std::string problem;
                (void)readenvelope(r.header, env, problem);
                (void)waitorgiveup(r, env.recipients, t.keptwhy, log, t);
                continue;
            }
            each(r);
        }
    }
}

void report(const char* kind, const char* how, const kindtally& t) {
    if (t.sent + t.kept + t.rejected == 0) return;
    logprintf("Delivered %ld %s message(s) %s", t.sent, kind, how);
    if (t.rejected > 0) logprintf(", %ld refused", t.rejected);
    logprintf("\n");
    if (t.kept > 0) logprintf("! %ld %s message(s) kept for the next run: %s\n", t.kept, kind, t.keptwhy.c_str());
}

int delivermail(const std::vector<queuedfile>& files, deliverylog& log) {
    sendtarget target;
    std::string problem;
    if (parsesendtarget(cfg.sendmail, target, problem) != 0) {
        logprintf("! SendMail: %s\n", problem.c_str());
        return -1;
    }
    kindtally t;
    if (target.kind == SEND_SMTP) {
        smtpsession s;
        if (s.setup(target, problem) != 0) {
            t.stop = true;
            t.keptwhy = problem;
        }
        eachreply(files, REPLY_MAIL, t, log, [&](replyat& r) { smtpdeliver(r, s, log, t); });
        report("mail", ("over SMTP (" + std::to_string(s.connections()) + " connection(s))").c_str(), t);
    } else {
        eachreply(files, REPLY_MAIL, t, log, [&](replyat& r) { commandreply(r, target.argv, log, t); });
        report("mail", ("through " + target.argv[0]).c_str(), t);
    }
    return t.kept > 0 ? -1 : 0;
}

// ------------------------------------------------------------------ news

// An article in a batch for a news server's peer feed needs a Path; the
// server puts its own name in front. "pondlark" in it keeps the server from
// feeding the article back to the gateway's own feed of that name.
std::string newsheader(const std::string& header) {
    std::string head = outgoingheader(header, false);
    bool haspath = istartswith(head, "Path:") || head.find("\nPath:") != std::string::npos ||
                   head.find("\npath:") != std::string::npos || head.find("\nPATH:") != std::string::npos;
    return haspath ? head : "Path: " + std::string(PATHENTRY) + "!not-for-mail\n" + head;
}

// One article of the news replies, with what it takes to send it.
struct article {
    const queuedfile* file;
    const replyrecord* record;
};

std::string commandwhy(const std::vector<std::string>& argv, const commandresult& res) {
    std::string why = argv[0] + (res.status < 0 ? std::string(" could not be run") :
                                                  " exit status " + std::to_string(res.status));
    if (!res.output.empty()) why += ": " + res.output;
    return why;
}

// Runs PostNews once with the articles as one batch. fates receives the
// fate of each article written into it.
commandresult postbatch(const std::vector<std::string>& argv, const std::vector<article>& batch,
                        std::vector<recordfate>& fates) {
    commandresult res;
    fates.clear();
    runcommand(argv, [&](int fd) {
        for (const article& a : batch) {
            fdholder of;
            of.fd = openreplyfile(*a.file);
            if (of.fd < 0) return -1;
            replyat r{a.file, a.record, of.fd, "", 0};
            if (loadheader(r) != 0) return -1;
            wirestream w(newsheader(r.header), of.fd, a.record->offset + 4 + r.headlen, a.record->length - r.headlen,
                         false);
            // The size of the article as it goes, line ends made clean.
            long size = w.wiresize();
            if (size < 0 || writefd(fd, "#! rnews " + std::to_string(size) + "\n") != 0) return -1;
            char buf[1 << 16];
            for (long n; (n = w.read(buf, sizeof buf)) != 0;) {
                if (n < 0 || writefd(fd, std::string_view(buf, static_cast<std::size_t>(n))) != 0) return -1;
            }
            fates.push_back(fateof(r, FATE_SENT));
        }
        return 0;
    }, res);
    return res;
}

// An article the news server would not take while it took others, or
// that waited too long.
void articlefailed(const article& a, const std::string& why, bool refused, deliverylog& log, kindtally& t) {
    fdholder of;
    of.fd = openreplyfile(*a.file);
    replyat r{a.file, a.record, of.fd, "", 0};
    if (of.fd < 0 || loadheader(r) != 0) {
        logprintf("Error reading %s\n", a.file->path.c_str());
        keep(t, why);
        return;
    }
    std::vector<std::string> groups = addresslist(firstfield(r.header, "Newsgroups"));
    if (groups.empty()) groups.push_back(firstfield(r.header, "Newsgroups"));
    if (!refused) {
        (void)waitorgiveup(r, groups, why, log, t);
        return;
    }
    refusal b;
    b.headline = "Article refused";
    b.recipients = groups;
    b.answer = why;
    std::string id = firstfield(r.header, "Message-ID");
    (void)reject(r, id.empty() ? std::string("(no Message-ID)") : id, why, log, t, b);
}

// Where each news reply goes: the NewsServer of the first of its groups
// that an AreaMap line ties to one, or else PostNews (null).
struct newsroute {
    const queuedfile* file;
    const replyrecord* record;
    const newsserverdef* server;
    // History keys of the article in the groups the gateway fetches: once
    // posted it must not come back into FidoNet from there.
    std::vector<std::string> ownkeys;
};

int routenews(const std::vector<queuedfile>& files, std::vector<newsroute>& routes) {
    int bad = 0;
    for (const queuedfile& f : files) {
        if (f.kind != REPLY_NEWS || f.records.empty()) continue;
        fdholder of;
        of.fd = openreplyfile(f);
        for (const replyrecord& rec : f.records) {
            replyat r{&f, &rec, of.fd, "", 0};
            const newsserverdef* server = nullptr;
            if (of.fd < 0 || loadheader(r) != 0) {
                logprintf("Error reading %s\n", f.path.c_str());
                bad = -1;
                break;
            }
            std::vector<std::string> keys;
            if (!cfg.newsservers.empty()) {
                envelope env;
                std::string problem;
                (void)readenvelope(r.header, env, problem);
                for (const std::string& g : articlegroups(r.header)) {
                    if (!server) server = serverofgroup(g, false);
                    if (serverofgroup(g, true)) keys.push_back(historykey(env.messageid, MSGTYPE_NEWS, g));
                }
            }
            routes.push_back({&f, &rec, server, server ? std::move(keys) : std::vector<std::string>{}});
        }
    }
    return bad;
}

// The news replies of one server over one connection.
int posttoserver(const newsserverdef& s, const std::vector<newsroute>& routes, deliverylog& log) {
    kindtally t;
    std::vector<std::string> keys;
    for (const newsroute& n : routes) {
        if (n.server == &s) keys.insert(keys.end(), n.ownkeys.begin(), n.ownkeys.end());
    }
    // Noted before they are posted: a run killed in between lets none of
    // them come back; an article never posted has a key nobody else uses.
    (void)notehistorynow(keys);
    nntpposter poster(s);
    const queuedfile* open_ = nullptr;
    fdholder of;
    for (const newsroute& n : routes) {
        if (n.server != &s) continue;
        if (n.file != open_) {
            if (of.fd >= 0) close(of.fd);
            of.fd = openreplyfile(*n.file);
            open_ = n.file;
        }
        replyat r{n.file, n.record, of.fd, "", 0};
        if (of.fd < 0 || loadheader(r) != 0) {
            logprintf("Error reading %s\n", n.file->path.c_str());
            keep(t, "the reply file cannot be read");
            continue;
        }
        std::vector<std::string> groups = articlegroups(r.header);
        // Once the server failed the rest only wait, and what waited too
        // long is given up.
        if (t.stop) {
            (void)waitorgiveup(r, groups, t.keptwhy, log, t);
            continue;
        }
        envelope env;
        std::string problem;
        (void)readenvelope(r.header, env, problem);
        wirestream w(newsheader(r.header), of.fd, n.record->offset + 4 + r.headlen, n.record->length - r.headlen,
                     false);
        postoutcome o = poster.post(env.messageid, [&w](char* b, std::size_t max) { return w.read(b, max); });
        switch (o.result) {
            case POST_DONE:
                ++t.sent;
                (void)notefate(log, fateof(r, FATE_SENT));
                break;
            case POST_REFUSED: {
                refusal b;
                b.headline = "Article refused";
                b.recipients = groups;
                b.answer = o.why;
                (void)reject(r, shortid(env), o.why, log, t, b);
                break;
            }
            case POST_KEPT:
                (void)waitorgiveup(r, groups, o.why, log, t);
                break;
            default:
                t.stop = true;
                if (t.keptwhy.empty()) t.keptwhy = o.why;
                (void)waitorgiveup(r, groups, o.why, log, t);
                break;
        }
    }
    report("news", ("to news server " + s.name + " (" + std::to_string(poster.connections()) + " connection(s))").c_str(),
           t);
    return t.kept > 0 ? -1 : 0;
}

// The news replies no NewsServer takes, as one rnews batch to PostNews.
int postnewsbatch(const std::vector<newsroute>& routes, deliverylog& log) {
    std::vector<std::string> argv;
    std::string problem;
    if (splitcommand(cfg.postnews, argv, problem) != 0) {
        logprintf("! PostNews: %s\n", problem.c_str());
        return -1;
    }
    kindtally t;
    std::vector<article> all;
    for (const newsroute& n : routes) {
        if (!n.server) all.push_back({n.file, n.record});
    }
    if (all.empty()) return 0;
    std::vector<recordfate> fates;
    commandresult res = postbatch(argv, all, fates);
    if (res.status == 0) {
        for (const recordfate& f : fates) {
            if (notefate(log, f) == 0) ++t.sent;
        }
    } else if (all.size() == 1) {
        articlefailed(all[0], commandwhy(argv, res), false, log, t);
    } else {
        // One article the server will not have fails the whole batch: each
        // goes alone, so that the others get through and the one refused
        // is told from a server that takes nothing at all.
        std::vector<std::pair<const article*, std::string>> failed;
        for (const article& a : all) {
            commandresult one = postbatch(argv, {a}, fates);
            if (one.status == 0 && !fates.empty()) {
                if (notefate(log, fates.front()) == 0) ++t.sent;
            } else {
                failed.emplace_back(&a, commandwhy(argv, one));
            }
        }
        for (const auto& [a, why] : failed) articlefailed(*a, why, t.sent > 0, log, t);
    }
    report("news", ("through " + argv[0]).c_str(), t);
    return t.kept > 0 ? -1 : 0;
}

int delivernews(const std::vector<queuedfile>& files, deliverylog& log) {
    std::vector<newsroute> routes;
    int bad = routenews(files, routes);
    for (const newsserverdef& s : cfg.newsservers) {
        if (posttoserver(s, routes, log) != 0) bad = -1;
    }
    if (!cfg.postnews.empty() && postnewsbatch(routes, log) != 0) bad = -1;
    return bad;
}

// Applies the log's answers to the reply files, then empties it.
int settlelog(deliverylog& log) {
    std::vector<recordfate> fates;
    if (log.sync() != 0 || log.read(fates) != 0) {
        logprintf("Error reading %s\n", log.path().c_str());
        return -1;
    }
    if (fates.empty()) return 0;
    if (settlefates(fates) != 0) return -1;
    if (log.clear() != 0) {
        logprintf("Error writing %s\n", log.path().c_str());
        return -1;
    }
    return 0;
}

}  // namespace

int deliverreplies() {
    bool mail = !cfg.sendmail.empty(), news = !cfg.postnews.empty() || !cfg.newsservers.empty();
    if (!mail && !news) return 0;
    if (run.testmode) {
        logprintf("/test: replies are not delivered\n");
        return 0;
    }
    deliverylog log;
    int r = log.open();
    if (r != 0) {
        if (r == 1) {
            logprintf("! Another run is delivering replies: delivery left to it\n");
        } else {
            logprintf("Error: can't open %s\n", log.path().c_str());
        }
        return -1;
    }
    // Answers a killed run got and could not apply any more.
    if (settlelog(log) != 0) return -1;
    deferrals.load();
    (void)prunesentmail();
    std::vector<queuedfile> files;
    int bad = readreplyqueue(files);
    if (mail && delivermail(files, log) != 0) bad = -1;
    if (news && delivernews(files, log) != 0) bad = -1;
    if (settlelog(log) != 0) bad = -1;
    if (deferrals.save() != 0) bad = -1;
    return bad;
}
