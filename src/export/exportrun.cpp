#include "export/exportrun.h"

#include <string>
#include <vector>

#include "base/codec.h"
#include "base/fileio.h"
#include "base/text.h"
#include "config/settings.h"
#include "config/tables.h"
#include "driver/counters.h"
#include "driver/log.h"
#include "driver/runstate.h"
#include "durable/journal.h"
#include "export/exportcounts.h"
#include "export/expstate.h"
#include "export/ftnnames.h"
#include "export/outbound.h"
#include "export/pktfiles.h"
#include "export/pktreader.h"
#include "import/curmsg.h"
#include "import/replies.h"
#include "lists/listfiles.h"
#include "transport/delivery.h"

namespace {

// Where this run takes FidoNet mail from, in words.
std::string sourcename() {
    if (!run.packetdir.empty()) return "the packets in " + run.packetdir.str();
    if (cfg.mailertype == MAILER_ARCMAIL) return "the stored netmail in " + cfg.netdir.str();
    std::string s = "the outbound of " + ftnaddrtext(cfg.gateaddr);
    std::size_t routes = tables.route.size();
    if (routes > 0) {
        s += " and " + std::to_string(routes) + (routes == 1 ? " routed node" : " routed nodes");
    }
    return s + " (mail packets and flow files)";
}

void outboundexport() {
    curmsg.routing = ROUTING_GATEWAY;
    binkexport(cfg.gateaddr, "");
    for (const routeentry& r : tables.route) {
        loadroute(r);
        binkexport(r.ftnaddr, r.email.str());
    }
}

void printstats() {
    if (stats.messagecount <= 0) {
        logprintf("No outbound messages found. Nothing to do.\n");
        return;
    }
    logprintf("-> %ld messages exported\nmail: %-5ld     news: %-5ld", stats.messagecount,
              stats.emailcount, stats.newscount);
    if (!lists.listconfig.empty()) logprintf("     lists: %-5ld", stats.listmsgcount);
    logprintf("\n");
}

}  // namespace

void pktexport() {
    std::vector<std::string> names;
    if (!listdir(run.packetdir.str(), names)) return;
    for (const std::string& name : names) {
        if (journalbroken()) return;
        if (!iendswith(name, packetext)) continue;
        curmsg.routing = ROUTING_UNKNOWN;
        std::string path = run.packetdir.str() + name;
        fileptr f = openshared(path, "rb");
        if (!f) continue;
        (void)exportopenpacket(f, path, 0);
    }
}

int runexport() {
    logprintf("Exporting %s to SOUP\n", sourcename().c_str());
    genreplyfile(REPLY_MAIL);
    genreplyfile(REPLY_NEWS);
    stats.messagecount = stats.emailcount = stats.newscount = stats.listmsgcount = 0;
    if (!tables.exportlimit.empty()) (void)loadexportcounts();
    if (!run.packetdir.empty()) {
        pktexport();
    } else if (cfg.mailertype == MAILER_ARCMAIL) {
        msgexport();
    } else {
        outboundexport();
    }
    closeexportcounts();
    if (!cfg.separatemsg) {
        genreplyfile(REPLY_MAIL);
        genreplyfile(REPLY_NEWS);
    }
    printstats();
    // What the units queued is settled before reply files are rewritten.
    journalcheckpoint();
    // Also what earlier runs kept: a run that found nothing new still delivers.
    (void)deliverreplies();
    return 0;
}
