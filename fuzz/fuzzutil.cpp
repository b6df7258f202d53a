#include "fuzzutil.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "base/fileio.h"
#include "driver/resetall.h"

namespace fs = std::filesystem;

const std::string& fuzzdir() {
    static std::string dir = [] {
        // Memory-backed when the machine has it: every input writes files.
        std::error_code ec;
        fs::path base = fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path();
        std::string tmpl = (base / "pondlark-fuzz-XXXXXX").string();
        if (!mkdtemp(tmpl.data())) std::abort();
        // The folder goes with the process; its name is kept where static
        // destructors cannot free it before the exit handler runs.
        static char made[4096];
        std::snprintf(made, sizeof made, "%s", tmpl.c_str());
        std::atexit([] {
            std::error_code e;
            fs::remove_all(made, e);
        });
        return tmpl + "/";
    }();
    return dir;
}

void fuzzreset() {
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(fuzzdir(), ec)) fs::remove_all(e.path(), ec);
    resetall();
}

fuzzworkdir::fuzzworkdir() {
    std::error_code ec;
    home = fs::current_path(ec).string();
    ok = !ec && chdir(fuzzdir().c_str()) == 0;
}

fuzzworkdir::~fuzzworkdir() {
    if (!home.empty() && chdir(home.c_str()) != 0) std::abort();
}

std::string fuzzfile(const std::string& name, std::string_view bytes) {
    std::string path = fuzzdir() + name;
    fs::create_directories(fs::path(path).parent_path());
    fileptr f = openfile(path, "wb");
    if (!f || writeall(f.get(), bytes.data(), bytes.size()) != 0 || closefile(f) != 0) std::abort();
    return path;
}

std::vector<std::string_view> fuzzparts(std::string_view input, std::size_t maxparts) {
    std::vector<std::string_view> parts;
    constexpr std::string_view sep = "\n----\n";
    while (parts.size() + 1 < maxparts) {
        std::size_t at = input.find(sep);
        if (at == std::string_view::npos) break;
        parts.push_back(input.substr(0, at + 1));
        input.remove_prefix(at + sep.size());
    }
    parts.push_back(input);
    return parts;
}
