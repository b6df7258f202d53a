#include "driver/cmdline.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "base/text.h"
#include "driver/runstate.h"

void usage() {
    std::fputs(
        "Usage: (all commands & options can be abbreviated to their first letter)\n\n"
        "pondlark import      import mail from Internet -> Fidonet\n"
        "pondlark export      export mail from Fidonet -> Internet\n"
        "pondlark pack        pack mailinglist user files\n"
        "pondlark check       reads & checks all configuration files\n"
        "pondlark show <file> shows a packet, stored message or SOUP file readably\n"
        "pondlark setup postfix|inn  prints the lines that connect Postfix or INN\n"
        "\nCommandline options:\n\n"
        "/pkt=<dir>           export *.pkt for gateway in directory\n"
        "/config=<filename>   use <filename> as configuration file\n"
        "/test                don't delete mail/files after processing\n"
        "/verbose             display from/to information for every mail\n"
        "/global              display global statistics rather than per file\n",
        stdout);
    std::fflush(stdout);
    std::exit(1);
}

namespace {

struct commandword {
    const char* word;
    int mode;
};
constexpr commandword commands[] = {
    {"import", MODE_IMPORT}, {"export", MODE_EXPORT}, {"pack", MODE_PACK}, {"check", MODE_CHECK}};

// The whole word or its first letter, ignoring case.
bool iscommand(std::string_view arg, int& mode) {
    for (const auto& c : commands) {
        if (strieq(arg, c.word) || strieq(arg, std::string_view(c.word, 1))) {
            mode = c.mode;
            return true;
        }
    }
    return false;
}

void setpacketdir(std::string_view dir) {
    // Keep room for the "/" that every directory ends in.
    if (dir.size() > pathtext::capacity - 2) dir = dir.substr(0, pathtext::capacity - 2);
    run.packetdir = dir;
    if (dir.empty() || dir.back() != '/') run.packetdir.append("/");
}

void parseoption(std::string_view opt) {
    if (strieq(opt, "test") || strieq(opt, "t")) {
        run.testmode = 1;
    } else if (strieq(opt, "verbose") || strieq(opt, "v")) {
        run.verbose = 1;
    } else if (strieq(opt, "global") || strieq(opt, "g")) {
        run.globalstats = 1;
    } else if (istartswith(opt, "config=")) {
        run.configfile = opt.substr(7);
    } else if (istartswith(opt, "c=")) {
        run.configfile = opt.substr(2);
    } else if (istartswith(opt, "pkt=")) {
        setpacketdir(opt.substr(4));
    } else if (istartswith(opt, "p=")) {
        setpacketdir(opt.substr(2));
    } else {
        usage();
    }
}

}  // namespace

void parsecommandline(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        int mode = MODE_NONE;
        if (iscommand(arg, mode)) {
            run.mode = mode;
        } else if (!arg.empty() && (arg[0] == '/' || arg[0] == '-')) {
            parseoption(arg.substr(1));
        } else {
            usage();
        }
    }
    if (run.mode == MODE_NONE) usage();
    if (!run.packetdir.empty() && run.mode != MODE_EXPORT) usage();
}
