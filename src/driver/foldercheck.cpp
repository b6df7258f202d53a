#include "driver/foldercheck.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "config/reader.h"
#include "config/settings.h"
#include "driver/runstate.h"

namespace {

struct namedfolder {
    std::string keyword;
    std::string path;
};

std::vector<namedfolder> writtenfolders() {
    std::vector<namedfolder> f;
    auto add = [&f](const char* keyword, const std::string& path) {
        if (path.empty()) return;
        for (const namedfolder& n : f)
            if (n.path == path) return;
        f.push_back({keyword, path});
    };
    add("InboundDir", cfg.indir.str());
    if (cfg.mailertype == MAILER_BINKLEY) add("OutboundDir", cfg.outdir.str());
    if (cfg.mailertype == MAILER_ARCMAIL) add("NetmailDir", cfg.netdir.str());
    add("SoupDir", cfg.soupdir.str());
    add("DecodeDir", cfg.decodedir.str());
    add("TempDir", cfg.tempdir.str());
    for (const maildirsource& m : cfg.importmaildir) {
        add("ImportMaildir", m.dir);
        add("ImportMaildir", m.dir + "new/");
        add("ImportMaildir", m.dir + "cur/");
    }
    for (const std::string& d : cfg.importnewsbatches) add("ImportNewsBatches", d);
    std::string log = cfg.logfile.str();
    std::size_t slash = log.rfind('/');
    if (!log.empty()) add("LogFile", slash == std::string::npos ? "./" : log.substr(0, slash + 1));
    return f;
}

std::string username(uid_t uid) {
    if (const passwd* pw = getpwuid(uid)) return pw->pw_name;
    return std::string("#").append(std::to_string(uid));
}

std::string groupname(gid_t gid) {
    if (const group* gr = getgrgid(gid)) return gr->gr_name;
    return std::string("#").append(std::to_string(gid));
}

// The warning, with the line that set the folder where one keyword alone
// names it ("Warning: <text> in line <n> of <file>: <line>").
void warn(const std::string& keyword, const std::string& text) {
    ++run.configwarnings;
    const configplace* p = nullptr;
    if (keyword != "ImportMaildir" && keyword != "ImportNewsBatches") p = configplaceof(keyword);
    std::string where = p ? " in line " + std::to_string(p->line) + " of " + p->path + ": " + p->text : "";
    std::fprintf(stderr, "Warning: %s%s\n\n", text.c_str(), where.c_str());
}

}  // namespace

void checkfolders() {
    bool root = geteuid() == 0;
    for (const namedfolder& f : writtenfolders()) {
        struct stat st {};
        if (stat(f.path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) continue;
        if (st.st_mode & S_IWOTH) {
            warn(f.keyword, f.keyword + " " + f.path + " is writable by every user" +
                 (st.st_mode & S_ISVTX ? " (sticky)" : "") +
                 ": anyone can plant files and links where PondLark writes");
        } else if (root && st.st_uid != 0) {
            warn(f.keyword, f.keyword + " " + f.path + " belongs to user " + username(st.st_uid) +
                 ", and PondLark runs as root: run it as that user");
        } else if (root && st.st_gid != 0 && (st.st_mode & S_IWGRP)) {
            warn(f.keyword, f.keyword + " " + f.path + " is writable by group " + groupname(st.st_gid) +
                 ", and PondLark runs as root: run it as a user of its own");
        }
    }
}
