// The viewer (pondlark show) on any bytes: the first byte picks how the
// rest is read (packet, stored message, or a SOUP format) and whether the
// bytes are kept as they are. Whatever the input, the view is text: no
// control byte but line ends and tabs ever reaches the terminal.
#include "base/fileio.h"
#include "fuzzutil.h"
#include "show/view.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    fuzzreset();
    std::string path = fuzzfile("00000001.PKT", fuzzinput(data + 1, size - 1));
    fileptr f = openfile(path, "rb");
    if (!f) return 0;
    viewoptions o;
    o.raw = (data[0] & 0x80) != 0;
    std::string out;
    switch (data[0] % 6) {
        case 0:
            (void)viewpacket(f.get(), path, o, out);
            break;
        case 1:
            (void)viewstoredmsg(f.get(), path, o, out);
            break;
        default:
            (void)viewsoupfile(f.get(), path, data[0] % 6 - 2, o, out);
            break;
    }
    for (char c : out) {
        unsigned char b = static_cast<unsigned char>(c);
        if ((b < 0x20 && b != '\n' && b != '\t') || b == 0x7F) __builtin_trap();
    }
    return 0;
}
