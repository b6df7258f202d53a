#include "export/outbound.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "base/clock.h"
#include "base/codec.h"
#include "base/fileio.h"
#include "bounce/bounce.h"
#include "config/settings.h"
#include "config/tables.h"
#include "driver/log.h"
#include "driver/runstate.h"
#include "durable/journal.h"
#include "durable/workfiles.h"
#include "export/expstate.h"
#include "export/fattach.h"
#include "export/flowfiles.h"
#include "export/ftnnames.h"
#include "export/outnames.h"
#include "export/pktfiles.h"
#include "export/pktreader.h"

namespace {

// The files queued in one flavour for the base name.
struct queued {
    std::vector<std::string> packets;  // mail packets (paths)
    std::vector<std::string> flows;    // flow files (paths)
};

queued findqueued(const outbase& b, const std::vector<std::string>& names, const flavour& fl) {
    queued q;
    for (const std::string& n : matchnames(names, b.stem + fl.pktext))
        q.packets.push_back(b.dir + n);
    for (const std::string& n : matchnames(names, b.stem + fl.flowext))
        q.flows.push_back(b.dir + n);
    return q;
}

std::size_t flavourcount() {
    return cfg.exportallmail ? std::size(FLAVOURS) : HOLDFLAVOUR;
}

// The first queued file's name, or "" when nothing is queued for the base.
std::string firstqueued(const outbase& b, const std::vector<std::string>& names) {
    for (std::size_t i = 0; i < flavourcount(); ++i) {
        queued q = findqueued(b, names, FLAVOURS[i]);
        if (!q.packets.empty()) return q.packets[0];
        if (!q.flows.empty()) return q.flows[0];
    }
    return "";
}

// The busy flag in the letter case of the queued files, so that the
// mailer which wrote them finds it under the name it looks for.
std::string busyflagpath(const outbase& b, const std::string& queuedpath) {
    std::string name = queuedpath.substr(b.dir.size());
    bool lower = false;
    for (std::size_t i = b.stem.size(); i < name.size(); ++i) {
        if (std::islower(static_cast<unsigned char>(name[i]))) lower = true;
    }
    std::string flag = b.dir + name.substr(0, b.stem.size());
    flag += lower ? ".bsy" : BUSYEXT;
    return flag;
}

// Creates the busy flag; fails when it exists already (the mailer was
// quicker) or cannot be made. The flag names PondLark and its process, and
// the journal knows it beforehand, so that a flag left by a killed run is
// removed by the next one. It is written complete under a temporary name
// and linked to its name, which fails when the name exists.
int createbusyflag(const std::string& path) {
    if (journalbusyflag(path) != 0) return -1;
    std::string tmp = path + ".tmp";
    std::string content = busyflagcontent();
    // A new file: a left one (or a link planted in the outbound) is
    // removed, never written through.
    if (unlink(tmp.c_str()) != 0 && errno != ENOENT) return -1;
    int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) return -1;
    // On a full disk the flag stays empty: it still holds the address, and
    // after BusyFlagAge a left one counts as stale.
    if (write(fd, content.data(), content.size()) != static_cast<ssize_t>(content.size()) &&
        ftruncate(fd, 0) != 0) {
        // Then a part of the mark stays: still no flag of the mailer's.
    }
    bool ok = close(fd) == 0 && link(tmp.c_str(), path.c_str()) == 0;
    (void)unlink(tmp.c_str());
    return ok ? 0 : -1;
}

// The mail packets of a flavour. False when one of them waits for the next
// run: its messages may claim listed files, which then have to wait too.
bool sendmailpackets(const queued& q) {
    bool clean = true;
    for (const std::string& path : q.packets) {
        int r = exportpacketfile(path, 1);
        if (r == PKTFILE_KEPT) clean = false;
        if (r == PKTFILE_NOTPACKET)
            logprintf("! %s is not a packet: left where it is\n", path.c_str());
    }
    return clean;
}

// The packets listed in the flow files. A listed file that is not a packet
// after all is sent as a file instead. False when one waits for the next run.
bool sendlistedpackets() {
    bool clean = true;
    for (std::size_t i = 0; i < flowfiles(); ++i) {
        if (expstate.flowfilelist[i].kind != FLOW_PACKET) continue;
        std::string path(flowfilepath(expstate.flowfilelist[i].name));
        int r = exportpacketfile(path, 1);
        flowentry& e = expstate.flowfilelist[i];
        if (r == PKTFILE_DONE || r == PKTFILE_MISSING) e.kind = FLOW_DONE;
        if (r == PKTFILE_KEPT) clean = false;
        if (r == PKTFILE_NOTPACKET) {
            logprintf("! %s is not a packet: sent as a file\n", path.c_str());
            e.kind = FLOW_FILE;
        }
    }
    return clean;
}

