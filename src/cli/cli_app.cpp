#include "cli/cli_app.h"

#include "cli/automate_command.h"
#include "cli/cd_command.h"
#include "cli/cli_context.h"
#include "cli/fx_command.h"
#include "cli/mixdown_command.h"
#include "cli/play_command.h"
#include "cli/record_command.h"
#include "cli/run_command.h"
#include "cli/wave_info_command.h"

#include "app/main_logic.h"
#include "app/setting_keys.h"
#include "base/legacy_text.h"
#include "base/text.h"
#include "core/headless_ui.h"
#include "core/paths.h"
#include "core/settings.h"
#include "core/time_text.h"
#include "platform/iconv/shift_jis_decoder.h"
#include "platform/inifile/ini_settings_backend.h"
#include "platform/loader/module_loader.h"

#include <filesystem>
#include <functional>
#include <map>
#include <set>

namespace tarvok {

namespace {

constexpr const char* kUsage = R"(usage: tarvok2-cli [--data-folder DIR] COMMAND [ARGS]

Commands:
  demo                     start the system headless, build and save a demo project of
                           synthesised tracks (demo.tvp in the data folder), end cleanly
  cleanup                  tidy the data folder: delete working files no saved project uses
  info FILE [--json]       the format summary of a sound file
  info NAME [--json]       the summary of a project (tracks, wave files, blocks, length)
  new NAME [--rate HZ] [--tracks N]
                           create an empty project NAME.tvp in the data folder
  import NAME FILE [--track N] [--at TIME] [--keep-rate]
                           import a sound file into a project (tracks count from 0;
                           --keep-rate makes an empty project take the file's rate);
                           FILE cd:DRIVE#N rips CD track N (from 1) and imports it
  cd list                  the CD drives and the disc images of the setting CDImages
  cd toc DRIVE [--cddb] [--album N] [--accuraterip]
                           the tracks of a disc (DRIVE: a path or a number of cd list),
                           its CDDB and MusicBrainz disc ids, and with --cddb its titles
                           from the CDDB server, else from MusicBrainz (--album N picks
                           the Nth of several matches); --accuraterip reads every track,
                           shows its AccurateRip v1 and v2 sums and checks them against
                           the database of the setting AccurateRipServer
  cd rip DRIVE --track N -o OUT.wav [--check] [--level DB] [--paranoia] [--accuraterip]
                           rip a track (from 1) to a WAV file; --check reads it twice
                           and compares; --level applies -30..20 dB while reading;
                           --paranoia (or the setting ParanoiaRip) reads with error
                           correction where the drive allows; prints the AccurateRip sums,
                           with --accuraterip checked against the database
  fx NAME FX_ID [P0 P1 ...] [--check N=0|1] [--freq HZ] [--quality standard|high]
          [--lufs TARGET] [--track N --from TIME --to TIME]
                           apply an effect (its number or name, FX_DELAY) to the
                           project's selection with the faders given (saved values or
                           defaults for the rest); --quality high renders pitch shift
                           and time stretch through the high-quality engine; normalise
                           (FX_NORM) --lufs brings each block to TARGET LUFS; fx --list
                           prints every effect
  saveall NAME FOLDER      write a self-contained copy of a project into FOLDER
  mixdown NAME (-o OUT.wav|.mp3|.flac|.opus | --to-track N | --cd) [--tracks all|selected|playing]
          [--range all|selection|zero] [--format Mono8bit..Stereo24bit] [--rate HZ]
          [--bitrate KBPS] [--normalize DB] [--rms] [--loudness LUFS] [--measure]
          [--loop N] [--pre-silence MS] [--post-silence MS]
                           mix the project down to a WAV, MP3, FLAC or Ogg Opus file
                           (chosen by the extension), onto a track, or
                           into the CD folder (track001.wav, track002.wav, ...);
                           --loudness brings the mix to LUFS (true peak kept at
                           -1 dBTP); with it or --measure the mix's loudness and true
                           peak are printed
  devices                  the output and input devices with their IDs (0 = default)
  play NAME [--from TIME] [--to TIME] [--device ID]
                           play a project (or a range of it) on a sound device
  record NAME --track N [--input RECCH] [--device ID] [--seconds S] [--with-playback]
         [--voice-start DB] [--voice-stop DB --stop-after MS] [--place-orphans]
                           record a sound input into a track until S seconds, the
                           voice-activated stop or Ctrl-C, then save the project
  run NAME SCRIPT          run a command script (a file, or - for standard input) on a
                           project: one command ID per line with the answers to its
                           prompts, or SELECT_TRACKS 0,2 / CURRENT_TRACK N / MARKIN TIME /
                           MARKOUT TIME / HEAD TIME / SELECT_BLOCK I / MOVE_BLOCK I FRAMES
                           [TRACKS] / FADE_CHANNELS L|R|LR; SAMPLEEDIT opens the sample
                           editor on the selection of the current track, then SE_SELECT
                           FROM TO / SE_PENCIL L|R F1 V1 F2 V2 / SE_CUT / SE_DELETE /
                           SE_COPY / SE_PASTE / SE_UNDO / SE_REDO / SE_SILENCE L|R|LR /
                           SE_SELALL (frames of the edit file) and SE_OK [yes|no] or
                           SE_CANCEL to close it
  automate NAME --track N --from TIME --curve FILE
                           write automation into track N: play from TIME as fast as
                           possible while the automation fader follows FILE (lines
                           "TIME LEVEL": timeline times, levels 0..255 or "-6db"), up to
                           its last point, then save the project

NAME is a project file in the data folder (".tvp" added when missing) or a path.
  settings list            every setting with its current value
  settings get KEY         the current value of one setting (its default when unset)
  settings set KEY VALUE   store a setting (an empty VALUE is stored as "***")
  settings delete KEY      remove a stored setting, so that its default applies again

Options:
  --data-folder DIR        use DIR as the data folder for this run
  -h, --help               show this help
)";

std::string EffectiveDefault(const SettingKeyInfo& pKey, const Settings& pStore)
{
    if (pKey.DefaultIsUnity) {
        int32_t type = pStore.GetSetting("FadeTableType", int32_t { 1 });
        return std::to_string(UnityLevelOf(type == 0 ? 0 : 1));
    }
    return std::string(pKey.Default);
}

/// The value a reader of the key gets now: the stored text after the "***" rule, or the
/// key's default when nothing usable is stored.
std::string EffectiveValue(
    const SettingKeyInfo& pKey, std::string_view pName, const Settings& pStore)
{
    std::optional<std::string> raw = pStore.GetRaw(pName, pKey.Section);
    if (!raw)
        return EffectiveDefault(pKey, pStore);
    if (pKey.Type != SettingType::Text && !IsValidSettingValue(pKey, *raw))
        return EffectiveDefault(pKey, pStore);
    return *raw;
}

int SettingsCommand(CliContext& pCtx, const std::vector<std::string>& pArgs)
{
    if (pArgs.empty())
        return pCtx.Fail("settings needs one of: list, get KEY, set KEY VALUE, delete KEY", 2);
    const std::string& verb = pArgs[0];
    if (verb == "list") {
        if (pArgs.size() != 1)
            return pCtx.Fail("settings list takes no arguments", 2);
        std::set<std::string> shown;
        for (const SettingKeyInfo& key : AllSettingKeys()) {
            if (key.Family != KeyFamily::None)
                continue;
            pCtx.Out << key.Name << "=" << EffectiveValue(key, key.Name, pCtx.Store) << "\n";
            shown.insert(ToLowerAscii(key.Name));
        }
        // Stored values of numbered families and of keys other programs left.
        for (const auto& [name, value] : pCtx.Backend.ListValues(kMainSection)) {
            if (shown.count(ToLowerAscii(name)))
                continue;
            shown.insert(ToLowerAscii(name));
            pCtx.Out << name << "=" << pCtx.Store.GetSetting(name, "") << "\n";
        }
        return 0;
    }
    if (verb == "get") {
        if (pArgs.size() != 2)
            return pCtx.Fail("usage: settings get KEY", 2);
        const std::string& name = pArgs[1];
        const SettingKeyInfo* key = FindSettingKey(name);
        if (key) {
            pCtx.Out << EffectiveValue(*key, name, pCtx.Store) << "\n";
            return 0;
        }
        if (std::optional<std::string> raw = pCtx.Store.GetRaw(name)) {
            pCtx.Out << *raw << "\n";
            return 0;
        }
        return pCtx.Fail("unknown setting key: " + name);
    }
    if (verb == "set") {
        if (pArgs.size() != 3)
            return pCtx.Fail("usage: settings set KEY VALUE", 2);
        const std::string& name = pArgs[1];
        const std::string& value = pArgs[2];
        const SettingKeyInfo* key = FindSettingKey(name);
        if (!key)
            return pCtx.Fail("unknown setting key: " + name);
        if (!value.empty() && !IsValidSettingValue(*key, value))
            return pCtx.Fail("not a valid " + std::string(SettingTypeName(key->Type))
                + " value for " + name + ": " + value);
        if (key->Section != kMainSection) {
            if (!pCtx.Backend.WriteValue(key->Section, name, value.empty() ? "***" : value))
                return pCtx.Fail(
                    "could not write the settings file " + pCtx.Backend.FileOf(key->Section));
            return 0;
        }
        bool ok = false;
        if (value.empty() || key->Type == SettingType::Text)
            ok = pCtx.Store.SaveSetting(name, std::string_view(value));
        else if (key->Type == SettingType::Single)
            ok = pCtx.Store.SaveSetting(name, static_cast<float>(ParseNumber(value).value_or(0.0)));
        else
            ok = pCtx.Store.SaveSetting(name, SettingTextToInt(value).value_or(0));
        if (!ok)
            return pCtx.Fail(
                "could not write the settings file " + pCtx.Backend.FileOf(kMainSection));
        return 0;
    }
    if (verb == "delete") {
        if (pArgs.size() != 2)
            return pCtx.Fail("usage: settings delete KEY", 2);
        std::string_view section = kMainSection;
        if (const SettingKeyInfo* key = FindSettingKey(pArgs[1]))
            section = key->Section;
        pCtx.Backend.DeleteValue(section, pArgs[1]);
        return 0;
    }
    return pCtx.Fail("unknown settings command: " + verb, 2);
}

int CleanupCliCommand(CliContext& pCtx, const std::vector<std::string>& pArgs)
{
    if (!pArgs.empty())
        return pCtx.Fail("cleanup takes no arguments", 2);
    HeadlessSession session(pCtx);
    if (!session.Started)
        return pCtx.Fail("cannot create the data folder");
    int count = session.Logic.CleanupCommand();
    if (count < 0)
        return 1;
    pCtx.Out << count << "\n";
    return 0;
}

/// For one run: why a feature is unavailable (its library could not be loaded) goes to the
/// error stream as a warning, before the failure it causes.
class ModuleNotices {
public:
    explicit ModuleNotices(std::ostream& pErr)
    {
        ProcessModules().SetNoticeSink([&pErr](const std::string& pText) {
            pErr << "tarvok2-cli: warning: " << pText << "\n";
        });
    }
    ~ModuleNotices() { ProcessModules().SetNoticeSink({}); }
    ModuleNotices(const ModuleNotices&) = delete;
    ModuleNotices& operator=(const ModuleNotices&) = delete;
};

} // namespace

