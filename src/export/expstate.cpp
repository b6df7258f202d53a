#include "export/expstate.h"

#include "base/codec.h"
#include "base/text.h"
#include "import/curmsg.h"

exportstate expstate;

std::uint8_t flowfilekind(std::string_view name) {
    std::size_t dot = name.rfind('.');
    if (dot != std::string_view::npos && strieq(name.substr(dot), packetext)) return FLOW_PACKET;
    return FLOW_FILE;
}

int addflowfile(std::string_view name) {
    if (expstate.flowfilelist.size() >= MAXFLOWFILES) return -1;
    expstate.flowfilelist.push_back({flowfilekind(name), std::string(name)});
    return 0;
}

void clearflowfiles() {
    expstate.flowfilelist.clear();
}

std::string_view flowfilepath(std::string_view name) {
    if (!name.empty() && (name[0] == '^' || name[0] == '#')) name.remove_prefix(1);
    return name;
}

void loadroute(const routeentry& r) {
    curmsg.routemailpwd = r.password.sv();
    curmsg.routemailsubj = r.subject.sv();
    curmsg.msgtoemail = r.email.sv();
    expstate.routeemail = r.email.sv();
    curmsg.routing = ROUTING_ROUTE;
}
