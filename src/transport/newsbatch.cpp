#include "transport/newsbatch.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/text.h"

namespace {
constexpr char COUNTLINE[] = "#! rnews ";
constexpr std::size_t COUNTLEN = sizeof COUNTLINE - 1;
// A count line is short; one longer than this is damage.
constexpr std::size_t MAXCOUNTLINE = 254;

bool readat(int fd, long at, char* buf, std::size_t n, std::size_t& got) {
    got = 0;
    while (got < n) {
        ssize_t r = pread(fd, buf + got, n - got, at + static_cast<long>(got));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return false;
        if (r == 0) break;
        got += static_cast<std::size_t>(r);
    }
    return true;
}

// Parses a count line (without its line feed); -1 when it is none.
long countof(std::string_view line, long limit) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.substr(0, COUNTLEN) != COUNTLINE) return -1;
    std::size_t i = COUNTLEN;
    while (i < line.size() && line[i] == ' ') ++i;
    long count = 0;
    std::size_t digits = 0;
    for (; i < line.size() && isdigitc(static_cast<unsigned char>(line[i])); ++i, ++digits) {
        count = count * 10 + (line[i] - '0');
        if (count > limit) return -1;
    }
    return digits == 0 ? -1 : count;
}

void addgroups(std::string_view value, std::vector<std::string>& out) {
    std::size_t pos = 0;
    while (pos <= value.size()) {
        std::size_t comma = value.find(',', pos);
        std::string_view item = value.substr(pos, comma == std::string_view::npos ? value.npos : comma - pos);
        std::string g(item);
        trim(g);
        // A group is printable ASCII without blanks: it becomes an area
        // name in AREAS and, after "AREA:", in a packet.
        bool clean = !g.empty();
        for (unsigned char c : g) {
            if (c <= ' ' || c >= 0x7f) clean = false;
        }
        if (clean) out.push_back(std::move(g));
        if (comma == std::string_view::npos) break;
        pos = comma + 1;
    }
}
}  // namespace

std::string batchfolderproblem(const std::string& dir) {
    struct stat st {};
    if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return "ImportNewsBatches folder not found";
    DIR* d = opendir(dir.c_str());
    if (!d) return "unreadable ImportNewsBatches folder";
    closedir(d);
    if (access(dir.c_str(), W_OK | X_OK) != 0) return "ImportNewsBatches folder not writable";
    return "";
}

bool isnewsbatch(int fd) {
    char buf[COUNTLEN];
    std::size_t got = 0;
    return readat(fd, 0, buf, sizeof buf, got) && got == sizeof buf &&
           std::string_view(buf, got) == COUNTLINE;
}

bool isnewsbatch(const std::string& path) {
    int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = isnewsbatch(fd);
    close(fd);
    return ok;
}

bool readbatch(int fd, long size, std::vector<batcharticle>& out) {
    out.clear();
    long pos = 0;
    char buf[MAXCOUNTLINE + 1];
    while (pos < size) {
        std::size_t got = 0;
        if (!readat(fd, pos, buf, sizeof buf, got)) return false;
        std::string_view chunk(buf, got);
        std::size_t nl = chunk.find('\n');
        if (nl == std::string_view::npos) return false;
        long count = countof(chunk.substr(0, nl), size);
        long start = pos + static_cast<long>(nl) + 1;
        if (count < 0 || count > size - start) return false;
        out.push_back({start, count});
        pos = start + count;
    }
    return true;
}

std::vector<std::string> articlegroups(std::string_view header) {
    std::vector<std::string> out;
    std::size_t pos = 0;
    while (pos < header.size()) {
        std::size_t nl = header.find('\n', pos);
        std::size_t end = nl == std::string_view::npos ? header.size() : nl;
        std::string_view line = header.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) break;
        pos = end + 1;
        if (!istartswith(line, "Newsgroups:")) continue;
        std::string value(line.substr(11));
        // Folded continuation lines belong to the field.
        while (pos < header.size() && (header[pos] == ' ' || header[pos] == '\t')) {
            std::size_t n2 = header.find('\n', pos);
            std::size_t e2 = n2 == std::string_view::npos ? header.size() : n2;
            value.append(header.substr(pos, e2 - pos));
            pos = e2 + 1;
        }
        addgroups(value, out);
        break;
    }
    return out;
}
