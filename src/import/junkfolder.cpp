#include "import/junkfolder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "base/fileio.h"
#include "config/settings.h"
#include "driver/log.h"
#include "durable/journal.h"
#include "durable/workfiles.h"
#include "import/fileoutput.h"

namespace {
constexpr char JUNKFOLDER[] = "junk/";
constexpr char JUNKEXT[] = ".eml";  // a message file mail programs open as it is
}  // namespace

int keepinjunk(std::FILE* f, const msgrange& r, std::string& name) {
    std::string dir = cfg.soupdir.str() + JUNKFOLDER;
    // Mail of other people: readable by the gateway's group, no one else.
    if (mkdir(dir.c_str(), 0750) != 0 && errno != EEXIST) {
        logprintf("Error creating %s\n", dir.c_str());
        return -1;
    }
    genfname(dir, JUNKEXT, name, outputtaken);
    fileptr out;
    if (unitoutput(name, PUBLISH_FILE) == 0) out = openfile(tempname(name), "wbx");
    if (!out) {
        unitdropoutput(name);
        logprintf("Error writing %s\n", tempname(name).c_str());
        return -1;
    }
    // Taken back with the message file's other output when that fails.
    notedecodedfile(name);
    std::vector<char> buf(64 * 1024);
    int bad = 0;
    for (long pos = r.start; bad == 0 && pos < r.end;) {
        std::size_t want = static_cast<std::size_t>(std::min<long>(r.end - pos, static_cast<long>(buf.size())));
        ssize_t got = pread(fileno(f), buf.data(), want, pos);
        if (got <= 0) {
            logprintf("Error reading the message kept in %s\n", name.c_str());
            bad = -1;
            break;
        }
        bad = writeall(out.get(), buf.data(), static_cast<std::size_t>(got));
        pos += got;
    }
    if (closefile(out) != 0) bad = -1;
    if (bad != 0) {
        logprintf("Error writing %s\n", tempname(name).c_str());
        return -1;
    }
    return outputcomplete(name);
}
