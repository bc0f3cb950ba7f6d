#pragma once

#include "cli/cli_context.h"

#include <istream>
#include <string>
#include <vector>

namespace tarvok {

class CdDriveService;
class HttpClient;

/// The CD services a CLI run uses; main wires libcdio and libcurl in, tests may swap them.
struct CdServices {
    CdDriveService* Drives = nullptr;
    HttpClient* Http = nullptr;
    /// Where the answers to questions come from (which album is the disc); null: stdin.
    std::istream* Input = nullptr;
};
/// The services of this process (the real adapters unless a test set others).
CdServices& CliCdServices();

extern const CliCommandSpec kCdSpec;

/// `cd list`, `cd toc DRIVE [--cddb] [--album N]`, `cd rip DRIVE --track N -o OUT.wav
/// [--check] [--level DB]`, `cd verify FOLDER`.
int CdCommand(CliContext& pCtx, const std::vector<std::string>& pArgs);

/// True when an import source names a CD track: "cd:DRIVE#N".
bool IsCdSource(const std::string& pSource);
/// Parses "cd:DRIVE#N" into the drive (a path, or a number of the drive list) and the
/// track index from 0; false when the text is not one.
bool ParseCdSource(const std::string& pSource, std::string& pDrive, int32_t& pTrack);
/// The drive a DRIVE argument names: a number (from 1) of `cd list`, else a path as given.
std::string ResolveCdDrive(CliContext& pCtx, const std::string& pDrive);

} // namespace tarvok
