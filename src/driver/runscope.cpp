#include "driver/runscope.h"

#include <sys/stat.h>

#include <string>
#include <vector>

#include "base/fileio.h"
#include "base/text.h"
#include "config/settings.h"
#include "driver/runstate.h"
#include "durable/pathscope.h"
#include "export/vouch.h"
#include "lists/listfiles.h"

namespace {

// The zone folders beside OutboundDir ("outbound.002/", any letter case),
// spelled as export makes their paths.
void scopezonefolders() {
    std::string out = cfg.outdir.str();
    if (out.size() < 2 || out.back() != '/') return;
    std::string dir = out.substr(0, out.size() - 1);
    std::size_t slash = dir.rfind('/');
    std::string parent = slash == std::string::npos ? "" : dir.substr(0, slash + 1);
    std::string leaf = slash == std::string::npos ? dir : dir.substr(slash + 1);
    std::vector<std::string> names;
    if (!listdir(parent, names)) return;
    for (const std::string& n : names) {
        if (n.size() != leaf.size() + 4 || !strieq(std::string_view(n).substr(0, leaf.size()), leaf) ||
            n[leaf.size()] != '.')
            continue;
        bool hex = true;
        for (std::size_t i = leaf.size() + 1; i < n.size(); ++i)
            hex = hex && isxdigitc(static_cast<unsigned char>(n[i]));
        if (hex) scopefolder(parent + n + "/");
    }
}

}  // namespace

void setupscope() {
    scope = pathscope{};
    for (const pathtext* dir : {&cfg.indir, &cfg.outdir, &cfg.netdir, &cfg.soupdir, &cfg.decodedir,
                                &cfg.tempdir, &run.packetdir})
        scopefolder(dir->str());
    scopezonefolders();
    for (const maildirsource& m : cfg.importmaildir) scopefolder(m.dir);
    for (const std::string& d : cfg.importnewsbatches) scopefolder(d);
    for (const listrecord& l : lists.listconfig) {
        scopefile(l.listfile);
        scopefile(listduplicatename(l.listfile));
        scopelisttemps(l.listfile);
    }
    scope.vouch = listedforaction;
}
