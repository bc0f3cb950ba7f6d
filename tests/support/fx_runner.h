#pragma once

// Runs effects over sample vectors through real files, and the plain formulas the effects
// are checked against (written over the whole signal, without chunks).

#include "fx/c_fx.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tarvok::test {

/// Interleaved 16-bit stereo.
using Samples = std::vector<int16_t>;

/// pFrames frames of a deterministic noisy signal that reaches both extremes.
Samples NoiseSignal(int64_t pFrames, uint32_t pSeed = 1);

/// Writes pSamples as a 16-bit stereo WAV file at pRate.
bool WriteSamples(const std::string& pPath, int32_t pRate, const Samples& pSamples);
/// The samples of a 16-bit stereo WAV file; empty when it cannot be read.
Samples ReadSamples(const std::string& pPath);

/// What one Proc run gave.
struct FxRun {
    bool Ok = false;
    Samples Out;
};

/// Runs effect pId with parameters pParms over pIn (all of it unless pFrom/pTo are set).
FxRun RunEffect(int32_t pId, const std::vector<double>& pParms, const Samples& pIn,
    int32_t pRate = 8000, bool pPreview = false, int64_t pFrom = 0, int64_t pTo = -1,
    uint32_t pSeed = 7);

} // namespace tarvok::test
