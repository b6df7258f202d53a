#include "driver/startup.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <new>
#include <string_view>
#include <utility>

#include "base/clock.h"
#include "base/text.h"
#include "config/keywords.h"
#include "config/reader.h"
#include "config/settings.h"
#include "config/tables.h"
#include "driver/cmdline.h"
#include "driver/foldercheck.h"
#include "driver/log.h"
#include "driver/runrecord.h"
#include "driver/status.h"
#include "driver/runscope.h"
#include "driver/runstate.h"
#include "driver/setup.h"
#include "durable/journal.h"
#include "export/exportrun.h"
#include "export/ftnnames.h"
#include "import/importrun.h"
#include "lists/listfiles.h"
#include "lists/pack.h"
#include "show/view.h"

namespace {

void printbanner() {
    std::printf(PROGNAME "-%s v%d.%02d - FidoNet <-> Internet gateway for SOUP packets\n\n",
                PROGOS, VERMAJOR, VERMINOR);
    std::fflush(stdout);
}

}  // namespace

// TZ and TEMP are the only settings taken from the environment; the
// configuration's TimeZone and TempDir override them.
void takeenvironment() {
    if (const char* tz = std::getenv("TZ")) cfg.timezonestr = tz;
    if (const char* temp = std::getenv("TEMP")) configscandir(temp, cfg.tempdir);
}

// The essentials every command needs; the first one missing ends the run.
bool validateconfig() {
    const char* cf = run.configfile.c_str();
    if (cfg.gateaddr.zone == 0) {
        std::fprintf(stderr, "Error: no valid gateway Fido-address defined in %s\n", cf);
    } else if (tables.addrmap.empty()) {
        std::fprintf(stderr, "Error: no address mappings defined in %s\n", cf);
    } else if (cfg.mailertype == MAILER_NONE) {
        std::fprintf(stderr, "Error: no valid mailer type defined in %s\n", cf);
    } else if (cfg.indir.empty() || cfg.soupdir.empty() ||
               (cfg.mailertype == MAILER_BINKLEY && cfg.outdir.empty()) ||
               (cfg.mailertype == MAILER_ARCMAIL && cfg.netdir.empty())) {
        std::fprintf(stderr, "Error: required directories not defined in %s\n", cf);
        std::string missing;
        const std::pair<const char*, bool> dirs[] = {
            {"InboundDir", cfg.indir.empty()},
            {"SoupDir", cfg.soupdir.empty()},
            {"OutboundDir", cfg.mailertype == MAILER_BINKLEY && cfg.outdir.empty()},
            {"NetmailDir", cfg.mailertype == MAILER_ARCMAIL && cfg.netdir.empty()}};
        for (const auto& [name, gone] : dirs)
            if (gone) missing += (missing.empty() ? "" : ", ") + std::string(name);
        std::fprintf(stderr, "- missing: %s\n", missing.c_str());
    } else {
        return true;
    }
    return false;
}

