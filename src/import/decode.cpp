#include "import/decode.h"

#include <algorithm>

#include "base/codec.h"
#include "base/text.h"
#include "config/settings.h"
#include "driver/log.h"
#include "durable/journal.h"
#include "import/curmsg.h"
#include "import/fileoutput.h"
#include "pkt/trailer.h"

namespace {
// Decoded bytes are gathered and handed to the file in blocks of this size.
constexpr std::size_t FLUSHLEVEL = 1 << 15;

int base64value(std::string_view line, std::size_t i) {
    return i < line.size() ? mimevalue(static_cast<unsigned char>(line[i])) : -1;
}

int uuvalue(std::string_view line, std::size_t i) {
    return i < line.size() ? (static_cast<unsigned char>(line[i]) - 32) & 63 : 0;
}

// Up to three bytes from the four values of a group, while bytes remain; a
// byte needs both values it is made of.
char* decodegroup(const int v[4], long& remain, char* out) {
    const int parts[3][2] = {{0, 1}, {1, 2}, {2, 3}};
    for (int k = 0; k < 3 && remain > 0; ++k) {
        --remain;
        int a = v[parts[k][0]], b = v[parts[k][1]];
        if (a < 0 || b < 0) continue;
        int byte = k == 0 ? a * 4 + b / 16 : k == 1 ? (a * 16 + b / 4) % 256 : (a * 64 + b) % 256;
        *out++ = static_cast<char>(byte);
    }
    return out;
}

// A whole group of four valid values: its three bytes.
char* decodefull(int a, int b, int c, int d, char* out) {
    out[0] = static_cast<char>(a << 2 | b >> 4);
    out[1] = static_cast<char>((b << 4 | c >> 2) & 255);
    out[2] = static_cast<char>((c << 6 | d) & 255);
    return out + 3;
}

// Appends the remain bytes that the groups of a Base64 line give to out.
// Whole groups of valid characters - nearly all of them - take the short
// way; the rest goes through decodegroup.
void appendbase64(std::string_view line, long remain, std::string& out) {
    std::size_t old = out.size();
    out.resize(old + static_cast<std::size_t>(remain));
    char* o = out.data() + old;
    const auto* p = reinterpret_cast<const unsigned char*>(line.data());
    std::size_t i = 0;
    for (; remain > 0; i += 4) {
        if (remain >= 3 && i + 4 <= line.size()) {
            int a = MIMEVALUES[p[i]], b = MIMEVALUES[p[i + 1]], c = MIMEVALUES[p[i + 2]],
                d = MIMEVALUES[p[i + 3]];
            if ((a | b | c | d) >= 0) {
                o = decodefull(a, b, c, d, o);
                remain -= 3;
                continue;
            }
        }
        int v[4] = {base64value(line, i), base64value(line, i + 1), base64value(line, i + 2),
                    base64value(line, i + 3)};
        o = decodegroup(v, remain, o);
    }
    out.resize(static_cast<std::size_t>(o - out.data()));
}

void appenduu(std::string_view line, long remain, std::string& out) {
    std::size_t old = out.size();
    out.resize(old + static_cast<std::size_t>(remain));
    char* o = out.data() + old;
    for (std::size_t i = 1; remain > 0; i += 4) {
        int v[4] = {uuvalue(line, i), uuvalue(line, i + 1), uuvalue(line, i + 2),
                    uuvalue(line, i + 3)};
        o = decodegroup(v, remain, o);
    }
    out.resize(static_cast<std::size_t>(o - out.data()));
}
}  // namespace

namespace {
// The Base64 characters of text, by ranges rather than through the table
// and in byte-wide steps of at most 255 characters, so that the compiler
// counts 16 characters a step.
long countbase64(std::string_view text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    long n = 0;
    for (std::size_t i = 0; i < text.size();) {
        std::size_t stop = std::min(text.size(), i + 255);
        unsigned char k = 0;
        for (; i < stop; ++i) {
            unsigned char c = p[i];
            unsigned char letter = static_cast<unsigned char>((c | 32) - 'a');
            unsigned char digit = static_cast<unsigned char>(c - '0');
            k = static_cast<unsigned char>(k + ((letter < 26) | (digit < 10) | (c == '+') |
                                                (c == '/') | (c == '-')));
        }
        n += k;
    }
    return n;
}

// base64linebytes and decodebase64line in one pass, for the file being
// written: whole groups of valid characters are decoded while they are
// met. Each of the first k whole groups gives its three bytes whatever
// follows (the line has at least 4k valid characters, so its count is at
// least 3k bytes), and the rest is decoded as decodebase64line does.
long decodebase64counted(std::string_view line, std::string& out) {
    if (base64value(line, 0) < 0) return -1;
    const auto* p = reinterpret_cast<const unsigned char*>(line.data());
    std::size_t old = out.size();
    out.resize(old + line.size() / 4 * 3);
    char* o = out.data() + old;
    std::size_t i = 0;
    for (; i + 4 <= line.size(); i += 4) {
        int a = MIMEVALUES[p[i]], b = MIMEVALUES[p[i + 1]], c = MIMEVALUES[p[i + 2]],
            d = MIMEVALUES[p[i + 3]];
        if ((a | b | c | d) < 0) break;
        o = decodefull(a, b, c, d, o);
    }
    out.resize(static_cast<std::size_t>(o - out.data()));
    std::string_view rest = line.substr(i);
    long total = (static_cast<long>(i) + countbase64(rest)) * 3 / 4;
    long remain = total - static_cast<long>(i / 4 * 3);
    if (remain > 0) appendbase64(rest, remain, out);
    return total;
}
}  // namespace

long base64linebytes(std::string_view line) {
    if (base64value(line, 0) < 0) return -1;
    return countbase64(line) * 3 / 4;
}

