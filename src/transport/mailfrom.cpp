#include "transport/mailfrom.h"

#include <vector>

#include "base/text.h"
#include "transport/envelope.h"

namespace {

// The value of the first field called name, unfolded, and where the field
// ends (after its continuation lines); npos when there is none.
std::string fieldvalue(std::string_view header, std::string_view name, std::size_t& end) {
    std::size_t pos = 0;
    end = std::string_view::npos;
    while (pos < header.size()) {
        std::size_t nl = header.find('\n', pos);
        std::size_t next = nl == std::string_view::npos ? header.size() : nl + 1;
        std::string_view line = header.substr(pos, next - pos);
        std::string_view bare = line.substr(0, line.find_first_of("\r\n"));
        if (bare.empty()) break;
        if (bare.size() > name.size() && bare[name.size()] == ':' && istartswith(bare, name)) {
            std::string value(bare.substr(name.size() + 1));
            while (next < header.size() && (header[next] == ' ' || header[next] == '\t')) {
                std::size_t nl2 = header.find('\n', next);
                std::size_t after = nl2 == std::string_view::npos ? header.size() : nl2 + 1;
                std::string_view cont = header.substr(next, after - next);
                value.append(cont.substr(0, cont.find_first_of("\r\n")));
                next = after;
            }
            end = next;
            return value;
        }
        pos = next;
    }
    return {};
}

std::string firstaddress(std::string_view header, std::string_view name, std::size_t& end) {
    std::string value = fieldvalue(header, name, end);
    if (end == std::string_view::npos) return {};
    std::vector<std::string> a = addresslist(value);
    return a.empty() ? std::string() : a.front();
}

}  // namespace

std::string envelopesender(std::string_view header, std::string_view bounce) {
    std::size_t end = 0;
    std::string sender = firstaddress(header, "Sender", end);
    return sender.empty() ? std::string(bounce) : sender;
}

std::string withsender(std::string_view header, std::string_view bounce) {
    std::size_t end = 0;
    (void)fieldvalue(header, "Sender", end);
    if (end != std::string_view::npos || bounce.empty()) return std::string(header);
    std::string from = firstaddress(header, "From", end);
    if (end == std::string_view::npos || sameaddress(from, bounce)) return std::string(header);
    // The line ends as the header's own lines do.
    std::string_view before = header.substr(0, end);
    bool crlf = before.size() >= 2 && before.substr(before.size() - 2) == "\r\n";
    std::string out(header.substr(0, end));
    if (!out.empty() && out.back() != '\n') out += crlf ? "\r\n" : "\n";
    out.append("Sender: ").append(bounce).append(crlf ? "\r\n" : "\n");
    out.append(header.substr(end));
    return out;
}
