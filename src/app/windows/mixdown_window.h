#pragma once

#include "app/mixdown/mixdown.h"
#include "render/output_format.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tarvok {

class MainLogic;
class Mp3Encoder;

/// The mixdown window without a window: the values of its controls (a MixdownRequest kept
/// as typed), the lists it offers, which controls are enabled, the texts it shows, "Save
/// Values" and OK. The Qt window only mirrors this model, so tests drive the window's rules
/// headless.
class MixdownWindowModel {
public:
    /// Loads the stored values; the path box starts with the last sound file opened when
    /// that is a valid WAV file. pEncoder may be null (no MP3 output).
    /// pFileEncoder (may be null) writes a target named ".flac" or ".opus" in that format.
    MixdownWindowModel(
        MainLogic& pLogic, Mp3Encoder* pEncoder, AudioFileEncoder* pFileEncoder = nullptr);

    /// Which controls the current values enable.
    struct Enabling {
        bool TrackList = false; ///< ComboTargetTrack
        bool Format = false; ///< ComboFmt
        bool Rate = false; ///< ComboFreq
        bool Encode = false; ///< CheckEncode
        bool BitRate = false; ///< ComboBitRate
        bool Path = false; ///< TextTargetFile and its chooser
        bool NormalizeLevel = false; ///< TextNormalize
        bool Rms = false; ///< CheckRMS
        bool Loudness = false; ///< CheckLoudness: only with a loudness meter
        bool LoudnessLevel = false; ///< TextLoudness
        bool MeasureLoudness = false; ///< CheckMeasureLoudness: a target measures anyway
    };

    /// The entries of the two source lists, the target options and the output lists.
    static const std::vector<std::string>& SourceTrackItems();
    static const std::vector<std::string>& SourceRangeItems();
    static const std::vector<std::string>& TargetCaptions();
    static std::vector<std::string> RateItems();
    static std::vector<std::string> FormatItems();
    /// "Track 1" .. "Track " + (LastTrackNo + 1).
    std::vector<std::string> TargetTrackItems() const;

    const MixdownRequest& Request() const { return request_; }
    Enabling Enabled() const;
    /// The bit rates offered for the current rate and format; empty disables MP3.
    const std::vector<int32_t>& BitRates() const { return bitRates_; }
    /// "Prj=" + the project's rate.
    std::string ProjectInfo() const;
    /// "Freq=" + rate + " Mode=" + format of the last sound file, or empty when it is not
    /// a valid WAV file.
    std::string SoundFileInfo() const;
    /// The format the path box and its chooser name: MP3 while encoding, else WAV.
    OutputKind PathKind() const;
    /// Its extension: "mp3" while encoding, else "wav".
    std::string PathExtension() const;

    void SetSourceTracks(int32_t pIndex);
    void SetSourceRange(int32_t pIndex);
    void SetTargetMode(int32_t pMode);
    void SetTargetTrack(int32_t pIndex);
    /// Rate and format changes reload the bit-rate list, keeping the chosen bit rate when
    /// it is still offered.
    void SetFreq(const std::string& pText);
    void SetWaveMode(int32_t pMode);
    /// Ticking or clearing "mp3" changes the path box's extension to match.
    void SetEncode(bool pOn);
    void SetBitRate(const std::string& pText);
    void SetNormalize(bool pOn);
    void SetUseRms(bool pOn);
    void SetNormalizeLevel(const std::string& pText);
    /// The loudness target (LUFS) takes the place of peak or RMS normalisation: ticking one
    /// clears the other.
    void SetLoudness(bool pOn);
    void SetLoudnessLevel(const std::string& pText);
    void SetMeasureLoudness(bool pOn);
    void SetLoop(const std::string& pText);
    void SetSuStart(const std::string& pText);
    void SetSuEnd(const std::string& pText);
    void SetTargetFile(const std::string& pPath);

    /// "Save Values": stores the settings; a loop below 1 is set back to "1" in the model.
    void SaveValues();

    /// OK: runs the mixdown through the main window's logic. pProgress receives the
    /// fraction done of each phase; a stop there cancels the run. A finished mix whose true
    /// peak lies above 0 dBTP is followed by a warning box (ClipWarning).
    MixdownResult Run(const Progress& pProgress = {});

    /// The warning for a finished mix whose measured true peak is above 0 dBTP (it clips on
    /// playback or in a converter), with the reading; empty for any other result.
    static std::string ClipWarning(const MixdownResult& pResult);

    /// True when the window should close after OK: the run ended (finished, cancelled or
    /// stopped with a message shown after the window was hidden), not a settings message
    /// or a declined overwrite.
    static bool ClosesAfter(const MixdownResult& pResult);

private:
    void ReloadBitRates();

    MainLogic& logic_;
    Mp3Encoder* encoder_;
    AudioFileEncoder* fileEncoder_;
    MixdownRequest request_;
    std::vector<int32_t> bitRates_;
    std::string soundFileInfo_;
};

} // namespace tarvok
