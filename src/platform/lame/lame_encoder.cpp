#include "platform/lame/lame_encoder.h"

#include "platform/loader/module_loader.h"

#include <lame/lame.h>

#include <cstdarg>
#include <dlfcn.h>

namespace tarvok {

// The LAME entry points the adapter uses, resolved from the loaded library.
struct LameEncoder::Api {
    void* Handle = nullptr;
    lame_global_flags* (*Init)() = nullptr;
    int (*SetInRate)(lame_global_flags*, int) = nullptr;
    int (*SetOutRate)(lame_global_flags*, int) = nullptr;
    int (*SetChannels)(lame_global_flags*, int) = nullptr;
    int (*SetBrate)(lame_global_flags*, int) = nullptr;
    int (*SetMode)(lame_global_flags*, MPEG_mode) = nullptr;
    int (*SetVbr)(lame_global_flags*, vbr_mode) = nullptr;
    int (*SetVbrTag)(lame_global_flags*, int) = nullptr;
    int (*SetErrorf)(lame_global_flags*, void (*)(const char*, va_list)) = nullptr;
    int (*SetDebugf)(lame_global_flags*, void (*)(const char*, va_list)) = nullptr;
    int (*SetMsgf)(lame_global_flags*, void (*)(const char*, va_list)) = nullptr;
    int (*InitParams)(lame_global_flags*) = nullptr;
    int (*GetBrate)(const lame_global_flags*) = nullptr;
    int (*GetOutRate)(const lame_global_flags*) = nullptr;
    int (*EncodeInterleaved)(lame_global_flags*, short int*, int, unsigned char*, int) = nullptr;
    int (*EncodeBuffer)(
        lame_global_flags*, const short int*, const short int*, int, unsigned char*, int)
        = nullptr;
    int (*Flush)(lame_global_flags*, unsigned char*, int) = nullptr;
    int (*Close)(lame_global_flags*) = nullptr;

    ~Api()
    {
        if (Handle != nullptr)
            ::dlclose(Handle);
    }
};

namespace {

void Quiet(const char*, va_list) { }

template <class F> bool Resolve(void* pHandle, const char* pName, F& pFunction)
{
    pFunction = reinterpret_cast<F>(::dlsym(pHandle, pName));
    return pFunction != nullptr;
}

// A LAME context set up for CBR output of exactly this rate, channel count and bit rate
// without a VBR header frame; null when LAME changes any of them or refuses.
lame_global_flags* Configure(
    const LameEncoder::Api& pApi, int32_t pRate, int32_t pChannels, int32_t pKbps)
{
    lame_global_flags* flags = pApi.Init();
    if (flags == nullptr)
        return nullptr;
    pApi.SetErrorf(flags, Quiet);
    pApi.SetDebugf(flags, Quiet);
    pApi.SetMsgf(flags, Quiet);
    pApi.SetInRate(flags, pRate);
    pApi.SetOutRate(flags, pRate);
    pApi.SetChannels(flags, pChannels);
    pApi.SetMode(flags, pChannels == 1 ? MONO : JOINT_STEREO);
    pApi.SetVbr(flags, vbr_off);
    pApi.SetBrate(flags, pKbps);
    pApi.SetVbrTag(flags, 0);
    if (pApi.InitParams(flags) < 0 || pApi.GetBrate(flags) != pKbps
        || pApi.GetOutRate(flags) != pRate) {
        pApi.Close(flags);
        return nullptr;
    }
    return flags;
}

class LameStream : public Mp3Stream {
public:
    LameStream(std::shared_ptr<LameEncoder::Api> pApi, lame_global_flags* pFlags, int32_t pChannels)
        : api_(std::move(pApi))
        , flags_(pFlags)
        , channels_(pChannels)
    {
    }
    ~LameStream() override { api_->Close(flags_); }
    LameStream(const LameStream&) = delete;
    LameStream& operator=(const LameStream&) = delete;

