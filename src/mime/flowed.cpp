#include "mime/flowed.h"

void flowedtext::line(std::string_view text, std::vector<std::string>& out) {
    int d = 0;
    while (static_cast<std::size_t>(d) < text.size() && text[static_cast<std::size_t>(d)] == '>') ++d;
    text.remove_prefix(static_cast<std::size_t>(d));
    if (!text.empty() && text.front() == ' ') text.remove_prefix(1);  // stuffed
    if (open && d != depth) finish(out);
    if (!open) {
        para.clear();
        if (d > 0) para.assign(static_cast<std::size_t>(d), '>').push_back(' ');
        depth = d;
        open = true;
    }
    bool signature = text == "-- ";
    bool flows = !signature && !text.empty() && text.back() == ' ';
    if (flows && delsp) text.remove_suffix(1);
    para.append(text);
    if (!flows || para.size() >= MAXPARAGRAPH) finish(out);
}

void flowedtext::finish(std::vector<std::string>& out) {
    if (!open) return;
    out.push_back(para);
    para.clear();
    open = false;
}
