// Keywords that set one process-wide setting each, and the keyword table.
#include "config/keywords.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <string>
#include <vector>

#include "base/text.h"
#include "base/timezone.h"
#include "config/reader.h"
#include "config/settings.h"
#include "mime/charsets.h"
#include "transport/command.h"
#include "transport/maildir.h"
#include "transport/newsbatch.h"
#include "transport/sendtarget.h"

std::string_view nextparam(std::string_view& text) {
    std::size_t sp = text.find(' ');
    if (sp == std::string_view::npos) {
        std::string_view p = text;
        text = std::string_view();
        return p;
    }
    std::string_view p = text.substr(0, sp);
    std::size_t start = text.find_first_not_of(' ', sp);
    text = start == std::string_view::npos ? std::string_view() : text.substr(start);
    return p;
}

namespace {

struct wordvalue {
    const char* word;
    int value;
};

// Looks the whole parameter up in a word list, ignoring case.
template <std::size_t N>
bool scanword(std::string_view par, const wordvalue (&words)[N], int& value) {
    for (const auto& w : words) {
        if (strieq(par, w.word)) {
            value = w.value;
            return true;
        }
    }
    return false;
}

constexpr wordvalue actionwords[] = {
    {"ignore", ACTION_IGNORE}, {"kill", ACTION_KILL}, {"move", ACTION_MOVE}, {"junk", ACTION_JUNK}};
constexpr wordvalue attachwords[] = {
    {"ignore", ATTACH_IGNORE}, {"decode", ATTACH_DECODE}, {"kill", ATTACH_KILL}};

template <std::size_t N>
void scanupper(const configline& l, fixedtext<N>& dest) {
    configscantext(l.par, dest);
    strupr(dest.data());
}

void kw_fidoaddr(const configline& l) { configscanfidoaddr(l.par, l.line, l.path, cfg.gateaddr); }
void kw_packetpwd(const configline& l) { scanupper(l, cfg.packetpwd); }
void kw_origin(const configline& l) { configscantext(l.par, cfg.origin); }
void kw_organization(const configline& l) { configscantext(l.par, cfg.organization); }
void kw_nospamtext(const configline& l) { configscantext(l.par, cfg.nospamtext); }
// A zone no Date header could be given would silently turn into the
// local zone: named at start-up.
void kw_timezone(const configline& l) {
    configscantext(l.par, cfg.timezonestr);
    zonedata z;
    if (parsezone(cfg.timezonestr.sv(), z) != 0) configwarn("unknown time zone", l.line, l.path);
}
void kw_basezone(const configline& l) { configscanushort(l.par, l.line, l.path, cfg.basezone); }

void kw_mailertype(const configline& l) {
    static constexpr wordvalue words[] = {{"ArcMail", MAILER_ARCMAIL}, {"Binkley", MAILER_BINKLEY}};
    if (!scanword(l.par, words, cfg.mailertype)) {
        configwarn("invalid mailer type", l.line, l.path);
        cfg.mailertype = MAILER_NONE;
    }
}

void kw_inbounddir(const configline& l) { configscandir(l.par, cfg.indir); }
void kw_outbounddir(const configline& l) { configscandir(l.par, cfg.outdir); }
void kw_netmaildir(const configline& l) { configscandir(l.par, cfg.netdir); }
void kw_soupdir(const configline& l) { configscandir(l.par, cfg.soupdir); }
void kw_tempdir(const configline& l) { configscandir(l.par, cfg.tempdir); }

// "DecodeDir <dir>" or "DecodeDir <dir> ALL": exactly one space separates them.
void kw_decodedir(const configline& l) {
    cfg.decodedirall = 0;
    std::size_t sp = l.par.find(' ');
    if (sp == std::string_view::npos) {
        configscandir(l.par, cfg.decodedir);
        return;
    }
    configscandir(l.par.substr(0, sp), cfg.decodedir);
    if (istartswith(l.par.substr(sp + 1), "ALL")) {
        cfg.decodedirall = 1;
    } else {
        configwarn("invalid DecodeDir parameter", l.line, l.path);
    }
}

// A log that cannot be opened is no error for a run, which then goes
// without one; check says so in advance.
void checklogfile(const configline& l, const std::string& path) {
    std::size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? std::string(".")
                         : slash == 0                ? std::string("/")
                                                     : path.substr(0, slash);
    struct stat st {};
    if (stat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            configwarn("LogFile names a folder", l.line, l.path);
        } else if (access(path.c_str(), W_OK) != 0) {
            configwarn(("LogFile " + path + " is not writable").c_str(), l.line, l.path);
        }
    } else if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        configwarn(("LogFile folder " + folder + " does not exist").c_str(), l.line, l.path);
    } else if (access(folder.c_str(), W_OK | X_OK) != 0) {
        configwarn(("LogFile folder " + folder + " is not writable").c_str(), l.line, l.path);
    }
}

