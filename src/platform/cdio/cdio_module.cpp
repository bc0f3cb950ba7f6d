// tarvok2-cdio.so: the CD drives and disc images over libcdio.
// The loader calls the entry below once it has opened the module.
#include "platform/cdio/cdio_drive_service.h"
#include "platform/loader/adapter_module.h"

TARVOK_ADAPTER_MODULE_ENTRY
{
    static const tarvok::AdapterModule kModule = [] {
        tarvok::AdapterModule module;
        module.NewCdDriveService = []() -> std::unique_ptr<tarvok::CdDriveService> {
            return std::make_unique<tarvok::CdioDriveService>();
        };
        return module;
    }();
    return &kModule;
}
