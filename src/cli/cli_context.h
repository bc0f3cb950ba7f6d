#pragma once

#include "app/shell/main_logic.h"
#include "cli/cli_args.h"
#include "core/headless_ui.h"
#include "core/paths.h"
#include "core/settings.h"
#include "decode/decode_audio.h"
#include "platform/inifile/ini_settings_backend.h"
#include "platform/loader/lazy_adapters.h"

#include <ostream>
#include <string>
#include <vector>

namespace tarvok {

/// Everything one invocation needs: the settings store, a headless user interface that
/// prints status messages, and the parsed global options.
struct CliContext {
    std::ostream& Out;
    std::ostream& Err;
    IniSettingsBackend Backend { SettingsFolder() };
    Settings Store { Backend };
    HeadlessUi Ui;
    std::string DataFolder;

    CliContext(std::ostream& pOut, std::ostream& pErr)
        : Out(pOut)
        , Err(pErr)
    {
    }

    int Fail(const std::string& pMessage, int pCode = 1)
    {
        Err << "tarvok2-cli: error: " << pMessage << "\n";
        return pCode;
    }

    /// The path of project NAME: a path as given when it contains "/", else a file of the
    /// data folder; ".tvp" is added when missing.
    std::string ProjectPath(const std::string& pName, const std::string& pDataFolder) const;
};

/// Starts a headless main window with the settings of this user (and the data folder of
/// the command line), for the commands that work on projects.
struct HeadlessSession {
    MainLogic Logic;
    LazyMediaBackend Media;
    MediaSoundDecoder Decoder { Media, [this] { return Logic.Folder().Path(); },
        [this] { return &Logic.Log(); } };
    LazyLoudnessMeter Loudness;
    LazyTimePitchEngine TimePitch;
    bool Started = false;

    HeadlessSession(CliContext& pCtx)
        : Logic(pCtx.Store, pCtx.Ui)
    {
        if (!pCtx.DataFolder.empty())
            Logic.SetDataFolderOverride(pCtx.DataFolder);
        Logic.SetDecoder(&Decoder);
        Logic.SetLoudnessMeter(&Loudness);
        Logic.SetTimePitchEngine(&TimePitch);
        // A command-line run never offers to resume earlier work: nobody is there to answer.
        Started = Logic.Startup("", false);
    }
};

/// The message for a path that names no regular file: "no such <what>: PATH", or what is
/// there instead (a folder, a pipe or device), so that neither is called missing.
std::string NotAFileText(const std::string& pWhat, const std::string& pPath);

/// Takes the edit lock of the project file pPath for this run; false (with a message on the
/// error stream) when another process is editing it.
bool LockForWriting(CliContext& pCtx, HeadlessSession& pSession, const std::string& pPath);

/// Opens project pName into the session and puts its path in pPath; false (with a message)
/// when it cannot. With pForWriting the project's edit lock is taken first, and another
/// holder refuses the run; without it the project is opened only to be read and the lock is
/// never taken, so that a reader never keeps a writer out.
bool OpenNamedProject(CliContext& pCtx, HeadlessSession& pSession, const std::string& pName,
    std::string& pPath, bool pForWriting = false);

using CliCommand = int (*)(CliContext&, const std::vector<std::string>&);

/// The command-table rows of the commands below.
extern const CliCommandSpec kDemoSpec;
extern const CliCommandSpec kNewProjectSpec;
extern const CliCommandSpec kImportSpec;
extern const CliCommandSpec kInfoSpec;
extern const CliCommandSpec kSaveAllSpec;

int DemoCommand(CliContext& pCtx, const std::vector<std::string>& pArgs);
int NewProjectCommand(CliContext& pCtx, const std::vector<std::string>& pArgs);
int ImportCommand(CliContext& pCtx, const std::vector<std::string>& pArgs);
int InfoCommand(CliContext& pCtx, const std::vector<std::string>& pArgs);
int SaveAllCliCommand(CliContext& pCtx, const std::vector<std::string>& pArgs);

} // namespace tarvok