namespace {

// The program's path as argv[0] gives it. A bare name (no "/") is what a
// shell passes for a program it found through PATH: the same search finds
// where it lies, so that the files beside it are found from any folder.
std::string programpath(const char* argv0) {
    std::string name = argv0;
    if (name.empty() || name.find('/') != std::string::npos) return name;
    const char* path = std::getenv("PATH");
    if (!path) return name;
    std::string_view dirs = path;
    for (;;) {
        std::size_t colon = dirs.find(':');
        // An empty entry is the working folder.
        std::string_view entry = dirs.substr(0, colon);
        std::string candidate(entry.empty() ? std::string_view(".") : entry);
        candidate.push_back('/');
        candidate.append(name);
        struct stat st {};
        if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
        if (colon == std::string_view::npos) return name;
        dirs.remove_prefix(colon + 1);
    }
}

void checkdirectories() {
    // Without TempDir the folder comes from TEMP; with neither there is
    // no name to look for, only the keyword to name.
    if (cfg.tempdir.empty()) {
        logprintf("FATAL ERROR: no folder for temporary files\n"
                  "- missing: TempDir, and TEMP is not set\n");
        std::exit(1);
    }
    checkdir(cfg.tempdir.str(), "TempDir");
    checkdir(cfg.indir.str(), "InboundDir");
    if (cfg.mailertype == MAILER_BINKLEY) checkdir(cfg.outdir.str(), "OutboundDir");
    if (cfg.mailertype == MAILER_ARCMAIL) checkdir(cfg.netdir.str(), "NetmailDir");
    checkdir(cfg.soupdir.str(), "SoupDir");
    checkdir(cfg.decodedir.str(), configplaceof("DecodeDir") ? "DecodeDir" : "InboundDir");
    // A packet folder that is not there would read as one with no mail.
    if (!run.packetdir.empty()) checkdir(run.packetdir.str());
}

void limitexportcounts() {
    if (cfg.exportmaxto == 0 || cfg.exportmaxto > 1024) cfg.exportmaxto = 1024;
    if (cfg.exportmaxxpost == 0 || cfg.exportmaxxpost > 1024) cfg.exportmaxxpost = 1024;
}

// The list files an interrupted run's recovery put back are indexed anew.
void reindexrestored(const recoveryinfo& info) {
    for (listrecord& rec : lists.listconfig) {
        bool restored = false;
        for (const std::string& p : info.restored) restored = restored || p == rec.listfile;
        if (restored && reindexlist(rec) != 0)
            logprintf("! error obtaining user data from file %s\n", rec.listfile.c_str());
    }
}

const char* commandname() {
    switch (run.mode) {
        case MODE_IMPORT: return "import";
        case MODE_EXPORT: return "export";
        default: return "pack";
    }
}

// The errors of the configuration, counted; they went to the screen.
void reporterrors() {
    logprintf("%ld error%s in the configuration: import, export and pack do nothing until %s mended\n",
              run.configerrors, run.configerrors == 1 ? "" : "s",
              run.configerrors == 1 ? "it is" : "they are");
}

int runcommand() {
    if (run.mode == MODE_CHECK || run.mode == MODE_NONE) {
        std::string left = journalpending(cfg.soupdir.str() + "pondlark.jnl");
        if (!left.empty()) logprintf("Note: %s\n", left.c_str());
        checkfolders();
        warnopengateway();
        // Warnings go to the screen only; the log keeps their number.
        if (run.configwarnings > 0) {
            logprintf("%ld warning%s in the configuration\n", run.configwarnings,
                      run.configwarnings == 1 ? "" : "s");
        }
        if (run.configerrors > 0) reporterrors();
        logprintf("Configuration checked. Nothing more to do.\n");
        // A script tells from the status whether the gateway can run.
        return run.configerrors > 0 ? 1 : 0;
    }
    // A configuration with an error is not used: the command stops before
    // it touches anything (the log says why).
    if (run.configerrors > 0) {
        reporterrors();
        return 1;
    }
    std::time_t start = nowtime();
    // Whatever a killed run left is finished or taken back first.
    recoveryinfo info;
    setupscope();
    if (journalstart(commandname(), cfg.syncwrites, info) != 0) return 1;
    reindexrestored(info);
    int status = 0;
    switch (run.mode) {
        case MODE_IMPORT: status = runimport(); break;
        case MODE_EXPORT: status = runexport(); break;
        default: status = packlists(); break;
    }
    noterun(commandname(), start, status);
    journalfinish();
    return status;
}

}  // namespace

void outofmemory() {
    logoutofmemory();
    std::_Exit(255);
}

void checkdir(const std::string& path, const char* keyword) {
    std::string dir = path;
    std::size_t slash = path.rfind('/');
    if (slash != std::string::npos) dir = path.substr(0, slash);
    // The root directory is named "/" alone: its part before the slash is empty.
    std::string probe = (dir.empty() && slash == 0) ? std::string("/") : dir;
    // A plain file where a directory belongs is as unusable as a missing one.
    struct stat st {};
    if (probe.empty() || stat(probe.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        logprintf("FATAL ERROR: subdirectory %s does not exist\n", dir.c_str());
        // Which line names it, so that it can be mended.
        const configplace* p = keyword ? configplaceof(keyword) : nullptr;
        if (p) logprintf("- %s\n", describeplace(*p).c_str());
        std::exit(1);
    }
}

namespace {

// Commands that print no banner: their output may be piped on, compared
// or read by another program. Each gets the arguments after its word and
// reads the configuration itself when it needs one (status does, show
// does not).
struct standalonecommand {
    const char* word;
    int (*runner)(int argc, char** argv);
    bool letter;  // may be abbreviated to its first letter
};
constexpr standalonecommand standalone[] = {
    {"show", runshow, true},
    // "s" stays show's.
    {"setup", runsetup, false},
    {"status", runstatus, false},
};

// The standalone command argv[1] names (whole word or first letter), or null.
const standalonecommand* findstandalone(int argc, char** argv) {
    if (argc < 2) return nullptr;
    for (const auto& c : standalone)
        if (strieq(argv[1], c.word) || (c.letter && strieq(argv[1], std::string_view(c.word, 1)))) return &c;
    return nullptr;
}

}  // namespace

int runmain(int argc, char** argv) {
    if (const standalonecommand* c = findstandalone(argc, argv)) {
        std::set_new_handler(outofmemory);
        run = runstate{};
        if (argv[0]) run.progpath = programpath(argv[0]);
        return c->runner(argc - 2, argv + 2);
    }
    printbanner();
    run = runstate{};
    if (argc > 0 && argv[0]) run.progpath = programpath(argv[0]);
    parsecommandline(argc, argv);
    std::set_new_handler(outofmemory);
    takeenvironment();
    if (readconfigfile(run.configfile.str(), run.progpath.str()) != 0) return 1;
    if (!validateconfig()) return 1;
    if (cfg.decodedir.empty()) cfg.decodedir = cfg.indir;
    checkdirectories();
    limitexportcounts();
    if (cfg.bounceaddress.empty()) cfg.bounceaddress = gatewaymailbox();
    openlog(cfg.logfile.str());
    int status = runcommand();
    closelog();
    return status;
}
