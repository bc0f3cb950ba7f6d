#pragma once

#include "fx/time_pitch_engine.h"

namespace tarvok {

/// The TimePitchEngine over the Rubber Band library: its finer (R3) engine in real-time
/// mode, one thread, both channels analysed together, so that a stream runs chunk by chunk
/// with bounded memory. The stream pads the start as the library prefers and drops the
/// library's start delay from the output, so that output and input line up.
class RubberBandTimePitch : public TimePitchEngine {
public:
    std::unique_ptr<TimePitchStream> Open(const TimePitchRequest& pRequest) override;
};

} // namespace tarvok