void decodebase64line(std::string_view line, std::string& out) {
    long remain = base64linebytes(line);
    if (remain > 0) appendbase64(line, remain, out);
}

long uulinebytes(std::string_view line) {
    if (line.empty()) return -1;
    int c = static_cast<unsigned char>(line[0]);
    if (c < '!' || c > '`') return -1;
    long n = (c - 32) % 64;
    if (n > static_cast<long>(line.size() - 1) * 3 / 4) return -1;
    return n;
}

void decodeuuline(std::string_view line, std::string& out) {
    long remain = uulinebytes(line);
    if (remain > 0) appenduu(line, remain, out);
}

attachdecoder::attachdecoder(bool w, int ign, std::FILE* pkt)
    : writing(w), ignored(ign), packet(pkt) {}

attachdecoder::~attachdecoder() {
    // Only a failed message leaves a file open; its output is dropped.
    if (out) (void)closefile(out);
}

void attachdecoder::begin(int enc, std::string_view given, int attachmode, bool listit,
                          int namerule) {
    decoding = enc == FILEENC_UU ? DECODE_UU : DECODE_BASE64;
    encoding = enc;
    mode = attachmode;
    bytecount = 0;
    buffer.clear();
    writefailed = false;
    silent = false;
    if (mode != ATTACH_IGNORE && ++files > std::max<long>(cfg.importmaxfiles, 1)) {
        // Beyond the bound: the lines go, nothing else happens.
        ++leftout;
        silent = true;
        mode = ATTACH_KILL;
        file = attachfile{};
        return;
    }
    // Names are kept apart within the message also where no file is made
    // (the parse pass, killed files), so both passes name files alike.
    file = chooseattachfile(given, chosen, namerule);
    chosen.insert(file.path);
    if (writing && mode == ATTACH_DECODE) {
        // Written under a temporary name: the file appears under its own
        // name only with the rest of its message file's output. "x": a file
        // that appeared since the name was chosen is never replaced.
        if (unitoutput(file.path, PUBLISH_FILE) == 0) out = openfile(tempname(file.path), "wbx");
        if (!out) unitdropoutput(file.path);
        if (out) {
            // The decoded bytes are gathered in blocks here already; a stdio
            // buffer on top would only copy them again (and cost an fstat).
            std::setvbuf(out.get(), nullptr, _IONBF, 0);
            notedecodedfile(file.path);
        } else {
            mode = ATTACH_IGNORE;
        }
    }
    if (writing && file.untrusted && mode != ATTACH_IGNORE) {
        std::string shown = safeattachname(given);
        logprintf("! %s from %s: FidoNet mail only from a Route node, stored as %s\n",
                  shown.c_str(), curmsg.msgfromemail.c_str(), file.name.c_str());
    }
    if (listit && mode == ATTACH_DECODE) listattachment(file.name);
}

void attachdecoder::beginplain(std::string_view given, int attachmode, bool listit) {
    begin(FILEENC_MIME, given, attachmode, listit);
    decoding = DECODE_PLAIN;
    plainlines = 0;
}

void attachdecoder::flushbuffer() {
    if (buffer.empty()) return;
    if (!writefailed && writeall(out.get(), buffer.data(), buffer.size()) != 0) writefailed = true;
    buffer.clear();
}

bool attachdecoder::takeline(std::string_view line) {
    if (decoding == DECODE_NONE) return false;
    if (decoding == DECODE_PLAIN) {
        // The line end before a boundary belongs to the boundary: lines
        // are joined by line ends, the last one gets none.
        bool first = plainlines++ == 0;
        bytecount += static_cast<long>(line.size()) + (first ? 0 : 1);
        if (out) {
            if (!first) buffer.push_back('\n');
            buffer.append(line);
            if (buffer.size() >= FLUSHLEVEL) flushbuffer();
        }
        return mode != ATTACH_IGNORE;
    }
    bool uu = decoding == DECODE_UU;
    // The file being written is filled as the line is counted.
    long n = uu || !out ? (uu ? uulinebytes(line) : base64linebytes(line))
                        : decodebase64counted(line, buffer);
    if (n < 0) {
        (void)end();  // a failure stays in writefailed for the caller
        // The "end" line closes a uuencoded file and goes with it.
        return uu && mode != ATTACH_IGNORE && strieq(line, "end");
    }
    bytecount += n;
    if (out && uu && n > 0) appenduu(line, n, buffer);
    if (out && buffer.size() >= FLUSHLEVEL) flushbuffer();
    bool taken = mode != ATTACH_IGNORE;
    // Padding ends a Base64 part at its last line: "==" or a single "=".
    if (!uu && line.back() == '=') (void)end();
    return taken;
}

int attachdecoder::end() {
    if (decoding == DECODE_NONE || !writing || silent) {
        decoding = DECODE_NONE;
        return broken ? -1 : 0;
    }
    decoding = DECODE_NONE;
    if (out) {
        flushbuffer();
        if (!writefailed && syncfd(fileno(out.get())) != 0) writefailed = true;
        if (closefile(out) != 0) writefailed = true;
    }
    if (writefailed) {
        // Never announced: a cut file is no attachment.
        logprintf("Error writing decoded file %s\n", file.path.c_str());
        unitdropoutput(file.path);
        if (std::remove(tempname(file.path).c_str()) != 0)
            logprintf("Error removing %s\n", tempname(file.path).c_str());
        broken = true;
    } else if (outputcomplete(file.path) != 0 ||
               writefileinfo(file.path, file.name, file.renamed, encoding, mode, bytecount, ignored,
                             packet) != 0) {
        broken = true;
    }
    return broken ? -1 : 0;
}
