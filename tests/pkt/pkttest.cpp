#include "pkt/pkttest.h"

#include <cstdlib>
#include <ctime>

#include "base/fileio.h"
#include "config/settings.h"
#include "config/tables.h"
#include "import/curmsg.h"
#include "pkt/pktfile.h"

void pkttest::SetUp() {
    statetest::SetUp();
    setenv("TZ", "UTC", 1);
    tzset();
    cfg.gateaddr = {2, 5020, 1042, 0};
    addrmapentry served;
    served.ftnaddr = {2, 5020, 100, 0};
    served.email = "fido.user@example.org";
    tables.addrmap.push_back(served);
    cfg.indir = dir.path;
}

void setmessage() {
    curmsg.msgtime = {5, 2, 2001, 9, 4, 7};
    curmsg.msgtoname = "Fido User";
    curmsg.msgtoemail = "fido.user@example.org";
    curmsg.msgfromname = "John Doe";
    curmsg.msgfromemail = "john@example.com";
    curmsg.msgreplyemail = "john@example.com";
    curmsg.msgsubj = "Hello";
    curmsg.fidoareaname = "NETMAIL";
    curmsg.fromaddr = {2, 5020, 1042, 0};
    curmsg.destaddr = {2, 5020, 100, 0};
}

checkedmessage pkttest::messageof(const std::function<void(std::FILE*)>& body) {
    std::string path = dir / "test.pkt";
    fileptr f = openfile(path, "wb");
    EXPECT_TRUE(f);
    if (!f) return {};
    EXPECT_EQ(writepktheader(f.get()), 0);
    body(f.get());
    EXPECT_EQ(closepkt(f), 0);
    checkedpacket p = checkpacket(soundpacket(path));
    EXPECT_EQ(p.messages.size(), 1u);
    return p.messages.size() == 1 ? p.messages[0] : checkedmessage{};
}

std::string hexbytes(const std::string& hex) {
    std::string out;
    std::string digits;
    for (char c : hex) {
        if (c == ' ') continue;
        digits.push_back(c);
        if (digits.size() == 2) {
            out.push_back(static_cast<char>(std::strtol(digits.c_str(), nullptr, 16)));
            digits.clear();
        }
    }
    return out;
}

std::string soundpacket(const std::string& path) {
    std::string bytes = readfile(path);
    checkedpacket p = checkpacket(bytes);
    EXPECT_EQ(p.error, "") << path;
    return bytes;
}