    bool Encode(const int16_t* pSamples, int32_t pFrames, std::vector<uint8_t>& pOut) override
    {
        // LAME's worst case: 1.25 bytes a frame plus 7200.
        const size_t start = pOut.size();
        const int capacity = static_cast<int>(pFrames + pFrames / 4 + 7200);
        pOut.resize(start + static_cast<size_t>(capacity));
        int produced = 0;
        if (channels_ == 2)
            produced = api_->EncodeInterleaved(
                flags_, const_cast<short int*>(pSamples), pFrames, pOut.data() + start, capacity);
        else
            produced = api_->EncodeBuffer(
                flags_, pSamples, pSamples, pFrames, pOut.data() + start, capacity);
        if (produced < 0) {
            pOut.resize(start);
            return false;
        }
        pOut.resize(start + static_cast<size_t>(produced));
        return true;
    }

    bool Finish(std::vector<uint8_t>& pOut) override
    {
        const size_t start = pOut.size();
        constexpr int kCapacity = 7200 * 2;
        pOut.resize(start + kCapacity);
        const int produced = api_->Flush(flags_, pOut.data() + start, kCapacity);
        if (produced < 0) {
            pOut.resize(start);
            return false;
        }
        pOut.resize(start + static_cast<size_t>(produced));
        return true;
    }

private:
    std::shared_ptr<LameEncoder::Api> api_;
    lame_global_flags* flags_;
    int32_t channels_;
};

} // namespace

LameEncoder::LameEncoder(const std::string& pLibrary)
{
    void* handle = ::dlopen(pLibrary.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* why = ::dlerror();
        problem_ = pLibrary + " could not be loaded (" + (why ? why : "unknown error") + ")";
        return;
    }
    auto api = std::make_shared<Api>();
    api->Handle = handle;
    const bool resolved = Resolve(handle, "lame_init", api->Init)
        && Resolve(handle, "lame_set_in_samplerate", api->SetInRate)
        && Resolve(handle, "lame_set_out_samplerate", api->SetOutRate)
        && Resolve(handle, "lame_set_num_channels", api->SetChannels)
        && Resolve(handle, "lame_set_brate", api->SetBrate)
        && Resolve(handle, "lame_set_mode", api->SetMode)
        && Resolve(handle, "lame_set_VBR", api->SetVbr)
        && Resolve(handle, "lame_set_bWriteVbrTag", api->SetVbrTag)
        && Resolve(handle, "lame_set_errorf", api->SetErrorf)
        && Resolve(handle, "lame_set_debugf", api->SetDebugf)
        && Resolve(handle, "lame_set_msgf", api->SetMsgf)
        && Resolve(handle, "lame_init_params", api->InitParams)
        && Resolve(handle, "lame_get_brate", api->GetBrate)
        && Resolve(handle, "lame_get_out_samplerate", api->GetOutRate)
        && Resolve(handle, "lame_encode_buffer_interleaved", api->EncodeInterleaved)
        && Resolve(handle, "lame_encode_buffer", api->EncodeBuffer)
        && Resolve(handle, "lame_encode_flush", api->Flush)
        && Resolve(handle, "lame_close", api->Close);
    if (resolved)
        api_ = std::move(api);
    else
        problem_ = pLibrary + " lacks the LAME functions the encoder needs";
}

LameEncoder::~LameEncoder() = default;

bool LameEncoder::EncAvailable() const
{
    if (api_ == nullptr)
        ProcessModules().Notice("MP3 encoding is not available: " + problem_);
    return api_ != nullptr;
}

bool LameEncoder::Accepts(int32_t pRate, int32_t pChannels, int32_t pKbps)
{
    if (!api_ || (pChannels != 1 && pChannels != 2) || pRate <= 0 || pKbps <= 0)
        return false;
    const auto key = std::make_tuple(pRate, pChannels, pKbps);
    if (auto it = accepted_.find(key); it != accepted_.end())
        return it->second;
    lame_global_flags* flags = Configure(*api_, pRate, pChannels, pKbps);
    const bool ok = flags != nullptr;
    if (flags != nullptr)
        api_->Close(flags);
    accepted_[key] = ok;
    return ok;
}

std::unique_ptr<Mp3Stream> LameEncoder::Open(int32_t pRate, int32_t pChannels, int32_t pKbps)
{
    if (!api_ || (pChannels != 1 && pChannels != 2))
        return nullptr;
    lame_global_flags* flags = Configure(*api_, pRate, pChannels, pKbps);
    if (flags == nullptr)
        return nullptr;
    return std::make_unique<LameStream>(api_, flags, pChannels);
}

} // namespace tarvok
