// Delivery status notifications as any server (or anyone) may write them:
// the parser stays within its bounds and what it gives a person is text:
// UTF-8 in the explanation and the subject, status codes that are codes,
// no line breaks inside a field of the summary.
#include <cstdint>
#include <string>

#include "import/dsn.h"
#include "mime/charsets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string message(reinterpret_cast<const char*>(data), size);
    dsnreport d;
    parsedsn(message, d);
    if (d.recipients.size() > MAXDSNRECIPIENTS) __builtin_trap();
    if (!isvalidutf8(d.humantext) || !isvalidutf8(d.returnedsubject)) __builtin_trap();
    for (const dsnrecipient& r : d.recipients) {
        for (const std::string* f : {&r.recipient, &r.action, &r.status, &r.diagnostic}) {
            if (f->find('\n') != std::string::npos) __builtin_trap();
        }
        if (!r.status.empty() && r.status.find('.') == std::string::npos && d.reporttype.empty()) __builtin_trap();
    }
    std::string summary = dsnsummary(d);
    if (!d.recipients.empty() && summary.empty()) __builtin_trap();
    (void)maybereport(message.substr(0, 64), message.substr(0, 32), message);
    return 0;
}
