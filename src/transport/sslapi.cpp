#include "transport/sslapi.h"

#include <dlfcn.h>

namespace {
template <class F>
bool bind(void* lib, const char* name, F& f) {
    f = reinterpret_cast<F>(dlsym(lib, name));
    return f != nullptr;
}

// Every function, found in libssl or the libcrypto it brings along.
bool bindall(void* lib, sslapi& a) {
    return bind(lib, "TLS_client_method", a.TLS_client_method) && bind(lib, "SSL_CTX_new", a.SSL_CTX_new) &&
           bind(lib, "SSL_CTX_free", a.SSL_CTX_free) && bind(lib, "SSL_CTX_set_verify", a.SSL_CTX_set_verify) &&
           bind(lib, "SSL_CTX_set_default_verify_paths", a.SSL_CTX_set_default_verify_paths) &&
           bind(lib, "SSL_CTX_load_verify_locations", a.SSL_CTX_load_verify_locations) &&
           bind(lib, "SSL_CTX_ctrl", a.SSL_CTX_ctrl) && bind(lib, "SSL_new", a.SSL_new) &&
           bind(lib, "SSL_free", a.SSL_free) && bind(lib, "SSL_set_fd", a.SSL_set_fd) &&
           bind(lib, "SSL_ctrl", a.SSL_ctrl) && bind(lib, "SSL_set1_host", a.SSL_set1_host) &&
           bind(lib, "SSL_get0_param", a.SSL_get0_param) &&
           bind(lib, "X509_VERIFY_PARAM_set1_ip_asc", a.X509_VERIFY_PARAM_set1_ip_asc) &&
           bind(lib, "SSL_connect", a.SSL_connect) && bind(lib, "SSL_read", a.SSL_read) &&
           bind(lib, "SSL_write", a.SSL_write) && bind(lib, "SSL_pending", a.SSL_pending) &&
           bind(lib, "SSL_get_error", a.SSL_get_error) &&
           bind(lib, "SSL_get_verify_result", a.SSL_get_verify_result) &&
           bind(lib, "X509_verify_cert_error_string", a.X509_verify_cert_error_string) &&
           bind(lib, "SSL_shutdown", a.SSL_shutdown) && bind(lib, "ERR_get_error", a.ERR_get_error) &&
           bind(lib, "ERR_error_string_n", a.ERR_error_string_n) && bind(lib, "ERR_clear_error", a.ERR_clear_error);
}
}  // namespace

const sslapi* loadssl(std::string& why) {
    static sslapi api;
    static bool tried = false, ready = false;
    static std::string problem;
    if (!tried) {
        tried = true;
        void* lib = dlopen("libssl.so.3", RTLD_NOW | RTLD_LOCAL);
        if (!lib) {
            const char* e = dlerror();
            problem = std::string("libssl cannot be loaded: ") + (e ? e : "unknown error");
        } else if (!bindall(lib, api)) {
            problem = "libssl lacks a function the gateway needs";
        } else {
            ready = true;
        }
    }
    why = problem;
    return ready ? &api : nullptr;
}
