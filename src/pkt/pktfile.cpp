#include "pkt/pktfile.h"

#include <algorithm>
#include <cstring>
#include <ctime>

#include "base/clock.h"
#include "base/codec.h"
#include "config/settings.h"
#include "config/tables.h"
#include "driver/log.h"
#include "durable/journal.h"
#include "durable/workfiles.h"
#include "pkt/pktlayout.h"

openpacket outpkt;

namespace {

// The gateway's product code in the header: 0x0100, low byte first.
constexpr std::uint8_t PRODCODELO = 0;
constexpr std::uint8_t PRODCODEHI = 1;
constexpr std::size_t PKTBUFSIZE = 1 << 16;

// The system every packet goes to: the first AddrMap entry (start-up
// refuses to run a command without one).
fidoaddr packetdest() {
    return tables.addrmap.empty() ? fidoaddr{} : tables.addrmap.front().ftnaddr;
}

void reportpacketerror() {
    if (outpkt.reported) return;
    logprintf("Error writing packet %s\n", outpkt.path.c_str());
    outpkt.reported = 1;
}

// A packet of this run was removed: its name is free again.
void forgetmade(const std::string& path) {
    auto& made = outpkt.made;
    made.erase(std::remove(made.begin(), made.end(), path), made.end());
    outpkt.namefrom = 0;
}

// The size test runs before a message and cannot know its length, so a
// packet may grow past MaxPKTSize by the last message written into it.
bool packetfull() {
    if (cfg.maxpktsize == 0) return false;
    long size = std::ftell(outpkt.file.get());
    if (size < 0) return true;  // position unknown: start afresh
    return static_cast<unsigned long>(size) / 1024 + 2 >= cfg.maxpktsize;
}

int startpacket() {
    std::string path;
    // A packet of this unit still under its temporary name holds its name.
    outpkt.namefrom = genfnamefrom(cfg.indir.sv(), packetext, path, outpkt.namefrom, outputtaken);
    outpkt.path = path;
    outpkt.reported = 0;
    // The tosser must never see a packet before it is complete: it is
    // written under a temporary name and renamed when its unit commits.
    if (unitoutput(path, PUBLISH_PACKET) != 0) {
        reportpacketerror();
        return -1;
    }
    // "x": a name taken by another program since the test is never overwritten.
    fileptr f = openfile(tempname(path), "wbx");
    if (!f) {
        unitdropoutput(path);
        reportpacketerror();
        return -1;
    }
    outpkt.made.push_back(path);
    // Messages are written in many small pieces; a large buffer keeps the
    // system calls few. Only one packet is open at a time.
    static char buffer[PKTBUFSIZE];
    std::setvbuf(f.get(), buffer, _IOFBF, sizeof buffer);
    // The flush shows a full disk now rather than after the first message.
    // The seek, which stays where it is, gives the stream a known position
    // that its writes keep up to date: the size test before every message
    // (ftell) then needs no system call.
    if (writepktheader(f.get()) != 0 || std::fflush(f.get()) != 0 ||
        std::fseek(f.get(), 0, SEEK_CUR) != 0) {
        reportpacketerror();
        (void)closefile(f);
        if (std::remove(tempname(path).c_str()) == 0) {
            forgetmade(path);
            unitdropoutput(path);
        }
        return -1;
    }
    outpkt.file = std::move(f);
    return 0;
}

}  // namespace

pktheader makepktheader(const fidoaddr& orig, const fidoaddr& dest, const std::tm& t) {
    pktheader h;
    h.orignode = orig.node;
    h.destnode = dest.node;
    h.year = static_cast<std::uint16_t>(t.tm_year + 1900);
    h.month = static_cast<std::uint16_t>(t.tm_mon);
    h.day = static_cast<std::uint16_t>(t.tm_mday);
    h.hour = static_cast<std::uint16_t>(t.tm_hour);
    h.minute = static_cast<std::uint16_t>(t.tm_min);
    h.second = static_cast<std::uint16_t>(t.tm_sec);
    h.pkttype = PKTTYPE2;
    // The real net also for a point: the type 2+ block carries the point.
    h.orignet = orig.net;
    h.destnet = dest.net;
    h.prodcodelo = PRODCODELO;
    std::string_view pwd = cfg.packetpwd.sv();
    std::memcpy(h.password.data(), pwd.data(), std::min(pwd.size(), PKTPWDSIZE));
    h.qorigzone = orig.zone;
    h.qdestzone = dest.zone;
    h.capvalid = CAPVALID2PLUS;
    h.prodcodehi = PRODCODEHI;
    h.capword = CAPWORD2PLUS;
    h.origzone = orig.zone;
    h.destzone = dest.zone;
    h.origpoint = orig.point;
    h.destpoint = dest.point;
    return h;
}

int writepktheader(std::FILE* f) {
    unsigned char buf[PKTHDRSIZE];
    encodepktheader(makepktheader(cfg.gateaddr, packetdest(), localclock(nowtime())), buf);
    outpkt.pktmsgcount = 0;
    return writeall(f, buf, sizeof buf);
}

int closepkt(fileptr& f) {
    if (!f) return 0;
    static const unsigned char terminator[PKTTERMSIZE] = {0, 0};
    int result = writeall(f.get(), terminator, sizeof terminator);
    // When the run syncs, the packet is on the disk before it gets its name.
    if (result == 0 && (std::fflush(f.get()) != 0 || syncfd(fileno(f.get())) != 0)) result = -1;
    if (closefile(f) != 0) result = -1;
    return result;
}

int preparepacket() {
    if (outpkt.file && packetfull() && finishpacket() != 0) return -1;
    if (outpkt.file) return 0;
    return startpacket();
}

int countpktmsg() {
    ++outpkt.pktmsgcount;
    if (outpkt.file && std::ferror(outpkt.file.get())) {
        reportpacketerror();
        return -1;
    }
    return 0;
}

int finishpacket() {
    if (!outpkt.file) return 0;
    if (closepkt(outpkt.file) != 0) {
        reportpacketerror();
        return -1;
    }
    // A packet in which no message was taken is of no use to the tosser.
    if (outpkt.pktmsgcount == 0) {
        if (std::remove(tempname(outpkt.path).c_str()) == 0) {
            forgetmade(outpkt.path);
            unitdropoutput(outpkt.path);
        } else {
            logprintf("Error removing %s\n", tempname(outpkt.path).c_str());
        }
    } else if (outputcomplete(outpkt.path) != 0) {
        reportpacketerror();
        return -1;
    }
    outpkt.path.clear();
    outpkt.reported = 0;
    return 0;
}

int discardpackets() {
    if (outpkt.file && closefile(outpkt.file) != 0) reportpacketerror();
    int result = 0;
    for (const std::string& final : outpkt.made) {
        std::string path = tempname(final);
        if (exist(path) && std::remove(path.c_str()) != 0) {
            logprintf("Error removing %s\n", path.c_str());
            result = -1;
        }
    }
    outpkt.made.clear();
    outpkt.namefrom = 0;
    outpkt.path.clear();
    outpkt.reported = 0;
    return result;
}

void keeppackets() {
    outpkt.made.clear();
}
