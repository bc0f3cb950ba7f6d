#pragma once

#include "base/result.h"
#include "platform/loader/adapter_module.h"

#include <array>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvok {

/// The adapters built as modules, each over one outside library.
enum class AdapterLib { Ffmpeg, PortAudio, Cdio, Curl, Ebur128, RubberBand };
inline constexpr size_t kAdapterLibCount = 6;

/// The file of an adapter's module ("tarvok2-ffmpeg.so").
std::string_view ModuleFileOf(AdapterLib pLib);
/// The outside library an adapter needs, as messages name it ("FFmpeg (libavformat,
/// libavcodec)").
std::string_view LibraryNameOf(AdapterLib pLib);

/// Where modules are looked for: TARVOK2_MODULE_DIR alone when it is set (tests point it at
/// a folder of their own); otherwise the program's folder, then "../lib/tarvok2" beside it
/// (the installed layout), then the system's search for a bare name (which reads the
/// program's run path: the build tree's module folder).
struct ModuleSearch {
    std::vector<std::string> Folders;
    bool SystemSearch = false;
};
ModuleSearch DefaultModuleSearch();

/// Loads adapter modules on their first use and keeps them loaded for the life of the
/// process (objects they made may live until exit). Any thread may call it.
class ModuleLoader {
public:
    /// pSearch is read once, at the first load.
    explicit ModuleLoader(std::function<ModuleSearch()> pSearch = DefaultModuleSearch);
    ModuleLoader(const ModuleLoader&) = delete;
    ModuleLoader& operator=(const ModuleLoader&) = delete;

    /// The module's factories; an Error "<library> could not be loaded (<why>)" when the
    /// module or a library it needs is missing or does not fit. A failure is remembered.
    Result<const AdapterModule*> Load(AdapterLib pLib);

    /// Receives, once per text, why a feature is unavailable, for the front end to show
    /// (the failure values of the calls do not always reach the user). Empty: the texts are
    /// dropped.
    void SetNoticeSink(std::function<void(const std::string&)> pSink);
    void Notice(const std::string& pText);

private:
    Result<const AdapterModule*> Open(AdapterLib pLib);

    std::function<ModuleSearch()> searchOf_;
    std::mutex mutex_;
    bool searched_ = false;
    ModuleSearch search_;
    std::array<std::optional<Result<const AdapterModule*>>, kAdapterLibCount> loaded_;
    std::function<void(const std::string&)> sink_;
    std::vector<std::string> noticed_;
};

/// The loader the programs use.
ModuleLoader& ProcessModules();

} // namespace tarvok