// The recipient of a synthetic message. A route names its address; files
// queued for the gateway itself without a message go to the mailbox of
// the system the gateway serves (the first AddrMap entry), as mail to UUCP
// with an address line.
void syntheticrecipient(const std::string& toname, std::string& to, std::string& toaddr) {
    to = toname;
    toaddr.clear();
    if (!to.empty()) return;
    to = "UUCP";
    if (!tables.addrmap.empty()) toaddr = tables.addrmap.front().email.str();
}

// Sends one listed file that no message claimed by a synthetic file-attach
// message through a temporary packet in TempDir.
void sendunclaimed(std::size_t i, const fidoaddr& addr, const std::string& toname) {
    std::string path(flowfilepath(expstate.flowfilelist[i].name));
    errno = 0;
    fileptr probe = openfile(path, "rb");
    if (!probe) {
        if (errno == ENOENT) {
            expstate.flowfilelist[i].kind = FLOW_DONE;
        } else {
            logprintf("! can't open %s: kept for the next run\n", path.c_str());
        }
        return;
    }
    probe.reset();
    std::string tmp, to, toaddr;
    genfname(cfg.tempdir.str(), packetext, tmp);
    // A killed run leaves no temporary packet behind.
    if (unittemp(tmp) != 0) return;
    syntheticrecipient(toname, to, toaddr);
    fileptr pkt = createfattach(addr, to, tmp, expstate.flowfilelist[i].name, toaddr);
    if (!pkt) return;
    std::rewind(pkt.get());
    int r = exportpkt(pkt.get(), 1);
    pkt.reset();
    // The temporary packet is the gateway's own: it goes also under /test.
    if (std::remove(tmp.c_str()) != 0) logprintf("! can't remove %s\n", tmp.c_str());
    flowentry& e = expstate.flowfilelist[i];
    if (e.kind == FLOW_DONE) return;
    if (r == PKT_EXPORTED && !exist(path)) {
        e.kind = FLOW_DONE;
        return;
    }
    logprintf("! %s could not be sent: kept for the next run\n", path.c_str());
}

void sendunclaimedfiles(const fidoaddr& addr, const std::string& toname) {
    for (std::size_t i = 0; i < flowfiles(); ++i) {
        if (expstate.flowfilelist[i].kind == FLOW_FILE) sendunclaimed(i, addr, toname);
    }
}

void settleflowfiles(const std::vector<flowfile>& lists) {
    for (const flowfile& ff : lists) {
        if (settleflowfile(ff) != 0) continue;
        std::size_t left = 0;
        for (const flowline& l : ff.lines) left += flowlinepending(l) ? 1 : 0;
        logprintf("! %s kept: %zu of its files are left for the next run\n", ff.path.c_str(), left);
    }
}

// One flavour: the flow files' entries make the attachment list, the mail
// packets are exported with it, then the listed packets, then the files no
// message claimed. A flow file and a mail packet go only once everything
// they led to is in the reply files.
//
// The flavour is one unit of work (durable/journal.h): its packets and flow
// files are removed or rewritten, and the files sent deleted or emptied,
// only when it commits, so that a run killed on the way sends it all again
// from the start, once.
void exportflavour(const queued& q, const fidoaddr& addr, const std::string& toname) {
    clearflowfiles();
    std::vector<flowfile> lists;
    for (const std::string& path : q.flows) {
        flowfile ff;
        if (readflowfile(path, ff) != 0) {
            logprintf("! can't read %s: its mail is left for the next run\n", path.c_str());
            clearflowfiles();
            return;
        }
        lists.push_back(std::move(ff));
    }
    unitbegin("flavour", q.packets.empty() ? q.flows.front() : q.packets.front());
    bool clean = sendmailpackets(q);
    if (clean) clean = sendlistedpackets();
    if (clean) sendunclaimedfiles(addr, toname);
    settleflowfiles(lists);
    clearflowfiles();
    // Not recorded: the next run's recovery takes the flavour back.
    if (unitcommit() != 0) unitabandon();
    keepbounces();
}

// The busy flag that another program holds on the base, or "".
std::string otherbusyflag(const outbase& b, const std::vector<std::string>& names,
                          const std::string& ours) {
    for (const std::string& n : matchnames(names, b.stem + BUSYEXT)) {
        if (b.dir + n != ours) return b.dir + n;
    }
    return "";
}

