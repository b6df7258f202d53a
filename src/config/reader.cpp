#include "config/reader.h"

#include <cstdio>

int readconfigfile(const std::string& name, const std::string& progpath) {
    (void)progpath;
    std::fprintf(stderr, "Error: can't read %s\n", name.c_str());
    return 1;
}

void configwarn(const char* msg, long line, const std::string& path) {
    std::fprintf(stderr, "Warning: %s in line %ld of %s\n\n", msg, line, path.c_str());
}

void configscandir(std::string_view par, pathtext& dest) {
    dest = par;
    if (par.size() <= 4093 && (par.empty() || par.back() != '/')) dest.append("/");
}
