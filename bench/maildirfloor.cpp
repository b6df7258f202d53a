// The floor of taking a Maildir in: every message of new/ read once and
// renamed into cur/ with the seen flag, and nothing else, the way the
// fastest program could do what taking the messages in must do.
//   maildirfloor <maildir>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    std::string dir = argv[1];
    int newfd = open((dir + "/new").c_str(), O_RDONLY | O_DIRECTORY);
    int curfd = open((dir + "/cur").c_str(), O_RDONLY | O_DIRECTORY);
    DIR* d = fdopendir(dup(newfd));
    if (newfd < 0 || curfd < 0 || !d) return 1;
    std::vector<std::string> names;
    while (dirent* e = readdir(d)) {
        if (e->d_name[0] != '.') names.push_back(e->d_name);
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    static char buf[1 << 16];
    for (const std::string& n : names) {
        int fd = openat(newfd, n.c_str(), O_RDONLY);
        if (fd < 0) return 1;
        while (read(fd, buf, sizeof buf) > 0) {
        }
        close(fd);
    }
    for (const std::string& n : names) {
        if (renameat(newfd, n.c_str(), curfd, (n + ":2,S").c_str()) != 0) return 1;
    }
    return 0;
}
