#include "export/scandate.h"

#include "base/bytes.h"
#include "base/clock.h"
#include "base/fileio.h"
#include "config/settings.h"
#include "driver/log.h"
#include "durable/journal.h"
#include "export/replacefile.h"

namespace {

constexpr std::size_t SCANDATESIZE = 8;

std::time_t readscandate(const std::string& path) {
    fileptr f = openshared(path, "rb");
    unsigned char raw[SCANDATESIZE];
    if (!f || std::fread(raw, 1, sizeof raw, f.get()) != sizeof raw) return 0;
    if (get32le(raw) != 0) return 0;
    return static_cast<std::time_t>(get32le(raw + 4));
}

void writescandate(const std::string& path, std::time_t now) {
    unsigned char raw[SCANDATESIZE];
    put32le(raw, 0);
    put32le(raw + 4, static_cast<std::uint32_t>(now));
    replacement r;
    bool ok = beginreplace(path, r) == 0;
    if (ok && writeall(r.f.get(), raw, sizeof raw) != 0) {
        abortreplace(r);
        ok = false;
    }
    if (ok) ok = commitreplace(r) == 0;
    if (!ok) logprintf("! can't write %s\n", path.c_str());
}

}  // namespace

std::time_t quickscandate(const std::string& netdir, std::time_t& started) {
    started = nowtime();
    if (!cfg.quickscan) return 0;
    return readscandate(netdir + SCANDATEFILE);
}

void recordscandate(const std::string& netdir, std::time_t started) {
    if (!cfg.quickscan) return;
    // A unit of its own, so that a killed run leaves no temporary file.
    unitbegin("scandate", "");
    writescandate(netdir + SCANDATEFILE, started);
    if (unitcommit() != 0) unitabandon();
}
