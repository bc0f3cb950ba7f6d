#include "cd/cddb.h"

#include "base/i18n.h"

#include "base/legacy_text.h"
#include "base/text.h"
#include "cd/musicbrainz.h"
#include "cd/rip_audio.h"
#include "core/user_interface.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace tarvok {

namespace {

/// The user, host, client and version of the hello parameter, and the protocol level
/// (6: answers in UTF-8).
constexpr std::string_view kHello = "&hello=ru+localhost+ripper+2&proto=6";

int32_t TrackCount(const DiscToc& pToc)
{
    return pToc.Entries.size() < 2 ? 0 : static_cast<int32_t>(pToc.Entries.size() - 1);
}

int32_t Seconds(const TocEntry& pEntry) { return pEntry.M * 60 + pEntry.S; }

std::string Hex(int64_t pValue, int pDigits)
{
    char text[32];
    std::snprintf(text, sizeof text, "%0*llx", pDigits, static_cast<unsigned long long>(pValue));
    return text;
}

/// Text of a body: cut at the first NUL, UTF-8 as it is, anything else as legacy text.
std::string BodyText(std::string_view pBody)
{
    const size_t nul = pBody.find('\0');
    if (nul != std::string_view::npos)
        pBody = pBody.substr(0, nul);
    return DecodeLegacyText(pBody);
}

/// Splits at LF, dropping a CR before it; with pTrim each line is trimmed.
std::vector<std::string_view> Lines(std::string_view pText, bool pTrim)
{
    std::vector<std::string_view> lines;
    size_t pos = 0;
    while (pos < pText.size()) {
        size_t end = pText.find('\n', pos);
        if (end == std::string_view::npos)
            end = pText.size();
        std::string_view line = pText.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(pTrim ? Trim(line) : line);
        pos = end + 1;
    }
    return lines;
}

std::string ReplaceAll(std::string pText, std::string_view pFrom, std::string_view pTo)
{
    size_t pos = 0;
    while ((pos = pText.find(pFrom, pos)) != std::string::npos) {
        pText.replace(pos, pFrom.size(), pTo);
        pos += pTo.size();
    }
    return pText;
}

bool IsPlainWord(std::string_view pWord)
{
    if (pWord.empty() || pWord.size() > 32)
        return false;
    for (char c : pWord)
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')))
            return false;
    return true;
}

/// A server setting usable in a URL: host name or address with an optional port; an
/// "http://" in front and a "/" behind are dropped. Empty when anything else is in it.
std::string ServerHost(std::string_view pServer)
{
    std::string_view s = Trim(pServer);
    if (StartsWithNoCase(s, "http://"))
        s.remove_prefix(7);
    while (!s.empty() && s.back() == '/')
        s.remove_suffix(1);
    for (char c : s)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.'
                || c == '-' || c == ':'))
            return {};
    return std::string(s);
}

} // namespace

std::string CddbDiscId(const DiscToc& pToc)
{
    const int32_t n = TrackCount(pToc);
    if (n == 0)
        return {};
    int64_t digits = 0;
    for (int32_t i = 0; i < n; ++i)
        for (int32_t s = Seconds(pToc.Entries[static_cast<size_t>(i)]); s > 0; s /= 10)
            digits += s % 10;
    const int64_t total = Seconds(pToc.Entries[static_cast<size_t>(n)]) - Seconds(pToc.Entries[0]);
    return Hex(digits % 255, 2) + Hex(total < 0 ? 0 : total, 4) + Hex(n, 2);
}

std::string CddbQueryText(const DiscToc& pToc)
{
    const int32_t n = TrackCount(pToc);
    if (n == 0)
        return {};
    std::string text = CddbDiscId(pToc) + "+" + std::to_string(n);
    for (int32_t i = 0; i < n; ++i) {
        const TocEntry& e = pToc.Entries[static_cast<size_t>(i)];
        text += "+" + std::to_string(MsfToLba(e.M, e.S, e.F) + 150);
    }
    text += "+" + std::to_string(Seconds(pToc.Entries[static_cast<size_t>(n)]));
    return text;
}

std::vector<std::string> CddbAlbums(std::string_view pBody, std::string_view pId)
{
    std::vector<std::string> albums;
    if (pId.empty())
        return albums;
    const std::string text = BodyText(pBody);
    const std::string withBlank = " " + std::string(pId);
    for (std::string_view line : Lines(text, true)) {
        if (line.find(pId) == std::string_view::npos)
            continue;
        albums.push_back(BlankControlCharacters(ReplaceAll(std::string(line), withBlank, "")));
    }
    return albums;
}

