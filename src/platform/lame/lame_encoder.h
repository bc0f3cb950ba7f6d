#pragma once

#include "render/mp3_encoder.h"

#include <map>
#include <memory>
#include <string>
#include <tuple>

namespace tarvok {

/// The Mp3Encoder over LAME, loaded at run time. When the library cannot be loaded the
/// encoder reports itself unavailable and accepts nothing, and the first EncAvailable says
/// why through the loader's notice sink ("MP3 encoding is not available: ...").
class LameEncoder : public Mp3Encoder {
public:
    /// pLibrary names the shared library to load; the default is the system's LAME.
    explicit LameEncoder(const std::string& pLibrary = "libmp3lame.so.0");
    ~LameEncoder() override;
    LameEncoder(const LameEncoder&) = delete;
    LameEncoder& operator=(const LameEncoder&) = delete;

    bool EncAvailable() const override;
    bool Accepts(int32_t pRate, int32_t pChannels, int32_t pKbps) override;
    std::unique_ptr<Mp3Stream> Open(int32_t pRate, int32_t pChannels, int32_t pKbps) override;

    struct Api;

private:
    std::shared_ptr<Api> api_;
    std::string problem_; ///< why the library could not be loaded
    std::map<std::tuple<int32_t, int32_t, int32_t>, bool> accepted_;
};

} // namespace tarvok
