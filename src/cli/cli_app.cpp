#include "cli/cli_app.h"

#include "cli/automate_command.h"
#include "cli/calibrate_command.h"
#include "cli/cd_command.h"
#include "cli/cli_context.h"
#include "cli/fx_command.h"
#include "cli/mixdown_command.h"
#include "cli/play_command.h"
#include "cli/record_command.h"
#include "cli/run_command.h"
#include "cli/wave_info_command.h"

#include "app/shell/main_logic.h"
#include "app/shell/setting_keys.h"
#include "base/i18n.h"
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
#include <set>

namespace tarvok {

namespace {

constexpr OptionSpec kGlobalOptions[] = {
    { "--data-folder", "DIR", "use DIR as the data folder for this run" },
    { "--lang", "LANG",
        "ja or en: the language of messages (default: the first of LANGUAGE, LC_ALL, "
        "LC_MESSAGES and LANG that is set; Japanese for ja*, English otherwise)" },
    { "--help", "", "show this help", "-h" },
};

// The language chosen by --lang for one run; the one before comes back at its end, so that
// runs in one process (the tests) do not leak it into each other.
class LanguageScope {
public:
    explicit LanguageScope(Language pLanguage)
        : before_(CurrentLanguage())
    {
        SetLanguage(pLanguage, EnglishCatalogueFile());
    }
    ~LanguageScope() { SetLanguage(before_, EnglishCatalogueFile()); }
    LanguageScope(const LanguageScope&) = delete;
    LanguageScope& operator=(const LanguageScope&) = delete;

private:
    Language before_;
};

constexpr OptionRules kGlobalRules { .Style = OptionStyle::AnyDash, .StopAtPositional = true };

const CliCommandSpec kSettingsSpec { "settings", "list\nget KEY\nset KEY VALUE\ndelete KEY",
    "every setting with its current value; the current value of one setting (its default when "
    "unset); store a setting (an empty VALUE is stored as \"***\"); remove a stored setting, so "
    "that its default applies again",
    "", {} };

const CliCommandSpec kCleanupSpec { "cleanup", "",
    "tidy the data folder: delete working files no saved project uses", "", {} };

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

/// The error of a settings write that failed, with the cause the file layer gave.
int SettingsWriteFailed(CliContext& pCtx, std::string_view pSection)
{
    std::string text = "could not write the settings file " + pCtx.Backend.FileOf(pSection);
    if (std::optional<Error> cause = pCtx.Backend.LastWriteFailure())
        text += ": " + cause->Message;
    return pCtx.Fail(text);
}

int SettingsCommand(CliContext& pCtx, const std::vector<std::string>& pArgs)
{
    ParsedOptions parsed;
    if (std::optional<int> done = ParseCommandArgs(pCtx, kSettingsSpec, pArgs, parsed))
        return *done;
    const std::vector<std::string>& args = parsed.Positional;
    if (args.empty())
        return pCtx.Fail("settings needs one of: list, get KEY, set KEY VALUE, delete KEY", 2);
    const std::string& verb = args[0];
    if (verb == "list") {
        if (args.size() != 1)
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
        if (args.size() != 2)
            return pCtx.Fail("usage: settings get KEY", 2);
        const std::string& name = args[1];
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
        if (args.size() != 3)
            return pCtx.Fail("usage: settings set KEY VALUE", 2);
        const std::string& name = args[1];
        const std::string& value = args[2];
        const SettingKeyInfo* key = FindSettingKey(name);
        if (!key)
            return pCtx.Fail("unknown setting key: " + name);
        if (!value.empty() && !IsValidSettingValue(*key, value))
            return pCtx.Fail("not a valid " + std::string(SettingTypeName(key->Type))
                + " value for " + name + ": " + value);
        if (key->Section != kMainSection) {
            if (!pCtx.Backend.WriteValue(key->Section, name, value.empty() ? "***" : value))
                return SettingsWriteFailed(pCtx, key->Section);
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
            return SettingsWriteFailed(pCtx, kMainSection);
        return 0;
    }
    if (verb == "delete") {
        if (args.size() != 2)
            return pCtx.Fail("usage: settings delete KEY", 2);
        std::string_view section = kMainSection;
        if (const SettingKeyInfo* key = FindSettingKey(args[1]))
            section = key->Section;
        pCtx.Backend.DeleteValue(section, args[1]);
        return 0;
    }
    return pCtx.Fail("unknown settings command: " + verb, 2);
}

int CleanupCliCommand(CliContext& pCtx, const std::vector<std::string>& pArgs)
{
    ParsedOptions parsed;
    if (std::optional<int> done = ParseCommandArgs(pCtx, kCleanupSpec, pArgs, parsed))
        return *done;
    if (!parsed.Positional.empty())
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

/// One row of the command table.
struct CommandRow {
    const CliCommandSpec* Spec;
    CliCommand Run;
};

/// Every command in the order the help lists them.
const std::vector<CommandRow>& Commands()
{
    static const std::vector<CommandRow> kCommands = {
        { &kDemoSpec, DemoCommand },
        { &kCleanupSpec, CleanupCliCommand },
        { &kInfoSpec, InfoCommand },
        { &kNewProjectSpec, NewProjectCommand },
        { &kImportSpec, ImportCommand },
        { &kCdSpec, CdCommand },
        { &kFxSpec, FxCommand },
        { &kSaveAllSpec, SaveAllCliCommand },
        { &kMixdownSpec, MixdownCommand },
        { &kDevicesSpec, DevicesCommand },
        { &kPlaySpec, PlayCommand },
        { &kRecordSpec, RecordCommand },
        { &kCalibrateSpec, CalibrateCommand },
        { &kRunSpec, RunScriptCommand },
        { &kAutomateSpec, AutomateCommand },
        { &kSettingsSpec, SettingsCommand },
    };
    return kCommands;
}

const CommandRow* FindCommand(const std::string& pName)
{
    for (const CommandRow& row : Commands())
        if (row.Spec->Name == pName)
            return &row;
    return nullptr;
}

/// The help of the program: every command with what it does, and the global options.
std::string UsageText()
{
    std::vector<std::string> heads;
    std::vector<std::string_view> helps;
    for (const CommandRow& row : Commands()) {
        std::string_view synopsis = row.Spec->Synopsis;
        for (;;) {
            const size_t nl = synopsis.find('\n');
            std::string head(row.Spec->Name);
            if (!synopsis.empty())
                head.append(" ").append(synopsis.substr(0, nl));
            heads.push_back(head);
            helps.push_back(nl == std::string_view::npos ? row.Spec->Summary : std::string_view());
            if (nl == std::string_view::npos)
                break;
            synopsis = synopsis.substr(nl + 1);
        }
    }
    std::vector<OptionSpec> rows;
    for (size_t i = 0; i < heads.size(); ++i)
        rows.push_back({ heads[i], "", helps[i] });
    return "usage: tarvok2-cli [--data-folder DIR] [--lang ja|en] COMMAND [ARGS]\n"
           "       tarvok2-cli help [COMMAND]\n"
           "\nCommands:\n"
        + OptionHelpText(rows)
        + "\nNAME is a project file in the data folder (\".tvp\" added when missing) or a path.\n"
          "tarvok2-cli help COMMAND (or tarvok2-cli COMMAND --help) shows the options of a "
          "command.\n"
          "\nOptions:\n"
        + OptionHelpText(kGlobalOptions);
}

/// help [COMMAND]: the help of the program, or of one command, on standard output.
int HelpCommand(CliContext& pCtx, const std::vector<std::string>& pArgs)
{
    if (pArgs.empty() || pArgs[0] == "--help" || pArgs[0] == "-h") {
        pCtx.Out << UsageText();
        return 0;
    }
    if (pArgs.size() != 1)
        return pCtx.Fail("usage: help [COMMAND]", 2);
    const CommandRow* row = FindCommand(pArgs[0]);
    if (!row)
        return pCtx.Fail("unknown command: " + pArgs[0] + " (see --help)", 2);
    pCtx.Out << CommandHelpText(*row->Spec);
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

std::vector<const CliCommandSpec*> CliCommandSpecs()
{
    std::vector<const CliCommandSpec*> specs;
    for (const CommandRow& row : Commands())
        specs.push_back(row.Spec);
    return specs;
}

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

    const ParsedOptions global = ParseOptions(pArgs, kGlobalOptions, kGlobalRules);
    if (global.Problem == OptionProblem::MissingValue)
        return ctx.Fail(global.ProblemToken
                + (global.ProblemToken == "--lang" ? " needs ja or en" : " needs a folder"),
            2);
    if (global.Problem != OptionProblem::None)
        return ctx.Fail("unknown option: " + global.ProblemToken + " (see --help)", 2);
    if (global.Has("--help")) {
        pOut << UsageText();
        return 0;
    }
    std::optional<LanguageScope> language;
    if (std::optional<std::string> choice = global.Value("--lang")) {
        if (*choice != "ja" && *choice != "en")
            return ctx.Fail("--lang needs ja or en", 2);
        language.emplace(LanguageOfChoice(*choice));
    }
    if (std::optional<std::string> folder = global.Value("--data-folder")) {
        if (folder->empty())
            return ctx.Fail("--data-folder needs a folder", 2);
        ctx.DataFolder = std::filesystem::absolute(*folder).lexically_normal().string();
    }
    if (global.Rest.empty()) {
        pErr << UsageText();
        return 2;
    }
    const std::string& command = global.Rest[0];
    const std::vector<std::string> rest(global.Rest.begin() + 1, global.Rest.end());
    if (command == "help")
        return HelpCommand(ctx, rest);
    const CommandRow* row = FindCommand(command);
    if (!row)
        return ctx.Fail("unknown command: " + command + " (see --help)", 2);
    return row->Run(ctx, rest);
}

} // namespace tarvok
