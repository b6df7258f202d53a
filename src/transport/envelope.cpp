#include "transport/envelope.h"

#include "base/text.h"

namespace {

// One header field: its name and unfolded value.
struct field {
    std::string_view name;
    std::string value;
    std::size_t start = 0, end = 0;  // its bytes in the header, continuation lines included
};

std::vector<field> fieldsof(std::string_view header) {
    std::vector<field> out;
    std::size_t pos = 0;
    while (pos < header.size()) {
        std::size_t nl = header.find('\n', pos);
        std::size_t end = nl == std::string_view::npos ? header.size() : nl + 1;
        std::string_view line = header.substr(pos, end - pos);
        // One line end, as headerlength reads it: a line of only CRs is a
        // line, not the end of the header.
        std::string_view bare = line;
        if (!bare.empty() && bare.back() == '\n') bare.remove_suffix(1);
        if (!bare.empty() && bare.back() == '\r') bare.remove_suffix(1);
        if (bare.empty()) break;
        if ((bare[0] == ' ' || bare[0] == '\t') && !out.empty()) {
            out.back().value.append(bare);
            out.back().end = end;
        } else {
            std::size_t colon = bare.find(':');
            field f;
            f.start = pos;
            f.end = end;
            if (colon != std::string_view::npos) {
                f.name = bare.substr(0, colon);
                while (!f.name.empty() && (f.name.back() == ' ' || f.name.back() == '\t')) f.name.remove_suffix(1);
                f.value = std::string(bare.substr(colon + 1));
            }
            out.push_back(std::move(f));
        }
        pos = end;
    }
    return out;
}

bool usable(std::string_view a) {
    if (a.empty() || a.size() > 320) return false;
    // A mailbox has a local part, and a domain after its last "@".
    std::size_t at = a.rfind('@');
    if (a[0] == '@' || (at != std::string_view::npos && at + 1 == a.size())) return false;
    for (unsigned char c : a) {
        // Quoted local parts are left out too: rare, and what an RCPT
        // command and a header line can both carry unchanged is wanted.
        if (c <= ' ' || c == 0x7f || c == '<' || c == '>' || c == ',' || c == ';' || c == '"' ||
            c == '\\')
            return false;
    }
    return true;
}

// Tokens of an address list: quoted strings and comments are taken whole,
// so that what they hold (a comma, an "@", angle brackets) means nothing.
class addresslexer {
   public:
    explicit addresslexer(std::string_view v) : s(v) {}

    std::vector<std::string> run() {
        std::vector<std::string> out;
        std::string plain;   // the bare address as seen outside comments and quotes
        std::string angled;  // the content of <...>, if any
        bool inangle = false, hadangle = false, damaged = false;
        auto finish = [&]() {
            std::string a = damaged ? std::string() : hadangle ? angled : plain;
            // A source route "@a,@b:user@host" names the user's host last.
            if (hadangle && !a.empty() && a[0] == '@') {
                std::size_t colon = a.find(':');
                a = colon == std::string::npos ? std::string() : a.substr(colon + 1);
            }
            if (usable(a)) out.push_back(a);
            plain.clear();
            angled.clear();
            inangle = hadangle = damaged = false;
        };
        for (i = 0; i < s.size(); ++i) {
            char c = s[i];
            if (c == '"') {
                // A quoted display name is dropped with the rest of the name
                // when an angle address follows; an address with a quoted
                // local part is not used (see usable).
                std::string q = quoted();
                (inangle ? angled : plain) += "\"" + q + "\"";
            } else if (c == '(') {
                comment();
            } else if (c == '<' && !inangle) {
                inangle = hadangle = true;
                angled.clear();
            } else if (c == '>' && inangle) {
                inangle = false;
            } else if (c == ':' && !inangle && plain.find('@') == std::string::npos) {
                plain.clear();  // a group's name
            } else if ((c == ',' || c == ';') && !inangle) {
                finish();
            } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
                // Words of a display name run together here; with an angle
                // address they are dropped, and a bare address has no spaces.
                if (!inangle && !hadangle && !plain.empty() && i + 1 < s.size()) {
                    std::size_t next = s.find_first_not_of(" \t\r\n", i);
                    if (next != std::string_view::npos && s[next] != '@' && plain.back() != '@' &&
                        s[next] != '<' && s[next] != '(' && s[next] != ',' && s[next] != ';')
                        plain += ' ';
                }
            } else {
                // Anything but white space or a comment after an angle
                // address makes the mailbox unreadable.
                if (hadangle && !inangle) damaged = true;
                (inangle ? angled : plain) += c;
            }
        }
        finish();
        return out;
    }

