#pragma once

#include "base/text_marks.h"
#include <cstdint>
#include <string>

namespace tarvok {

class MainLogic;

/// Carries out command pIndex of the command table (keys, toolbar, wheel and the CLI come
/// here). pLevel matters only to JOG_PLUS and JOG_MINUS. Each handler applies its own
/// refusals; a command whose handler is not available yet says so in the message area and
/// changes nothing. Returns true when the command did something.
bool RunCommand(MainLogic& pLogic, int32_t pIndex, int32_t pLevel = 0);

/// True when RunCommand has a working handler for pIndex today (false for the commands
/// that only report that they are not available yet, and for indexes outside 1..144).
bool IsCommandAvailable(int32_t pIndex);

/// The message shown for a command that is not available yet.
std::string NotAvailableMessage(int32_t pIndex);

/// The filter of the OPENSOUND file dialog: the listed formats, then the common ones the
/// decoder also reads (the import decides by content, so any file may still be chosen).
/// Shown when a transport command (play, record, stop, scrub) runs where no sound device is
/// wired in: a command-line script, or a window without a sound system.
inline constexpr const char* kNoSoundDevice
    = N_("サウンドデバイスがないため再生・録音はできません");

inline constexpr const char* kSoundFileFilter
    = "*.wav;*.mp1;*.mp2;*.mp3;*.mpg;*.mpeg;*.mpa;*.wma;*.wmv;*.asf;*.aif;*.aiff;*.flac;*.ogg;"
      "*.oga;*.opus;*.m4a;*.aac;*.ac3;*.mp4;*.mka;*.caf";

} // namespace tarvok
