#include "export/storedmsg.h"

#include <cstring>
#include <string_view>

#include "base/bytes.h"

namespace {

// A mailer that fills a field to its last byte leaves no zero: the text
// ends with the field, not in the field after it.
std::string_view fieldtext(const unsigned char* in, std::size_t offset, std::size_t width) {
    const char* p = reinterpret_cast<const char*>(in + offset);
    const void* zero = std::memchr(p, 0, width);
    std::size_t n = zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - p) : width;
    return std::string_view(p, n);
}

}  // namespace

storedheader decodestoredheader(const unsigned char* in) {
    storedheader h;
    h.fromname = fieldtext(in, MSGHDR_FROMNAME, MSGNAMESIZE);
    h.toname = fieldtext(in, MSGHDR_TONAME, MSGNAMESIZE);
    h.subject = fieldtext(in, MSGHDR_SUBJECT, MSGSUBJSIZE);
    h.date = fieldtext(in, MSGHDR_DATE, MSGDATESIZE);
    h.orignet = get16le(in + MSGHDR_ORIGNET);
    h.orignode = get16le(in + MSGHDR_ORIGNODE);
    h.destnet = get16le(in + MSGHDR_DESTNET);
    h.destnode = get16le(in + MSGHDR_DESTNODE);
    h.attr = get16le(in + MSGHDR_ATTR);
    return h;
}

void setstoredattr(unsigned char* out, std::uint16_t attr) {
    put16le(out + MSGHDR_ATTR, attr);
}
