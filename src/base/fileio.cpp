#include "base/fileio.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>

fileptr openfile(const std::string& path, const char* mode) {
    return fileptr(std::fopen(path.c_str(), mode));
}

int closefile(std::FILE* f) {
    if (!f) return 0;
    int bad = std::ferror(f);
    if (std::fflush(f) != 0) bad = 1;
    if (std::fclose(f) != 0) bad = 1;
    return bad ? -1 : 0;
}

int closefile(fileptr& f) { return closefile(f.release()); }

int writeall(std::FILE* f, const void* data, std::size_t n) {
    if (n == 0) return 0;
    return std::fwrite(data, 1, n, f) == n ? 0 : -1;
}

bool listdir(const std::string& dir, std::vector<std::string>& names) {
    names.clear();
    DIR* d = opendir(dir.empty() ? "." : dir.c_str());
    if (!d) return false;
    while (dirent* e = readdir(d)) {
        std::string n = e->d_name;
        if (n == "." || n == "..") continue;
        names.push_back(std::move(n));
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    return true;
}

long filelength(std::FILE* f) {
    struct stat st {};
    if (fstat(fileno(f), &st) != 0) return -1;
    return static_cast<long>(st.st_size);
}
