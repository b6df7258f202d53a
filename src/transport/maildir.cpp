#include "transport/maildir.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "base/fileio.h"
#include "durable/durablefile.h"

namespace {
constexpr char INFO[] = ":2,";

bool isdir(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool islink(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

// The flags of a name's info, or npos when it has none.
std::size_t flagspos(const std::string& name) {
    std::size_t p = name.rfind(INFO);
    return p == std::string::npos ? p : p + sizeof INFO - 1;
}

bool isseen(const std::string& name) {
    std::size_t p = flagspos(name);
    return p != std::string::npos && name.find('S', p) != std::string::npos;
}

bool addfolder(const std::string& dir, const char* sub, bool cur, std::vector<maildirmsg>& out) {
    std::vector<std::string> names;
    if (!listdir(dir + sub, names)) return false;
    for (std::string& n : names) {
        if (n.empty() || n[0] == '.') continue;
        if (cur && isseen(n)) continue;
        out.push_back({sub, std::move(n)});
    }
    return true;
}

// Where a message's file is now: in cur/ under its unique name, if at all.
std::string findincur(const std::string& dir, const std::string& unique, curindex& index) {
    if (!index.read) {
        index.read = true;
        std::vector<std::string> names;
        if (listdir(dir + "cur/", names)) {
            for (std::string& n : names) index.names[n.substr(0, n.find(':'))] = std::move(n);
        }
    }
    auto it = index.names.find(unique);
    return it == index.names.end() ? std::string() : it->second;
}
}  // namespace

std::string maildirmsg::unique() const {
    return name.substr(0, name.find(':'));
}

std::string maildirproblem(const std::string& dir) {
    if (!isdir(dir)) return "ImportMaildir folder not found";
    if (!isdir(dir + "new") || !isdir(dir + "cur")) return "ImportMaildir without new/ and cur/";
    if (islink(dir + "new") || islink(dir + "cur")) return "ImportMaildir whose new/ or cur/ is a link";
    return "";
}

bool unseenmessages(const std::string& dir, std::vector<maildirmsg>& out) {
    out.clear();
    if (!addfolder(dir, "new/", false, out) || !addfolder(dir, "cur/", true, out)) {
        out.clear();
        return false;
    }
    return true;
}

std::string seenname(const std::string& name) {
    std::size_t p = flagspos(name);
    if (p == std::string::npos) return name.substr(0, name.find(':')) + INFO + "S";
    std::string flags = name.substr(p);
    if (flags.find('S') != std::string::npos) return name;
    flags.push_back('S');
    std::sort(flags.begin(), flags.end());
    return name.substr(0, p) + flags;
}

maildirfolders::~maildirfolders() {
    if (newfd >= 0) close(newfd);
    if (curfd >= 0) close(curfd);
}

bool maildirfolders::open(const std::string& d) {
    if (newfd >= 0) close(newfd);
    if (curfd >= 0) close(curfd);
    path = d;
    // new/ and cur/ are folders of the Maildir, never links out of it.
    newfd = ::open((d + "new").c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    curfd = ::open((d + "cur").c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    return newfd >= 0 && curfd >= 0;
}

int maildirfolders::fd(const std::string& sub) const {
    return sub == "new/" ? newfd : sub == "cur/" ? curfd : -1;
}

int markseen(const maildirfolders& md, const maildirmsg& m, curindex& index) {
    std::string to = seenname(m.name);
    if (m.sub == "cur/" && to == m.name) return 0;
    // A file of that name in cur/ (another program's) is never replaced.
    if (renamenoreplace(md.fd(m.sub), m.name, md.fd("cur/"), to) == 0) return 0;
    if (errno != ENOENT) return -1;
    std::string now = findincur(md.dir(), m.unique(), index);
    if (now.empty() || isseen(now)) return 0;  // gone, or marked already
    to = seenname(now);
    if (renamenoreplace(md.fd("cur/"), now, md.fd("cur/"), to) == 0) {
        index.names[m.unique()] = to;
        return 0;
    }
    return errno == ENOENT ? 0 : -1;
}

int removemessage(const maildirfolders& md, const maildirmsg& m, curindex& index) {
    if (unlinkat(md.fd(m.sub), m.name.c_str(), 0) == 0) return 0;
    if (errno != ENOENT) return -1;
    std::string now = findincur(md.dir(), m.unique(), index);
    if (now.empty()) return 0;
    if (unlinkat(md.fd("cur/"), now.c_str(), 0) == 0 || errno == ENOENT) {
        index.names.erase(m.unique());
        return 0;
    }
    return -1;
}
