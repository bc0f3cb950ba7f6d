#pragma once

#include "cd/cddb.h"
#include "cd/rip_audio.h"
#include "cd/rip_check.h"
#include "engine/wave_device.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tarvok {

class Settings;
class UserInterface;

/// The rip window without a window: the drive list, the disc's track rows and title, the
/// level, ripping the first selected track with the check read, and the preview player
/// that plays a track through four 9408-frame buffers on a wave-out device, moving on to
/// the next track at the end. The Qt window mirrors this state and forwards its events;
/// tests drive it headless with a virtual wave device. User-interface thread only.
class RipWindowModel {
public:
    struct Row {
        std::string No;
        std::string Time;
        std::string Title;
        std::string AccurateRip; ///< "v1 ... v2 ..." once the track's checksums are known
        std::string Verdict; ///< the database's word on them, or empty
    };
    static constexpr int32_t kBuffers = 4;
    static constexpr int32_t kMinLevelDb = -30;
    static constexpr int32_t kMaxLevelDb = 20;

    /// pHttp may be null (no CDDB). pOptions supplies the compare, the language and the
    /// status; its Check and LevelDb are the window's own.
    RipWindowModel(CdDriveService& pDrives, HttpClient* pHttp, UserInterface& pUi,
        WaveOutService& pWaveOut, Settings& pSettings, RipCheckOptions pOptions);
    ~RipWindowModel();
    RipWindowModel(const RipWindowModel&) = delete;
    RipWindowModel& operator=(const RipWindowModel&) = delete;

    // Opening and the disc.

    /// Reads "RipLevel", "CheckRip", "UseCDDB" and lists the drives (the first selected).
    void Open();
    const std::vector<CdDriveEntry>& Drives() const { return drives_; }
    int32_t SelectedDrive() const { return selectedDrive_; }
    /// Selects drive pIndex and loads its disc.
    void SelectDrive(int32_t pIndex);
    /// Loads the disc of the selected drive into the rows; ignored while the preview plays
    /// or the window is busy. Without a disc one empty row "01" is listed.
    void LoadDisc();
    const std::string& DiscTitle() const { return discTitle_; }
    /// The loaded disc's ids: "CDDB 0b014802  MusicBrainz xY...-" (empty without a disc).
    const std::string& CddbId() const { return cddbId_; }
    const std::string& MusicBrainzId() const { return musicBrainzId_; }
    std::string DiscIdText() const;
    const std::vector<Row>& Rows() const { return rows_; }
    /// The selected rows (any order); only the first in row order counts.
    void SetSelectedRows(const std::vector<int32_t>& pRows);
    const std::vector<int32_t>& SelectedRows() const { return selected_; }
    int32_t FirstSelectedRow() const;

    // Options.

    bool CheckRip = true;
    bool UseCddb = true;
    /// Error-correcting reads for the rip (the setting "ParanoiaRip").
    bool ParanoiaRip = false;
    int32_t LevelDb() const { return levelDb_; }
    /// The slider: clamped to -30..20, applied to the preview at once.
    void SetLevelDb(int32_t pDb);
    std::string LevelText() const { return std::to_string(levelDb_) + "db"; }

    // Rip.

    /// The file the rip goes to; empty means nothing is imported.
    std::string RipTarget;
    bool Busy() const { return busy_; }
    /// The AccurateRip reads and check are running.
    bool Verifying() const { return verifying_; }
    /// Start: rips the first selected row into RipTarget (with the check read when
    /// CheckRip) and closes. Ignored (false) while the preview plays or the window is busy;
    /// otherwise true, and RipTarget is the ripped file, or empty when nothing good was
    /// ripped.
    bool Start();
    /// AccurateRip: reads every audio track of the disc for its checksums (progress on the
    /// bar, Cancel stops it), shows them in the rows and, when the setting
    /// "AccurateRipServer" is set and there is an HTTP client, checks them against the
    /// database. Ignored (false) while the preview plays or the window is busy.
    bool VerifyAccurateRip();
    /// Cancel: stops a running rip at its next progress event, empties RipTarget, closes.
    /// While the AccurateRip reads run, it stops them only.
    void Cancel();
    /// Closing (also after Start and Cancel): stores "CheckRip" and "UseCDDB", stops the
    /// preview with the display reset. The close box also empties RipTarget.
    void Close(bool pCloseBox);
    bool Closed() const { return closed_; }