void kw_logfile(const configline& l) {
    if (l.par.empty()) {
        configwarn("LogFile names no file", l.line, l.path);
        cfg.logfile.clear();
        return;
    }
    std::string resolved;
    if (!expandfname(l.par, l.progpath, resolved)) {
        configwarn("file name too long", l.line, l.path);
        return;
    }
    cfg.logfile = resolved;
    checklogfile(l, resolved);
}

void kw_emailarea(const configline& l) {
    scanupper(l, cfg.emailarea);
    if (cfg.emailarea.empty()) cfg.emailarea = "NETMAIL";
}

void kw_importlimit(const configline& l) {
    configscanulong(l.par, l.line, l.path, cfg.importlimit);
    if (cfg.importlimit >= 1 && cfg.importlimit <= 1023) {
        configwarn("limit too small", l.line, l.path);
        cfg.importlimit = 2048;
    }
}

void kw_maxpktsize(const configline& l) {
    configscanulong(l.par, l.line, l.path, cfg.maxpktsize);
    if (cfg.maxpktsize >= 1 && cfg.maxpktsize <= 3) {
        configwarn("limit too small", l.line, l.path);
        cfg.maxpktsize = 4;
    }
}

void kw_headerinfo(const configline& l) {
    std::string_view rest = l.par;
    std::string_view what = nextparam(rest);
    if (rest.empty()) {
        configwarn("HeaderInfo misses parameter", l.line, l.path);
        return;
    }
    int header = 0;
    if (strieq(what, "Name")) {
        header = 0;
    } else if (strieq(what, "Email")) {
        header = 1;
    } else {
        configwarn("HeaderInfo has invalid parameter", l.line, l.path);
        return;
    }
    int insert = 0;
    configscanyesno(rest, l.line, l.path, insert);
    cfg.infoheader = header;
    // Insert the part that is not in the header: addresses (1) beside
    // names, names (0) beside addresses; 2 inserts nothing.
    cfg.infoinsert = insert ? (header == 0 ? 1 : 0) : 2;
}

void kw_stripkludges(const configline& l) {
    static constexpr wordvalue levels[] = {{"Yes", 1}, {"No", 0}, {"Some", 2}};
    std::string_view rest = l.par;
    std::string_view word = nextparam(rest);
    int level = 0;
    if (!scanword(word, levels, level)) {
        configwarn("unknown StripKludges setting", l.line, l.path);
        level = 0;
    }
    if (rest.empty() || strieq(rest, "All")) {
        for (int& s : cfg.stripkludges) s = level;
    } else if (strieq(rest, "Email")) {
        cfg.stripkludges[CAT_EMAIL] = level;
    } else if (strieq(rest, "News")) {
        cfg.stripkludges[CAT_NEWS] = level;
    } else if (strieq(rest, "List")) {
        cfg.stripkludges[CAT_LIST] = level;
    } else {
        configwarn("unknown StripKludges category", l.line, l.path);
    }
}

