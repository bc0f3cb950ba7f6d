#pragma once

#include "cd/http_client.h"

namespace tarvok {

/// HttpClient on libcurl: plain HTTP GET, "no-cache" request headers, no redirects, no
/// signals (safe beside the program's other threads), the body delivered raw. The transfer
/// runs on libcurl's multi interface so that the limits' Tick is called while it waits.
class CurlHttpClient : public HttpClient {
public:
    Result<std::string> Get(std::string_view pUrl, const HttpLimits& pLimits) override;
};

} // namespace tarvok
