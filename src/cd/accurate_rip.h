#pragma once

#include "cd/cd_drive.h"
#include "cd/http_client.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvok {

/// The two AccurateRip checksums of a track.
struct AccurateRipSums {
    uint32_t V1 = 0;
    uint32_t V2 = 0;
};

/// Computes the AccurateRip checksums of a track from its 16-bit stereo frames, fed in
/// pieces in order. Each frame (left and right as one little-endian 32-bit word) is weighted
/// by its position from 1; v1 sums the low 32 bits of the products, v2 the low and high
/// halves. The first 5 sectors less one frame of a disc's first track and the last 5
/// sectors of its last track are left out, as drives differ most there.
class AccurateRipAccumulator {
public:
    AccurateRipAccumulator(int64_t pTotalFrames, bool pFirstTrack, bool pLastTrack);
    /// Adds pFrames frames of 4 bytes each.
    void Add(const uint8_t* pBytes, size_t pFrames);
    AccurateRipSums Sums() const { return { v1_, v2_ }; }

private:
    uint64_t position_ = 0;
    uint64_t from_ = 0;
    uint64_t to_ = 0;
    uint32_t v1_ = 0;
    uint32_t v2_ = 0;
};

/// The checksums of the data of a 16-bit stereo WAV file (a ripped track); nothing when the
/// file is not one or cannot be read.
std::optional<AccurateRipSums> AccurateRipOfFile(
    std::string_view pPath, bool pFirstTrack, bool pLastTrack);

/// "v1 1a2b3c4d v2 5e6f7a8b".
std::string AccurateRipText(const AccurateRipSums& pSums);

/// The keys of a disc in the AccurateRip database, from its audio tracks (data tracks are
/// left out of the sums and the count): the sum of the start LBAs and the lead-out, the sum
/// of each start (at least 1) times its track number and the lead-out times the count + 1,
/// and the CDDB disc id.
struct AccurateRipDiscIds {
    int32_t Tracks = 0;
    uint32_t Id1 = 0;
    uint32_t Id2 = 0;
    uint32_t CddbId = 0;
};
std::optional<AccurateRipDiscIds> AccurateRipIdsOf(const DiscToc& pToc);

/// The file of a disc in the database, below its address:
/// "c/b/a/dBAR-NNN-id1-id2-cddbid.bin" with a, b, c the last three hex digits of id1.
std::string AccurateRipFileName(const AccurateRipDiscIds& pIds);

/// One submission set of a database answer (a "pressing"): its keys and, per track, how
/// many rips agreed on it and their checksum (v1 or v2).
struct AccurateRipPressing {
    AccurateRipDiscIds Ids;
    struct Track {
        int32_t Confidence = 0;
        uint32_t Crc = 0;
    };
    std::vector<Track> Tracks;
};

/// Reads a binary database answer: chunks of a 13-byte header (track count, id1, id2,
/// CDDB id, little-endian) and 9 bytes per track (confidence, checksum, a further checksum
/// not used here). Reading stops at the first chunk that is short or has a track count of
/// 0 or over 99, and after pMaxPressings chunks, so a hostile answer only ends the list.
std::vector<AccurateRipPressing> ParseAccurateRipAnswer(
    std::string_view pBody, size_t pMaxPressings = 1000);

/// The database's word on one track.
enum class AccurateRipVerdict {
    NotChecked, ///< nothing to compare (no checksum, a data track, no address set)
    Match, ///< a pressing carries the track's v1 or v2 checksum
    Mismatch, ///< the disc is in the database, the checksum is not
    NotFound, ///< the database has no entry for the disc
    Unreachable, ///< no answer (no connection, time bound, a status other than 404)
    BadAnswer, ///< an answer that is no database file
};
struct AccurateRipResult {
    AccurateRipVerdict Verdict = AccurateRipVerdict::NotChecked;
    int32_t Confidence = 0; ///< of a match: the largest confidence among the agreeing entries
    bool V2 = false; ///< the match was on the v2 checksum
};

/// Compares track checksums (pSums, one per entry of pToc's tracks; none for a data track
/// or an unread one) with the pressings of an answer.
std::vector<AccurateRipResult> MatchAccurateRip(const DiscToc& pToc,
    const std::vector<std::optional<AccurateRipSums>>& pSums,
    const std::vector<AccurateRipPressing>& pPressings);

/// What a database check needs besides the disc.
struct AccurateRipOptions {
    /// The database's base address, from the setting "AccurateRipServer"; empty: no check.
    std::string Server;
    HttpLimits Limits { 256 * 1024, 10000, {} };
};

/// Fetches the disc's entry and compares (one result per track of pToc). Unreachable,
/// not-found and bad answers give that verdict to every track that has a checksum.
std::vector<AccurateRipResult> CheckAccurateRip(HttpClient& pHttp,
    const AccurateRipOptions& pOptions, const DiscToc& pToc,
    const std::vector<std::optional<AccurateRipSums>>& pSums);

/// The verdict as the track list shows it: "一致 (信頼度 5)", "不一致", "未登録",
/// "接続できません", "応答が不正です" (with pAlternative the English texts); empty when
/// not checked.
std::string AccurateRipVerdictText(const AccurateRipResult& pResult, bool pAlternative = false);

/// Whether track index pTrack of pToc is the first or the last audio track (the checksum
/// leaves out the disc's edges there).
bool IsFirstAudioTrack(const DiscToc& pToc, int32_t pTrack);
bool IsLastAudioTrack(const DiscToc& pToc, int32_t pTrack);

} // namespace tarvok