   private:
    std::string quoted() {
        std::string q;
        for (++i; i < s.size() && s[i] != '"'; ++i) {
            if (s[i] == '\\' && i + 1 < s.size()) {
                q += s[i];
                ++i;
            }
            q += s[i];
        }
        return q;
    }
    void comment() {
        int depth = 0;
        for (; i < s.size(); ++i) {
            if (s[i] == '\\') {
                ++i;
            } else if (s[i] == '(') {
                ++depth;
            } else if (s[i] == ')' && --depth == 0) {
                return;
            }
        }
    }
    std::string_view s;
    std::size_t i = 0;
};

bool iscontains(const std::vector<std::string>& v, std::string_view a) {
    for (const std::string& x : v) {
        if (sameaddress(x, a)) return true;
    }
    return false;
}

bool isfield(const field& f, std::string_view name) {
    return strieq(f.name, name);
}

}  // namespace

std::vector<std::string> addresslist(std::string_view value) {
    return addresslexer(value).run();
}

std::size_t headerlength(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t nl = text.find('\n', pos);
        if (nl == std::string_view::npos) return text.size();
        std::string_view line = text.substr(pos, nl - pos);
        if (line.empty() || line == "\r") return nl + 1;
        pos = nl + 1;
    }
    return text.size();
}

std::string firstfield(std::string_view header, std::string_view name) {
    for (const field& f : fieldsof(header)) {
        if (!isfield(f, name)) continue;
        std::string v = f.value;
        for (char& c : v) {
            if (c == '\r' || c == '\n') c = ' ';
        }
        trim(v);
        return v;
    }
    return "";
}

bool sameaddress(std::string_view a, std::string_view b) {
    std::size_t at = a.rfind('@');
    if (at != b.rfind('@')) return false;
    if (a.substr(0, at) != b.substr(0, at)) return false;
    return at == std::string_view::npos || strieq(a.substr(at), b.substr(at));
}

int readenvelope(std::string_view header, envelope& env, std::string& problem) {
    env = envelope{};
    std::string from, sender;
    std::vector<std::string> all;
    for (const field& f : fieldsof(header)) {
        if (isfield(f, "From") && from.empty()) {
            std::vector<std::string> a = addresslist(f.value);
            if (!a.empty()) from = a.front();
        } else if (isfield(f, "Sender") && sender.empty()) {
            std::vector<std::string> a = addresslist(f.value);
            if (!a.empty()) sender = a.front();
        } else if (isfield(f, "To") || isfield(f, "Cc") || isfield(f, "Bcc")) {
            for (std::string& a : addresslist(f.value)) {
                if (!iscontains(all, a)) all.push_back(std::move(a));
            }
        } else if (isfield(f, SENTTOFIELD)) {
            for (std::string& a : addresslist(f.value)) env.sentto.push_back(std::move(a));
        } else if (isfield(f, "Message-ID") && env.messageid.empty()) {
            std::string id = f.value;
            trim(id);
            env.messageid = id;
        }
    }
    env.sender = sender.empty() ? from : sender;
    for (std::string& a : all) {
        if (!iscontains(env.sentto, a)) env.recipients.push_back(std::move(a));
    }
    if (env.sender.empty()) {
        problem = "no sender";
        return -1;
    }
    if (all.empty()) {
        problem = "no recipients";
        return -1;
    }
    return 0;
}

std::string outgoingheader(std::string_view header, bool keepbcc) {
    std::string out;
    std::size_t pos = 0;
    for (const field& f : fieldsof(header)) {
        if ((!keepbcc && isfield(f, "Bcc")) || isfield(f, SENTTOFIELD)) {
            out.append(header.substr(pos, f.start - pos));
            pos = f.end;
        }
    }
    out.append(header.substr(pos));
    return out;
}

std::string withsentto(std::string_view header, const std::vector<std::string>& addresses) {
    std::string line = std::string(SENTTOFIELD) + ":";
    std::size_t width = line.size();
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        std::string item = " <" + addresses[i] + ">" + (i + 1 < addresses.size() ? "," : "");
        if (width + item.size() > 76 && i > 0) {
            line += "\n";
            width = 0;
        }
        line += item;
        width += item.size();
    }
    line += "\n";
    // Last in the header, where no line of the header can continue it.
    // Before the empty line that ends it, however its lines end.
    std::string head = outgoingheader(header, true);
    if (!head.empty() && head.back() != '\n') head += "\n";
    std::size_t last = head.empty() ? 0 : head.rfind('\n', head.size() - 2);
    last = last == std::string::npos ? 0 : last + 1;
    std::string_view tail = std::string_view(head).substr(last);
    std::size_t at = tail == "\n" || tail == "\r\n" ? last : head.size();
    return head.insert(at, line);
}
