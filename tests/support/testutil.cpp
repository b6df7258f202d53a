#include "support/testutil.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "driver/resetall.h"

namespace fs = std::filesystem;

scratchdir::scratchdir() {
    std::string tmpl = (fs::temp_directory_path() / "pondlark-test-XXXXXX").string();
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) std::abort();
    path = std::string(buf.data()) + "/";
}

scratchdir::~scratchdir() {
    std::error_code ec;
    // Make everything writable again in case a test took rights away.
    for (auto it = fs::recursive_directory_iterator(path, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::remove_all(path, ec);
}

std::string readfile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writefile(const std::string& path, const std::string& content) {
    fs::path p(path);
    if (p.has_parent_path()) fs::create_directories(p.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

void makedirs(const std::string& path) { fs::create_directories(path); }

bool fileexists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

std::vector<std::string> readlines(const std::string& path) {
    std::vector<std::string> out;
    std::istringstream in(readfile(path));
    for (std::string l; std::getline(in, l);) {
        if (!l.empty()) out.push_back(l);
    }
    return out;
}

std::vector<std::string> listtree(const std::string& dir) {
    std::vector<std::string> out;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(dir, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_regular_file()) out.push_back(fs::relative(it->path(), dir).string());
    }
    std::sort(out.begin(), out.end());
    return out;
}

void copytree(const std::string& from, const std::string& to) {
    fs::create_directories(to);
    fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
}

namespace {
void drain(int fd, std::string& into) {
    char buf[4096];
    ssize_t n = read(fd, buf, sizeof buf);
    if (n > 0) into.append(buf, static_cast<std::size_t>(n));
}
}  // namespace

runresult runprogram(const std::string& program, const std::vector<std::string>& args,
                     const std::string& cwd, const std::vector<std::string>& env) {
    int outp[2], errp[2];
    if (pipe(outp) != 0 || pipe(errp) != 0) std::abort();
    pid_t pid = fork();
    if (pid == 0) {
        dup2(outp[1], 1);
        dup2(errp[1], 2);
        close(outp[0]);
        close(errp[0]);
        close(outp[1]);
        close(errp[1]);
        if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(127);
        setenv("TZ", "UTC", 1);
        unsetenv("TEMP");
        for (const auto& e : env) putenv(const_cast<char*>(e.c_str()));
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(outp[1]);
    close(errp[1]);
    runresult r;
    pollfd fds[2] = {{outp[0], POLLIN, 0}, {errp[0], POLLIN, 0}};
    int open = 2;
    while (open > 0) {
        if (poll(fds, 2, -1) < 0) break;
        for (auto& f : fds) {
            if (f.fd < 0 || !(f.revents & (POLLIN | POLLHUP))) continue;
            std::string& into = (&f == &fds[0]) ? r.out : r.err;
            std::size_t before = into.size();
            drain(f.fd, into);
            if (into.size() == before) {
                close(f.fd);
                f.fd = -1;
                --open;
            }
        }
    }
    int st = 0;
    waitpid(pid, &st, 0);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    return r;
}

runresult runpondlark(const std::vector<std::string>& args, const std::string& cwd,
                      const std::vector<std::string>& env) {
    return runprogram(PONDLARK_FIXED_BIN, args, cwd, env);
}

runresult runpondlarkonterminal(const std::vector<std::string>& args, const std::string& cwd) {
    int master = -1, slave = -1;
    termios raw {};
    cfmakeraw(&raw);
    if (openpty(&master, &slave, nullptr, &raw, nullptr) != 0) std::abort();
    pid_t pid = fork();
    if (pid == 0) {
        close(master);
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(slave, 2);
        if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(127);
        setenv("TZ", "UTC", 1);
        unsetenv("TEMP");
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(PONDLARK_FIXED_BIN));
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(PONDLARK_FIXED_BIN, argv.data());
        _exit(127);
    }
    close(slave);
    runresult r;
    // The terminal ends (EIO) once the program and every copy of the slave
    // side are gone.
    for (std::size_t before = 0;; before = r.err.size()) {
        drain(master, r.err);
        if (r.err.size() == before) break;
    }
    close(master);
    int st = 0;
    waitpid(pid, &st, 0);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    return r;
}

std::string describediff(const std::string& expected, const std::string& actual) {
    std::size_t i = 0;
    while (i < expected.size() && i < actual.size() && expected[i] == actual[i]) ++i;
    if (i == expected.size() && i == actual.size()) return "identical";
    std::ostringstream s;
    s << "sizes " << expected.size() << " (expected) and " << actual.size()
      << " (actual); first difference at offset " << i << "\n";
    auto window = [&](const char* label, const std::string& d) {
        std::size_t from = i >= 16 ? i - 16 : 0;
        std::size_t to = std::min(d.size(), i + 32);
        s << label;
        char hex[8];
        for (std::size_t k = from; k < to; ++k) {
            std::snprintf(hex, sizeof hex, "%s%02X", k == i ? "[" : " ",
                          static_cast<unsigned char>(d[k]));
            s << hex;
        }
        s << "\n";
        s << std::string(std::string(label).size(), ' ');
        for (std::size_t k = from; k < to; ++k) {
            unsigned char c = static_cast<unsigned char>(d[k]);
            s << "  " << ((c >= 32 && c < 127) ? static_cast<char>(c) : '.');
        }
        s << "\n";
    };
    window("expected:", expected);
    window("actual:  ", actual);
    return s.str();
}

void statetest::SetUp() {
    resetall();
    setfixedclock(FIXEDNOW);
}

void statetest::TearDown() { resetall(); }

filesizelimit::filesizelimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &old_);
    oldhandler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit lim = old_;
    lim.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &lim);
}

filesizelimit::~filesizelimit() {
    setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, oldhandler_);
}
