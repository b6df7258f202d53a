#include "lists/listlines.h"

#include <climits>

#include "base/text.h"

int readlistline(std::FILE* f, std::string& line, std::size_t max) {
    line.clear();
    int c = 0;
    while (line.size() < max && (c = std::getc(f)) != EOF) {
        line.push_back(static_cast<char>(c));
        if (c == '\n') break;
    }
    if (!line.empty()) return 1;
    return std::ferror(f) ? -1 : 0;
}

void stripeol(std::string& line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
}

bool islivemarker(std::string_view line) {
    return line == "+\n" || line == "+\r\n";
}

int decimalvalue(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && iswhite(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && isdigitc(static_cast<unsigned char>(text[i])); ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) value = -value;
    if (value > INT_MAX) value = INT_MAX;
    return static_cast<int>(value);
}
