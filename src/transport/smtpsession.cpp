#include "transport/smtpsession.h"

#include <unistd.h>

#include <deque>

#include "base/text.h"
#include "transport/curlapi.h"

// What each answer belongs to: libcurl writes every command it sends and
// every line it receives through the trace callback, in order, and SMTP
// answers every command once (a 354 after DATA is followed by the answer
// to the data).
enum expectations { EXP_GREETING, EXP_MAIL, EXP_RCPT, EXP_DATA, EXP_ENDDATA, EXP_OTHER };

struct smtpsession::tracestate {
    smtpreplyreader reader;
    std::deque<int> expected;
    smtpreply greeting, mail, data, enddata, other;
    std::vector<smtpreply> rcpt;
    bool connected = false;  // libcurl opened a connection in this transfer
    bool sawclose = false;   // the server answered 421
    long connects = 0;

    void begin() {
        mail = data = enddata = other = smtpreply{};
        rcpt.clear();
        sawclose = false;
    }
    void sent(std::string_view bytes) {
        std::size_t pos = 0;
        while (pos < bytes.size()) {
            std::size_t nl = bytes.find('\n', pos);
            std::string_view l = bytes.substr(pos, nl == std::string_view::npos ? nl : nl - pos);
            pos = nl == std::string_view::npos ? bytes.size() : nl + 1;
            if (l.empty()) continue;
            if (istartswith(l, "MAIL FROM:")) {
                expected.push_back(EXP_MAIL);
            } else if (istartswith(l, "RCPT TO:")) {
                expected.push_back(EXP_RCPT);
            } else if (strieq(l.substr(0, l.find('\r')), "DATA")) {
                expected.push_back(EXP_DATA);
            } else {
                expected.push_back(EXP_OTHER);
            }
        }
    }
    void received(std::string_view bytes) {
        std::vector<smtpreply> replies;
        reader.feed(bytes, replies);
        for (const smtpreply& r : replies) answer(r);
    }
    void answer(const smtpreply& r) {
        if (r.code == 421) sawclose = true;
        int what = EXP_OTHER;
        if (!expected.empty()) {
            what = expected.front();
            expected.pop_front();
        }
        switch (what) {
            case EXP_GREETING: greeting = r; break;
            case EXP_MAIL: mail = r; break;
            case EXP_RCPT: rcpt.push_back(r); break;
            case EXP_DATA:
                data = r;
                if (r.code == 354) expected.push_front(EXP_ENDDATA);
                break;
            case EXP_ENDDATA: enddata = r; break;
            default: other = r; break;
        }
    }
    void connecting() {
        // A new connection begins with the server's greeting.
        expected.clear();
        expected.push_back(EXP_GREETING);
        reader = smtpreplyreader{};
        connected = true;
        ++connects;
    }
};

namespace {

int tracecallback(CURL*, curl_infotype type, char* data, size_t size, void* user) {
    auto* t = static_cast<smtpsession::tracestate*>(user);
    std::string_view bytes(data, size);
    switch (type) {
        case CURLINFO_TEXT:
            // libcurl's own words; a fresh connection is the one thing
            // that matters here.
            if (bytes.substr(0, 13) == "Connected to ") t->connecting();
            break;
        case CURLINFO_HEADER_OUT: t->sent(bytes); break;
        case CURLINFO_HEADER_IN: t->received(bytes); break;
        default: break;
    }
    return 0;
}

size_t readcallback(char* buf, size_t size, size_t n, void* user) {
    auto* body = static_cast<const wirereader*>(user);
    long got = (*body)(buf, size * n);
    return got < 0 ? CURL_READFUNC_ABORT : static_cast<size_t>(got);
}

std::string angled(const std::string& a) {
    return "<" + a + ">";
}

std::string ehloname(const sendtarget& target) {
    if (!target.helo.empty()) return target.helo;
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) == 0 && std::string_view(host).find('.') != std::string_view::npos)
        return host;
    return "localhost";
}

}  // namespace

smtpsession::smtpsession() : trace(new tracestate) {}

smtpsession::~smtpsession() {
    if (curl) api->easy_cleanup(static_cast<CURL*>(curl));
    delete trace;
}

