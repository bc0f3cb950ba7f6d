#include "cd/accurate_rip.h"

#include "base/i18n.h"
#include "base/text.h"
#include "cd/cd_drive.h"
#include "cd/cddb.h"
#include "core/file_io.h"
#include "core/wave_info.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace tarvok {

namespace {

/// Frames left out at the start of a first track and at the end of a last one.
constexpr uint64_t kSkipFrames = 5 * kCdSectorFrames;

} // namespace

AccurateRipAccumulator::AccurateRipAccumulator(
    int64_t pTotalFrames, bool pFirstTrack, bool pLastTrack)
{
    const auto total = static_cast<uint64_t>(pTotalFrames < 0 ? 0 : pTotalFrames);
    from_ = pFirstTrack ? kSkipFrames : 1;
    to_ = pLastTrack ? (total > kSkipFrames ? total - kSkipFrames : 0) : total;
}

void AccurateRipAccumulator::Add(const uint8_t* pBytes, size_t pFrames)
{
    for (size_t i = 0; i < pFrames; ++i) {
        ++position_;
        if (position_ < from_ || position_ > to_)
            continue;
        const uint8_t* p = pBytes + i * 4;
        const uint32_t word = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8)
            | (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
        const uint64_t product = static_cast<uint64_t>(word) * position_;
        v1_ += static_cast<uint32_t>(product);
        v2_ += static_cast<uint32_t>(product) + static_cast<uint32_t>(product >> 32);
    }
}

std::optional<AccurateRipSums> AccurateRipOfFile(
    std::string_view pPath, bool pFirstTrack, bool pLastTrack)
{
    const WaveInfo info = ReadWaveInfo(pPath);
    if (info.Valid != 1 || info.Channels != 2 || info.Bits != 16)
        return std::nullopt;
    FileHandle file = OpenFile(pPath, OpenMode::Read);
    if (!file.IsOpen())
        return std::nullopt;
    AccurateRipAccumulator sums(info.Frames, pFirstTrack, pLastTrack);
    std::vector<uint8_t> buffer(static_cast<size_t>(kCdSectorBytes) * 256);
    int64_t left = static_cast<int64_t>(info.Frames) * 4;
    int64_t offset = info.DataOffset;
    while (left > 0) {
        const int64_t n = std::min<int64_t>(left, static_cast<int64_t>(buffer.size()));
        if (ReadAt(file, buffer.data(), n, offset) != n)
            return std::nullopt;
        sums.Add(buffer.data(), static_cast<size_t>(n / 4));
        left -= n;
        offset += n;
    }
    return sums.Sums();
}

std::string AccurateRipText(const AccurateRipSums& pSums)
{
    char text[40];
    std::snprintf(text, sizeof text, "v1 %08x v2 %08x", pSums.V1, pSums.V2);
    return text;
}

} // namespace tarvok