std::string CddbCategoryOfSingle(std::string_view pAlbum)
{
    if (pAlbum.size() < 5)
        return {};
    std::string_view rest = pAlbum.substr(4);
    std::string_view word = rest.substr(0, rest.find(' '));
    return IsPlainWord(word) ? std::string(word) : std::string();
}

std::string CddbCategoryOfListed(std::string_view pAlbum)
{
    std::string_view word = pAlbum.substr(0, pAlbum.find(' '));
    return IsPlainWord(word) ? std::string(word) : std::string();
}

CddbTitles ParseCddbEntry(std::string_view pBody, int32_t pTracks)
{
    CddbTitles titles;
    titles.Tracks.assign(static_cast<size_t>(pTracks < 0 ? 0 : pTracks), std::string());
    const std::string text = BodyText(pBody);
    for (std::string_view line : Lines(text, false)) {
        const size_t eq = line.find('=');
        if (eq == std::string_view::npos)
            continue;
        std::string_view key = line.substr(0, eq);
        std::string_view value = line.substr(eq + 1);
        if (key == "DTITLE") {
            titles.Disc += value;
        } else if (key.size() > 6 && key.substr(0, 6) == "TTITLE") {
            std::optional<int64_t> index = ParseInteger(key.substr(6));
            if (!index || *index < 0 || *index >= pTracks
                || key.substr(6).find_first_not_of("0123456789") != std::string_view::npos)
                continue;
            titles.Tracks[static_cast<size_t>(*index)] += value;
        }
    }
    // Titles reach terminals and windows as they stand: no control character survives.
    titles.Disc = ReplaceAll(
        ReplaceAll(std::string(Trim(BlankControlCharacters(titles.Disc))), "?", DATA_TEXT("？")),
        " / ", " - ");
    for (std::string& t : titles.Tracks)
        t = ReplaceAll(std::string(Trim(BlankControlCharacters(t))), "?", DATA_TEXT("？"));
    return titles;
}

namespace {

/// The first line of an answer as it may be shown: control characters and anything beyond
/// ASCII blanked, at most 60 characters.
std::string ShownFirstLine(std::string_view pBody)
{
    std::string line(pBody.substr(0, std::min<size_t>(pBody.find_first_of("\r\n"), 60)));
    for (char& c : line)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E)
            c = ' ';
    return std::string(Trim(line));
}

/// Why a query answer named no album: no match, a refusal with the server's code, or an
/// answer that is not the protocol (a web page, garbage).
std::string NoAlbumReason(std::string_view pBody)
{
    const std::string line = ShownFirstLine(pBody);
    const bool coded = line.size() >= 3 && std::isdigit(static_cast<unsigned char>(line[0]))
        && std::isdigit(static_cast<unsigned char>(line[1]))
        && std::isdigit(static_cast<unsigned char>(line[2]));
    if (coded && line[0] == '2')
        return Tr("該当するCDがありません");
    if (coded)
        return TrArgs("サーバーが断りました (%1)", line);
    return Tr("答えがCDDBの形式ではありません")
        + (line.empty() ? std::string() : " (" + line + ")");
}

/// Shows why a look-up gave no titles in the status line; a look-up the user stopped says
/// nothing.
void SayLookupFailed(UserInterface& pUi, std::string_view pService, const std::string& pWhy)
{
    pUi.ShowMessage(std::string(pService) + ": " + pWhy);
}

/// pFailed says what could not be done ("問い合わせできませんでした").
void SayRequestFailed(
    UserInterface& pUi, std::string_view pService, std::string_view pFailed, const Error& pError)
{
    if (pError.Code == ErrorCode::Cancelled)
        return;
    std::string why(pFailed);
    if (pError.Code == ErrorCode::TooLarge)
        why += Tr("（答えが大きすぎます）");
    SayLookupFailed(pUi, pService, why + " (" + pError.Message + ")");
}

} // namespace

std::optional<size_t> AskAlbumInBoxes(UserInterface& pUi, const std::vector<std::string>& pAlbums)
{
    for (size_t i = 0; i < pAlbums.size(); ++i)
        if (pUi.MessageBox(
                TrArgs("このCDは\r\n%1ですか？", pAlbums[i]), MsgButtons::YesNo, MsgIcon::Question)
            == MsgAnswer::Yes)
            return i;
    return std::nullopt;
}

