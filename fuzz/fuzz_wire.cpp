// A reply file's bytes on their way to a server: whatever they hold, the
// wire gets lines that end in CR LF (SMTP) or LF (sendmail, rnews) and no
// CR or LF anywhere else; nothing but line ends changes, and the size
// announced for an rnews batch is the size sent.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include "fuzzutil.h"
#include "transport/wirestream.h"

namespace {

std::string through(const std::string& head, int fd, long length, bool crlf, std::size_t step, long& size) {
    wirestream w(head, fd, 0, length, crlf);
    size = w.wiresize();
    std::string out;
    std::string buf(step, '\0');
    for (long n; (n = w.read(buf.data(), buf.size())) > 0;) out.append(buf.data(), static_cast<std::size_t>(n));
    return out;
}

std::string text(const std::string& s) {
    std::string t;
    for (char c : s) {
        if (c != '\r' && c != '\n') t += c;
    }
    return t;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string_view> parts = fuzzparts(fuzzinput(data, size), 2);
    std::string head(parts.empty() ? std::string_view() : parts[0]);
    std::string body(parts.size() > 1 ? parts[1] : std::string_view());
    static int fd = memfd_create("fuzzwire", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, 0) != 0 || pwrite(fd, body.data(), body.size(), 0) != static_cast<ssize_t>(body.size()))
        return 0;
    for (bool crlf : {true, false}) {
        long announced = 0;
        std::string out = through(head, fd, static_cast<long>(body.size()), crlf, 1 + size % 17, announced);
        if (announced != static_cast<long>(out.size())) __builtin_trap();
        for (std::size_t i = 0; i < out.size(); ++i) {
            if (out[i] == '\r' && (!crlf || i + 1 >= out.size() || out[i + 1] != '\n')) __builtin_trap();
            if (out[i] == '\n' && crlf && (i == 0 || out[i - 1] != '\r')) __builtin_trap();
        }
        if (!out.empty() && out.back() != '\n') __builtin_trap();
        if (text(out) != text(head + body)) __builtin_trap();
    }
    return 0;
}
