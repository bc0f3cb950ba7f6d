#include "platform/loader/module_loader.h"

#include <algorithm>
#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <system_error>

namespace tarvok {

namespace {

struct LibRow {
    AdapterLib Lib;
    std::string_view File;
    std::string_view Library;
};

constexpr std::array<LibRow, kAdapterLibCount> kLibs { {
    { AdapterLib::Ffmpeg, "tarvok2-ffmpeg.so", "FFmpeg (libavformat, libavcodec)" },
    { AdapterLib::PortAudio, "tarvok2-portaudio.so", "PortAudio (libportaudio)" },
    { AdapterLib::Cdio, "tarvok2-cdio.so", "libcdio" },
    { AdapterLib::Curl, "tarvok2-curl.so", "libcurl" },
    { AdapterLib::Ebur128, "tarvok2-ebur128.so", "libebur128" },
    { AdapterLib::RubberBand, "tarvok2-rubberband.so", "Rubber Band (librubberband)" },
} };

constexpr bool RowsInOrder()
{
    for (size_t i = 0; i < kLibs.size(); ++i)
        if (static_cast<size_t>(kLibs[i].Lib) != i)
            return false;
    return true;
}
static_assert(RowsInOrder(), "kLibs is indexed by AdapterLib");

const LibRow& RowOf(AdapterLib pLib) { return kLibs[static_cast<size_t>(pLib)]; }

std::string LastDlError()
{
    const char* text = ::dlerror();
    return text != nullptr ? text : "unknown error";
}

// The module's table from an opened handle; the handle stays open for good either way,
// since a module that ran its initialisers is not worth the risk of unloading.
Result<const AdapterModule*> EntryOf(void* pHandle, std::string_view pPath)
{
    auto entry = reinterpret_cast<AdapterModuleEntry>(::dlsym(pHandle, kAdapterModuleEntry));
    if (entry == nullptr)
        return Fail(std::string(pPath) + " is not a tarvok2 module");
    const AdapterModule* module = entry();
    if (module == nullptr || module->Abi != kAdapterModuleAbi
        || module->Size != sizeof(AdapterModule))
        return Fail(std::string(pPath) + " belongs to another build of tarvok2");
    return module;
}

Error LoadFailure(const LibRow& pRow, const std::string& pWhy)
{
    return Fail(std::string(pRow.Library) + " could not be loaded (" + pWhy + ")");
}

Result<const AdapterModule*> Checked(Result<const AdapterModule*> pModule, const LibRow& pRow)
{
    if (!pModule)
        return LoadFailure(pRow, pModule.error().Message);
    return pModule;
}

} // namespace

std::string_view ModuleFileOf(AdapterLib pLib) { return RowOf(pLib).File; }

std::string_view LibraryNameOf(AdapterLib pLib) { return RowOf(pLib).Library; }

ModuleSearch DefaultModuleSearch()
{
    ModuleSearch search;
    if (const char* dir = std::getenv("TARVOK2_MODULE_DIR"); dir != nullptr && *dir != '\0') {
        search.Folders.emplace_back(dir);
        return search;
    }
    std::error_code error;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) {
        search.Folders.push_back(exe.parent_path().string());
        search.Folders.push_back((exe.parent_path().parent_path() / "lib" / "tarvok2").string());
    }
#ifdef TARVOK2_BUILD_MODULE_DIR
    search.Folders.emplace_back(TARVOK2_BUILD_MODULE_DIR);
#endif
    search.SystemSearch = true;
    return search;
}

ModuleLoader::ModuleLoader(std::function<ModuleSearch()> pSearch)
    : searchOf_(std::move(pSearch))
{
}

Result<const AdapterModule*> ModuleLoader::Load(AdapterLib pLib)
{
    std::lock_guard lock(mutex_);
    std::optional<Result<const AdapterModule*>>& slot = loaded_[static_cast<size_t>(pLib)];
    if (!slot)
        slot = Open(pLib);
    return *slot;
}

Result<const AdapterModule*> ModuleLoader::Open(AdapterLib pLib)
{
    if (!searched_) {
        search_ = searchOf_();
        searched_ = true;
    }
    const LibRow& row = RowOf(pLib);
    std::string folders;
    for (const std::string& folder : search_.Folders) {
        const std::string path = (std::filesystem::path(folder) / row.File).string();
        std::error_code error;
        if (!std::filesystem::is_regular_file(path, error)) {
            folders += (folders.empty() ? "" : ", ") + folder;
            continue;
        }
        void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr)
            return LoadFailure(row, LastDlError());
        return Checked(EntryOf(handle, path), row);
    }
    if (search_.SystemSearch) {
        const std::string file(row.File);
        if (void* handle = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL); handle != nullptr) {
            return Checked(EntryOf(handle, file), row);
        }
        return LoadFailure(row, LastDlError());
    }
    return LoadFailure(
        row, std::string(row.File) + " is not in " + (folders.empty() ? "any folder" : folders));
}

void ModuleLoader::SetNoticeSink(std::function<void(const std::string&)> pSink)
{
    std::lock_guard lock(mutex_);
    sink_ = std::move(pSink);
}

void ModuleLoader::Notice(const std::string& pText)
{
    std::function<void(const std::string&)> sink;
    {
        std::lock_guard lock(mutex_);
        if (!sink_ || std::find(noticed_.begin(), noticed_.end(), pText) != noticed_.end())
            return;
        noticed_.push_back(pText);
        sink = sink_;
    }
    sink(pText);
}

ModuleLoader& ProcessModules()
{
    static ModuleLoader loader;
    return loader;
}

} // namespace tarvok
