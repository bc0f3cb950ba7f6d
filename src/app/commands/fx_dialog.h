#pragma once

#include "base/text_marks.h"
#include "fx/fx_table.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tarvok {

class C_FX;
class MainLogic;
class Settings;
class UserInterface;

inline constexpr const char* kFxOutOfRange = N_("値が範囲外です");
inline constexpr const char* kFxFrequencyRange = N_("20～20000の値を入力してください");

/// Normalise's measuring modes, as FXParm 1 carries them: the peak, the loudest RMS, or the
/// integrated loudness (FXParm 0 then is a target in LUFS).
inline constexpr int32_t kNormalizePeak = 0;
inline constexpr int32_t kNormalizeRms = 1;
inline constexpr int32_t kNormalizeLoudness = 2;

/// The effect dialog without a window: the faders with their value panels, the check boxes,
/// the length or frequency box, OK (Commit), "Save Values" and the preview settings. The
/// window only mirrors it. Every change counts as a new revision, so a preview knows when
/// it must be made again.
class FxDialogModel {
public:
    /// Faders and checks start at their saved values ("FXParm_" names), else the defaults.
    /// pSelectionFrames is the selection's length (time stretch and speed change show the
    /// resulting length of it); pRmsP3 is the setting that shows RMS 3 dB higher.
    FxDialogModel(int32_t pId, Settings& pStore, int64_t pSelectionFrames, int32_t pSampleRate,
        int32_t pRmsP3);

    const FxInfo& Info() const { return *info_; }
    int32_t FaderCount() const { return static_cast<int32_t>(values_.size()); }
    int32_t Value(int32_t pFader) const;
    /// The value panel: the display rule of the fader.
    std::string ValueText(int32_t pFader) const;
    /// Moves a fader (kept inside its range). With "Link" on (amplify) the other fader takes
    /// the same value; for time stretch and speed change the box shows the new length.
    void SetValue(int32_t pFader, int32_t pValue);
    /// The graphic equaliser's double-click: a band fader back to 0.
    void ResetBand(int32_t pFader);

    int32_t CheckCount() const { return static_cast<int32_t>(checks_.size()); }
    bool Check(int32_t pCheck) const;
    void SetCheck(int32_t pCheck, bool pOn);

    /// Pitch shift and time stretch offer a high-quality mode beside their own algorithms
    /// (saved with the values as "FXParm_" + command + "_Quality"); OK hands it on only when
    /// the processor has a high-quality engine.
    bool HasQualityChoice() const;
    bool HighQuality() const { return highQuality_; }
    void SetHighQuality(bool pOn);

    /// The box: the resulting length (time stretch, speed change) or the frequency in Hz (sine
    /// wave).
    const std::string& BoxText() const { return box_; }
    /// Text typed into the box; read on Enter or OK.
    void SetBoxText(std::string pText);
    /// Enter in the length box: a typed time ("+"/"-" adds to or takes from the selection's
    /// length) or percentage ("95.5%") sets the faders and is rewritten in the standard
    /// time form. Returns true when there was nothing to rewrite, so Enter acts as OK.
    bool BoxEnter();

    /// OK: checks the values and hands them to pFx (FXParm values, equaliser bands). An
    /// error shows its message (error icon) and returns false; the dialog stays open.
    bool Commit(C_FX& pFx, UserInterface& pUi);
    /// "Save Values": commits, and when the values are valid stores every fader, every check
    /// box and the sine frequency.
    bool SaveValues(C_FX& pFx, UserInterface& pUi);

    /// Seconds of preview, 5..20 ("FXPreviewSec").
    int32_t PreviewSec() const { return previewSec_; }
    void SetPreviewSec(int32_t pSeconds);
    /// Stores the preview length (on close).
    void SavePreviewSec();
    /// Frames from the start of the previewed part where the preview starts.
    int64_t PreviewFrom() const { return previewFrom_; }
    void SetPreviewFrom(int64_t pFrames);
    /// The message line of the preview ("試聴秒数 10秒", "作成完了").
    const std::string& Message() const { return message_; }
    void SetMessage(std::string pText) { message_ = std::move(pText); }

    /// Counts every change of a value, check, box text or preview setting.
    uint64_t Revision() const { return revision_; }

    /// The length in ms the box stands for, or -1 when its text is not a time or percentage.
    int64_t BoxLengthMs() const;
    int64_t SelectionMs() const;

private:
    void ShowLengthFromFaders();
    void SetFadersFromPercent(double pPercent);
    double Percent() const;

    const FxInfo* info_;
    Settings& store_;
    int64_t selectionFrames_;
    int32_t rate_;
    int32_t rmsP3_;
    std::vector<int32_t> values_;
    std::vector<bool> checks_;
    bool highQuality_ = false;
    std::string box_;
    bool boxTyped_ = false;
    int32_t previewSec_ = 10;
    int64_t previewFrom_ = 0;
    std::string message_;
    uint64_t revision_ = 0;
};

/// The preview meter's values for one played buffer of pFrames 16-bit stereo frames, left
/// and right on the 0..32767 scale: the largest magnitude, or with pRms the root of the mean
/// square, rounded to the nearest integer.
std::array<int32_t, 2> PreviewMeterLevels(const int16_t* pSamples, int32_t pFrames, bool pRms);

/// The preview file of the effect dialog: renders PreviewSec seconds of the selected block's
/// part of the selection, from the chosen offset and never past the block's end, through the
/// effect in preview mode (no tail) into a temporary working file, which it deletes when it
/// goes or renders again.
class FxPreview {
public:
    explicit FxPreview(MainLogic& pLogic);
    ~FxPreview();
    FxPreview(const FxPreview&) = delete;
    FxPreview& operator=(const FxPreview&) = delete;

    /// Frames of the selected block's part inside the selection (at least 1): the range of
    /// the preview position.
    int64_t PartFrames() const;
    /// True when the file is missing or older than the model's revision.
    bool Stale(const FxDialogModel& pModel) const;
    /// Commits the values and renders the file ("ファイル作成中…", then "作成完了" or
    /// "作成失敗" in the model's message and "完了" in the message area). False when the
    /// values are invalid or the render failed.
    bool Render(FxDialogModel& pModel, C_FX& pFx);
    /// The preview file, empty when none.
    const std::string& File() const { return file_; }
    /// Deletes the file.
    void Discard();

private:
    MainLogic& logic_;
    std::string file_;
    uint64_t revision_ = 0;
};

} // namespace tarvok
