#pragma once

#include "cd/cd_drive.h"
#include "cd/http_client.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvok {

class RipAudio;
class UserInterface;

/// The disc identifier of a CDDB server: (sum of the decimal digits of every track's start
/// second) mod 255 as two hex digits, the playing time in seconds as four, the track count
/// as two, lower case. Empty when the table has no tracks.
std::string CddbDiscId(const DiscToc& pToc);

/// The query text: identifier, "+", track count, "+" and each track's start LBA + 150,
/// then "+" and the lead-out's second.
std::string CddbQueryText(const DiscToc& pToc);

/// The album lines of a query answer: every line that contains pId, with " " + pId taken
/// out. Lines are trimmed and cut at a NUL.
std::vector<std::string> CddbAlbums(std::string_view pBody, std::string_view pId);

/// The category of a one-match answer line ("200 rock Artist / Album" gives "rock"), or of
/// a line of a list ("rock Artist / Album"); empty when the word is not a plain category
/// (lower-case letters and digits only), so nothing unexpected goes into the next URL.
std::string CddbCategoryOfSingle(std::string_view pAlbum);
std::string CddbCategoryOfListed(std::string_view pAlbum);

/// Titles read from a CDDB entry.
struct CddbTitles {
    std::string Disc;
    std::vector<std::string> Tracks;
    /// The server offered several albums and the user took none of them.
    bool Declined = false;
};

/// Picks one of several matches a database offered (pService: "CDDB" or "MusicBrainz"):
/// the index of the chosen one, or nothing when the user declines them all.
using AlbumChooser = std::function<std::optional<size_t>(
    std::string_view pService, const std::vector<std::string>& pAlbums)>;

/// The rip window's way of choosing: "このCDは" + CR LF + the album + "ですか？" in a Yes/No
/// box with the question icon for each album in turn; the first Yes chooses.
std::optional<size_t> AskAlbumInBoxes(UserInterface& pUi, const std::vector<std::string>& pAlbums);

/// The disc title (DTITLE, " / " shown as " - ") and pTracks track titles (TTITLEn) of an
/// entry; "?" becomes the full-width "？". Repeated keys continue the title. Missing keys
/// give empty titles.
CddbTitles ParseCddbEntry(std::string_view pBody, int32_t pTracks);

/// What a lookup needs besides the disc.
struct CddbOptions {
    std::string Server; ///< host (and port) of the server, from the setting "CDDBServer"
    HttpLimits Limits;
    /// The MusicBrainz web service asked when the CDDB server has no titles (the setting
    /// "MusicBrainzServer"); empty for none.
    std::string MusicBrainzServer;
    /// How the user picks among several matches; unset: AskAlbumInBoxes.
    AlbumChooser Choose {};
};

/// Asks the server for the disc's titles: query, the choice of album (pOptions.Choose when
/// there are several; a list of one entry is a single match), read. Every failure (no
/// server, no answer, no match, a declined choice, garbage) gives empty titles; a declined
/// choice sets Declined.
CddbTitles LookupCddb(
    HttpClient& pHttp, UserInterface& pUi, const CddbOptions& pOptions, const DiscToc& pToc);

/// A track length as minutes, seconds and tenths: 04'35.2. The tenths are milliseconds div
/// 100, cut like those of every time text (66667 ms shows 01'06.6), never rounded up.
std::string TrackLengthText(int32_t pMs);

/// The disc's listing for the track list.
struct DiscListing {
    std::string CddbId;
    std::string MusicBrainzId;
    std::string Title;
    std::vector<std::string> Titles;
    std::vector<std::string> Lengths;
};

/// Reads the table of contents of pRa's drive and lists the tracks with their lengths and,
/// with pHttp given (the "UseCDDB" choice), titles from the CDDB server, else from the
/// MusicBrainz server when one is set (not when the user declined every CDDB album); when no title
/// comes from either, the disc's CD-TEXT titles are used. Both disc ids are listed. False (and
/// pListing untouched) when no drive is set or the disc has no tracks.
bool LoadTrackToList(RipAudio& pRa, HttpClient* pHttp, UserInterface& pUi,
    const CddbOptions& pOptions, DiscListing& pListing);

} // namespace tarvok