// Takes the busy flag for the base and lists the folder again under it.
// False (reported) when the flag is or becomes another program's.
bool takebusyflag(const outbase& b, const fidoaddr& addr, const std::string& flag,
                  std::vector<std::string>& names) {
    if (createbusyflag(flag) != 0) {
        logprintf("! can't create busy flag %s: %s skipped\n", flag.c_str(),
                  ftnaddrtext(addr).c_str());
        return false;
    }
    // Listed again under the flag: what the mailer finished meanwhile, and
    // a flag of another case that it set in the same moment.
    if (!listdir(b.dir, names)) names.clear();
    std::string other = otherbusyflag(b, names, flag);
    if (other.empty()) return true;
    logprintf("! %s busy (%s): skipped\n", ftnaddrtext(addr).c_str(), other.c_str());
    if (std::remove(flag.c_str()) != 0) logprintf("! can't remove busy flag %s\n", flag.c_str());
    return false;
}

enum flagstates { FLAG_HONOURED = 0, FLAG_CLEARED = 1, FLAG_STUCK = -1 };

// A mailer that crashed leaves its busy flag behind and would hold the
// address's mail back for ever: a flag older than BusyFlagAge minutes is
// stale and goes (a dry run only passes over it). FLAG_CLEARED when the
// flag is gone or may be passed over.
int clearstaleflag(const std::string& flag, const fidoaddr& addr) {
    if (cfg.busyflagage == 0) return FLAG_HONOURED;
    struct stat st {};
    if (stat(flag.c_str(), &st) != 0) return errno == ENOENT ? FLAG_CLEARED : FLAG_HONOURED;
    long long age = static_cast<long long>(nowtime()) - static_cast<long long>(st.st_mtime);
    if (age < static_cast<long long>(cfg.busyflagage) * 60) return FLAG_HONOURED;
    std::string what = "! busy flag " + flag + " of " + ftnaddrtext(addr) + " is " +
                       std::to_string(age / 60) + " minutes old: stale";
    if (run.testmode) {
        logprintf("%s, passed over (test mode)\n", what.c_str());
        return FLAG_CLEARED;
    }
    if (std::remove(flag.c_str()) != 0 && errno != ENOENT) {
        logprintf("%s, but can't be removed: %s skipped\n", what.c_str(),
                  ftnaddrtext(addr).c_str());
        return FLAG_STUCK;
    }
    logprintf("%s, removed\n", what.c_str());
    return FLAG_CLEARED;
}

// False (reported) when another program holds the base: a busy flag that
// is not stale.
bool outbasefree(const outbase& b, const fidoaddr& addr, std::vector<std::string>& names) {
    for (;;) {
        std::string busy = otherbusyflag(b, names, "");
        if (busy.empty()) return true;
        int r = clearstaleflag(busy, addr);
        if (r == FLAG_STUCK) return false;
        if (r == FLAG_HONOURED) {
            logprintf("! %s busy (%s): skipped\n", ftnaddrtext(addr).c_str(), busy.c_str());
            return false;
        }
        auto gone = std::find(names.begin(), names.end(), busy.substr(b.dir.size()));
        if (gone == names.end()) return false;
        names.erase(gone);
    }
}

// The files of one base name, under the busy flag.
void exportbase(const outbase& b, const fidoaddr& addr, const std::string& toname) {
    std::vector<std::string> names;
    if (!listdir(b.dir, names)) return;
    std::string first = firstqueued(b, names);
    if (first.empty()) return;
    if (!outbasefree(b, addr, names)) return;
    // A dry run changes nothing in the outbound, also no busy flag.
    std::string flag;
    if (!run.testmode) {
        flag = busyflagpath(b, first);
        if (!takebusyflag(b, addr, flag, names)) return;
    }
    for (std::size_t i = 0; i < flavourcount() && !journalbroken(); ++i) {
        queued q = findqueued(b, names, FLAVOURS[i]);
        if (!q.packets.empty() || !q.flows.empty()) exportflavour(q, addr, toname);
    }
    // What the flavours did to the outbound is done before the flag goes.
    journalcheckpoint();
    // A run that had to stop leaves the flag to the next one's recovery.
    if (journalbroken()) return;
    if (!flag.empty() && std::remove(flag.c_str()) != 0) {
        logprintf("! can't remove busy flag %s\n", flag.c_str());
    }
}

}  // namespace

void binkexport(const fidoaddr& addr, const std::string& toname) {
    for (const outbase& b : findoutbases(addr)) {
        if (journalbroken()) return;
        exportbase(b, addr, toname);
    }
}