void kw_strictfidomsgid(const configline& l) {
    configscanyesno(l.par, l.line, l.path, cfg.strictfidomsgid);
}

void kw_killorigin(const configline& l) {
    static constexpr wordvalue words[] = {{"Yes", 1}, {"No", 0}, {"Email", 2}};
    if (!scanword(l.par, words, cfg.killorigin))
        configwarn("invalid KillOrigin parameter", l.line, l.path);
}

void kw_transfidoorg(const configline& l) {
    configscanyesno(l.par, l.line, l.path, cfg.transfidoorg);
}
void kw_quoteto(const configline& l) { configscanyesno(l.par, l.line, l.path, cfg.quoteto); }

void scanaction(const configline& l, int& dest, int fallback, const wordvalue* words,
                std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        if (strieq(l.par, words[i].word)) {
            dest = words[i].value;
            return;
        }
    }
    configwarn("invalid action", l.line, l.path);
    dest = fallback;
}

void kw_ownorgaction(const configline& l) {
    scanaction(l, cfg.ownorgaction, ACTION_IGNORE, actionwords, std::size(actionwords));
}
void kw_ownorgarea(const configline& l) { scanupper(l, cfg.ownorgarea); }
void kw_junkaction(const configline& l) {
    scanaction(l, cfg.junkaction, ACTION_IGNORE, actionwords, std::size(actionwords));
}
void kw_junkarea(const configline& l) { scanupper(l, cfg.junkarea); }
void kw_junkfromto(const configline& l) { configscanyesno(l.par, l.line, l.path, cfg.junkfromto); }
void kw_attachmail(const configline& l) {
    scanaction(l, cfg.attach[0], ATTACH_DECODE, attachwords, std::size(attachwords));
}
void kw_attachnews(const configline& l) {
    scanaction(l, cfg.attach[1], ATTACH_IGNORE, attachwords, std::size(attachwords));
}

void kw_linewidth(const configline& l) {
    configscanushort(l.par, l.line, l.path, cfg.souplinewidth);
    if (cfg.souplinewidth < 20) {
        configwarn("line width too small", l.line, l.path);
        cfg.souplinewidth = 20;
    } else if (cfg.souplinewidth > 199) {
        configwarn("line width too large", l.line, l.path);
        cfg.souplinewidth = 199;
    }
}

void kw_useqp(const configline& l) { configscanyesno(l.par, l.line, l.path, cfg.useqp); }
// An unknown name would go out in every Content-Type all the same.
void kw_defcharset(const configline& l) {
    configscantext(l.par, cfg.defcharset);
    if (!charsetknown(cfg.defcharset.sv())) configwarn("unknown character set", l.line, l.path);
}

void kw_busyflagage(const configline& l) {
    configscanulong(l.par, l.line, l.path, cfg.busyflagage);
}

// Converted text goes out in this charset; one ICU does not know could
// not be written at all.
void kw_internetcharset(const configline& l) {
    if (!charsetknown(l.par)) {
        configwarn("unknown character set", l.line, l.path);
        return;
    }
    // Mail in a set like UTF-7 hides its line ends from every check.
    if (hidesascii(l.par)) {
        configwarn("character set not fit for mail", l.line, l.path);
        return;
    }
    configscantext(l.par, cfg.internetcharset);
}

void kw_encodeformat(const configline& l) {
    static constexpr wordvalue words[] = {{"MIME", ENCODE_MIME}, {"UU", ENCODE_UU}};
    if (!scanword(l.par, words, cfg.encodeformat)) {
        configwarn("invalid format", l.line, l.path);
        cfg.encodeformat = ENCODE_MIME;
    }
}

