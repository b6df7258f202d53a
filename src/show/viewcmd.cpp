// pondlark show: which kind of file each argument is, and its view on
// standard output.
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "base/fileio.h"
#include "base/termsafe.h"
#include "base/text.h"
#include "driver/log.h"
#include "import/soup.h"
#include "pkt/pktappend.h"
#include "show/view.h"
#include "show/viewtext.h"

namespace {

namespace fs = std::filesystem;

bool isindexname(const std::string& path) {
    std::string name = fs::path(path).filename().string();
    return strieq(name, "AREAS") || strieq(name, "REPLIES");
}

// The index lines (prefix, name or kind, format) of AREAS or REPLIES.
std::vector<std::string> readindex(std::FILE* f) {
    std::vector<std::string> lines;
    char buf[1024];
    std::string line;
    while (std::fgets(buf, sizeof buf, f)) {
        line += buf;
        if (line.back() != '\n') continue;
        line.pop_back();
        lines.push_back(line);
        line.clear();
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

// The format that an index beside the file gives it (REPLIES for reply
// files, AREAS for an inbound packet), or FORMAT_UNKNOWN.
int formatfromindex(const std::string& path) {
    fs::path p(path);
    std::string stem = p.filename().string();
    if (!iendswith(stem, MESSAGEEXT)) return FORMAT_UNKNOWN;
    stem.resize(stem.size() - std::string_view(MESSAGEEXT).size());
    for (const char* index : {"REPLIES", "AREAS"}) {
        fileptr f = openfile((p.parent_path() / index).string(), "r");
        if (!f) continue;
        for (const std::string& line : readindex(f.get())) {
            souparea a;
            if (parsearealine(line, a) == AREA_OK && a.prefix == stem) return a.msgformat;
        }
    }
    return FORMAT_UNKNOWN;
}

std::string messagefileof(const std::string& indexpath, const std::string& prefix) {
    return (fs::path(indexpath).parent_path() / (prefix + MESSAGEEXT)).string();
}

int viewfile(const std::string& path, const viewoptions& o, std::string& out);

// AREAS or REPLIES: its lines, then every message file it names.
int viewindex(std::FILE* f, const std::string& path, const viewoptions& o, std::string& out) {
    std::vector<std::string> lines = readindex(f);
    pktappendf(out, "# %s: SOUP index, %zu line%s\n", path.c_str(), lines.size(),
               lines.size() == 1 ? "" : "s");
    for (const std::string& l : lines) out += "#   " + viewfield(l) + "\n";
    int status = 0;
    for (const std::string& l : lines) {
        souparea a;
        if (parsearealine(l, a) != AREA_OK) continue;
        std::string file = messagefileof(path, a.prefix);
        fileptr m = openfile(file, "rb");
        out += "\n";
        if (!m) {
            out += "# " + file + ": can't be read\n";
            status = 1;
            continue;
        }
        if (viewsoupfile(m.get(), file, a.msgformat, o, out) != 0) status = 1;
    }
    return status;
}

int viewfile(const std::string& path, const viewoptions& o, std::string& out) {
    struct stat st {};
    fileptr f;
    if (stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode) || !(f = openfile(path, "rb"))) {
        screenprintf("Error: can't read %s\n", path.c_str());
        return 1;
    }
    if (isindexname(path)) return viewindex(f.get(), path, o, out);
    unsigned char head[256];
    std::size_t n = std::fread(head, 1, sizeof head, f.get());
    std::rewind(f.get());
    std::string text(reinterpret_cast<const char*>(head), n);
    if (ispacketheader(head, n)) return viewpacket(f.get(), path, o, out);
    int format = formatfromindex(path);
    if (format == FORMAT_UNKNOWN) format = guesssoupformat(text);
    if (format != FORMAT_UNKNOWN && format != FORMAT_BINARY)
        return viewsoupfile(f.get(), path, format, o, out);
    if (isstoredheader(head, n)) return viewstoredmsg(f.get(), path, o, out);
    if (format == FORMAT_BINARY) return viewsoupfile(f.get(), path, format, o, out);
    screenprintf("Error: %s is no FidoNet packet, stored message or SOUP file\n", path.c_str());
    return 1;
}

}  // namespace

int runshow(int argc, char** argv) {
    viewoptions o;
    std::vector<std::string> files;
    for (int i = 0; i < argc; ++i) {
        std::string a = argv[i];
        if (strieq(a, "/raw") || strieq(a, "-raw")) {
            o.raw = true;
        } else {
            files.push_back(a);
        }
    }
    if (files.empty()) {
        std::fputs(
            "Usage: pondlark show [/raw] <file>...\n\n"
            "Shows FidoNet packets, stored netmail messages (*.MSG) and SOUP files\n"
            "(AREAS, REPLIES and their message files) readably. /raw shows the bytes\n"
            "as they are, with no character set converted.\n",
            stdout);
        return 1;
    }
    int status = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        std::string out;
        if (viewfile(files[i], o, out) != 0) status = 1;
        // An empty line between files.
        if (i > 0 && !out.empty() && writeall(stdout, "\n", 1) != 0) return 1;
        // The last guard before the terminal: whatever a description took
        // over without escaping (a file name, a remark) is escaped here.
        if (!istermsafe(out, TERM_NEWLINE | TERM_TAB)) out = termsafe(out, TERM_NEWLINE | TERM_TAB);
        if (writeall(stdout, out.data(), out.size()) != 0 || std::fflush(stdout) != 0) return 1;
    }
    return status;
}
