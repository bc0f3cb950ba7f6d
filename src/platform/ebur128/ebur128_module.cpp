// tarvok2-ebur128.so: the loudness meter over libebur128.
// The loader calls the entry below once it has opened the module.
#include "platform/ebur128/ebur128_loudness_meter.h"
#include "platform/loader/adapter_module.h"

TARVOK_ADAPTER_MODULE_ENTRY
{
    static const tarvok::AdapterModule kModule = [] {
        tarvok::AdapterModule module;
        module.NewLoudnessMeter = []() -> std::unique_ptr<tarvok::LoudnessMeter> {
            return std::make_unique<tarvok::Ebur128LoudnessMeter>();
        };
        return module;
    }();
    return &kModule;
}
