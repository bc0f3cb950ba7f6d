#include "cd/musicbrainz.h"

#include "base/i18n.h"

#include "base/text.h"
#include "cd/json_reader.h"
#include "cd/sha1.h"
#include "core/user_interface.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>

namespace tarvok {

namespace {

/// Sectors between the end of the audio session and the first data track of a
/// multi-session disc: the lead-out, lead-in and pre-gap between the sessions.
constexpr int32_t kSessionGap = 11400;

int32_t Lba(const TocEntry& pEntry) { return MsfToLba(pEntry.M, pEntry.S, pEntry.F); }

/// The audio part of a table: the track entries up to the last audio track, and the
/// lead-out LBA as MusicBrainz counts it. False when there is no audio track.
bool AudioPart(const DiscToc& pToc, std::vector<TocEntry>& pTracks, int32_t& pLeadOut)
{
    if (pToc.Entries.size() < 2 || pToc.FirstTrack < 1 || pToc.LastTrack > 99)
        return false;
    pTracks.assign(pToc.Entries.begin(), pToc.Entries.end() - 1);
    pLeadOut = Lba(pToc.Entries.back());
    while (!pTracks.empty() && (pTracks.back().Control & 4) != 0) {
        pLeadOut = Lba(pTracks.back()) - kSessionGap;
        pTracks.pop_back();
    }
    return !pTracks.empty() && pTracks.size() <= 99;
}

std::string Base64MusicBrainz(const std::array<uint8_t, 20>& pBytes)
{
    static constexpr char kAlphabet[]
        = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789._";
    std::string out;
    for (size_t i = 0; i < pBytes.size(); i += 3) {
        const size_t left = pBytes.size() - i;
        uint32_t group = static_cast<uint32_t>(pBytes[i]) << 16;
        if (left > 1)
            group |= static_cast<uint32_t>(pBytes[i + 1]) << 8;
        if (left > 2)
            group |= pBytes[i + 2];
        out += kAlphabet[(group >> 18) & 63];
        out += kAlphabet[(group >> 12) & 63];
        out += left > 1 ? kAlphabet[(group >> 6) & 63] : '-';
        out += left > 2 ? kAlphabet[group & 63] : '-';
    }
    return out;
}

/// A title from the network as the track list shows it: control characters become
/// blanks, "?" the full-width "？", outer blanks go.
std::string CleanTitle(std::string_view pText)
{
    const std::string blanked = BlankControlCharacters(pText);
    std::string out;
    for (char c : Trim(blanked)) {
        if (c == '?')
            out += DATA_TEXT("？");
        else
            out += c;
    }
    return out;
}

/// "Artist" from an artist credit list: every name followed by its join phrase.
std::string ArtistOf(const JsonValue& pRelease)
{
    const JsonValue* credits = pRelease.Find("artist-credit");
    std::string artist;
    if (!credits || credits->Type != JsonValue::Kind::Array)
        return artist;
    for (const JsonValue& c : credits->Items)
        artist += c.TextOf("name") + c.TextOf("joinphrase");
    return artist;
}

bool HasDisc(const JsonValue& pMedium, std::string_view pDiscId)
{
    const JsonValue* discs = pMedium.Find("discs");
    if (!discs || discs->Type != JsonValue::Kind::Array)
        return false;
    for (const JsonValue& d : discs->Items)
        if (d.TextOf("id") == pDiscId)
            return true;
    return false;
}

const JsonValue* TracksOf(const JsonValue& pMedium)
{
    const JsonValue* tracks = pMedium.Find("tracks");
    return tracks && tracks->Type == JsonValue::Kind::Array ? tracks : nullptr;
}

std::string ReleaseLine(const JsonValue& pRelease)
{
    const std::string artist = CleanTitle(ArtistOf(pRelease));
    const std::string title = CleanTitle(pRelease.TextOf("title"));
    return artist.empty() ? title : artist + " - " + title;
}

} // namespace

std::string MusicBrainzTocText(const DiscToc& pToc)
{
    std::vector<TocEntry> tracks;
    int32_t leadOut = 0;
    if (!AudioPart(pToc, tracks, leadOut))
        return {};
    char part[16];
    std::string text;
    std::snprintf(part, sizeof part, "%02X", static_cast<unsigned>(pToc.FirstTrack));
    text += part;
    std::snprintf(part, sizeof part, "%02X",
        static_cast<unsigned>(pToc.FirstTrack + static_cast<int32_t>(tracks.size()) - 1));
    text += part;
    for (size_t i = 0; i < 100; ++i) {
        int64_t offset = 0;
        if (i == 0)
            offset = leadOut + 150;
        else if (static_cast<int32_t>(i) >= pToc.FirstTrack
            && static_cast<int32_t>(i) - pToc.FirstTrack < static_cast<int32_t>(tracks.size()))
            offset
                = Lba(tracks[static_cast<size_t>(static_cast<int32_t>(i) - pToc.FirstTrack)]) + 150;
        std::snprintf(part, sizeof part, "%08X", static_cast<unsigned>(offset));
        text += part;
    }
    return text;
}

std::string MusicBrainzDiscId(const DiscToc& pToc)
{
    const std::string text = MusicBrainzTocText(pToc);
    return text.empty() ? std::string() : Base64MusicBrainz(Sha1(text));
}

std::string MusicBrainzTocParameter(const DiscToc& pToc)
{
    std::vector<TocEntry> tracks;
    int32_t leadOut = 0;
    if (!AudioPart(pToc, tracks, leadOut))
        return {};
    std::string text = std::to_string(pToc.FirstTrack) + "+"
        + std::to_string(pToc.FirstTrack + static_cast<int32_t>(tracks.size()) - 1) + "+"
        + std::to_string(leadOut + 150);
    for (const TocEntry& t : tracks)
        text += "+" + std::to_string(Lba(t) + 150);
    return text;
}

std::string MusicBrainzLookupUrl(
    std::string_view pServer, std::string_view pDiscId, std::string_view pToc)
{
    std::string server(Trim(pServer));
    while (!server.empty() && server.back() == '/')
        server.pop_back();
    if (server.empty() || pDiscId.empty())
        return {};
    if (server.rfind("http://", 0) != 0 && server.rfind("https://", 0) != 0)
        server = "https://" + server;
    // Nothing from the setting may split the address into something else.
    for (char c : server)
        if (static_cast<unsigned char>(c) <= 0x20 || c == '?' || c == '#')
            return {};
    for (char c : pDiscId)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_' || c == '-'))
            return {};
    for (char c : pToc)
        if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '+'))
            return {};
    return server + "/ws/2/discid/" + std::string(pDiscId)
        + "?inc=recordings+artist-credits&cdstubs=no&fmt=json"
        + (pToc.empty() ? std::string() : "&toc=" + std::string(pToc));
}

