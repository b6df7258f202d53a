#include "export/msgserial.h"

#include <string>

#include "import/curmsg.h"

namespace {

constexpr std::uint64_t FNVPRIME = 1099511628211ull;

void foldbytes(std::uint64_t& h, std::string_view s) {
    for (char c : s) {
        h ^= static_cast<unsigned char>(c);
        h *= FNVPRIME;
    }
}

// The lines of the text that do not identify it.
bool passedover(std::string_view line) {
    return (!line.empty() && line[0] == '\x01') || line.substr(0, 8) == "SEEN-BY:";
}

}  // namespace

void serialhash::field(std::string_view s) {
    std::uint64_t n = s.size();
    for (int i = 0; i < 4; ++i) {
        h ^= (n >> (8 * i)) & 0xFF;
        h *= FNVPRIME;
    }
    foldbytes(h, s);
}

int foldtextstart(pktinput& in, serialhash& h) {
    long start = in.tell();
    unsigned char buf[SERIALTEXTBYTES];
    std::size_t n = in.read(buf, sizeof buf);
    std::string_view text(reinterpret_cast<const char*>(buf), n);
    text = text.substr(0, text.find('\0'));
    std::string kept;
    while (!text.empty()) {
        std::size_t cr = text.find('\r');
        std::size_t end = cr == std::string_view::npos ? text.size() : cr + 1;
        std::string_view line = text.substr(0, end);
        if (!passedover(line)) kept.append(line);
        text.remove_prefix(end);
    }
    h.field(kept);
    return in.seek(start);
}

std::uint32_t messageserial(serialhash h) {
    const fidoaddr& a = curmsg.fromaddr;
    std::string addr = std::to_string(a.zone) + ":" + std::to_string(a.net) + "/" +
                       std::to_string(a.node) + "." + std::to_string(a.point);
    h.field(addr);
    h.field(curmsg.msgdate.sv());
    h.field(curmsg.msgfromname.sv());
    h.field(curmsg.msgtoname.sv());
    h.field(curmsg.msgsubj.sv());
    std::uint32_t s = static_cast<std::uint32_t>(h.h ^ (h.h >> 32));
    return s != 0 ? s : 1;
}
