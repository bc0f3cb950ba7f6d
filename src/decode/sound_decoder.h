#pragma once

#include <string>

namespace tarvok {

class UserInterface;

/// Decodes a compressed sound file (MPEG audio, Windows Media, AIFF, ...) into a complete
/// 16-bit PCM WAV file at pTarget, or leaves no file there at all. Implemented by an adapter
/// over a media library; the import only asks whether pTarget exists afterwards.
class SoundDecoder {
public:
    virtual ~SoundDecoder() = default;
    /// True when pTarget now holds the decoded file. pCancel is the user's stop request.
    virtual bool Decode(
        const std::string& pSource, const std::string& pTarget, UserInterface& pUi, bool& pCancel)
        = 0;
    /// True when the decoder can read sound from pSource at all (its content, not its
    /// name, decides); a file nothing recognises is not a sound file.
    virtual bool Recognises(const std::string& pSource)
    {
        (void)pSource;
        return false;
    }
};

/// The decoder used where no media library is wired in: it decodes nothing.
class NoSoundDecoder : public SoundDecoder {
public:
    bool Decode(const std::string&, const std::string&, UserInterface&, bool&) override
    {
        return false;
    }
};

} // namespace tarvok