int smtpsession::setup(const sendtarget& target, std::string& why) {
    // libcurl logs in over whatever connection it has: a user without TLS
    // would send the password as it stands.
    if (cleartextlogin(target) && !target.insecure) {
        why = "SendMail has a user but no TLS (smtps:// or starttls): PondLark does not send a password in clear "
              "(\"insecure\" allows it)";
        return -1;
    }
    if (!(api = loadcurl(why))) return -1;
    if (!(curl = api->easy_init())) {
        why = "libcurl cannot be set up";
        return -1;
    }
    if (!target.user.empty() && loadpassword(target, password, why) != 0) return -1;
    CURL* c = static_cast<CURL*>(curl);
    std::string url = target.url;
    // Without a path libcurl names itself by the URL's path in EHLO.
    if (target.helo.empty()) {
        url += '/';
        url += ehloname(target);
    }
    api->easy_setopt(c, CURLOPT_URL, url.c_str());
    api->easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    api->easy_setopt(c, CURLOPT_UPLOAD, 1L);
    api->easy_setopt(c, CURLOPT_CONNECTTIMEOUT, 30L);
    // A server that stops answering ends the session rather than the run.
    api->easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
    api->easy_setopt(c, CURLOPT_LOW_SPEED_TIME, 300L);
    api->easy_setopt(c, CURLOPT_MAIL_RCPT_ALLLOWFAILS, 1L);
    api->easy_setopt(c, CURLOPT_VERBOSE, 1L);
    api->easy_setopt(c, CURLOPT_DEBUGFUNCTION, tracecallback);
    api->easy_setopt(c, CURLOPT_DEBUGDATA, trace);
    api->easy_setopt(c, CURLOPT_READFUNCTION, readcallback);
    if (target.starttls) api->easy_setopt(c, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
    if (!target.cafile.empty()) api->easy_setopt(c, CURLOPT_CAINFO, target.cafile.c_str());
    if (!target.user.empty()) {
        api->easy_setopt(c, CURLOPT_USERNAME, target.user.c_str());
        api->easy_setopt(c, CURLOPT_PASSWORD, password.c_str());
    }
    return 0;
}

smtpoutcome smtpsession::send(const std::string& sender, const std::vector<std::string>& recipients,
                              const wirereader& body) {
    smtpoutcome o;
    CURL* c = static_cast<CURL*>(curl);
    if (!c) {
        o.why = "no SMTP session";
        return o;
    }
    std::string from = angled(sender);
    curl_slist* rcpts = nullptr;
    for (const std::string& r : recipients) rcpts = api->slist_append(rcpts, angled(r).c_str());
    api->easy_setopt(c, CURLOPT_MAIL_FROM, from.c_str());
    api->easy_setopt(c, CURLOPT_MAIL_RCPT, rcpts);
    api->easy_setopt(c, CURLOPT_READDATA, &body);
    trace->begin();
    trace->connected = false;
    CURLcode rc = api->easy_perform(c);
    api->easy_setopt(c, CURLOPT_MAIL_RCPT, nullptr);
    api->slist_free_all(rcpts);
    if (trace->connected) ++opened;
    tracestate& t = *trace;
    o.rcpt = t.rcpt;
    o.rcpt.resize(recipients.size());

    bool anyaccepted = false, anytemporary = false;
    for (const smtpreply& r : o.rcpt) {
        anyaccepted = anyaccepted || replyclass(r.code) == 2;
        anytemporary = anytemporary || replyclass(r.code) == 4;
    }
    auto decide = [&o](int result, const smtpreply& r, const std::string& why) {
        o.result = result;
        o.decisive = r;
        o.why = r.code ? replytext(r) : why;
        return o;
    };
    // libcurl saw the 250 after the data itself; the trace only adds detail.
    if (rc == CURLE_OK) return decide(SMTP_ACCEPTED, t.enddata, "accepted");
    if (t.sawclose) return decide(SMTP_SESSION, smtpreply{421, "", "the server closes the session"}, "");
    // The first answer that went wrong decides.
    if (t.mail.code && replyclass(t.mail.code) != 2)
        return decide(replyclass(t.mail.code) == 5 ? SMTP_PERMANENT : SMTP_TEMPORARY, t.mail, "");
    if (t.mail.code && !o.rcpt.empty() && !anyaccepted && replyclass(o.rcpt.back().code) != 0) {
        const smtpreply* first = &o.rcpt.front();
        for (const smtpreply& r : o.rcpt) {
            if (replyclass(r.code) == 4) first = &r;
        }
        return decide(anytemporary ? SMTP_TEMPORARY : SMTP_PERMANENT, *first, "");
    }
    if (t.data.code && t.data.code != 354)
        return decide(replyclass(t.data.code) == 5 ? SMTP_PERMANENT : SMTP_TEMPORARY, t.data, "");
    if (t.enddata.code && replyclass(t.enddata.code) != 2)
        return decide(replyclass(t.enddata.code) == 5 ? SMTP_PERMANENT : SMTP_TEMPORARY, t.enddata, "");
    // Nothing of the message was answered: the session itself failed
    // (connection, TLS, login, or the greeting).
    std::string why = api->easy_strerror(rc);
    if (t.other.code && replyclass(t.other.code) >= 4) why = replytext(t.other);
    if (t.greeting.code && replyclass(t.greeting.code) != 2) why = replytext(t.greeting);
    return decide(SMTP_SESSION, smtpreply{}, why);
}