int RunCli(const std::vector<std::string>& pArgs, std::ostream& pOut, std::ostream& pErr)
{
    SetLegacyTextDecoder(DecodeShiftJis);
    CliContext ctx(pOut, pErr);
    ctx.Ui.SetMessageSink([&](std::string_view text) {
        if (!text.empty())
            pOut << text << "\n";
    });
    ctx.Ui.SetBoxSink([&](std::string_view text, MsgIcon icon) {
        (icon == MsgIcon::Error ? pErr : pOut) << text << "\n";
    });
    ModuleNotices notices(pErr);

    size_t i = 0;
    while (i < pArgs.size() && pArgs[i].size() > 1 && pArgs[i][0] == '-') {
        const std::string& opt = pArgs[i];
        if (opt == "-h" || opt == "--help") {
            pOut << kUsage;
            return 0;
        }
        if (opt == "--data-folder") {
            if (i + 1 >= pArgs.size() || pArgs[i + 1].empty())
                return ctx.Fail("--data-folder needs a folder", 2);
            ctx.DataFolder = std::filesystem::absolute(pArgs[i + 1]).lexically_normal().string();
            i += 2;
            continue;
        }
        if (opt.rfind("--data-folder=", 0) == 0) {
            ctx.DataFolder = opt.substr(14);
            if (ctx.DataFolder.empty())
                return ctx.Fail("--data-folder needs a folder", 2);
            ctx.DataFolder = std::filesystem::absolute(ctx.DataFolder).lexically_normal().string();
            ++i;
            continue;
        }
        return ctx.Fail("unknown option: " + opt + " (see --help)", 2);
    }
    if (i >= pArgs.size()) {
        pErr << kUsage;
        return 2;
    }
    const std::string& command = pArgs[i];
    std::vector<std::string> rest(pArgs.begin() + static_cast<long>(i) + 1, pArgs.end());

    static const std::map<std::string,
        std::function<int(CliContext&, const std::vector<std::string>&)>>
        kCommands = {
            { "automate", AutomateCommand },
            { "cd", CdCommand },
            { "cleanup", CleanupCliCommand },
            { "demo", DemoCommand },
            { "devices", DevicesCommand },
            { "fx", FxCommand },
            { "import", ImportCommand },
            { "info", InfoCommand },
            { "mixdown", MixdownCommand },
            { "new", NewProjectCommand },
            { "play", PlayCommand },
            { "record", RecordCommand },
            { "run", RunScriptCommand },
            { "saveall", SaveAllCliCommand },
            { "settings", SettingsCommand },
        };
    auto it = kCommands.find(command);
    if (it == kCommands.end())
        return ctx.Fail("unknown command: " + command + " (see --help)", 2);
    return it->second(ctx, rest);
}

} // namespace tarvok
