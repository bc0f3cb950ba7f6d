#pragma once

#include "cd/cd_drive.h"

namespace tarvok {

/// CdDriveService on libcdio. Physical drives are the devices libcdio finds; images are
/// opened by their extension: CUE and cdrdao TOC sheets through the core's sheet reader
/// (CdImage), NRG images through libcdio. libcdio's own log output is
/// silenced; failures come back as empty results.
class CdioDriveService : public CdDriveService {
public:
    CdioDriveService();
    std::vector<CdDriveEntry> PhysicalDrives() override;
    std::unique_ptr<CdDevice> Open(std::string_view pPath) override;
};

} // namespace tarvok