// A message may carry any number of files and parts; work on it has a
// bound that its sender cannot raise. At least one of each.
void kw_importmaxfiles(const configline& l) {
    configscanushort(l.par, l.line, l.path, cfg.importmaxfiles);
    if (cfg.importmaxfiles == 0) {
        configwarn("ImportMaxFiles must be at least 1", l.line, l.path);
        cfg.importmaxfiles = 1;
    }
}
void kw_importmaxparts(const configline& l) {
    configscanushort(l.par, l.line, l.path, cfg.importmaxparts);
    if (cfg.importmaxparts == 0) {
        configwarn("ImportMaxParts must be at least 1", l.line, l.path);
        cfg.importmaxparts = 1;
    }
}
void kw_exportmaxto(const configline& l) {
    configscanushort(l.par, l.line, l.path, cfg.exportmaxto);
}
void kw_exportmaxxpost(const configline& l) {
    configscanushort(l.par, l.line, l.path, cfg.exportmaxxpost);
}
void kw_mapfidoorg(const configline& l) { configscanyesno(l.par, l.line, l.path, cfg.mapfidoorg); }
void kw_separatemsg(const configline& l) {
    configscanyesno(l.par, l.line, l.path, cfg.separatemsg);
}
void kw_quickscan(const configline& l) { configscanyesno(l.par, l.line, l.path, cfg.quickscan); }
void kw_exportallmail(const configline& l) {
    configscanyesno(l.par, l.line, l.path, cfg.exportallmail);
}
void kw_syncwrites(const configline& l) { configscanyesno(l.par, l.line, l.path, cfg.syncwrites); }

// "ImportMaildir <dir> [Delete]"; may repeat.
void kw_importmaildir(const configline& l) {
    std::string_view rest = l.par;
    std::string_view dir = nextparam(rest);
    if (dir.empty()) {
        configwarn("ImportMaildir misses its folder", l.line, l.path);
        return;
    }
    maildirsource src;
    pathtext d;
    configscandir(dir, d);
    src.dir = d.str();
    if (!rest.empty()) {
        if (!strieq(rest, "Delete")) {
            configwarn("invalid ImportMaildir parameter", l.line, l.path);
            return;
        }
        src.remove = 1;
    }
    std::string problem = maildirproblem(src.dir);
    if (!problem.empty()) configwarn(problem.c_str(), l.line, l.path);
    cfg.importmaildir.push_back(std::move(src));
}

// "ImportNewsBatches <dir>"; may repeat.
void kw_importnewsbatches(const configline& l) {
    if (l.par.empty()) {
        configwarn("ImportNewsBatches misses its folder", l.line, l.path);
        return;
    }
    pathtext d;
    configscandir(l.par, d);
    std::string problem = batchfolderproblem(d.str());
    if (!problem.empty()) configwarn(problem.c_str(), l.line, l.path);
    cfg.importnewsbatches.push_back(d.str());
}

// "SendMail <url> [options]" or "SendMail /path/to/command [arguments]".
void kw_sendmail(const configline& l) {
    sendtarget target;
    std::string problem;
    if (parsesendtarget(l.par, target, problem) != 0) {
        configwarn(problem.c_str(), l.line, l.path);
        cfg.sendmail.clear();
        return;
    }
    problem = sendtargetproblem(target, l.path);
    if (!problem.empty()) configwarn(problem.c_str(), l.line, l.path);
    cfg.sendmail = std::string(l.par);
}

// "PostNews /path/to/command [arguments]".
void kw_postnews(const configline& l) {
    std::vector<std::string> argv;
    std::string problem;
    if (splitcommand(l.par, argv, problem) != 0) {
        configwarn(("PostNews " + problem).c_str(), l.line, l.path);
        cfg.postnews.clear();
        return;
    }
    problem = commandproblem(argv);
    if (!problem.empty()) configwarn(("PostNews " + problem).c_str(), l.line, l.path);
    cfg.postnews = std::string(l.par);
}

// A count of days or hours from least to 65535. A value that is no number
// keeps the one before: a typo must not turn dupe detection or a limit off.
void countsetting(const configline& l, int least, int& into) {
    int n = 0;
    auto r = std::from_chars(l.par.data(), l.par.data() + l.par.size(), n);
    if (l.par.empty() || r.ec != std::errc() || r.ptr != l.par.data() + l.par.size() || n < least ||
        n > 65535) {
        configwarn("invalid number", l.line, l.path);
        return;
    }
    into = n;
}

