// libcurl, loaded the first time SMTP is spoken: linked in, it and the
// thirty libraries it pulls along (TLS, Kerberos, LDAP, ...) would be
// loaded by every run, costing each import and export some milliseconds
// and 6 MB of memory for nothing.
#pragma once

#include <curl/curl.h>

#include <string>

struct curlapi {
    CURLcode (*global_init)(long flags) = nullptr;
    CURL* (*easy_init)() = nullptr;
    CURLcode (*easy_setopt)(CURL* handle, CURLoption option, ...) = nullptr;
    CURLcode (*easy_perform)(CURL* handle) = nullptr;
    void (*easy_cleanup)(CURL* handle) = nullptr;
    const char* (*easy_strerror)(CURLcode code) = nullptr;
    curl_slist* (*slist_append)(curl_slist* list, const char* text) = nullptr;
    void (*slist_free_all)(curl_slist* list) = nullptr;
};

// libcurl (libcurl.so.4), loaded and set up once; null with why set when
// it cannot be.
const curlapi* loadcurl(std::string& why);