    // Display.

    /// The bar: rip progress, or the preview position (0..1000).
    int32_t ProgBar() const { return progBar_; }
    /// The status text: "Tr1 Rip", "Tr1 Check", the preview time, or empty.
    const std::string& PicPlay() const { return picPlay_; }
    /// Sets the waveform picture's size in pixels (frames per column follow from it).
    void SetWaveSize(int32_t pWidth, int32_t pHeight);
    /// The columns of the buffer now sounding: the largest left and right sample per column.
    const std::vector<std::array<int32_t, 2>>& WaveColumns() const { return columns_; }
    /// Meter values of the sounding buffer in tenths of a dB: RMS and peak, left and right.
    std::array<int32_t, 2> MeterValue() const { return meterValue_; }
    std::array<int32_t, 2> MeterPeak() const { return meterPeak_; }

    // Preview.

    /// Play: (re)starts the first selected row at the current position. Ignored while
    /// busy or paused.
    void Play();
    /// Pause: toggles pausing the device while playing.
    void PauseToggle();
    /// Stop: closes the device; with pResetDisplay the position and display go to 0.
    void Stop(bool pResetDisplay = true);
    /// The 50 ms timer: refills played buffers, moves on at a track's end, shows the
    /// position. Returns the refill result (the index refilled, or -1..-4).
    int32_t Tick();
    void SeekPress();
    void SeekMove(int32_t pValue);
    void SeekRelease(int32_t pValue);
    /// A release of the left mouse button on the list while the preview plays stops it.
    void ListClicked();

    bool Playing() const { return playing_; }
    bool Paused() const { return paused_; }
    bool DeviceOpen() const { return deviceOpen_; }
    int32_t PlayTrack() const { return playTrack_; }
    int64_t Position() const { return currentPos_; }
    int32_t TrackLength() const { return trackLength_; }
    RipAudio& Audio() { return ra_; }

    /// "003'07.250": minutes with three digits, seconds, milliseconds.
    static std::string PreviewTimeText(int64_t pMs);

private:
    struct PlayBuffer {
        std::vector<uint8_t> Data;
        WaveHeader Header;
        bool Filling = false;
    };

    void Fill(int32_t pIndex, int64_t pFrom);
    int32_t Refill();
    void DrawBuffer(int32_t pIndex);
    void ResetDisplay();
    void CloseDevice();

    UserInterface& ui_;
    WaveOutService& waveOut_;
    Settings& settings_;
    CdDriveService& driveService_;
    HttpClient* http_;
    RipCheckOptions options_;
    RipAudio ra_;
    std::vector<CdDriveEntry> drives_;
    int32_t selectedDrive_ = -1;
    std::string discTitle_;
    std::string cddbId_;
    std::string musicBrainzId_;
    bool verifying_ = false;
    std::vector<Row> rows_;
    std::vector<int32_t> selected_;
    int32_t levelDb_ = 0;
    bool busy_ = false;
    bool cancel_ = false;
    bool closed_ = false;
    int32_t progBar_ = 0;
    std::string picPlay_;

    bool playing_ = false;
    bool paused_ = false;
    bool deviceOpen_ = false;
    bool holding_ = false;
    bool wasPlaying_ = false;
    WaveHandle handle_ = kNoWaveHandle;
    int32_t playTrack_ = -1;
    int32_t trackLength_ = 0;
    int64_t currentPos_ = 0;
    int64_t startPos_ = 0;
    int64_t nextRead_ = 0;
    std::array<PlayBuffer, kBuffers> buffers_;

    int32_t waveWidth_ = 400;
    std::vector<std::array<int32_t, 2>> columns_;
    std::array<int32_t, 2> meterValue_ { -600, -600 };
    std::array<int32_t, 2> meterPeak_ { -600, -600 };
};

} // namespace tarvok
