#include "transport/maildir.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "driver/fileio.h"

namespace {
constexpr char INFO[] = ":2,";

bool isdir(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
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

int markseen(const std::string& dir, const maildirmsg& m, curindex& index) {
    std::string from = dir + m.sub + m.name;
    std::string to = dir + "cur/" + seenname(m.name);
    if (from == to) return 0;
    if (std::rename(from.c_str(), to.c_str()) == 0) return 0;
    if (errno != ENOENT) return -1;
    std::string now = findincur(dir, m.unique(), index);
    if (now.empty() || isseen(now)) return 0;  // gone, or marked already
    from = dir + "cur/" + now;
    to = dir + "cur/" + seenname(now);
    if (std::rename(from.c_str(), to.c_str()) == 0) {
        index.names[m.unique()] = seenname(now);
        return 0;
    }
    return errno == ENOENT ? 0 : -1;
}

int removemessage(const std::string& dir, const maildirmsg& m, curindex& index) {
    std::string path = dir + m.sub + m.name;
    if (std::remove(path.c_str()) == 0) return 0;
    if (errno != ENOENT) return -1;
    std::string now = findincur(dir, m.unique(), index);
    if (now.empty()) return 0;
    path = dir + "cur/" + now;
    if (std::remove(path.c_str()) == 0 || errno == ENOENT) {
        index.names.erase(m.unique());
        return 0;
    }
    return -1;
}
