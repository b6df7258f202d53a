#include "transport/command.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern char** environ;

namespace {
// What of a command's output the log gets.
constexpr std::size_t MAXOUTPUT = 160;

std::string outputline(int fd) {
    char buf[MAXOUTPUT];
    ssize_t n = pread(fd, buf, sizeof buf, 0);
    std::string s;
    for (ssize_t i = 0; i < n; ++i) {
        unsigned char c = static_cast<unsigned char>(buf[i]);
        s.push_back(c < 0x20 ? ' ' : static_cast<char>(c));
    }
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

// SIGPIPE ignored while the object lives.
struct nosigpipe {
    struct sigaction old {};
    nosigpipe() {
        struct sigaction ign {};
        ign.sa_handler = SIG_IGN;
        sigaction(SIGPIPE, &ign, &old);
    }
    ~nosigpipe() { sigaction(SIGPIPE, &old, nullptr); }
};
}  // namespace

int splitcommand(std::string_view line, std::vector<std::string>& argv, std::string& problem) {
    argv.clear();
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        if (i >= line.size()) break;
        std::string word;
        bool quoted = false;
        for (; i < line.size(); ++i) {
            char c = line[i];
            if (c == '"') {
                quoted = !quoted;
                continue;
            }
            if (!quoted && (c == ' ' || c == '\t')) break;
            word.push_back(c);
        }
        if (quoted) {
            problem = "command has an unclosed quote";
            return -1;
        }
        argv.push_back(std::move(word));
    }
    if (argv.empty()) {
        problem = "command is empty";
        return -1;
    }
    if (argv[0].empty() || argv[0][0] != '/') {
        problem = "command must begin with /";
        return -1;
    }
    return 0;
}

std::string commandproblem(const std::vector<std::string>& argv) {
    struct stat st {};
    if (argv.empty() || stat(argv[0].c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
        access(argv[0].c_str(), X_OK) != 0)
        return "command not found";
    return "";
}

int writefd(int fd, std::string_view data) {
    const char* p = data.data();
    std::size_t n = data.size();
    while (n > 0) {
        ssize_t w = write(fd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return -1;
        p += w;
        n -= static_cast<std::size_t>(w);
    }
    return 0;
}

int runcommand(const std::vector<std::string>& argv, const std::function<int(int fd)>& feed,
               commandresult& r) {
    r = commandresult{};
    nosigpipe guard;
    int in[2];
    if (argv.empty() || pipe2(in, O_CLOEXEC) != 0) return r.status;
    int out = memfd_create("pondlark-command", MFD_CLOEXEC);
    if (out < 0) out = open("/dev/null", O_WRONLY | O_CLOEXEC);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, in[0], 0);
    if (out >= 0) {
        posix_spawn_file_actions_adddup2(&fa, out, 1);
        posix_spawn_file_actions_adddup2(&fa, out, 2);
    }
    pid_t pid = -1;
    int err = posix_spawn(&pid, args[0], &fa, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    close(in[0]);
    if (err != 0) {
        close(in[1]);
        if (out >= 0) close(out);
        r.output = std::strerror(err);
        return r.status;
    }
    int fed = feed(in[1]);
    close(in[1]);
    if (fed != 0) kill(pid, SIGTERM);
    int ws = 0;
    while (waitpid(pid, &ws, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(ws)) r.status = WEXITSTATUS(ws);
    if (WIFSIGNALED(ws)) r.status = 128 + WTERMSIG(ws);
    if (fed != 0 && r.status == 0) r.status = -1;
    if (out >= 0) {
        r.output = outputline(out);
        close(out);
    }
    return r.status;
}
