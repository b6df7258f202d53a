#include "driver/log.h"

#include <unistd.h>

#include <sys/types.h>

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/clock.h"
#include "base/codec.h"
#include "base/termsafe.h"
#include "driver/runstate.h"
#include "driver/startup.h"

namespace {

// One conversion of a format, as printf reads it: "%-5ld", "%.*s", ...
struct conversion {
    std::string piece;    // the conversion with every "*" replaced by its number
    char type = 0;        // the conversion character
    std::string length;   // hh, h, l, ll, j, z, t, L or empty
};

// Reads the conversion that starts at fmt[i] (the "%"); i moves past it.
// Widths and precisions given as "*" are taken from ap.
conversion readconversion(const char* fmt, std::size_t& i, va_list& ap) {
    conversion c;
    c.piece.push_back('%');
    ++i;
    while (fmt[i] && std::strchr("-+ #0'", fmt[i])) c.piece += fmt[i++];
    for (int part = 0; part < 2; ++part) {
        if (part == 1) {
            if (fmt[i] != '.') break;
            c.piece += fmt[i++];
        }
        if (fmt[i] == '*') {
            c.piece += std::to_string(va_arg(ap, int));
            ++i;
        }
        while (fmt[i] >= '0' && fmt[i] <= '9') c.piece += fmt[i++];
    }
    while (fmt[i] && std::strchr("hljztL", fmt[i])) c.length += fmt[i++];
    c.piece += c.length;
    c.type = fmt[i];
    if (fmt[i]) c.piece += fmt[i++];
    return c;
}

// piece is one conversion taken from a format the compiler has checked.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
template <class T>
std::string formatone(const std::string& piece, T value) {
    char small[128];
    int n = std::snprintf(small, sizeof small, piece.c_str(), value);
    if (n < 0) return std::string();
    if (static_cast<std::size_t>(n) < sizeof small) return std::string(small, static_cast<std::size_t>(n));
    std::string big(static_cast<std::size_t>(n) + 1, '\0');
    std::snprintf(big.data(), big.size(), piece.c_str(), value);
    big.resize(static_cast<std::size_t>(n));
    return big;
}
#pragma GCC diagnostic pop

std::string formatinteger(const conversion& c, va_list& ap) {
    bool sign = c.type == 'd' || c.type == 'i';
    const std::string& l = c.length;
    if (l == "l") return sign ? formatone(c.piece, va_arg(ap, long)) : formatone(c.piece, va_arg(ap, unsigned long));
    if (l == "ll") {
        return sign ? formatone(c.piece, va_arg(ap, long long)) : formatone(c.piece, va_arg(ap, unsigned long long));
    }
    if (l == "j") return sign ? formatone(c.piece, va_arg(ap, intmax_t)) : formatone(c.piece, va_arg(ap, uintmax_t));
    if (l == "z") return sign ? formatone(c.piece, va_arg(ap, ssize_t)) : formatone(c.piece, va_arg(ap, size_t));
    if (l == "t") return formatone(c.piece, va_arg(ap, ptrdiff_t));
    // hh, h and none: promoted to int.
    return sign ? formatone(c.piece, va_arg(ap, int)) : formatone(c.piece, va_arg(ap, unsigned));
}

// Formats like vsnprintf, one conversion at a time, and escapes what the
// text conversions bring in. The compiler checks every format against its
// arguments (the format attribute), so each va_arg reads what was passed.
std::string vformat(const char* fmt, va_list ap) {
    std::string out;
    va_list args;
    va_copy(args, ap);
    std::size_t i = 0;
    while (fmt[i]) {
        if (fmt[i] != '%') {
            const char* pct = std::strchr(fmt + i, '%');
            std::size_t n = pct ? static_cast<std::size_t>(pct - (fmt + i)) : std::strlen(fmt + i);
            out.append(fmt + i, n);
            i += n;
            continue;
        }
        if (fmt[i + 1] == '%') {
            out += '%';
            i += 2;
            continue;
        }
        conversion c = readconversion(fmt, i, args);
        switch (c.type) {
            case 'd': case 'i': case 'o': case 'u': case 'x': case 'X':
                out += formatinteger(c, args);
                break;
            case 'c':
                appendtermsafe(out, formatone(c.piece, va_arg(args, int)));
                break;
            case 's': {
                const char* s = va_arg(args, const char*);
                appendtermsafe(out, formatone(c.piece, s ? s : "(null)"));
                break;
            }
            case 'p':
                out += formatone(c.piece, va_arg(args, void*));
                break;
            case 'f': case 'F': case 'e': case 'E': case 'g': case 'G': case 'a': case 'A':
                out += c.length == "L" ? formatone(c.piece, va_arg(args, long double))
                                       : formatone(c.piece, va_arg(args, double));
                break;
            case 'n':
                (void)va_arg(args, void*);  // counts nothing here
                break;
            default:
                out += c.piece;  // not a conversion: the text as written
                break;
        }
    }
    va_end(args);
    return out;
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

std::string logformat(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    std::string text = vformat(fmt, ap);
    va_end(ap);
    return text;
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
