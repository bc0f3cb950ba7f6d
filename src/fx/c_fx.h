#pragma once

#include "base/progress.h"
#include "base/result.h"
#include "fx/fx_kernel.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvok {

class UserInterface;

/// The effect processor: holds one effect command's parameters (and the equaliser bands)
/// and renders ranges of working files through the effect into new working files, chunk by
/// chunk, with progress and cancel. One instance per effect command; user-interface thread.
class C_FX {
public:
    /// pSampleRate is the project rate the results are written at; pUi (may be null) is
    /// yielded to around every progress event.
    explicit C_FX(int32_t pSampleRate, UserInterface* pUi = nullptr);

    /// Where Proc reports, once per chunk and once at the end: the fraction done and its
    /// status text (FxProgressText); false from it stops the run.
    void SetProg(Progress pProgress) { prog_ = std::move(pProgress); }

    /// Set by the dialog when it is cancelled; cleared when Proc starts and when it stops
    /// on a cancel. Setting it between chunks stops a running Proc as a stop from the
    /// progress does.
    int32_t FXCanceled = 0;

    /// A parameter value (0 for one never set).
    double FXParm(int32_t pIndex) const;
    void SetFXParm(int32_t pIndex, double pValue);
    /// Every parameter value, in order.
    const std::vector<double>& Parms() const { return parms_; }

    /// Sets the band count and sizes the band arrays (new bands: 0 dB, 1000 Hz, Q 2.0).
    void SetEQBands(int32_t pValue);
    int32_t EQBands() const { return static_cast<int32_t>(bands_.size()); }
    /// Sets a band's gain (dB), frequency (Hz) and Q; an argument of -9999 leaves that value
    /// as it is. Ignored for a band outside the count.
    void SetEQParm(int32_t pBand, double pEQGain, double pEQFreq, double pEQQ);
    /// 15 bands at the graphic equaliser's frequencies, gain 0 and Q 2.0.
    void SetEQasGEQ();
    /// A band's frequency rounded to an integer (0 for a band outside the count).
    int32_t EQFreq(int32_t pBand) const;
    const std::vector<EqBand>& Bands() const { return bands_; }

    /// The seed of the random generator (reverb taps); without one each run seeds it
    /// from the clock.
    void SetSeed(std::optional<uint32_t> pSeed) { seed_ = pSeed; }

    /// Time stretch and pitch shift through pEngine (the high-quality mode) when
    /// HighQuality is set; a run asking for it without an engine fails.
    void SetTimePitchEngine(TimePitchEngine* pEngine) { timePitch_ = pEngine; }
    TimePitchEngine* TimePitch() const { return timePitch_; }
    void SetHighQuality(bool pOn) { highQuality_ = pOn; }
    bool HighQuality() const { return highQuality_; }

    /// Renders frames pFrom + 1 .. pTo (1-based; pFrom is the first frame counted from 0) of
    /// the 16-bit stereo working file pSource through effect pId into a new 16-bit stereo WAV
    /// file pTarget at the project rate; a preview has no tail. pCaption names the job for
    /// the progress display. Succeeds when the whole range was written; otherwise nothing
    /// is at pTarget beyond what was there, and the failure's code says why: Cancelled for a
    /// stop, DiskFull or FileError for a failed read or write, Other for an empty or
    /// unusable range or source and an effect the processor does not render.
    Status Proc(int32_t pId, const std::string& pSource, const std::string& pTarget, int64_t pFrom,
        int64_t pTo, bool pPreview, std::string_view pCaption);

    /// Frames the last successful Proc wrote.
    int64_t FramesWritten() const { return framesWritten_; }
    /// The caption of the running (or last) Proc.
    const std::string& Caption() const { return caption_; }

private:
    int32_t rate_;
    UserInterface* ui_;
    Progress prog_;
    std::vector<double> parms_;
    std::vector<EqBand> bands_;
    std::optional<uint32_t> seed_;
    TimePitchEngine* timePitch_ = nullptr;
    bool highQuality_ = false;
    int64_t framesWritten_ = 0;
    std::string caption_;
};

/// The status text of the progress: "FX処理…" + round(pRate x 100) + "%".
std::string FxProgressText(double pRate);

} // namespace tarvok
