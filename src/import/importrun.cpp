#include "import/importrun.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "base/fileio.h"
#include "base/shown.h"
#include "base/text.h"
#include "config/settings.h"
#include "driver/counters.h"
#include "driver/log.h"
#include "driver/runstate.h"
#include "durable/journal.h"
#include "durable/workfiles.h"
#include "import/classify.h"
#include "import/curmsg.h"
#include "import/envelopeto.h"
#include "import/fileoutput.h"
#include "import/headertext.h"
#include "import/importtext.h"
#include "import/junkfolder.h"
#include "import/ownoutput.h"
#include "import/replies.h"
#include "import/reportimport.h"
#include "import/setaside.h"
#include "import/soup.h"
#include "lists/listfiles.h"
#include "lists/listserver.h"
#include "pkt/pktfile.h"
#include "transport/history.h"
#include "transport/staging.h"

namespace {
// ImportLimit counts the whole FidoNet message; the text is split this
// much earlier, leaving room for header, kludges and trailer.
constexpr std::uint32_t IMPORTLIMITROOM = 512;

enum fileresults {
    FILE_DONE = 0,   // every message was taken
    FILE_BAD = 1,    // damaged from some message on: set aside as ".BAD"
    FILE_FAILED = 2  // output could not be written: the file stays for the next run
};

void printstats(const runcounters& c) {
    logprintf(
        "-> %ld message(s) imported\n"
        "mail: %-5ld     news: %-5ld     lists: %-5ld    junk: %-5ld\n"
        "personal: %-5ld own org: %-5ld  files: %-5ld    ign/txt: %-5ld",
        c.messagecount, c.emailcount, c.newscount, c.maillistcount, c.junkcount, c.personalcount,
        c.ownorgcount, c.filecount, c.ignoretextcount);
    // Shown once the history has caught a message, so that a run without
    // dupes reports as it always did.
    if (c.dupecount > 0) logprintf("    dupes: %-5ld", c.dupecount);
    logprintf("\n");
    if (!lists.listconfig.empty()) {
        logprintf("listmsg: %-5ld  listcmd: %-5ld  reply: %-5ld\n", c.listmsgcount, c.listcmdcount,
                  c.listreplycount);
    }
}

// How far the message file has been read, for the terminal.
void noteprogress(long pos, long size) {
    showprogress(size <= 0 ? 100
                           : static_cast<int>(static_cast<std::uint64_t>(pos) * 100 /
                                              static_cast<std::uint64_t>(size)));
}

void verboseline() {
    std::string s = "- from ";
    s += curmsg.msgfromemail.sv();
    if (!strieq(curmsg.msgfromname.sv(), curmsg.msgfromemail.sv()))
        s.append(" (").append(curmsg.msgfromname.sv()).append(")");
    s.append(" to ").append(curmsg.msgtoemail.sv());
    if (!strieq(curmsg.msgtoname.sv(), curmsg.msgtoemail.sv()))
        s.append(" (").append(curmsg.msgtoname.sv()).append(")");
    if (!curmsg.emaillist.empty()) s += " et al.";
    logprintf("%s\n", s.c_str());
}

void countconverted(const msgverdict& v, bool posting) {
    if (v.maillistrule) ++stats.maillistcount;
    if (v.ownorg) ++stats.ownorgcount;
    if (v.ignored) ++stats.ignoretextcount;
    if (v.junkcategory != JUNK_NONE || v.maillistrule || v.ownorg || v.ignored || posting) return;
    if (curmsg.msgtype == MSGTYPE_NEWS) {
        ++stats.newscount;
        return;
    }
    ++stats.emailcount;
    if (run.verbose) verboseline();
}

// The gateway's own output come back in: told in the log, kept in the
// junk folder for the sysop, never made new FidoNet mail.
int keepownoutput(const std::string& why, std::FILE* f, const msgrange& r) {
    ++stats.junkcount;
    std::string kept;
    if (keepinjunk(f, r, kept) != 0) return -1;
    std::string from(curmsg.msgfromemail.empty() ? curmsg.msgfromname.sv() : curmsg.msgfromemail.sv());
    if (!curmsg.msgfromemail.empty() && !curmsg.msgfromname.empty() &&
        curmsg.msgfromname.sv() != curmsg.msgfromemail.sv())
        from.append(" (").append(curmsg.msgfromname.sv()).append(")");
    logprintf("! %s, not imported: from %s, subject \"%s\"; kept in %s\n", why.c_str(),
              showntext(from, 200).c_str(), showntext(curmsg.msgsubj.sv(), 127).c_str(), kept.c_str());
    return 0;
}

bool listhasarea(const msgverdict& v) {
    const listtext& area = lists.listconfig[static_cast<std::size_t>(v.listindex)].listarea;
    return area && !area->empty();
}

// What importmessage made of a message.
enum messageresults {
    MSG_DONE = 0,       // it went where it belongs
    MSG_FAILED = -1,    // its output (packet, reply, list change) could not be written
    MSG_UNFINISHED = 1  // it cannot be finished within its bounds: to be set aside
};

int importmessage(std::FILE* f, filewindow& window, const msgrange& r, const std::string& path) {
    curmsg.routing = 0;
    curmsg.routeno = -1;
    curmsg.routepwdfailed = 0;
    msgverdict v;
    // The parse pass counts with the StripKludges entry of the message's
    // kind; a count pass follows when classification decides otherwise.
    v.category = curmsg.msgtype == MSGTYPE_NEWS ? CAT_NEWS : CAT_EMAIL;
    importpass parse{IMPORT_PARSE, v, f, nullptr, r};
    parse.window = &window;
    if (processimport(parse) != 0) {
        logprintf("Error reading %s\n", path.c_str());
        return MSG_FAILED;
    }
    applyenvelope();
    // A message imported before (a packet fetched twice, a Maildir message
    // taken in again) is only counted; a mail once for each recipient.
    std::string key = historykey(curmsg.messageid, curmsg.msgtype, curmsg.areaname.sv(),
                                 curmsg.msgtype == MSGTYPE_MAIL ? curmsg.msgtoemail.sv() : std::string_view());
    if (seenbefore(key) || (curmsg.msgtype == MSGTYPE_MAIL && seenbefore(legacymailkey(key)))) {
        ++stats.dupecount;
        if (run.verbose) {
            screenprintf("\r");
            logprintf("- dupe %s from %s\n", key.substr(0, key.find('\t')).c_str(),
                      curmsg.msgfromemail.c_str());
        }
        return MSG_DONE;
    }
    notehistory(key);
    std::string own = ownoutput(f, parse.bodyoffset, r.end);
    if (!own.empty()) return keepownoutput(own, f, r);
    bool posting = false;
    switch (classifymessage(v)) {
        case OUTCOME_KILLED:
            return MSG_DONE;
        case OUTCOME_LISTCOMMAND: {
            rawheaderfields(true);
            int res = processlistcommand(static_cast<std::size_t>(v.listindex), v.listcommand);
            ++stats.listcmdcount;
            return res == 0 ? MSG_DONE : MSG_FAILED;
        }
        case OUTCOME_LISTPOSTING: {
            ++stats.listmsgcount;
            rawheaderfields(true);
            int res =
                sendlistmessage(static_cast<std::size_t>(v.listindex), f, parse.bodyoffset, r.end);
            rawheaderfields(false);
            if (res < 0) return MSG_FAILED;
            if (res == 0 || !listhasarea(v)) return MSG_DONE;
            posting = true;
            break;
        }
        default:
            break;
    }
    bool report = !posting && reportcandidate(v);
    countconverted(v, posting);
    convertheaderfields();
    // A delivery report reaches the sender of the mail that came back,
    // readable; any other message goes on as usual.
    if (report) {
        int rr = importreport(f, r);
        if (rr == REPORT_WRITTEN) return MSG_DONE;
        if (rr == REPORT_FAILED) {
            logprintf("Error writing packet %s\n", outpkt.path.c_str());
            return MSG_FAILED;
        }
    }
    if (needcountpass(parse, v)) {
        importpass count{IMPORT_COUNT, v, f, nullptr, r};
        count.window = &window;
        if (processimport(count) != 0) {
            logprintf("Error reading %s\n", path.c_str());
            return MSG_FAILED;
        }
    }
    importpass write{IMPORT_WRITE, v, f, outpkt.file.get(), r};
    write.window = &window;
    if (processimport(write) == 0) return MSG_DONE;
    if (write.readfailed) logprintf("Error reading %s\n", path.c_str());
    // A posting went to the list's members already: it is not set aside
    // (its file is kept whole and imported again).
    return write.unfinished && !posting ? MSG_UNFINISHED : MSG_FAILED;
}

// A message of nothing but blanks and line ends (an empty article of a
// news batch, "#! rnews 0") is no message.
bool emptymessage(filewindow& window, const msgrange& r) {
    rangereader in(window, r);
    for (int c = in.get(); c != EOF; c = in.get()) {
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n') return false;
    }
    return !in.error();
}

int messageloop(std::FILE* f, int format, const std::string& path) {
    soupcutter cut(f, format);
    int result = FILE_DONE;
    for (;;) {
        noteprogress(cut.position(), cut.size());
        msgrange r;
        int c = cut.next(r);
        if (c == CUT_NOMORE) break;
        if (c == CUT_BADFILE) {
            result = FILE_BAD;
            break;
        }
        if (emptymessage(cut.window(), r)) {
            ++stats.emptycount;
            continue;
        }
        if (preparepacket() != 0) return FILE_FAILED;
        messagemark mark = markmessage();
        int res = importmessage(f, cut.window(), r, path);
        if (res == MSG_UNFINISHED) {
            if (setmessageaside(f, r, path, mark) != 0) return FILE_FAILED;
            continue;
        }
        if (res != MSG_DONE) return FILE_FAILED;
        ++stats.messagecount;
        if (countpktmsg() != 0) return FILE_FAILED;
    }
    if (stats.emptycount > 0)
        logprintf("! %s: %ld empty message%s left out\n", path.c_str(), stats.emptycount,
                  stats.emptycount == 1 ? "" : "s");
    return result;
}

// What became of an area's message file, for its line in AREAS.
enum filefates {
    FATE_CONSUMED = 0,  // deleted or set aside: its AREAS line is done with
    FATE_LEFT = 1,      // left alone by the rules (or not there): its line may stay
    FATE_KEPT = 2       // kept for the next run: AREAS must keep its line
};

// A damaged file is set aside for the operator; an earlier ".BAD" of the
// same name is never overwritten. The rename waits for the unit's commit.
int setaside(const std::string& path) {
    std::size_t dot = path.rfind('.');
    std::size_t slash = path.rfind('/');
    std::string bad = dot == std::string::npos || (slash != std::string::npos && dot < slash)
                          ? path + ".BAD"
                          : path.substr(0, dot) + ".BAD";
    if (exist(bad) && renfname(bad) != 0) {
        logprintf("! Error in message file %s, kept: no free name to set it aside\n", path.c_str());
        return FATE_KEPT;
    }
    logprintf("! Error in message file %s, renamed to %s\n", path.c_str(), bad.c_str());
    if (run.testmode) return FATE_LEFT;
    unitmove(path, bad);
    return FATE_CONSUMED;
}

// A file whose output is complete is consumed even when it cannot be
// removed: it must never be imported again. The removal waits for the
// unit's commit.
int consume(const std::string& path, long size) {
    // A file with data but no message in it is kept for the operator.
    long taken = stats.messagecount + stats.setasidecount + stats.emptycount;
    if (run.testmode || (taken == 0 && size != 0)) return FATE_LEFT;
    unitremove(path);
    return FATE_CONSUMED;
}

// Takes back what the message file produced; it stays for the next run.
int keepforrerun(const std::string& path) {
    (void)discardfileoutput();
    unitabandon();
    forgetnoted();
    logprintf("! Message file %s kept, to be imported again\n", path.c_str());
    return FATE_KEPT;
}

// Imports one area's message file as one unit of work: its packets and
// decoded files get their names, and the file goes, only when all of its
// output is complete. Returns its fate.
int importarea(const souparea& a) {
    std::string path = messagefilepath(cfg.soupdir.sv(), a.prefix);
    // A file an interrupted run consumed is done with.
    if (wasconsumed(path) && !exist(path)) return FATE_CONSUMED;
    // A run whose journal can't be written takes nothing more on.
    if (journalbroken() && exist(path)) {
        logprintf("! Message file %s kept, to be imported again\n", path.c_str());
        return FATE_KEPT;
    }
    logprintf("Importing %s from %s\n", a.areaname.c_str(), path.c_str());
    fileptr f = openmessagefile(path);
    if (!f && errno == ELOOP) {
        logprintf("! %s is a link: left alone\n", path.c_str());
        return FATE_KEPT;
    }
    if (!f) {
        logprintf("Error reading %s\n", path.c_str());
        return exist(path) ? FATE_KEPT : FATE_LEFT;
    }
    stats = runcounters{};
    curmsg.msgtype = a.msgtype;
    curmsg.areaname = a.areaname;
    curmsg.unusablearea = a.unusablename;
    unitbegin("import", path);
    if (journalbroken()) {
        unitabandon();
        logprintf("! Message file %s kept, to be imported again\n", path.c_str());
        return FATE_KEPT;
    }
    beginfileoutput();
    long size = filelength(f.get());
    int res = messageloop(f.get(), a.msgformat, path);
    endprogress();
    if (res != FILE_FAILED && finishpacket() != 0) res = FILE_FAILED;
    f.reset();
    if (res == FILE_FAILED) return keepforrerun(path);
    int fate = res == FILE_BAD ? setaside(path) : consume(path, size);
    // Part of the unit: a message file fetched again later finds these
    // messages here, and a run killed before the unit is done (or, with
    // SyncWrites, on the disk) has them taken out again with the rest.
    (void)commithistory();
    if (unitcommit() != 0) return keepforrerun(path);
    keepfileoutput();
    if (res == FILE_BAD) {
        // The rename is done by now (also when the run syncs); when it
        // failed, the file and its line stay.
        journalcheckpoint();
        if (fate == FATE_CONSUMED && exist(path)) fate = FATE_KEPT;
        return fate;
    }
    if (!run.globalstats) printstats(stats);
    totals.add(stats);
    return fate;
}

// AREAS as it is to stay: the lines that still name work for a later run.
struct areasleft {
    bool keep = false;     // AREAS must not be deleted
    bool whole = false;    // it could not be read to its end: it stays as it is
    bool dropped = false;  // some line named a file consumed by this run
    long keptfiles = 0;    // message files kept for the next run
    std::vector<std::string> lines;
};

areasleft importareas(std::FILE* areasfile) {
    areasleft left;
    areasreader reader(areasfile);
    for (;;) {
        souparea a;
        int r = reader.next(a);
        if (r == AREA_END) return left;
        if (r == AREA_FAILED) {
            left.keep = left.whole = true;
            return left;
        }
        if (r == AREA_UNKNOWN) left.keep = true;
        int fate = FATE_LEFT;
        if (r == AREA_OK) fate = importarea(a);
        if (fate == FATE_KEPT) {
            left.keep = true;
            ++left.keptfiles;
        }
        // A run whose journal can't be written takes nothing more on.
        if (journalbroken()) left.keep = left.whole = true;
        if (fate == FATE_CONSUMED) {
            left.dropped = true;
        } else {
            left.lines.push_back(reader.text());
        }
    }
}

// A kept AREAS loses the lines of the files consumed, so that the next run
// does not look for them; it is replaced only once its new text is
// complete.
void rewriteareas(const std::string& path, const std::vector<std::string>& lines) {
    std::string fresh = path + ".NEW";
    // A killed run may have left it: the new text is made afresh.
    if (unittemp(fresh) != 0) return;
    if (exist(fresh)) (void)std::remove(fresh.c_str());
    fileptr f = openfile(fresh, "wx");
    int bad = f ? 0 : -1;
    for (std::size_t i = 0; bad == 0 && i < lines.size(); ++i) {
        bad = writeall(f.get(), lines[i].data(), lines[i].size());
        if (bad == 0) bad = writeall(f.get(), "\n", 1);
    }
    if (f && closefile(f) != 0) bad = -1;
    if (bad == 0 && std::rename(fresh.c_str(), path.c_str()) == 0) return;
    logprintf("Error writing %s\n", fresh.c_str());
    if (exist(fresh) && std::remove(fresh.c_str()) != 0)
        logprintf("Error removing %s\n", fresh.c_str());
}

void finishareas(const std::string& path, const areasleft& left) {
    if (run.testmode) return;
    // What the message files' units queued is done first.
    journalcheckpoint();
    unitbegin("areas", path);
    if (!left.keep) {
        unitremove(path);
    } else if (left.dropped && !left.whole) {
        rewriteareas(path, left.lines);
    }
    if (unitcommit() != 0) unitabandon();
}
}  // namespace

