// OpenSSL's libssl, loaded the first time TLS is spoken to a news server:
// linked in, it and libcrypto would be loaded by every run, costing each
// import and export some milliseconds for nothing (see curlapi.h).
#pragma once

#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <string>

struct sslapi {
    const SSL_METHOD* (*TLS_client_method)() = nullptr;
    SSL_CTX* (*SSL_CTX_new)(const SSL_METHOD* method) = nullptr;
    void (*SSL_CTX_free)(SSL_CTX* ctx) = nullptr;
    void (*SSL_CTX_set_verify)(SSL_CTX* ctx, int mode, SSL_verify_cb callback) = nullptr;
    int (*SSL_CTX_set_default_verify_paths)(SSL_CTX* ctx) = nullptr;
    int (*SSL_CTX_load_verify_locations)(SSL_CTX* ctx, const char* file, const char* dir) = nullptr;
    long (*SSL_CTX_ctrl)(SSL_CTX* ctx, int cmd, long larg, void* parg) = nullptr;
    SSL* (*SSL_new)(SSL_CTX* ctx) = nullptr;
    void (*SSL_free)(SSL* ssl) = nullptr;
    int (*SSL_set_fd)(SSL* ssl, int fd) = nullptr;
    long (*SSL_ctrl)(SSL* ssl, int cmd, long larg, void* parg) = nullptr;
    int (*SSL_set1_host)(SSL* ssl, const char* hostname) = nullptr;
    X509_VERIFY_PARAM* (*SSL_get0_param)(SSL* ssl) = nullptr;
    int (*X509_VERIFY_PARAM_set1_ip_asc)(X509_VERIFY_PARAM* param, const char* ipasc) = nullptr;
    int (*SSL_connect)(SSL* ssl) = nullptr;
    int (*SSL_read)(SSL* ssl, void* buf, int num) = nullptr;
    int (*SSL_write)(SSL* ssl, const void* buf, int num) = nullptr;
    int (*SSL_pending)(const SSL* ssl) = nullptr;
    int (*SSL_get_error)(const SSL* ssl, int ret) = nullptr;
    long (*SSL_get_verify_result)(const SSL* ssl) = nullptr;
    const char* (*X509_verify_cert_error_string)(long n) = nullptr;
    int (*SSL_shutdown)(SSL* ssl) = nullptr;
    unsigned long (*ERR_get_error)() = nullptr;
    void (*ERR_error_string_n)(unsigned long e, char* buf, size_t len) = nullptr;
    void (*ERR_clear_error)() = nullptr;
};

// libssl (libssl.so.3), loaded once; null with why set when it cannot be.
const sslapi* loadssl(std::string& why);