CddbTitles LookupCddb(
    HttpClient& pHttp, UserInterface& pUi, const CddbOptions& pOptions, const DiscToc& pToc)
{
    CddbTitles none;
    none.Tracks.assign(static_cast<size_t>(TrackCount(pToc)), std::string());
    const std::string host = ServerHost(pOptions.Server);
    const std::string id = CddbDiscId(pToc);
    if (host.empty() || id.empty())
        return none;
    const std::string base = "http://" + host + "/~cddb/cddb.cgi?cmd=cddb+";
    Result<std::string> query
        = pHttp.Get(base + "query+" + CddbQueryText(pToc) + std::string(kHello), pOptions.Limits);
    if (!query) {
        SayRequestFailed(pUi, "CDDB", Tr("問い合わせできませんでした"), query.error());
        return none;
    }
    // Only an answer of one match (200) or a list of matches (210, 211) names albums.
    const std::string status = ShownFirstLine(*query).substr(0, 3);
    std::vector<std::string> albums;
    if (status == "200" || status == "210" || status == "211")
        albums = CddbAlbums(*query, id);
    if (albums.empty()) {
        SayLookupFailed(pUi, "CDDB", NoAlbumReason(*query));
        return none;
    }
    // A list (210, 211) names each album by its category first, even a list of one; a
    // single match (200) has its status code in front.
    std::optional<size_t> chosen;
    if (albums.size() == 1)
        chosen = 0;
    else
        chosen = pOptions.Choose ? pOptions.Choose("CDDB", albums) : AskAlbumInBoxes(pUi, albums);
    // Every album declined: the user's choice, nothing to report.
    if (!chosen || *chosen >= albums.size()) {
        none.Declined = true;
        return none;
    }
    const std::string& album = albums[*chosen];
    const std::string category
        = status == "200" ? CddbCategoryOfSingle(album) : CddbCategoryOfListed(album);
    if (category.empty()) {
        SayLookupFailed(pUi, "CDDB", Tr("答えのカテゴリーが不正です"));
        return none;
    }
    Result<std::string> entry
        = pHttp.Get(base + "read+" + category + "+" + id + std::string(kHello), pOptions.Limits);
    if (!entry) {
        SayRequestFailed(pUi, "CDDB", Tr("タイトルを読み込みできませんでした"), entry.error());
        return none;
    }
    if (entry->find("DTITLE=") == std::string::npos)
        SayLookupFailed(
            pUi, "CDDB", TrArgs("答えにタイトルがありません (%1)", ShownFirstLine(*entry)));
    return ParseCddbEntry(*entry, TrackCount(pToc));
}

std::string TrackLengthText(int32_t pMs)
{
    if (pMs < 0)
        pMs = 0;
    char text[32];
    std::snprintf(
        text, sizeof text, "%02d'%02d.%d", pMs / 60000, (pMs / 1000) % 60, (pMs % 1000) / 100);
    return text;
}

bool LoadTrackToList(RipAudio& pRa, HttpClient* pHttp, UserInterface& pUi,
    const CddbOptions& pOptions, DiscListing& pListing)
{
    pRa.UpdateToc();
    if (pRa.Drive().empty() || pRa.Tracks().empty())
        return false;
    const size_t n = pRa.Tracks().size();
    DiscListing listing;
    listing.CddbId = CddbDiscId(pRa.Toc());
    listing.MusicBrainzId = MusicBrainzDiscId(pRa.Toc());
    listing.Titles.assign(n, std::string());
    for (const CdTrack& t : pRa.Tracks())
        listing.Lengths.push_back(TrackLengthText(t.LengthMs));
    bool declined = false;
    if (pHttp) {
        CddbTitles titles = LookupCddb(*pHttp, pUi, pOptions, pRa.Toc());
        declined = titles.Declined;
        listing.Title = titles.Disc;
        for (size_t i = 0; i < n && i < titles.Tracks.size(); ++i)
            listing.Titles[i] = titles.Tracks[i];
    }
    auto anyTitle = [&listing] {
        bool any = !listing.Title.empty();
        for (const std::string& t : listing.Titles)
            any = any || !t.empty();
        return any;
    };
    // A caller that stopped the CDDB wait (its tick says no) gets no second look-up, and
    // neither does a user who said the disc is none of the CDDB albums.
    if (pHttp && !anyTitle() && !declined && !pOptions.MusicBrainzServer.empty()
        && (!pOptions.Limits.Tick || pOptions.Limits.Tick())) {
        CddbTitles titles = LookupMusicBrainz(*pHttp, pUi,
            { pOptions.MusicBrainzServer, pOptions.Limits, pOptions.Choose }, pRa.Toc());
        listing.Title = titles.Disc;
        for (size_t i = 0; i < n && i < titles.Tracks.size(); ++i)
            listing.Titles[i] = titles.Tracks[i];
    }
    if (!anyTitle()) {
        std::vector<std::string> text = pRa.CdTextTitles();
        if (!text.empty()) {
            listing.Title = text[0];
            for (size_t i = 0; i < n && i + 1 < text.size(); ++i)
                listing.Titles[i] = text[i + 1];
        }
    }
    pRa.SetTitles(listing.Titles);
    pListing = std::move(listing);
    return true;
}

} // namespace tarvok
