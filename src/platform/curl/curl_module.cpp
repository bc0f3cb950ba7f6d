// tarvok2-curl.so: the HTTP client over libcurl.
// The loader calls the entry below once it has opened the module.
#include "platform/curl/curl_http_client.h"
#include "platform/loader/adapter_module.h"

TARVOK_ADAPTER_MODULE_ENTRY
{
    static const tarvok::AdapterModule kModule = [] {
        tarvok::AdapterModule module;
        module.NewHttpClient = []() -> std::unique_ptr<tarvok::HttpClient> {
            return std::make_unique<tarvok::CurlHttpClient>();
        };
        return module;
    }();
    return &kModule;
}
