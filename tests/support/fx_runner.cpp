#include "support/fx_runner.h"

#include "core/file_io.h"
#include "core/wave_info.h"
#include "support/temp_dir.h"
#include "support/wav_fixture.h"

#include <cstring>

namespace tarvok::test {

Samples NoiseSignal(int64_t pFrames, uint32_t pSeed)
{
    Samples s(static_cast<size_t>(pFrames * 2));
    uint32_t state = pSeed * 2654435761u + 12345u;
    for (size_t i = 0; i < s.size(); ++i) {
        state = state * 1664525u + 1013904223u;
        s[i] = static_cast<int16_t>(static_cast<uint16_t>(state >> 16));
    }
    if (s.size() >= 4) {
        s[0] = -32768;
        s[3] = 32767;
    }
    return s;
}

bool WriteSamples(const std::string& pPath, int32_t pRate, const Samples& pSamples)
{
    return WriteWav(pPath, PcmSpec(pRate, 16, 2, Samples16(pSamples)));
}

Samples ReadSamples(const std::string& pPath)
{
    const WaveInfo info = ReadWaveInfo(pPath);
    std::optional<std::string> bytes = ReadAllBytes(pPath);
    if (info.Valid == 0 || !bytes || info.Channels != 2 || info.Bits != 16)
        return {};
    Samples s(static_cast<size_t>(info.Frames) * 2);
    std::memcpy(s.data(), bytes->data() + info.DataOffset, s.size() * 2);
    return s;
}

FxRun RunEffect(int32_t pId, const std::vector<double>& pParms, const Samples& pIn, int32_t pRate,
    bool pPreview, int64_t pFrom, int64_t pTo, uint32_t pSeed)
{
    TempDir dir;
    const std::string source = dir.File("in.wav");
    const std::string target = dir.File("out.wav");
    FxRun run;
    if (!WriteSamples(source, pRate, pIn))
        return run;
    C_FX fx(pRate);
    for (size_t i = 0; i < pParms.size(); ++i)
        fx.SetFXParm(static_cast<int32_t>(i), pParms[i]);
    fx.SetSeed(pSeed);
    const int64_t to = pTo < 0 ? static_cast<int64_t>(pIn.size() / 2) : pTo;
    run.Ok = fx.Proc(pId, source, target, pFrom, to, pPreview, "1ブロック").has_value();
    if (run.Ok)
        run.Out = ReadSamples(target);
    return run;
}

} // namespace tarvok::test
