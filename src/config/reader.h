// Reading the configuration: the main file, its Include files and the
// mailing-list files it names. Problems are warnings that never stop the
// reading; only a main file that cannot be opened does.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/fidoaddr.h"
#include "base/fixedtext.h"

// Reads name (found by findconfigfile) and all it includes. Returns 0, or 1 when the file cannot be opened (after writing
// "Error: can't read <path>" to standard error).
int readconfigfile(const std::string& name, const std::string& progpath);

// "Warning: <msg> in line <line> of <path>" and an empty line, on standard
// error; counted in run.configwarnings. A warning about the line being
// read (its file and number) also shows that line, keyword and value, as
// ": <line>" after the path (passwords in it hidden, bytes that are no
// text escaped). A warning given for a line whose value is missing is an
// error (configerror).
void configwarn(const char* msg, long line, const std::string& path);

// The same as an error: "Error: <msg> in line <line> of <path>", counted
// in run.configerrors. An error makes the configuration unusable: check
// ends with exit status 1, and every other command stops after reading it,
// before it touches anything. Errors are a malformed FTN address, a
// keyword that needs a value given without one, and the folders the
// start-up finds missing.
void configerror(const char* msg, long line, const std::string& path);

// Where a keyword was last given: its file, line number and the line as
// shown in messages.
struct configplace {
    std::string keyword;  // as the keyword table writes it
    std::string path;
    long line = 0;
    std::string text;
};

// What the reading of the configuration leaves besides the settings: the
// place of every keyword given (the last line wins).
struct configreading {
    std::vector<configplace> places;
};
extern configreading reading;

// The place where keyword (any case) was last given, or null.
const configplace* configplaceof(std::string_view keyword);

// "<line> in line <n> of <path>", for messages about a setting given
// after the reading.
std::string describeplace(const configplace& p);

// The whole text is an FTN address zone:net/node[.point], optionally
// followed by "@" and a domain (the 5D form), with numbers of 16 bits and
// a zone of at least 1.
bool ftnaddresswellformed(std::string_view text);

// Resolves a configuration file name: used as it stands when it contains a
// "/", else placed in the program's directory. Returns false (and leaves out
// empty) when the result would exceed a path's capacity.
bool expandfname(std::string_view name, std::string_view base, std::string& out);

// The configuration folder of the build ("/etc/pondlark" for the package,
// the installation's etc/pondlark for a build of one's own).
extern const char* const configfolder;

// Finds a configuration file (the main one, an Include, a list file or a
// list's template) by expandfname; a name without "/" that is not beside
// the program is then looked for in folder (configfolder unless given),
// and the name beside the program is kept when neither has it. Returns
// false as expandfname does.
bool findconfigfile(std::string_view name, std::string_view progpath, std::string& out);
bool findconfigfile(std::string_view name, std::string_view progpath, std::string_view folder,
                    std::string& out);

// Scans "zone:net/node.point" like "%hu:%hu/%hu.%hu" into dest (all four
// set to 0 first); returns how many numbers were converted.
int scanftnaddress(std::string_view text, fidoaddr& dest);

// The value scanners. Each warns in the configuration warning form and
// stores the fallback its keyword documents.
void configscanfidoaddr(std::string_view par, long line, const std::string& path, fidoaddr& dest);
template <std::size_t N>
void configscanemailaddr(std::string_view par, long line, const std::string& path,
                         fixedtext<N>& dest) {
    dest = par;
    if (dest.sv().find('@') == std::string_view::npos)
        configwarn("invalid email address", line, path);
}
void configscanyesno(std::string_view par, long line, const std::string& path, int& dest);
template <std::size_t N>
void configscantext(std::string_view par, fixedtext<N>& dest) {
    dest = par;
}
void configscandir(std::string_view par, pathtext& dest);
void configscanushort(std::string_view par, long line, const std::string& path,
                      std::uint16_t& dest);
void configscanulong(std::string_view par, long line, const std::string& path,
                     std::uint32_t& dest);
