// A mailing-list file: reading it with its member index, looking members
// up, and packing it.
#include "config/reader.h"
#include "fuzzutil.h"
#include "lists/listfiles.h"
#include "lists/memberindex.h"
#include "lists/pack.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzreset();
    std::string path = fuzzfile("list.cfg", fuzzinput(data, size));
    if (readlist(path, 1, fuzzdir() + "main.cfg", fuzzdir() + "pondlark") != 1) return 0;
    listrecord& list = lists.listconfig.back();
    memberdata m;
    for (const char* who : {"joe@example.com", "JOE@EXAMPLE.COM", "a", ""}) {
        finduserdata(list, who, &m, nullptr, nullptr);
    }
    walkmembers(list, [](const memberdata&) {});
    packlist(list, 1);
    return 0;
}
