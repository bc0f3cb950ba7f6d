#pragma once

#include "render/loudness.h"

namespace tarvok {

/// The LoudnessMeter over libebur128: one library state per measurement, in the modes for
/// integrated loudness and true peak.
class Ebur128LoudnessMeter : public LoudnessMeter {
public:
    std::unique_ptr<LoudnessMeasurement> Start(int32_t pRate, int32_t pChannels) override;
};

} // namespace tarvok
