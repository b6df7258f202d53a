// A journal and a staging plan that someone else wrote into the SOUP
// folder, then recovery and the finishing of the plan: whatever they
// name, nothing outside the gateway's folders may change. The input's
// first part is journal records, a line each ("X<TAB>path<TAB>...", the
// record's CRC added here so that the fuzzer reaches the recovery); the
// second part is the staging plan as it stands in its file. Files outside:
// outside/v, outside/d/ and outside/listed, the last of which the flow
// file in the outbound asks to have deleted (and so may go). A field
// "@id:<path>" or "@ino:<path>" becomes the identity or the inode of that
// path, as someone who can look at the files would write them.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <initializer_list>
#include <string>
#include <vector>

#include "config/settings.h"
#include "durable/journal.h"
#include "durable/pathscope.h"
#include "durable/recovery.h"
#include "export/vouch.h"
#include "fuzzutil.h"
#include "transport/stagingplan.h"

namespace {

std::string journalof(std::string_view lines) {
    std::string out = encoderecord('H', {"PondLark journal", "1", "export", "1", "0"});
    while (!lines.empty()) {
        std::size_t nl = lines.find('\n');
        std::string_view line = lines.substr(0, nl);
        lines.remove_prefix(nl == std::string_view::npos ? lines.size() : nl + 1);
        if (line.empty()) continue;
        std::vector<std::string_view> f;
        std::string_view rest = line.substr(1);
        if (!rest.empty() && rest[0] == '\t') rest.remove_prefix(1);
        while (!rest.empty()) {
            std::size_t tab = rest.find('\t');
            f.push_back(rest.substr(0, tab));
            rest.remove_prefix(tab == std::string_view::npos ? rest.size() : tab + 1);
        }
        std::vector<std::string> g;
        for (std::string_view field : f) {
            fileid id;
            if (field.substr(0, 4) == "@id:") {
                id = identify(std::string(field.substr(4)));
                g.push_back(std::to_string(id.ino) + ":" + std::to_string(id.size) + ":" +
                            std::to_string(id.mtime));
            } else if (field.substr(0, 5) == "@ino:") {
                g.push_back(std::to_string(identify(std::string(field.substr(5))).ino));
            } else {
                g.emplace_back(field);
            }
        }
        g.resize(4);
        std::size_t n = f.size() < 4 ? f.size() : 4;
        switch (n) {
            case 0: out += encoderecord(line[0], {}); break;
            case 1: out += encoderecord(line[0], {g[0]}); break;
            case 2: out += encoderecord(line[0], {g[0], g[1]}); break;
            case 3: out += encoderecord(line[0], {g[0], g[1], g[2]}); break;
            default: out += encoderecord(line[0], {g[0], g[1], g[2], g[3]}); break;
        }
    }
    return out;
}

// Whether dir holds no entry but those named.
bool holdsonly(const char* dir, std::initializer_list<std::string_view> names) {
    DIR* d = opendir(dir);
    if (!d) return false;
    bool only = true;
    while (dirent* e = readdir(d)) {
        std::string_view n = e->d_name;
        bool known = n == "." || n == "..";
        for (std::string_view k : names) known = known || n == k;
        only = only && known;
    }
    closedir(d);
    return only;
}

std::string content(const std::string& path) {
    std::string data;
    if (readshared(path, data) != 0) return "(missing)";
    return data;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzreset();
    std::vector<std::string_view> parts = fuzzparts(fuzzinput(data, size), 2);
    for (const char* d : {"gate/in/.keep", "gate/out/.keep", "gate/tmp/.keep", "gate/md/new/1.A",
                          "gate/md/cur/.keep", "gate/nb/b1", "outside/d/.keep"})
        fuzzfile(d, "");
    fuzzfile("outside/v", "precious\n");
    fuzzfile("outside/listed", "sent\n");
    fuzzfile("gate/out/01180001.FLO", "^outside/listed\n");
    fuzzfile("gate/soup/AREAS", "MDIR0000\tEmail\tbn\n");
    fuzzfile("gate/soup/MDIR0000.MSG", "");
    if (parts.size() > 1) fuzzfile("gate/soup/pondlark.stg", parts[1]);
    fuzzworkdir work;
    if (!work.entered()) return 0;
    // Identities are of the files here.
    fuzzfile("gate/soup/pondlark.jnl", journalof(parts[0]));
    if (symlink("../../outside", "gate/soup/link") != 0 || symlink("../../outside/v", "gate/soup/leaf") != 0)
        std::abort();
    cfg.soupdir = "./gate/soup/";
    cfg.outdir = "./gate/out/";
    cfg.indir = "./gate/in/";
    cfg.importmaildir.push_back({"./gate/md/", 0});
    cfg.importnewsbatches.push_back("./gate/nb/");
    for (const char* d : {"./gate/soup/", "./gate/out/", "./gate/in/", "./gate/md/", "./gate/nb/"})
        scopefolder(d);
    scope.vouch = listedforaction;
    recoveryinfo info;
    (void)recoverjournal("./gate/soup/pondlark.jnl", info);
    (void)finishplan();
    struct stat st {};
    if (content("outside/v") != "precious\n" || lstat("outside/d/.keep", &st) != 0 ||
        !holdsonly("outside/d", {".keep"}) || !holdsonly("outside", {"d", "v", "listed"}) ||
        (lstat("outside/listed", &st) == 0 && content("outside/listed") != "sent\n"))
        std::abort();
    return 0;
}