// "HistoryDays <days>"; 0 keeps no history.
void kw_historydays(const configline& l) {
    countsetting(l, 0, cfg.historydays);
}

// "GiveUpDays <days>": a reply that servers put off this long is given up.
void kw_giveupdays(const configline& l) {
    countsetting(l, 1, cfg.giveupdays);
}

// "WarnHours <hours>": what waits longer makes status report a problem.
void kw_warnhours(const configline& l) {
    countsetting(l, 1, cfg.warnhours);
}

constexpr keyworddef keywords[] = {
    {"FidoAddr", kw_fidoaddr},
    {"AddrMap", kw_addrmap, VALUE_REPORTED},
    {"MapFidoOrg", kw_mapfidoorg},
    {"TransFidoOrg", kw_transfidoorg},
    {"FidoDomain", kw_fidodomain, VALUE_REPORTED},
    {"HeaderInfo", kw_headerinfo, VALUE_REPORTED},
    {"NoSpamText", kw_nospamtext, VALUE_OPTIONAL},
    {"PacketPwd", kw_packetpwd, VALUE_OPTIONAL},
    {"DefCharSet", kw_defcharset},
    {"InternetCharSet", kw_internetcharset},
    {"CharSetMap", kw_charsetmap, VALUE_REPORTED},
    {"QuoteTo", kw_quoteto},
    {"QuoteChar", kw_quotechar, VALUE_REPORTED},
    {"QuoteMask", kw_quotemask, VALUE_OPTIONAL},
    {"ImportLimit", kw_importlimit},
    {"ImportMaxFiles", kw_importmaxfiles},
    {"ImportMaxParts", kw_importmaxparts},
    {"MaxPKTSize", kw_maxpktsize},
    {"SeparateMSG", kw_separatemsg},
    {"LineWidth", kw_linewidth},
    {"UseQP", kw_useqp},
    {"Origin", kw_origin, VALUE_OPTIONAL},
    {"Organization", kw_organization, VALUE_OPTIONAL},
    {"OwnOrgAction", kw_ownorgaction},
    {"OwnOrgArea", kw_ownorgarea},
    {"JunkAction", kw_junkaction},
    {"JunkArea", kw_junkarea},
    {"JunkCategory", kw_junkcategory},
    {"JunkFrom", kw_junkfrom, VALUE_OPTIONAL},
    {"JunkSubj", kw_junksubj, VALUE_OPTIONAL},
    {"JunkStr", kw_junkstr, VALUE_OPTIONAL},
    {"JunkGroup", kw_junkgroup, VALUE_OPTIONAL},
    {"JunkFromTo", kw_junkfromto},
    {"ExportMaxTo", kw_exportmaxto},
    {"ExportMaxXPost", kw_exportmaxxpost},
    {"EmailArea", kw_emailarea, VALUE_OPTIONAL},
    {"AreaMap", kw_areamap, VALUE_REPORTED},
    {"StripKludges", kw_stripkludges},
    {"StrictFidoMsgID", kw_strictfidomsgid},
    {"KillOrigin", kw_killorigin},
    {"LogFile", kw_logfile, VALUE_REPORTED},
    {"TimeZone", kw_timezone},
    {"QuickScan", kw_quickscan},
    {"MailerType", kw_mailertype},
    {"ExportAllMail", kw_exportallmail},
    {"SyncWrites", kw_syncwrites},
    {"InboundDir", kw_inbounddir},
    {"OutboundDir", kw_outbounddir},
    {"NetmailDir", kw_netmaildir},
    {"DecodeDir", kw_decodedir},
    {"SoupDir", kw_soupdir},
    {"TempDir", kw_tempdir},
    {"BaseZone", kw_basezone},
    {"AttachMail", kw_attachmail},
    {"AttachNews", kw_attachnews},
    {"EncodeFormat", kw_encodeformat},
    {"Route", kw_route, VALUE_REPORTED},
    {"Alias", kw_alias, VALUE_REPORTED},
    {"Personal", kw_personal, VALUE_REPORTED},
    {"MailingList", kw_mailinglist, VALUE_REPORTED},
    {"IgnoreMessageText", kw_ignoremessagetext, VALUE_OPTIONAL},
    {"ListConfig", kw_listconfig},
    {"Include", kw_include, VALUE_REPORTED},
    {"FidoCharSet", kw_fidocharset, VALUE_REPORTED},
    {"AreaCharSet", kw_areacharset, VALUE_REPORTED},
    {"KeepHeader", kw_keepheader, VALUE_REPORTED},
    {"BusyFlagAge", kw_busyflagage},
    {"ImportMaildir", kw_importmaildir, VALUE_REPORTED},
    {"ImportNewsBatches", kw_importnewsbatches, VALUE_REPORTED},
    {"SendMail", kw_sendmail},
    {"PostNews", kw_postnews},
    {"HistoryDays", kw_historydays},
    {"GiveUpDays", kw_giveupdays},
    {"WarnHours", kw_warnhours},
    {"NewsServer", kw_newsserver},
    {"NewsBacklog", kw_newsbacklog},
    {"TrustFrom", kw_trustfrom},
    {"ExportAllow", kw_exportallow},
    {"ExportLimit", kw_exportlimit},
    {"BounceAddress", kw_bounceaddress},
};
static_assert(std::size(keywords) == 80);

}  // namespace

