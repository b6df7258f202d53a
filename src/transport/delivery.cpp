#include "transport/delivery.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "base/identity.h"
#include "base/text.h"
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

// A reply no server will take goes to rejected/ whole, as it was written.
int reject(const replyat& r, const std::string& id, const std::string& why, deliverylog& log,
           kindtally& t) {
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

int notefate(deliverylog& log, const recordfate& f) {
    if (log.note(f) == 0) return 0;
    logprintf("Error writing %s: a message may be sent again\n", log.path().c_str());
    return -1;
}

// ---------------------------------------------------------------- SMTP

void smtpdeliver(replyat& r, smtpsession& s, deliverylog& log, kindtally& t) {
    envelope env;
    std::string problem;
    if (readenvelope(r.header, env, problem) != 0) {
        (void)reject(r, shortid(env), problem, log, t);
        return;
    }
    std::string head = outgoingheader(r.header, false);
    std::vector<std::string> done, temporary;
    bool session = false;
    std::string tempwhy;
    for (std::size_t at = 0; at < env.recipients.size() && !session; at += MAXRCPT) {
        std::vector<std::string> chunk(env.recipients.begin() + static_cast<long>(at),
                                       env.recipients.begin() +
                                           static_cast<long>(std::min(env.recipients.size(), at + MAXRCPT)));
        wirestream w(head, r.fd, r.record->offset + 4 + r.headlen, r.record->length - r.headlen, true);
        smtpoutcome o = s.send(env.sender, chunk, [&w](char* b, std::size_t n) { return w.read(b, n); });
        switch (o.result) {
            case SMTP_ACCEPTED:
                for (std::size_t i = 0; i < chunk.size(); ++i) {
                    int cls = replyclass(o.rcpt[i].code);
                    if (cls == 5) {
                        logprintf("! %s refused for %s: %s\n", chunk[i].c_str(), shortid(env).c_str(),
                                  replytext(o.rcpt[i]).c_str());
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
                if (done.empty() && at + MAXRCPT >= env.recipients.size() && temporary.empty()) {
                    (void)reject(r, shortid(env), o.why, log, t);
                    return;
                }
                for (const std::string& c : chunk)
                    logprintf("! %s refused for %s: %s\n", c.c_str(), shortid(env).c_str(), o.why.c_str());
                break;
            default:
                session = true;
                tempwhy = o.why;
                t.stop = true;
                break;
        }
    }
    if (session || !temporary.empty()) {
        if (!done.empty()) {
            recordfate f = fateof(r, FATE_PARTIAL);
            f.sentto = done;
            (void)notefate(log, f);
        }
        keep(t, tempwhy);
        return;
    }
    if (done.empty()) {
        (void)reject(r, shortid(env), "every recipient refused", log, t);
        return;
    }
    ++t.sent;
    (void)notefate(log, fateof(r, FATE_SENT));
}

// -------------------------------------------------------------- command

void commandreply(replyat& r, const std::vector<std::string>& argv, deliverylog& log, kindtally& t) {
    envelope env;
    std::string problem;
    (void)readenvelope(r.header, env, problem);
    std::string head = outgoingheader(r.header, true);
    wirestream w(head, r.fd, r.record->offset + 4 + r.headlen, r.record->length - r.headlen, false);
    commandresult res;
    runcommand(argv, [&w](int fd) {
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
        (void)notefate(log, fateof(r, FATE_SENT));
        return;
    }
    std::string why = argv[0] + (res.status < 0 ? std::string(" could not be run") :
                                                  " exit status " + std::to_string(res.status));
    if (!res.output.empty()) why += ": " + res.output;
    if (res.status == SYSEXIT_DATAERR || res.status == SYSEXIT_NOUSER || res.status == SYSEXIT_NOHOST) {
        (void)reject(r, shortid(env), why, log, t);
        return;
    }
    keep(t, why);
    t.stop = true;
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

template <class Each>
void eachreply(const std::vector<queuedfile>& files, int kind, kindtally& t, Each each) {
    for (const queuedfile& f : files) {
        if (f.kind != kind || f.records.empty()) continue;
        fdholder of;
        of.fd = openreplyfile(f);
        for (const replyrecord& rec : f.records) {
            if (t.stop) {
                ++t.kept;
                continue;
            }
            replyat r{&f, &rec, of.fd, "", 0};
            if (of.fd < 0 || loadheader(r) != 0) {
                logprintf("Error reading %s\n", f.path.c_str());
                keep(t, "the reply file cannot be read");
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
        eachreply(files, REPLY_MAIL, t, [&](replyat& r) { smtpdeliver(r, s, log, t); });
        report("mail", ("over SMTP (" + std::to_string(s.connections()) + " connection(s))").c_str(), t);
    } else {
        eachreply(files, REPLY_MAIL, t, [&](replyat& r) { commandreply(r, target.argv, log, t); });
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
        if (t.stop) {
            ++t.kept;
            continue;
        }
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
            case POST_REFUSED:
                (void)reject(r, shortid(env), o.why, log, t);
                break;
            case POST_KEPT:
                keep(t, o.why);
                break;
            default:
                keep(t, o.why);
                t.stop = true;
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
    std::vector<recordfate> batch;
    long articles = 0;
    for (const newsroute& n : routes) articles += n.server ? 0 : 1;
    if (articles == 0) return 0;
    commandresult res;
    runcommand(argv, [&](int fd) {
        const queuedfile* open_ = nullptr;
        fdholder of;
        for (const newsroute& n : routes) {
            if (n.server) continue;
            if (n.file != open_) {
                if (of.fd >= 0) close(of.fd);
                of.fd = openreplyfile(*n.file);
                open_ = n.file;
                if (of.fd < 0) return -1;
            }
            const replyrecord& rec = *n.record;
            replyat r{n.file, &rec, of.fd, "", 0};
            if (loadheader(r) != 0) return -1;
            wirestream w(newsheader(r.header), of.fd, rec.offset + 4 + r.headlen, rec.length - r.headlen, false);
            if (writefd(fd, "#! rnews " + std::to_string(w.rawsize()) + "\n") != 0) return -1;
            char buf[1 << 16];
            for (long n2; (n2 = w.read(buf, sizeof buf)) != 0;) {
                if (n2 < 0 || writefd(fd, std::string_view(buf, static_cast<std::size_t>(n2))) != 0) return -1;
            }
            batch.push_back(fateof(r, FATE_SENT));
        }
        return 0;
    }, res);
    if (res.status == 0) {
        for (const recordfate& f : batch) {
            if (notefate(log, f) == 0) ++t.sent;
        }
    } else {
        t.kept = articles;
        t.keptwhy = argv[0] + (res.status < 0 ? std::string(" could not be run") :
                                               " exit status " + std::to_string(res.status));
        if (!res.output.empty()) t.keptwhy += ": " + res.output;
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
    std::vector<queuedfile> files;
    int bad = readreplyqueue(files);
    if (mail && delivermail(files, log) != 0) bad = -1;
    if (news && delivernews(files, log) != 0) bad = -1;
    if (settlelog(log) != 0) bad = -1;
    return bad;
}
