#include "import/decode.h"

#include "config/settings.h"
#include "driver/codec.h"
#include "driver/log.h"
#include "driver/text.h"
#include "import/fileoutput.h"
#include "pkt/trailer.h"

namespace {
// The decode buffer is written out before a group once it holds more.
constexpr std::size_t FLUSHLEVEL = 508;

int base64value(std::string_view line, std::size_t i) {
    return i < line.size() ? mimevalue(static_cast<unsigned char>(line[i])) : -1;
}

int uuvalue(std::string_view line, std::size_t i) {
    return i < line.size() ? (static_cast<unsigned char>(line[i]) - 32) & 63 : 0;
}

// Up to three bytes from the four values of a group, while bytes remain; a
// byte needs both values it is made of.
void decodegroup(const int v[4], long& remain, std::string& out) {
    const int parts[3][2] = {{0, 1}, {1, 2}, {2, 3}};
    for (int k = 0; k < 3 && remain > 0; ++k) {
        --remain;
        int a = v[parts[k][0]], b = v[parts[k][1]];
        if (a < 0 || b < 0) continue;
        int byte = k == 0 ? a * 4 + b / 16 : k == 1 ? (a * 16 + b / 4) % 256 : (a * 64 + b) % 256;
        out.push_back(static_cast<char>(byte));
    }
}
}  // namespace

long base64linebytes(std::string_view line) {
    if (base64value(line, 0) < 0) return -1;
    long n = 0;
    for (char c : line) {
        if (mimevalue(static_cast<unsigned char>(c)) >= 0) ++n;
    }
    return n * 3 / 4;
}

void decodebase64line(std::string_view line, std::string& out) {
    long remain = base64linebytes(line);
    for (std::size_t i = 0; remain > 0; i += 4) {
        int v[4] = {base64value(line, i), base64value(line, i + 1), base64value(line, i + 2),
                    base64value(line, i + 3)};
        decodegroup(v, remain, out);
    }
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
    for (std::size_t i = 1; remain > 0; i += 4) {
        int v[4] = {uuvalue(line, i), uuvalue(line, i + 1), uuvalue(line, i + 2),
                    uuvalue(line, i + 3)};
        decodegroup(v, remain, out);
    }
}

attachdecoder::attachdecoder(bool w, int ign, std::FILE* pkt)
    : writing(w), ignored(ign), packet(pkt) {}

attachdecoder::~attachdecoder() {
    // Only a failed message leaves a file open; its output is dropped.
    if (out) (void)closefile(out);
}

void attachdecoder::begin(int enc, std::string_view given, int attachmode, bool listit) {
    decoding = enc == FILEENC_UU ? DECODE_UU : DECODE_BASE64;
    encoding = enc;
    mode = attachmode;
    // Names are kept apart within the message also where no file is made
    // (the parse pass, killed files), so both passes name files alike.
    file = chooseattachfile(given, chosen);
    chosen.push_back(file.path);
    bytecount = 0;
    buffered = 0;
    writefailed = false;
    if (writing && mode == ATTACH_DECODE) {
        // "x": a file that appeared since the name was chosen is never replaced.
        out = openfile(file.path, "wbx");
        if (out) {
            notedecodedfile(file.path);
        } else {
            mode = ATTACH_IGNORE;
        }
    }
    if (listit && mode == ATTACH_DECODE) listattachment(file.name);
}

void attachdecoder::flushbuffer() {
    if (buffered == 0) return;
    if (!writefailed && writeall(out.get(), buffer, buffered) != 0) writefailed = true;
    buffered = 0;
}

void attachdecoder::store(const std::string& bytes) {
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        if (buffered > FLUSHLEVEL) flushbuffer();
        for (std::size_t k = i; k < i + 3 && k < bytes.size(); ++k) {
            buffer[buffered++] = static_cast<unsigned char>(bytes[k]);
        }
    }
}

bool attachdecoder::takeline(std::string_view line) {
    if (decoding == DECODE_NONE) return false;
    bool uu = decoding == DECODE_UU;
    long n = uu ? uulinebytes(line) : base64linebytes(line);
    if (n < 0) {
        (void)end();  // a failure stays in writefailed for the caller
        // The "end" line closes a uuencoded file and goes with it.
        return uu && mode != ATTACH_IGNORE && strieq(line, "end");
    }
    bytecount += n;
    if (out) {
        std::string bytes;
        if (uu) {
            decodeuuline(line, bytes);
        } else {
            decodebase64line(line, bytes);
        }
        store(bytes);
    }
    bool taken = mode != ATTACH_IGNORE;
    // Padding ends a Base64 part at its last line.
    if (!uu && line.size() >= 2 && line.substr(line.size() - 2) == "==") (void)end();
    return taken;
}

int attachdecoder::end() {
    if (decoding == DECODE_NONE || !writing) {
        decoding = DECODE_NONE;
        return broken ? -1 : 0;
    }
    decoding = DECODE_NONE;
    if (out) {
        flushbuffer();
        if (closefile(out) != 0) writefailed = true;
    }
    if (writefailed) {
        // Never announced: a cut file is no attachment.
        screenprintf("\r");
        logprintf("Error writing decoded file %s\n", file.path.c_str());
        if (std::remove(file.path.c_str()) != 0)
            logprintf("Error removing %s\n", file.path.c_str());
        broken = true;
    } else if (writefileinfo(file.path, file.name, file.renamed, encoding, mode, bytecount, ignored,
                             packet) != 0) {
        broken = true;
    }
    return broken ? -1 : 0;
}
