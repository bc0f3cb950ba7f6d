#pragma once

namespace tarvok {

class MainLogic;
class PlaybackEngine;
class Transport;
class Mp3Encoder;
class AudioFileEncoder;
class WaveInService;
class CdDriveService;
class HttpClient;

/// What every window of the front end works on: the main-window logic (which owns the
/// project, the settings and the user interface), the playback engine and its transport
/// when sound devices are wired in, and the MP3 encoder when one is available. main()
/// builds it.
struct GuiContext {
    MainLogic& Logic;
    PlaybackEngine* Engine = nullptr;
    Mp3Encoder* Encoder = nullptr;
    /// The recording devices, for the settings window's input lists (none without them).
    WaveInService* WaveIn = nullptr;
    /// The CD drives and disc images, and the HTTP client of the CDDB look-ups (the rip
    /// window works without the client).
    CdDriveService* CdDrives = nullptr;
    HttpClient* Http = nullptr;
    /// The FLAC and Opus encoder of mixdown targets named so (none: those are refused).
    AudioFileEncoder* FileEncoder = nullptr;
    /// The transport over the engine (set with it).
    tarvok::Transport* Transport = nullptr;
};

} // namespace tarvok