namespace tarvok {

namespace {

uint32_t Le32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8)
        | (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

int32_t EntryLba(const TocEntry& pEntry) { return MsfToLba(pEntry.M, pEntry.S, pEntry.F); }

bool IsAudioEntry(const DiscToc& pToc, size_t pIndex)
{
    return pIndex + 1 < pToc.Entries.size() && (pToc.Entries[pIndex].Control & 4) == 0;
}

/// The Unreachable, NotFound or BadAnswer verdict for every track with a checksum.
std::vector<AccurateRipResult> AllTracks(
    const std::vector<std::optional<AccurateRipSums>>& pSums, AccurateRipVerdict pVerdict)
{
    std::vector<AccurateRipResult> results(pSums.size());
    for (size_t i = 0; i < pSums.size(); ++i)
        if (pSums[i])
            results[i].Verdict = pVerdict;
    return results;
}

} // namespace

bool IsFirstAudioTrack(const DiscToc& pToc, int32_t pTrack)
{
    for (size_t i = 0; i + 1 < pToc.Entries.size(); ++i)
        if (IsAudioEntry(pToc, i))
            return static_cast<int32_t>(i) == pTrack;
    return false;
}

bool IsLastAudioTrack(const DiscToc& pToc, int32_t pTrack)
{
    for (size_t i = pToc.Entries.size(); i-- > 0;)
        if (IsAudioEntry(pToc, i))
            return static_cast<int32_t>(i) == pTrack;
    return false;
}

std::optional<AccurateRipDiscIds> AccurateRipIdsOf(const DiscToc& pToc)
{
    if (pToc.Entries.size() < 2)
        return std::nullopt;
    AccurateRipDiscIds ids;
    for (size_t i = 0; i + 1 < pToc.Entries.size(); ++i) {
        if (!IsAudioEntry(pToc, i))
            continue;
        const int32_t lba = EntryLba(pToc.Entries[i]);
        if (lba < 0)
            return std::nullopt;
        ++ids.Tracks;
        ids.Id1 += static_cast<uint32_t>(lba);
        ids.Id2 += static_cast<uint32_t>(lba > 0 ? lba : 1)
            * static_cast<uint32_t>(pToc.Entries[i].TrackNo);
    }
    const int32_t leadOut = EntryLba(pToc.Entries.back());
    if (ids.Tracks == 0 || leadOut < 0)
        return std::nullopt;
    ids.Id1 += static_cast<uint32_t>(leadOut);
    ids.Id2 += static_cast<uint32_t>(leadOut) * static_cast<uint32_t>(ids.Tracks + 1);
    ids.CddbId = static_cast<uint32_t>(std::strtoul(CddbDiscId(pToc).c_str(), nullptr, 16));
    return ids;
}

std::string AccurateRipFileName(const AccurateRipDiscIds& pIds)
{
    char text[80];
    std::snprintf(text, sizeof text, "%x/%x/%x/dBAR-%03d-%08x-%08x-%08x.bin", pIds.Id1 & 0xFU,
        (pIds.Id1 >> 4) & 0xFU, (pIds.Id1 >> 8) & 0xFU, pIds.Tracks, pIds.Id1, pIds.Id2,
        pIds.CddbId);
    return text;
}

std::vector<AccurateRipPressing> ParseAccurateRipAnswer(
    std::string_view pBody, size_t pMaxPressings)
{
    constexpr size_t kHeader = 13;
    constexpr size_t kPerTrack = 9;
    std::vector<AccurateRipPressing> pressings;
    const auto* data = reinterpret_cast<const uint8_t*>(pBody.data());
    size_t pos = 0;
    while (pressings.size() < pMaxPressings && pBody.size() - pos >= kHeader) {
        const size_t count = data[pos];
        if (count == 0 || count > 99 || pBody.size() - pos - kHeader < count * kPerTrack)
            break;
        AccurateRipPressing p;
        p.Ids.Tracks = static_cast<int32_t>(count);
        p.Ids.Id1 = Le32(data + pos + 1);
        p.Ids.Id2 = Le32(data + pos + 5);
        p.Ids.CddbId = Le32(data + pos + 9);
        pos += kHeader;
        for (size_t t = 0; t < count; ++t, pos += kPerTrack)
            p.Tracks.push_back({ data[pos], Le32(data + pos + 1) });
        pressings.push_back(std::move(p));
    }
    return pressings;
}

std::vector<AccurateRipResult> MatchAccurateRip(const DiscToc& pToc,
    const std::vector<std::optional<AccurateRipSums>>& pSums,
    const std::vector<AccurateRipPressing>& pPressings)
{
    std::vector<AccurateRipResult> results(pSums.size());
    const std::optional<AccurateRipDiscIds> ids = AccurateRipIdsOf(pToc);
    if (!ids)
        return results;
    std::vector<const AccurateRipPressing*> ours;
    for (const AccurateRipPressing& p : pPressings)
        if (p.Ids.Tracks == ids->Tracks && p.Ids.Id1 == ids->Id1 && p.Ids.Id2 == ids->Id2
            && p.Ids.CddbId == ids->CddbId)
            ours.push_back(&p);
    size_t audio = 0; // the track's place among the audio tracks: its entry in a pressing
    for (size_t i = 0; i < pSums.size(); ++i) {
        if (!IsAudioEntry(pToc, i))
            continue;
        const size_t place = audio++;
        if (!pSums[i])
            continue;
        AccurateRipResult& r = results[i];
        r.Verdict = ours.empty() ? AccurateRipVerdict::NotFound : AccurateRipVerdict::Mismatch;
        for (const AccurateRipPressing* p : ours) {
            if (place >= p->Tracks.size())
                continue;
            const AccurateRipPressing::Track& t = p->Tracks[place];
            const bool v1 = t.Crc == pSums[i]->V1;
            const bool v2 = t.Crc == pSums[i]->V2;
            if ((v1 || v2) && t.Confidence >= r.Confidence) {
                r.Verdict = AccurateRipVerdict::Match;
                r.Confidence = t.Confidence;
                r.V2 = v2 && !v1;
            }
        }
    }
    return results;
}

std::vector<AccurateRipResult> CheckAccurateRip(HttpClient& pHttp,
    const AccurateRipOptions& pOptions, const DiscToc& pToc,
    const std::vector<std::optional<AccurateRipSums>>& pSums)
{
    std::string server(Trim(pOptions.Server));
    while (!server.empty() && server.back() == '/')
        server.pop_back();
    const std::optional<AccurateRipDiscIds> ids = AccurateRipIdsOf(pToc);
    bool usable = !server.empty() && ids;
    for (char c : server)
        usable = usable && static_cast<unsigned char>(c) > 0x20 && c != '?' && c != '#';
    if (!usable)
        return std::vector<AccurateRipResult>(pSums.size());
    if (server.rfind("http://", 0) != 0 && server.rfind("https://", 0) != 0)
        server = "http://" + server;
    Result<std::string> body = pHttp.Get(server + "/" + AccurateRipFileName(*ids), pOptions.Limits);
    if (!body) {
        // An answer over the size bound came from a server that was reached: it is a bad
        // answer, not an unreachable server.
        const ErrorCode code = body.error().Code;
        return AllTracks(pSums,
            code == ErrorCode::NotFound       ? AccurateRipVerdict::NotFound
                : code == ErrorCode::TooLarge ? AccurateRipVerdict::BadAnswer
                                              : AccurateRipVerdict::Unreachable);
    }
    const std::vector<AccurateRipPressing> pressings = ParseAccurateRipAnswer(*body);
    if (pressings.empty())
        return AllTracks(pSums, AccurateRipVerdict::BadAnswer);
    return MatchAccurateRip(pToc, pSums, pressings);
}

std::string AccurateRipVerdictText(const AccurateRipResult& pResult, bool pAlternative)
{
    switch (pResult.Verdict) {
    case AccurateRipVerdict::NotChecked:
        return {};
    case AccurateRipVerdict::Match:
        return pAlternative ? "accurate (confidence " + std::to_string(pResult.Confidence) + ")"
                            : TrArgs("一致 (信頼度 %1)", pResult.Confidence);
    case AccurateRipVerdict::Mismatch:
        return pAlternative ? "not accurate" : Tr("不一致");
    case AccurateRipVerdict::NotFound:
        return pAlternative ? "not in the database" : Tr("未登録");
    case AccurateRipVerdict::Unreachable:
        return pAlternative ? "database unreachable" : Tr("接続できません");
    case AccurateRipVerdict::BadAnswer:
        return pAlternative ? "bad answer" : Tr("応答が不正です");
    }
    return {};
}

} // namespace tarvok
