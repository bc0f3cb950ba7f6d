#include "platform/curl/curl_http_client.h"

#include <curl/curl.h>

#include <functional>
#include <mutex>

namespace tarvok {

namespace {

struct Sink {
    std::string Body;
    int64_t Max = 0;
    bool TooLong = false;
};

size_t Append(char* pData, size_t pSize, size_t pCount, void* pUser)
{
    auto* sink = static_cast<Sink*>(pUser);
    const size_t n = pSize * pCount;
    if (static_cast<int64_t>(sink->Body.size() + n) > sink->Max) {
        sink->TooLong = true;
        return 0; // makes libcurl stop with a write error
    }
    sink->Body.append(pData, n);
    return n;
}

void GlobalInit()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

/// Runs the transfer of pCurl on a multi handle, waking at least every kTickMs to call
/// pTick (when set) so that the caller's thread stays responsive. pTick returning false
/// stops the transfer and sets pCancelled. The time and size bounds are the easy handle's.
CURLcode Perform(CURL* pCurl, const std::function<bool()>& pTick, bool& pCancelled)
{
    constexpr int kTickMs = 50;
    CURLM* multi = curl_multi_init();
    if (!multi)
        return CURLE_OUT_OF_MEMORY;
    if (curl_multi_add_handle(multi, pCurl) != CURLM_OK) {
        curl_multi_cleanup(multi);
        return CURLE_FAILED_INIT;
    }
    CURLcode code = CURLE_OK;
    int running = 1;
    while (running > 0) {
        if (curl_multi_perform(multi, &running) != CURLM_OK) {
            code = CURLE_RECV_ERROR;
            break;
        }
        if (running == 0)
            break;
        if (pTick && !pTick()) {
            pCancelled = true;
            break;
        }
        if (curl_multi_poll(multi, nullptr, 0, kTickMs, nullptr) != CURLM_OK) {
            code = CURLE_RECV_ERROR;
            break;
        }
    }
    if (running == 0 && code == CURLE_OK) {
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &left))
            if (message->msg == CURLMSG_DONE && message->easy_handle == pCurl)
                code = message->data.result;
    }
    curl_multi_remove_handle(multi, pCurl);
    curl_multi_cleanup(multi);
    return code;
}

} // namespace

Result<std::string> CurlHttpClient::Get(std::string_view pUrl, const HttpLimits& pLimits)
{
    GlobalInit();
    CURL* curl = curl_easy_init();
    if (!curl)
        return Fail("HTTP: no client");
    const std::string url(pUrl);
    Sink sink;
    sink.Max = pLimits.MaxBytes;
    curl_slist* headers = nullptr;
    headers = curl_slist_append(headers, "Cache-Control: no-cache");
    headers = curl_slist_append(headers, "Pragma: no-cache");
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "tarvok2");
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(pLimits.TimeoutMs));
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(pLimits.TimeoutMs));
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(pLimits.MaxBytes));
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Append);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
    bool cancelled = false;
    const CURLcode code = Perform(curl, pLimits.Tick, cancelled);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_cleanup(curl);
    curl_slist_free_all(headers);
    if (cancelled)
        return Fail("HTTP: the request was cancelled", ErrorCode::Cancelled);
    if (sink.TooLong || code == CURLE_FILESIZE_EXCEEDED)
        return Fail("HTTP: the answer is too long", ErrorCode::TooLarge);
    if (code != CURLE_OK)
        return Fail(std::string("HTTP: ") + curl_easy_strerror(code));
    if (status == 404)
        return Fail("HTTP: status 404", ErrorCode::NotFound);
    if (status < 200 || status > 299)
        return Fail("HTTP: status " + std::to_string(status));
    return std::move(sink.Body);
}

} // namespace tarvok