int runimport() {
    logprintf("Importing the SOUP packet in %s into FidoNet packets in %s\n", cfg.soupdir.c_str(),
              cfg.indir.c_str());
    (void)stageinbound();
    (void)loadhistory();
    // Before anyone can join a list that has no members yet.
    settlenewlists();
    std::string areaspath = cfg.soupdir.str() + AREASNAME;
    fileptr areas = openshared(areaspath, "r");
    if (!areas && errno != ENOENT) {
        logprintf("! %s is %s: not read\n", areaspath.c_str(),
                  errno == ELOOP ? "a link" : "not a plain file or can't be read");
        return 0;
    }
    if (!areas) {
        logprintf("No AREAS found. Nothing to do.\n");
        return 0;
    }
    // The configuration never allows a limit this small; a lowered limit of 0
    // would mean no limit at all.
    if (cfg.importlimit != 0)
        cfg.importlimit = cfg.importlimit > IMPORTLIMITROOM ? cfg.importlimit - IMPORTLIMITROOM : 1;
    genreplyfile(REPLY_MAIL);
    genreplyfile(REPLY_NEWS);
    areasleft left = importareas(areas.get());
    areas.reset();
    finishareas(areaspath, left);
    if (!cfg.separatemsg) {
        genreplyfile(REPLY_MAIL);
        genreplyfile(REPLY_NEWS);
    }
    if (run.globalstats && totals.messagecount > 0) printstats(totals);
    // The last line says what is left after a failure, never that there
    // was nothing to do.
    if (left.keptfiles > 0) {
        logprintf("%ld message file%s kept for the next run\n", left.keptfiles,
                  left.keptfiles == 1 ? "" : "s");
    } else if (left.whole) {
        logprintf("%s kept for the next run\n", areaspath.c_str());
    } else if (totals.messagecount == 0) {
        logprintf("No inbound messages found. Nothing to do.\n");
    }
    return 0;
}
