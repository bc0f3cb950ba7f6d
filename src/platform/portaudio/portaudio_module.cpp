// tarvok2-portaudio.so: the sound devices over PortAudio.
// The loader calls the entry below once it has opened the module.
#include "platform/loader/adapter_module.h"
#include "platform/portaudio/portaudio_wave_device.h"

TARVOK_ADAPTER_MODULE_ENTRY
{
    static const tarvok::AdapterModule kModule = [] {
        tarvok::AdapterModule module;
        // A sound system that does not start gives no service: the proxy then says so.
        module.NewWaveOut = []() -> std::unique_ptr<tarvok::WaveOutService> {
            auto out = std::make_unique<tarvok::PortAudioWaveOut>();
            if (!out->Available())
                return nullptr;
            return out;
        };
        module.NewWaveIn = []() -> std::unique_ptr<tarvok::WaveInService> {
            auto in = std::make_unique<tarvok::PortAudioWaveIn>();
            if (!in->Available())
                return nullptr;
            return in;
        };
        return module;
    }();
    return &kModule;
}
