#pragma once

#include "app/shell/main_logic.h"
#include "core/paths.h"
#include "core/settings.h"
#include "decode/decode_audio.h"
#include "engine/playback_engine.h"
#include "gui/gui_context.h"
#include "gui/qt_ui.h"
#include "platform/inifile/ini_settings_backend.h"
#include "platform/loader/lazy_adapters.h"

#include <memory>
#include <string>
#include <thread>

namespace tarvok {

class LameEncoder;
class RecordingEngine;
class Transport;
class VirtualWaveIn;
class VirtualWaveOut;

/// The sound devices a session wires in: none (REC reports that recording is unavailable),
/// the system's through PortAudio, or the virtual-clock pair, whose clock only moves when
/// the caller advances it (widget tests, and screenshots of windows that need an engine).
enum class SoundDevices { None, System, Virtual };

/// Every wire of the window program: the settings file of this user, the Qt user interface,
/// the main-window logic, the FFmpeg decoder, and (when asked for) the PortAudio output with
/// the playback engine, the PortAudio input with the recording engine, and the LAME encoder. main()
/// and the widget tests build one. The adapters over outside libraries are lazy: each loads
/// its module at its first use, and one that cannot be loaded is reported in the message area.
class GuiSession {
public:
    /// pWithSound: open the sound system and the MP3 encoder (the tests leave them out).
    explicit GuiSession(bool pWithSound);
    explicit GuiSession(SoundDevices pDevices);
    ~GuiSession();
    GuiSession(const GuiSession&) = delete;
    GuiSession& operator=(const GuiSession&) = delete;

    /// Reads the settings and prepares the data folder (pDataFolder replaces "DataPath"
    /// when not empty); then attaches the engine. False when the data folder cannot be made.
    /// The sound system is not started here: starting it lists the devices, which takes
    /// from under a second to several (a JACK server), and the window need not wait.
    bool Startup(const std::string& pDataFolder = {});
    /// Starts the system's sound library (the output service, whose start lists the devices)
    /// on a thread of its own, so that the first PLAY or the settings window find the devices
    /// listed; whatever needs the devices before it is done waits for it. Nothing for a
    /// session without system devices; once only. User-interface thread.
    void WarmUpSound();

    IniSettingsBackend Backend { SettingsFolder() };
    Settings Store { Backend };
    QtUserInterface Ui;
    MainLogic Logic { Store, Ui };
    LazyMediaBackend Media;
    MediaSoundDecoder Decoder { Media, [this] { return Logic.Folder().Path(); },
        [this] { return &Logic.Log(); } };
    LazyCdDriveService CdDrives;
    LazyHttpClient Http;
    /// The loudness meter of the normalise effect's and the mixdown's loudness targets.
    LazyLoudnessMeter Loudness;
    LazyTimePitchEngine TimePitch;
    GuiContext Context { Logic };

    /// The virtual devices of a SoundDevices::Virtual session (nullptr otherwise).
    VirtualWaveOut* VirtualOut() { return virtualOut_.get(); }
    VirtualWaveIn* VirtualIn() { return virtualIn_.get(); }
    /// The recording engine, when an input service is wired in.
    RecordingEngine* Recorder() { return recorder_.get(); }

private:
    void AttachEngines(WaveOutService& pOut, WaveInService* pIn);
    /// The engine's device binder on the system's devices: the missing ones are told in the
    /// message area, once for each change of what is missing.
    void BindDevices(bool pInputsToo);

    SoundDevices devices_;
    std::unique_ptr<LazyWaveOut> out_;
    SystemEngineClock clock_;
    std::unique_ptr<PlaybackEngine> engine_;
    std::unique_ptr<tarvok::Transport> transport_;
    std::unique_ptr<LazyWaveIn> in_;
    std::unique_ptr<RecordingEngine> recorder_;
    std::unique_ptr<LameEncoder> encoder_;
    LazyAudioFileEncoder fileEncoder_;
    std::unique_ptr<VirtualWaveOut> virtualOut_;
    std::unique_ptr<VirtualWaveIn> virtualIn_;
    std::string lastMissing_;
    std::thread warmUp_;
};

} // namespace tarvok
