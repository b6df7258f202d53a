#include "import/rangereader.h"

rangereader::rangereader(std::FILE* f, msgrange r) : file(f), pos(r.start), end(r.end) {
    if (std::fseek(file, pos, SEEK_SET) != 0) failed = true;
}

std::size_t rangereader::readline(std::string& out, std::size_t max) {
    std::size_t n = 0;
    while (n < max && !atend()) {
        int c = getc_unlocked(file);
        if (c == EOF) {
            // The file is shorter than the range promised (or unreadable).
            failed = true;
            break;
        }
        out.push_back(static_cast<char>(c));
        ++pos;
        ++n;
        if (c == '\n') break;
    }
    return n;
}

int rangereader::peek() {
    if (atend()) return EOF;
    int c = getc_unlocked(file);
    if (c == EOF) {
        failed = true;
        return EOF;
    }
    ungetc(c, file);
    return c;
}
