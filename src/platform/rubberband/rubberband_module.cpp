// tarvok2-rubberband.so: the high-quality time stretch and pitch shift.
// The loader calls the entry below once it has opened the module.
#include "platform/loader/adapter_module.h"
#include "platform/rubberband/rubberband_time_pitch.h"

TARVOK_ADAPTER_MODULE_ENTRY
{
    static const tarvok::AdapterModule kModule = [] {
        tarvok::AdapterModule module;
        module.NewTimePitchEngine = []() -> std::unique_ptr<tarvok::TimePitchEngine> {
            return std::make_unique<tarvok::RubberBandTimePitch>();
        };
        return module;
    }();
    return &kModule;
}
