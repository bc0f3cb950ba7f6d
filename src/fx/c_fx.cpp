#include "fx/c_fx.h"

#include "base/i18n.h"
#include "base/numeric.h"
#include "core/file_io.h"
#include "core/user_interface.h"
#include "core/wave_info.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstring>

namespace tarvok {

static_assert(std::endian::native == std::endian::little, "working files are little-endian");

namespace {

constexpr double kUnchanged = -9999.0;
constexpr int32_t kMaxParms = 64;

Error Unusable(std::string pWhat) { return Fail(std::move(pWhat)); }

Error ReadFailed(const std::string& pSource)
{
    return Fail(TrArgs("読み込みに失敗しました: %1", pSource), ErrorCode::FileError);
}

/// A failed write of the result with the cause the file layer gave (a full disk told apart).
Error WriteFailed(const Status& pWrite)
{
    return pWrite ? Fail(WriteFailureText(0), ErrorCode::FileError) : pWrite.error();
}

} // namespace

std::string FxProgressText(double pRate)
{
    return TrArgs("FX処理…%1%", RoundHalfEven(pRate * 100.0));
}

C_FX::C_FX(int32_t pSampleRate, UserInterface* pUi)
    : rate_(pSampleRate)
    , ui_(pUi)
{
}

double C_FX::FXParm(int32_t pIndex) const
{
    if (pIndex < 0 || pIndex >= static_cast<int32_t>(parms_.size()))
        return 0.0;
    return parms_[static_cast<size_t>(pIndex)];
}

void C_FX::SetFXParm(int32_t pIndex, double pValue)
{
    if (pIndex < 0 || pIndex >= kMaxParms)
        return;
    if (pIndex >= static_cast<int32_t>(parms_.size()))
        parms_.resize(static_cast<size_t>(pIndex) + 1, 0.0);
    parms_[static_cast<size_t>(pIndex)] = pValue;
}

void C_FX::SetEQBands(int32_t pValue)
{
    bands_.resize(static_cast<size_t>(std::clamp(pValue, 0, 64)));
}

void C_FX::SetEQParm(int32_t pBand, double pEQGain, double pEQFreq, double pEQQ)
{
    if (pBand < 0 || pBand >= EQBands())
        return;
    EqBand& b = bands_[static_cast<size_t>(pBand)];
    if (pEQGain != kUnchanged)
        b.GainDb = static_cast<float>(pEQGain);
    if (pEQFreq != kUnchanged)
        b.Freq = static_cast<float>(pEQFreq);
    if (pEQQ != kUnchanged)
        b.Q = static_cast<float>(pEQQ);
}

void C_FX::SetEQasGEQ()
{
    static constexpr float kBands[]
        = { 25, 40, 63, 100, 160, 250, 400, 630, 1000, 1600, 2500, 4000, 6300, 10000, 16000 };
    bands_.clear();
    for (float f : kBands)
        bands_.push_back(EqBand { 0.0f, f, 2.0f });
}

int32_t C_FX::EQFreq(int32_t pBand) const
{
    if (pBand < 0 || pBand >= EQBands())
        return 0;
    return static_cast<int32_t>(RoundHalfEven(bands_[static_cast<size_t>(pBand)].Freq));
}

Status C_FX::Proc(int32_t pId, const std::string& pSource, const std::string& pTarget,
    int64_t pFrom, int64_t pTo, bool pPreview, std::string_view pCaption)
{
    FXCanceled = 0;
    framesWritten_ = 0;
    caption_ = std::string(pCaption);
    if (rate_ <= 0 || pTo < 1 || pFrom < 0 || pFrom >= pTo)
        return Unusable(Tr("範囲が正しくありません"));
    const WaveInfo info = ReadWaveInfo(pSource);
    if (info.Valid == 0 || info.Channels != 2 || info.Bits != 16 || info.DataOffset <= 0)
        return Unusable(TrArgs("16bitステレオのWAVファイルではありません: %1", pSource));
    const int64_t sourceFrames
        = std::clamp<int64_t>((info.FileSize - info.DataOffset) / 4, 0, info.Frames);
    const int64_t to = std::min(pTo, sourceFrames);
    if (sourceFrames < 1 || pFrom >= to)
        return Unusable(Tr("範囲が正しくありません"));

    FxContext context;
    context.Parm = parms_;
    context.SampleRate = rate_;
    context.Preview = pPreview;
    context.Bands = bands_;
    context.HighQuality = highQuality_;
    context.TimePitch = timePitch_;
    context.Seed = seed_
        ? *seed_
        : static_cast<uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    std::unique_ptr<FxKernel> kernel = MakeFxKernel(pId, context);
    if (!kernel)
        return Unusable(Tr("このエフェクトは処理できません"));
    const FxSetup setup = kernel->Setup();
    const int64_t tail = pPreview ? 0 : std::max<int64_t>(setup.Tail, 0);
    const int64_t chunk
        = setup.ChunkFrames > 0 ? setup.ChunkFrames : static_cast<int64_t>(rate_) * 5;

    FileHandle source = OpenFile(pSource, OpenMode::Read);
    if (!source.IsOpen())
        return ReadFailed(pSource);
    ReplaceFile target;
    if (Status begun = target.Begin(pTarget); !begun)
        return begun.error();
    Result<FileHandle> written = StartWaveFile(rate_, 16, 2, target.TempPath(), 0, true);
    if (!written)
        return written.error();
    if (!written->IsOpen())
        return WriteFailed(Status {});
    target.Handle() = std::move(*written);

    std::vector<int16_t> in;
    std::vector<int16_t> out;
    int64_t position = pFrom;
    while (position < to) {
        if (ui_)
            ui_->Yield();
        const double rate = static_cast<double>(position - pFrom) / static_cast<double>(to - pFrom);
        const bool goOn = prog_(rate, FxProgressText(rate));
        if (ui_)
            ui_->Yield();
        if (!goOn || FXCanceled != 0) {
            FXCanceled = 0;
            return Fail(Tr("中止しました"), ErrorCode::Cancelled);
        }
        const int64_t n = std::min(chunk, to - position);
        const bool last = position + n >= to;
        const int64_t ahead = std::clamp<int64_t>(
            setup.LookAhead, 0, std::max<int64_t>(sourceFrames - position - n, 0));
        const int64_t extra = last ? tail : 0;
        in.assign(static_cast<size_t>((n + ahead + extra) * 2), 0);
        const int64_t bytes = (n + ahead) * 4;
        if (ReadAt(source, in.data(), bytes, info.DataOffset + position * 4) != bytes)
            return ReadFailed(pSource);
        out.assign(static_cast<size_t>((n + extra) * 2), 0);
        FxChunk c;
        c.In = in.data();
        c.Frames = n;
        c.Readable = n + ahead + extra;
        c.Start = position - pFrom;
        c.Last = last;
        kernel->Run(c, out);
        if (kernel->Failed())
            return Unusable(Tr("エフェクトの処理に失敗しました"));
        const auto outBytes = static_cast<int64_t>(out.size() * sizeof(int16_t));
        if (outBytes > 0) {
            if (Status wrote = WriteAt(target.Handle(), out.data(), outBytes, -1); !wrote)
                return WriteFailed(wrote);
        }
        framesWritten_ += outBytes / 4;
        position += n;
    }
    if (Status fixed = FixWaveSizes(target.TempPath(), 0, false, &target.Handle()); !fixed)
        return WriteFailed(fixed);
    if (Status committed = target.Commit(); !committed)
        return WriteFailed(committed);
    // The run is complete: a stop asked for now has nothing left to stop.
    static_cast<void>(prog_(1.0, FxProgressText(1.0)));
    return {};
}

} // namespace tarvok
