#pragma once

#include "cd/cd_drive.h"
#include "cd/cddb.h"
#include "cd/http_client.h"

#include <string>
#include <string_view>

namespace tarvok {

struct JsonValue;
class UserInterface;

/// The MusicBrainz disc id of a table of contents: the SHA-1 of the upper-case hex text of
/// the first and last audio track numbers (2 digits each) and 100 offsets (8 digits each:
/// the lead-out, then every track's start LBA + 150, zeros for missing tracks), in base64
/// with "._-" in place of "+/=". Data tracks at the end of the disc are left out and the
/// lead-out moved to 11400 sectors before the first of them, as for any multi-session disc.
/// Empty when the table has no audio tracks.
std::string MusicBrainzDiscId(const DiscToc& pToc);

/// The text the id is the hash of (for tests and diagnostics).
std::string MusicBrainzTocText(const DiscToc& pToc);

/// What a MusicBrainz look-up needs besides the disc.
struct MusicBrainzOptions {
    /// The web service's base address, from the setting "MusicBrainzServer"
    /// ("https://musicbrainz.org"); a bare host is taken as https. Empty: no look-up.
    std::string Server;
    HttpLimits Limits;
    /// How the user picks among several releases; unset: AskAlbumInBoxes.
    AlbumChooser Choose {};
};

/// The table of contents as the web service's "toc" parameter: the first and last audio
/// track numbers, the lead-out and every audio track's start, each as LBA + 150, joined by
/// "+" (the audio part as for the disc id). Empty when there is no audio track.
std::string MusicBrainzTocParameter(const DiscToc& pToc);

/// The address of the disc id's look-up: Server + "/ws/2/discid/" + id, asking for the
/// releases with their recordings and artists as JSON; with pToc (MusicBrainzTocParameter)
/// also "&toc=" + pToc, so that the service answers with the discs of nearly the same table
/// when it does not know the id. Empty when the server, the id or the table is not usable.
std::string MusicBrainzLookupUrl(
    std::string_view pServer, std::string_view pDiscId, std::string_view pToc = {});

/// The titles of one release of a discid answer: "Artist - Album" and the titles of the
/// medium that carries pDiscId (else the first medium with pAudioTracks tracks), in track
/// order. pAudioTracks entries; "?" becomes the full-width "？" and control characters blanks.
CddbTitles MusicBrainzReleaseTitles(
    const JsonValue& pRelease, std::string_view pDiscId, int32_t pAudioTracks);

/// Asks the MusicBrainz server for the disc's titles: the discid look-up with the table
/// of contents, the choice of release (pOptions.Choose when there are several, the
/// releases carrying the exact disc id first), the titles of its
/// medium mapped onto the disc's audio tracks. Every failure (no server, no answer, not
/// found, a declined choice, garbage, an answer over the size or time bound) gives empty
/// titles, one per track of the table.
CddbTitles LookupMusicBrainz(
    HttpClient& pHttp, UserInterface& pUi, const MusicBrainzOptions& pOptions, const DiscToc& pToc);

} // namespace tarvok