const keyworddef* findkeyworddef(std::string_view keyword) {
    for (const auto& k : keywords) {
        if (strieq(keyword, k.name)) return &k;
    }
    return nullptr;
}

keywordhandler findkeyword(std::string_view keyword) {
    const keyworddef* k = findkeyworddef(keyword);
    return k ? k->handler : nullptr;
}

namespace {
// The edit distance of a and b ignoring case, where swapping two letters
// next to each other counts as one edit; stops counting above limit.
std::size_t editdistance(std::string_view a, std::string_view b, std::size_t limit) {
    const std::size_t n = a.size(), m = b.size();
    if ((n > m ? n - m : m - n) > limit) return limit + 1;
    std::vector<std::size_t> before(m + 1), prev(m + 1), cur(m + 1);
    for (std::size_t j = 0; j <= m; ++j) prev[j] = j;
    for (std::size_t i = 1; i <= n; ++i) {
        cur[0] = i;
        std::size_t best = cur[0];
        for (std::size_t j = 1; j <= m; ++j) {
            const int ca = lowerc(static_cast<unsigned char>(a[i - 1]));
            const int cb = lowerc(static_cast<unsigned char>(b[j - 1]));
            std::size_t d = std::min({prev[j] + 1, cur[j - 1] + 1, prev[j - 1] + (ca == cb ? 0 : 1)});
            if (i > 1 && j > 1 && ca == lowerc(static_cast<unsigned char>(b[j - 2])) &&
                lowerc(static_cast<unsigned char>(a[i - 2])) == cb)
                d = std::min(d, before[j - 2] + 1);
            cur[j] = d;
            best = std::min(best, d);
        }
        if (best > limit) return limit + 1;
        before.swap(prev);
        prev.swap(cur);
    }
    return prev[m];
}
}  // namespace

std::string nearestkeyword(std::string_view keyword) {
    // Short words are near to too many others: one edit for them, two
    // for most, three for the long ones.
    const std::size_t limit = keyword.size() <= 4 ? 1 : keyword.size() <= 11 ? 2 : 3;
    const char* best = nullptr;
    std::size_t bestdistance = limit + 1;
    for (const auto& k : keywords) {
        std::size_t d = editdistance(keyword, k.name, limit);
        if (d < bestdistance) {
            best = k.name;
            bestdistance = d;
        }
    }
    return best ? std::string(best) : std::string();
}
