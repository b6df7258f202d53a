// The configuration keywords: one handler each, found by name ignoring case.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// One configuration line as a handler sees it.
struct configline {
    std::string_view par;       // parameter text (may be empty)
    long line = 0;              // line number within its file
    const std::string& path;    // resolved path of the file the line stands in
    const std::string& progpath;
};

using keywordhandler = void (*)(const configline&);

// What a keyword's line without a value is.
enum valuerules {
    VALUE_REQUIRED = 0,  // an error: the handler is not called
    VALUE_OPTIONAL = 1,  // an empty value means something (a default, "none", any text)
    VALUE_REPORTED = 2   // an error the handler reports itself ("... misses parameter")
};

struct keyworddef {
    const char* name;
    keywordhandler handler;
    int value = VALUE_REQUIRED;
};

// The keyword's entry (its name as the table writes it), or null when the
// keyword is unknown.
const keyworddef* findkeyworddef(std::string_view keyword);

// The handler of a keyword, or null when the keyword is unknown.
keywordhandler findkeyword(std::string_view keyword);

// The known keyword an unknown one was most likely meant to be (a letter
// left out, added, changed or two swapped; case ignored), or empty when
// none is that near.
std::string nearestkeyword(std::string_view keyword);

// Splits off the next parameter: it ends at the first space, and the run
// of spaces after it is cut out. text becomes what follows; an empty
// remainder counts as absent.
std::string_view nextparam(std::string_view& text);

// Handlers of the keywords that add table entries (tablekeywords.cpp).
void kw_addrmap(const configline& l);
void kw_personal(const configline& l);
void kw_areamap(const configline& l);
void kw_route(const configline& l);
void kw_alias(const configline& l);
void kw_mailinglist(const configline& l);
void kw_charsetmap(const configline& l);
void kw_fidodomain(const configline& l);
void kw_quotechar(const configline& l);
void kw_quotemask(const configline& l);
void kw_junkcategory(const configline& l);
void kw_junkfrom(const configline& l);
void kw_junksubj(const configline& l);
void kw_junkstr(const configline& l);
void kw_junkgroup(const configline& l);
void kw_ignoremessagetext(const configline& l);

// Handlers of the character-set keywords and KeepHeader (charsetkeywords.cpp).
void kw_fidocharset(const configline& l);
void kw_areacharset(const configline& l);
void kw_keepheader(const configline& l);

// Handlers of the news server keywords, and the check of the AreaMap
// lines against the servers once every file is read (newskeywords.cpp).
void kw_newsserver(const configline& l);
void kw_newsbacklog(const configline& l);
void checknewsgroupservers();

// Handlers of the keywords of who may send through the gateway
// (policykeywords.cpp).
void kw_trustfrom(const configline& l);
void kw_exportallow(const configline& l);
void kw_exportlimit(const configline& l);
void kw_bounceaddress(const configline& l);
// For check: a configuration without ExportAllow lines lets every FidoNet
// node send through the gateway, which check warns about (counted in
// run.configwarnings).
void warnopengateway();

// Handlers of Include and ListConfig (reader.cpp).
void kw_include(const configline& l);
void kw_listconfig(const configline& l);
