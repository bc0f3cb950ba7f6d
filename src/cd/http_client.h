#pragma once

#include "base/result.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace tarvok {

/// Bounds of one HTTP request.
struct HttpLimits {
    int64_t MaxBytes = 1024 * 1024; ///< a longer body fails the request
    int32_t TimeoutMs = 10000; ///< the whole request, connection included
    /// Called often (every 50 ms or sooner) while the request waits for the network, on
    /// the calling thread: a window gives the window system its turn here. Returning
    /// false cancels the request. Empty: the request just waits.
    std::function<bool()> Tick;
};

/// The platform's HTTP client: a plain GET that never answers from a cache and returns
/// the raw body. A failure (no connection, a status other than 2xx, a body over the size
/// bound, the time bound passed, the tick cancelled it) is an Error, never a partial body;
/// no exception leaves the call.
class HttpClient {
public:
    virtual ~HttpClient() = default;
    virtual Result<std::string> Get(std::string_view pUrl, const HttpLimits& pLimits) = 0;
};

} // namespace tarvok
