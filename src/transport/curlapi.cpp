#include "transport/curlapi.h"

#include <dlfcn.h>

namespace {
template <class F>
bool bind(void* lib, const char* name, F& f) {
    f = reinterpret_cast<F>(dlsym(lib, name));
    return f != nullptr;
}
}  // namespace

const curlapi* loadcurl(std::string& why) {
    static curlapi api;
    static bool tried = false, ready = false;
    static std::string problem;
    if (!tried) {
        tried = true;
        void* lib = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
        if (!lib) {
            const char* e = dlerror();
            problem = std::string("libcurl cannot be loaded: ") + (e ? e : "unknown error");
        } else if (!bind(lib, "curl_global_init", api.global_init) || !bind(lib, "curl_easy_init", api.easy_init) ||
                   !bind(lib, "curl_easy_setopt", api.easy_setopt) ||
                   !bind(lib, "curl_easy_perform", api.easy_perform) ||
                   !bind(lib, "curl_easy_cleanup", api.easy_cleanup) ||
                   !bind(lib, "curl_easy_strerror", api.easy_strerror) ||
                   !bind(lib, "curl_slist_append", api.slist_append) ||
                   !bind(lib, "curl_slist_free_all", api.slist_free_all)) {
            problem = "libcurl lacks a function the gateway needs";
        } else if (api.global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
            problem = "libcurl cannot be set up";
        } else {
            ready = true;
        }
    }
    why = problem;
    return ready ? &api : nullptr;
}
