#pragma once

namespace tarvok {

class MainLogic;

/// EXPORT: renders every playing track over the whole project, through its envelope and
/// level, into "trackNN.wav" of a folder the user chooses. Each file is rendered beside its
/// target and renamed over it when complete. False when refused, cancelled or failed.
bool ExportCommand(MainLogic& pLogic);

} // namespace tarvok
