#include "driver/log.h"

#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <string>

#include "base/clock.h"
#include "base/codec.h"
#include "driver/runstate.h"
#include "driver/startup.h"

namespace {

// Formats into a buffer as large as the text needs: long paths must never
// be cut or overrun.
__attribute__((format(printf, 1, 0))) std::string vformat(const char* fmt, va_list ap) {
    char small[512];
    va_list copy;
    va_copy(copy, ap);
    int n = std::vsnprintf(small, sizeof small, fmt, copy);
    va_end(copy);
    if (n < 0) return std::string();
    if (static_cast<std::size_t>(n) < sizeof small) return std::string(small, static_cast<std::size_t>(n));
    std::string big(static_cast<std::size_t>(n) + 1, '\0');
    std::vsnprintf(big.data(), big.size(), fmt, ap);
    big.resize(static_cast<std::size_t>(n));
    return big;
}

// The percentage last shown on the terminal, -1 when no progress line
// stands there.
int progressshown = -1;

bool stderristerminal() {
    static const int tty = isatty(STDERR_FILENO);
    return tty == 1;
}

}  // namespace

void showprogress(int percent) {
    if (percent == progressshown || !stderristerminal()) return;
    progressshown = percent;
    std::fprintf(stderr, "\r%3d%%", percent);
    std::fflush(stderr);
}

void endprogress() {
    if (progressshown < 0) return;
    progressshown = -1;
    std::fputs("\r    \r", stderr);
}

void logprintf(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    std::string text = vformat(fmt, ap);
    va_end(ap);
    endprogress();
    std::fputs(text.c_str(), stderr);
    if (run.logf) std::fputs(text.c_str(), run.logf);
    // A failure the run reports counts against it in the record of runs.
    if (text.rfind("Error", 0) == 0 || text.rfind("FATAL", 0) == 0) {
        if (run.errorlines++ == 0) run.firsterror = text.substr(0, text.find('\n'));
    }
}

void screenprintf(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    std::string text = vformat(fmt, ap);
    va_end(ap);
    endprogress();
    std::fputs(text.c_str(), stderr);
}

void openlog(const std::string& path) {
    if (path.empty()) return;
    run.logf = std::fopen(path.c_str(), "a");
    if (!run.logf) return;
    std::fseek(run.logf, 0, SEEK_END);
    if (std::ftell(run.logf) > 0) std::fputs("\n", run.logf);
    std::tm t = localclock(nowtime());
    std::fprintf(run.logf, "--- " PROGNAME "-%s v%d.%02d  %s %02d-%-3s-%04d %02d:%02d:%02d\n",
                 PROGOS, VERMAJOR, VERMINOR, weekday[t.tm_wday], t.tm_mday, month[t.tm_mon],
                 t.tm_year + 1900, t.tm_hour, t.tm_min, t.tm_sec);
}

void closelog() {
    if (!run.logf) return;
    if (std::fclose(run.logf) != 0) std::fputs("Error: can't write the log file\n", stderr);
    run.logf = nullptr;
}

void logoutofmemory() {
    static const char text[] = "Error: not enough memory\n";
    endprogress();
    std::fputs(text, stderr);
    if (!run.logf) return;
    std::fputs(text, run.logf);
    std::fclose(run.logf);
    run.logf = nullptr;
}
