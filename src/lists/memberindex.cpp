#include "lists/memberindex.h"

#include <cstdio>
#include <string>

#include "base/codec.h"
#include "base/text.h"
#include "driver/log.h"
#include "import/curmsg.h"
#include "lists/listlines.h"

std::uint32_t membercrc(std::string_view address) {
    text128 lower = address;
    strlwr(lower.data());
    return crc32(lower.sv());
}

void addmember(listrecord& list, std::string_view address, long pos) {
    list.userindex[classifyuser(address)].push_back(memberentry{membercrc(address), pos});
    ++list.usercount;
}

void removemember(listrecord& list, const memberlink& link) {
    memberchain& chain = list.userindex[link.chain];
    if (link.slot >= chain.size()) return;
    chain.erase(chain.begin() + static_cast<std::ptrdiff_t>(link.slot));
    --list.usercount;
}

void movemember(listrecord& list, const memberlink& link, long pos) {
    memberchain& chain = list.userindex[link.chain];
    if (link.slot < chain.size()) chain[link.slot].pos = pos;
}

void closeuserdata() {
    lists.userfile.reset();
    lists.userfilepath.clear();
}

namespace {

// The list file for reading, opened when another (or no) file is open.
std::FILE* userfile(const listrecord& list) {
    if (lists.userfile && lists.userfilepath == list.listfile) return lists.userfile.get();
    closeuserdata();
    lists.userfile = openfile(list.listfile, "rb");
    if (!lists.userfile) return nullptr;
    lists.userfilepath = list.listfile;
    return lists.userfile.get();
}

// The five lines of the record at pos; false when there is no live record.
bool readrecord(std::FILE* f, long pos, std::string (&fields)[4]) {
    std::clearerr(f);
    std::string marker;
    if (std::fseek(f, pos, SEEK_SET) != 0) return false;
    if (readlistline(f, marker) != 1 || !islivemarker(marker)) return false;
    for (std::string& field : fields) {
        if (readlistline(f, field) != 1) return false;
        stripeol(field);
    }
    return true;
}

}  // namespace

int getuserdata(const listrecord& list, const memberentry* entry, memberdata* data) {
    if (!entry) {
        closeuserdata();
        return 1;
    }
    std::FILE* f = userfile(list);
    if (!f) {
        logprintf("! error obtaining user data from file %s\n", list.listfile.c_str());
        return 0;
    }
    std::string fields[4];
    if (!readrecord(f, entry->pos, fields)) {
        logprintf("! internal consistency error in file %s\n", list.listfile.c_str());
        return 0;
    }
    if (data) {
        data->address = fields[0];
        data->name = fields[1];
        data->status = decimalvalue(fields[2]);
        data->password = fields[3];
    }
    return 1;
}

int finduserdata(const listrecord& list, std::string_view address, memberdata* data,
                 memberlink* link, const memberentry** entry) {
    const text128 wanted = address;
    const std::uint32_t crc = membercrc(wanted.sv());
    const int chainno = classifyuser(wanted.sv());
    const memberchain& chain = list.userindex[chainno];
    std::size_t slot = chain.size();
    for (std::size_t i = 0; i < chain.size(); ++i) {
        // The CRC-32 only narrows the search; the address decides.
        memberdata rec;
        if (chain[i].crc != crc || !getuserdata(list, &chain[i], &rec)) continue;
        if (!strieq(rec.address.sv(), wanted.sv())) continue;
        slot = i;
        if (data) *data = rec;
        break;
    }
    closeuserdata();
    const int found = slot < chain.size() ? 1 : 0;
    if (link) *link = memberlink{chainno, slot};
    if (entry) *entry = found ? &chain[slot] : nullptr;
    return found;
}

long walkmembers(const listrecord& list, const std::function<void(const memberdata&)>& visit) {
    long count = 0;
    for (const memberchain& chain : list.userindex) {
        for (const memberentry& e : chain) {
            memberdata rec;
            if (!getuserdata(list, &e, &rec)) continue;
            visit(rec);
            ++count;
        }
    }
    closeuserdata();
    return count;
}

void createuserdata(const listrecord& list, memberdata& data) {
    data = memberdata{};
    data.address = curmsg.msgfromemail;
    if (!strieq(curmsg.msgfromname.sv(), curmsg.msgfromemail.sv())) data.name = curmsg.msgfromname;
    data.status = list.newstatus;
    calcpassword(list, data.address.sv(), data.password);
}

void calcpassword(const listrecord& list, std::string_view address, text128& result) {
    if (!list.listpassword || list.listpassword->empty()) return;
    const std::string& key = *list.listpassword;
    std::string mixed(address);
    for (std::size_t i = 0; i < mixed.size(); ++i) {
        auto keybyte = static_cast<unsigned char>(key[i % key.size()]);
        mixed[i] = static_cast<char>(static_cast<unsigned char>(mixed[i]) ^
                                     static_cast<unsigned char>(~keybyte));
    }
    char hex[16];
    std::snprintf(hex, sizeof hex, "%lx", static_cast<unsigned long>(crc32(mixed)));
    result = hex;
}