CddbTitles MusicBrainzReleaseTitles(
    const JsonValue& pRelease, std::string_view pDiscId, int32_t pAudioTracks)
{
    CddbTitles titles;
    titles.Tracks.assign(static_cast<size_t>(pAudioTracks < 0 ? 0 : pAudioTracks), std::string());
    titles.Disc = ReleaseLine(pRelease);
    const JsonValue* media = pRelease.Find("media");
    if (!media || media->Type != JsonValue::Kind::Array)
        return titles;
    const JsonValue* chosen = nullptr;
    for (const JsonValue& m : media->Items)
        if (HasDisc(m, pDiscId) && TracksOf(m)) {
            chosen = &m;
            break;
        }
    if (!chosen)
        for (const JsonValue& m : media->Items)
            if (const JsonValue* t = TracksOf(m);
                t && static_cast<int32_t>(t->Items.size()) == pAudioTracks) {
                chosen = &m;
                break;
            }
    if (!chosen)
        return titles;
    const JsonValue& tracks = *TracksOf(*chosen);
    for (size_t i = 0; i < tracks.Items.size(); ++i) {
        const JsonValue& t = tracks.Items[i];
        // The track's position on the medium when it carries a sane one, else its order.
        size_t index = i;
        if (const JsonValue* p = t.Find("position"); p && p->Type == JsonValue::Kind::Number
            && p->Number >= 1 && p->Number <= 99 && std::floor(p->Number) == p->Number)
            index = static_cast<size_t>(p->Number) - 1;
        if (index >= titles.Tracks.size())
            continue;
        std::string title = t.TextOf("title");
        if (title.empty())
            if (const JsonValue* r = t.Find("recording"))
                title = r->TextOf("title");
        titles.Tracks[index] = CleanTitle(title);
    }
    return titles;
}

