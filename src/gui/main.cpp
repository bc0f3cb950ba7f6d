// tarvok2: the window program. Wires the adapters into the main-window logic and shows the
// main window; "--screenshot FILE.png [--window NAME] [PROJECT]" paints a window into a PNG
// file without a display and ends.

#include "app/shell/main_logic.h"
#include "base/i18n.h"
#include "core/option_parser.h"
#include "core/paths.h"
#include "gui/dialogs/window_registry.h"
#include "gui/frm_main.h"
#include "gui/gui_session.h"
#include "gui/gui_text.h"
#include "gui/instance_channel.h"
#include "gui/screenshot.h"
#include "gui/translations.h"

#include <QApplication>
#include <QDir>
#include <QFontDatabase>
#include <QMessageBox>
#include <QStyleFactory>
#include <QTimer>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace {

struct Arguments {
    QString Screenshot;
    QString Window;
    std::string DataFolder;
    std::string CommandLine;
    bool Ok = true;
};

/// The window program's own options; every other argument (keys such as "X=", a file) goes
/// to the logic's command line as it is.
constexpr tarvok::OptionSpec kOptions[] = {
    { "--screenshot", "FILE.png", "paint a window into FILE.png without a display and end" },
    { "--window", "NAME", "the window of the screenshot" },
    { "--data-folder", "DIR", "use DIR as the data folder for this run" },
};

constexpr tarvok::OptionRules kRules {
    .InlineValues = false, .EndMarker = false, .UnknownIsPositional = true
};

Arguments ParseArguments(int argc, char** argv)
{
    Arguments a;
    const tarvok::ParsedOptions parsed
        = tarvok::ParseOptions(std::vector<std::string>(argv + 1, argv + argc), kOptions, kRules);
    a.Ok = parsed.Problem == tarvok::OptionProblem::None;
    if (std::optional<std::string> shot = parsed.Value("--screenshot"))
        a.Screenshot = QString::fromStdString(*shot);
    if (std::optional<std::string> window = parsed.Value("--window"))
        a.Window = QString::fromStdString(*window);
    if (std::optional<std::string> folder = parsed.Value("--data-folder"))
        a.DataFolder = std::filesystem::absolute(*folder).lexically_normal().string();
    for (const std::string& arg : parsed.Positional) {
        // The command line of the logic: keys "X=" etc. and a file path; paths with blanks
        // are quoted so that the logic's splitting keeps them whole.
        if (!a.CommandLine.empty())
            a.CommandLine += ' ';
        std::string token = arg;
        if (!tarvok::IsCommandLineKey(token) && token.find("://") == std::string::npos
            && std::filesystem::exists(token))
            token = std::filesystem::absolute(token).lexically_normal().string();
        a.CommandLine += token.find(' ') != std::string::npos ? "\"" + token + "\"" : token;
    }
    return a;
}

/// Japanese texts need a CJK font: prefer Noto Sans CJK when it is installed.
void ChooseFont(QApplication& pApp)
{
    const QStringList families = QFontDatabase::families();
    for (const char* name : { "Noto Sans CJK JP", "Noto Sans JP", "IPAexGothic", "VL Gothic" }) {
        if (families.contains(QString::fromLatin1(name))) {
            QFont font(QString::fromLatin1(name));
            font.setPointSizeF(9.5);
            pApp.setFont(font);
            return;
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    const Arguments args = ParseArguments(argc, argv);
    const bool screenshot = !args.Screenshot.isEmpty();
    if (screenshot && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tarvok2"));
    QApplication::setOrganizationName(QStringLiteral("lumora"));
    if (qEnvironmentVariableIsEmpty("QT_STYLE_OVERRIDE"))
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    ChooseFont(app);
    // Texts follow the locale until the settings are read (Japanese for ja*, else English).
    tarvok::SetLanguage(tarvok::LanguageFromEnvironment(), tarvok::EnglishCatalogueFile());
    if (!args.Ok) {
        std::fprintf(stderr,
            "usage: tarvok2 [--screenshot FILE.png [--window NAME]] [--data-folder DIR] "
            "[PROJECT]\n");
        return 2;
    }

    tarvok::InstanceChannel channel;
    if (!screenshot) {
        if (channel.HandToRunning(QString::fromStdString(args.CommandLine)))
            return 0;
        channel.Listen();
    }

    // A screenshot plays and records nothing: the virtual devices stand in for the sound
    // system, so that the windows that need an engine (the recording monitor) can be shown.
    tarvok::GuiSession session(
        screenshot ? tarvok::SoundDevices::Virtual : tarvok::SoundDevices::System);
    if (screenshot) {
        // Nobody is there to answer: every question is declined, and reported.
        session.Ui.AnswerHook = [](const QString& pText) -> std::optional<QString> {
            std::fprintf(stderr, "tarvok2: declined: %s\n", pText.toUtf8().constData());
            return QString();
        };
    }
    if (!session.Startup(args.DataFolder)) {
        if (!screenshot)
            QMessageBox::critical(
                nullptr, QStringLiteral("tarvok2"), tarvok::QTr("データフォルダを作成できません"));
        std::fprintf(stderr, "tarvok2: the data folder cannot be made\n");
        return 1;
    }
    // The "Language" setting (auto, ja, en) decides before any window is built; Qt's own
    // dialogs follow it.
    tarvok::SetLanguage(tarvok::LanguageOfChoice(session.Store.GetSetting("Language", "auto")),
        tarvok::EnglishCatalogueFile());
    tarvok::InstallTranslations(app);
    tarvok::FrmMain window(session.Context, session.Ui);
    window.SetInstanceChannel(&channel);
    window.Start(args.CommandLine, !screenshot, !screenshot);
    if (!screenshot) {
        // The window is up before the sound library starts (listing the devices takes from
        // under a second to several with a JACK server); it starts beside the window.
        QTimer::singleShot(0, &window, [&session] { session.WarmUpSound(); });
        return app.exec();
    }

    // Without a stored position the shot shows the window at a common desktop size.
    if (session.Store.GetSetting("WindowWidth", "").empty())
        window.resize(1280, 800);
    QWidget* target = &window;
    if (!args.Window.isEmpty() && args.Window != QStringLiteral("FrmMain")) {
        if (args.Window == QStringLiteral("FrmSampleEdit"))
            tarvok::PrepareSampleEditShot(session.Logic);
        target = tarvok::CreateNamedWindow(args.Window, session.Context, &window);
        if (!target) {
            std::fprintf(stderr, "tarvok2: no window named %s (known: %s)\n",
                args.Window.toUtf8().constData(),
                tarvok::NamedWindows().join(QStringLiteral(", ")).toUtf8().constData());
            return 2;
        }
    }
    const bool saved = tarvok::SaveScreenshot(*target, args.Screenshot);
    // A window shown over the main one goes first, while the main window's message area that
    // it may write to on closing still exists.
    if (target != &window)
        delete target;
    if (!saved) {
        std::fprintf(stderr, "tarvok2: cannot write %s\n", args.Screenshot.toUtf8().constData());
        return 1;
    }
    return 0;
}