namespace {

/// The release the user takes: the only one, or one picked from the list in which the
/// releases carrying exactly pDiscId come first (the others match the table only nearly).
const JsonValue* ChooseRelease(UserInterface& pUi, const MusicBrainzOptions& pOptions,
    const JsonValue& pReleases, std::string_view pDiscId)
{
    if (pReleases.Items.size() == 1)
        return &pReleases.Items[0];
    std::vector<const JsonValue*> order;
    for (const JsonValue& r : pReleases.Items)
        order.push_back(&r);
    auto exact = [pDiscId](const JsonValue* pRelease) {
        const JsonValue* media = pRelease->Find("media");
        if (media && media->Type == JsonValue::Kind::Array)
            for (const JsonValue& m : media->Items)
                if (HasDisc(m, pDiscId))
                    return true;
        return false;
    };
    std::stable_partition(order.begin(), order.end(), exact);
    std::vector<std::string> lines;
    lines.reserve(order.size());
    for (const JsonValue* r : order)
        lines.push_back(ReleaseLine(*r));
    const std::optional<size_t> chosen
        = pOptions.Choose ? pOptions.Choose("MusicBrainz", lines) : AskAlbumInBoxes(pUi, lines);
    return chosen && *chosen < order.size() ? order[*chosen] : nullptr;
}

} // namespace

CddbTitles LookupMusicBrainz(
    HttpClient& pHttp, UserInterface& pUi, const MusicBrainzOptions& pOptions, const DiscToc& pToc)
{
    CddbTitles none;
    none.Tracks.assign(pToc.Entries.size() < 2 ? 0 : pToc.Entries.size() - 1, std::string());
    const std::string id = MusicBrainzDiscId(pToc);
    const std::string url
        = MusicBrainzLookupUrl(pOptions.Server, id, MusicBrainzTocParameter(pToc));
    if (url.empty())
        return none;
    Result<std::string> body = pHttp.Get(url, pOptions.Limits);
    if (!body) {
        if (body.error().Code == ErrorCode::NotFound)
            pUi.ShowMessage(TrArgs("%1: 該当するCDがありません", "MusicBrainz"));
        else if (body.error().Code != ErrorCode::Cancelled)
            pUi.ShowMessage(TrArgs("%1: 問い合わせできませんでした", "MusicBrainz")
                + (body.error().Code == ErrorCode::TooLarge ? Tr("（答えが大きすぎます）") : "")
                + " (" + body.error().Message + ")");
        return none;
    }
    std::optional<JsonValue> answer = ParseJson(*body);
    if (!answer) {
        pUi.ShowMessage(TrArgs("%1: 答えがJSONではありません", "MusicBrainz"));
        return none;
    }
    const JsonValue* releases = answer->Find("releases");
    if (!releases || releases->Type != JsonValue::Kind::Array || releases->Items.empty()) {
        pUi.ShowMessage(TrArgs("%1: 答えにリリースがありません", "MusicBrainz"));
        return none;
    }
    const JsonValue* chosen = ChooseRelease(pUi, pOptions, *releases, id);
    if (!chosen || chosen->Type != JsonValue::Kind::Object)
        return none;
    // The medium's tracks are the disc's audio tracks in order; data tracks keep no title.
    std::vector<size_t> audio;
    for (size_t i = 0; i + 1 < pToc.Entries.size(); ++i)
        if ((pToc.Entries[i].Control & 4) == 0)
            audio.push_back(i);
    const CddbTitles found
        = MusicBrainzReleaseTitles(*chosen, id, static_cast<int32_t>(audio.size()));
    CddbTitles titles = none;
    titles.Disc = found.Disc;
    for (size_t k = 0; k < audio.size() && k < found.Tracks.size(); ++k)
        titles.Tracks[audio[k]] = found.Tracks[k];
    return titles;
}

} // namespace tarvok
