#include "cd/cd_image.h"

#include "base/i18n.h"

#include "base/file_name.h"
#include "base/text.h"
#include "core/file_io.h"
#include "core/wave_info.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace tarvok {

namespace {

constexpr int32_t kMaxTracks = 99;

Error SheetError(const std::string& pWhy)
{
    return Fail(TrArgs("ディスクイメージのシートを読めません: %1", pWhy));
}

/// "mm:ss:ff" as sectors; nothing when the text is not one (seconds below 60, frames
/// below 75).
std::optional<int32_t> ParseMsf(std::string_view pText)
{
    const size_t a = pText.find(':');
    const size_t b = a == std::string_view::npos ? a : pText.find(':', a + 1);
    if (b == std::string_view::npos)
        return std::nullopt;
    const std::string_view parts[3]
        = { pText.substr(0, a), pText.substr(a + 1, b - a - 1), pText.substr(b + 1) };
    int32_t v[3] = {};
    for (int i = 0; i < 3; ++i) {
        if (parts[i].empty() || parts[i].size() > 4
            || parts[i].find_first_not_of("0123456789") != std::string_view::npos)
            return std::nullopt;
        v[i] = static_cast<int32_t>(*ParseInteger(parts[i]));
    }
    if (v[1] >= 60 || v[2] >= 75)
        return std::nullopt;
    return v[0] * 4500 + v[1] * 75 + v[2];
}

/// Bytes per stored sector of a track mode of either sheet; 0 for an unknown mode.
int32_t ModeSectorBytes(std::string_view pMode, bool& pIsData)
{
    static const std::map<std::string, int32_t> kModes = {
        { "AUDIO", 2352 },
        { "MODE1/2048", 2048 },
        { "MODE1/2352", 2352 },
        { "MODE2/2336", 2336 },
        { "MODE2/2352", 2352 },
        { "MODE1", 2048 },
        { "MODE1_RAW", 2352 },
        { "MODE2", 2336 },
        { "MODE2_RAW", 2352 },
        { "MODE2_FORM1", 2048 },
        { "MODE2_FORM2", 2324 },
        { "MODE2_FORM_MIX", 2336 },
    };
    const std::string mode = ToLowerAscii(pMode);
    for (const auto& [name, bytes] : kModes)
        if (ToLowerAscii(name) == mode) {
            pIsData = name != "AUDIO";
            return bytes;
        }
    return 0;
}

/// Lays the disc out sector by sector: spans of files and silence one after another.
class DiscLayout {
public:
    int32_t Cursor() const { return cursor_; }
    void Silence(int32_t pSectors)
    {
        if (pSectors <= 0)
            return;
        CdImageSpan s;
        s.StartLba = cursor_;
        s.Sectors = pSectors;
        spans_.push_back(std::move(s));
        cursor_ += pSectors;
    }
    void Piece(const std::string& pFile, int64_t pOffset, int64_t pValidEnd, int32_t pSectors,
        int32_t pSectorBytes, bool pBigEndian)
    {
        if (pSectors <= 0)
            return;
        spans_.push_back(
            { cursor_, pSectors, pFile, pOffset, pValidEnd, pSectorBytes, pBigEndian });
        cursor_ += pSectors;
    }
    std::vector<CdImageSpan>& Spans() { return spans_; }

private:
    std::vector<CdImageSpan> spans_;
    int32_t cursor_ = 0;
};

/// Splits every span that crosses pLba into the part before it and the part from it.
void SplitSpansAt(std::vector<CdImageSpan>& pSpans, int32_t pLba)
{
    for (size_t i = 0; i < pSpans.size(); ++i) {
        CdImageSpan& s = pSpans[i];
        if (pLba <= s.StartLba || pLba >= s.StartLba + s.Sectors)
            continue;
        CdImageSpan tail = s;
        const int32_t head = pLba - s.StartLba;
        tail.StartLba = pLba;
        tail.Sectors = s.Sectors - head;
        if (!tail.File.empty())
            tail.Offset += static_cast<int64_t>(head) * s.SectorBytes;
        s.Sectors = head;
        pSpans.insert(pSpans.begin() + static_cast<std::ptrdiff_t>(i) + 1, std::move(tail));
    }
}

/// Places data tracks that follow the last audio track as the second session of an
/// enhanced CD: their start moves to kCdSessionGap sectors after the end of the audio
/// (what they had as pre-gap is part of that gap and is dropped).
void PlaceSecondSession(CdImage& pImage)
{
    std::vector<CdImageTrack>& tracks = pImage.Tracks;
    size_t firstData = tracks.size();
    while (firstData > 0 && tracks[firstData - 1].IsData)
        --firstData;
    if (firstData == 0 || firstData == tracks.size())
        return;
    CdImageTrack& data = tracks[firstData];
    const int32_t audioEnd = data.PregapLba >= 0 ? data.PregapLba : data.StartLba;
    const int32_t shift = audioEnd + kCdSessionGap - data.StartLba;
    const int32_t from = data.StartLba;
    SplitSpansAt(pImage.Spans, audioEnd);
    SplitSpansAt(pImage.Spans, from);
    std::erase_if(pImage.Spans,
        [&](const CdImageSpan& s) { return s.StartLba >= audioEnd && s.StartLba < from; });
    for (CdImageSpan& s : pImage.Spans)
        if (s.StartLba >= from)
            s.StartLba += shift;
    for (size_t i = firstData; i < tracks.size(); ++i) {
        tracks[i].StartLba += shift;
        tracks[i].PregapLba = -1;
    }
    pImage.LeadOutLba += shift;
}

/// The checks both sheets share, then the session placement.
Result<CdImage> Finish(CdImage pImage)
{
    if (pImage.Tracks.empty())
        return SheetError(Tr("トラックがありません"));
    if (pImage.Tracks.size() > kMaxTracks)
        return SheetError(Tr("トラックが99を超えています"));
    for (size_t i = 0; i < pImage.Tracks.size(); ++i) {
        const CdImageTrack& t = pImage.Tracks[i];
        const int32_t next
            = i + 1 < pImage.Tracks.size() ? pImage.Tracks[i + 1].StartLba : pImage.LeadOutLba;
        // A track of no sectors is listed (and refused by the rip); one ending before its
        // start cannot be laid out.
        if (t.StartLba < 0 || next < t.StartLba)
            return SheetError(TrArgs("トラック %1 の位置が不正です", t.Number));
    }
    PlaceSecondSession(pImage);
    return pImage;
}

// ---- CUE sheets ----

/// The words of a sheet line; a quoted word keeps its blanks and loses its quotes.
std::vector<std::string> LineWords(std::string_view pLine)
{
    std::vector<std::string> words;
    size_t i = 0;
    while (i < pLine.size()) {
        if (pLine[i] == ' ' || pLine[i] == '\t') {
            ++i;
            continue;
        }
        if (pLine[i] == '"') {
            const size_t close = pLine.find('"', i + 1);
            const size_t end = close == std::string_view::npos ? pLine.size() : close;
            words.emplace_back(pLine.substr(i + 1, end - i - 1));
            i = end + 1;
            continue;
        }
        const size_t end = std::min(pLine.find_first_of(" \t", i), pLine.size());
        words.emplace_back(pLine.substr(i, end - i));
        i = end;
    }
    return words;
}

std::string ResolveSheetPath(std::string_view pFolder, const std::string& pName)
{
    return !pName.empty() && pName.front() == '/' ? pName : std::string(pFolder) + pName;
}

struct CueIndex {
    size_t Track;
    bool IsOne; ///< INDEX 01 (else INDEX 00)
    int32_t Position; ///< sectors from the start of the file
};

struct CueFile {
    std::string Path;
    CdImageFileKind Kind = CdImageFileKind::Binary;
    CdImageFileInfo Info;
    int32_t SectorBytes = 0;
    std::vector<CueIndex> Indexes;
};

struct CueGaps {
    int32_t Pregap = 0;
    int32_t Postgap = 0;
};

/// The sheet as read: files with their index points, tracks with their gaps.
struct CueSheet {
    CdImage Image;
    std::vector<CueFile> Files;
    std::vector<CueGaps> Gaps;
};

Result<void> CueFileLine(const std::vector<std::string>& pWords, std::string_view pFolder,
    const CdImageFileProbe& pProbe, CueSheet& pSheet)
{
    if (pWords.size() < 2)
        return SheetError(Tr("FILE にファイル名がありません"));
    const std::string type = pWords.size() > 2 ? ToLowerAscii(pWords[2]) : "binary";
    CueFile file;
    file.Path = ResolveSheetPath(pFolder, pWords[1]);
    if (type == "binary")
        file.Kind = CdImageFileKind::Binary;
    else if (type == "motorola")
        file.Kind = CdImageFileKind::Motorola;
    else if (type == "wave")
        file.Kind = CdImageFileKind::Wave;
    else
        return SheetError(TrArgs("読めない種類のファイルです: %1 %2", pWords[1], pWords[2]));
    std::optional<CdImageFileInfo> info = pProbe(file.Path, file.Kind);
    if (!info)
        return SheetError(file.Kind == CdImageFileKind::Wave
                ? TrArgs("44.1 kHz 16ビット ステレオのWAVファイルではありません: %1", file.Path)
                : TrArgs("データファイルを読めません: %1", file.Path));
    file.Info = *info;
    pSheet.Files.push_back(std::move(file));
    return {};
}

Result<void> CueTrackLine(const std::vector<std::string>& pWords, CueSheet& pSheet)
{
    bool isData = false;
    const int32_t bytes = pWords.size() < 3 ? 0 : ModeSectorBytes(pWords[2], isData);
    const std::optional<int64_t> number
        = pWords.size() < 3 ? std::nullopt : ParseInteger(pWords[1]);
    if (!number || bytes == 0)
        return SheetError(Tr("TRACK の行が読めません"));
    std::vector<CdImageTrack>& tracks = pSheet.Image.Tracks;
    if (*number < 1 || *number > kMaxTracks
        || (!tracks.empty() && *number != tracks.back().Number + 1))
        return SheetError(TrArgs("トラック番号が順になっていません: %1", pWords[1]));
    if (pSheet.Files.empty())
        return SheetError(Tr("TRACK の前に FILE がありません"));
    CueFile& file = pSheet.Files.back();
    if (file.Kind == CdImageFileKind::Wave && isData)
        return SheetError(Tr("データトラックがWAVファイルにあります"));
    CdImageTrack t;
    t.Number = static_cast<int32_t>(*number);
    t.IsData = isData;
    t.SectorBytes = bytes;
    t.StartLba = -1;
    tracks.push_back(std::move(t));
    pSheet.Gaps.emplace_back();
    return {};
}

Result<void> CueIndexLine(const std::vector<std::string>& pWords, CueSheet& pSheet)
{
    const std::optional<int64_t> index = pWords.size() < 3 ? std::nullopt : ParseInteger(pWords[1]);
    const std::optional<int32_t> at = pWords.size() < 3 ? std::nullopt : ParseMsf(pWords[2]);
    if (!index || !at)
        return SheetError(Tr("INDEX の行が読めません"));
    if (pSheet.Image.Tracks.empty())
        return SheetError(Tr("INDEX の前に TRACK がありません"));
    if (*index > 1)
        return {};
    CueFile& file = pSheet.Files.back();
    const CdImageTrack& track = pSheet.Image.Tracks.back();
    if (file.SectorBytes != 0 && file.SectorBytes != track.SectorBytes)
        return SheetError(
            TrArgs("一つのファイルにセクターの大きさが違うトラックがあります: %1", file.Path));
    file.SectorBytes = track.SectorBytes;
    if (!file.Indexes.empty() && file.Indexes.back().Position > *at)
        return SheetError(Tr("INDEX が前に戻っています"));
    file.Indexes.push_back({ pSheet.Image.Tracks.size() - 1, *index == 1, *at });
    return {};
}

Result<void> CueLine(const std::vector<std::string>& pWords, std::string_view pFolder,
    const CdImageFileProbe& pProbe, CueSheet& pSheet)
{
    const std::string key = ToLowerAscii(pWords[0]);
    CdImage& image = pSheet.Image;
    CdImageTrack* track = image.Tracks.empty() ? nullptr : &image.Tracks.back();
    const std::string value = pWords.size() > 1 ? pWords[1] : std::string();
    if (key == "file")
        return CueFileLine(pWords, pFolder, pProbe, pSheet);
    if (key == "track")
        return CueTrackLine(pWords, pSheet);
    if (key == "index")
        return CueIndexLine(pWords, pSheet);
    if (key == "pregap" || key == "postgap") {
        const std::optional<int32_t> length = ParseMsf(value);
        if (!track || !length)
            return SheetError(TrArgs("%1 の行が読めません", pWords[0]));
        (key == "pregap" ? pSheet.Gaps.back().Pregap : pSheet.Gaps.back().Postgap) = *length;
    } else if (key == "title") {
        (track ? track->Title : image.Title) = value;
    } else if (key == "performer") {
        (track ? track->Performer : image.Performer) = value;
    } else if (key == "isrc" && track) {
        track->Isrc = value;
    } else if (key == "catalog") {
        image.Catalog = value;
    }
    return {};
}

/// Lays the files out one after another, with the sheet's gaps as silence. The first
/// track's PREGAP is the disc's standard pause before LBA 0 and takes no sectors.
Result<void> LayOutCue(CueSheet& pSheet)
{
    DiscLayout layout;
    int32_t postgap = 0;
    std::vector<bool> begun(pSheet.Image.Tracks.size(), false);
    for (const CueFile& file : pSheet.Files) {
        const int32_t bytes = file.SectorBytes == 0 ? kCdSectorBytes : file.SectorBytes;
        const auto sectors = static_cast<int32_t>((file.Info.DataBytes + bytes - 1) / bytes);
        const int64_t validEnd = file.Info.DataOffset + file.Info.DataBytes;
        const bool big = file.Kind == CdImageFileKind::Motorola;
        int32_t pos = 0;
        auto emit = [&](int32_t pTo) {
            layout.Piece(file.Path, file.Info.DataOffset + static_cast<int64_t>(pos) * bytes,
                validEnd, pTo - pos, bytes, big);
            pos = pTo;
        };
        for (const CueIndex& index : file.Indexes) {
            if (index.Position > sectors)
                return SheetError(TrArgs("INDEX がファイルの終わりを超えています: %1", file.Path));
            emit(index.Position);
            CdImageTrack& track = pSheet.Image.Tracks[index.Track];
            if (!begun[index.Track]) {
                layout.Silence(postgap);
                postgap = 0;
                begun[index.Track] = true;
            }
            if (!index.IsOne) {
                track.PregapLba = layout.Cursor();
                continue;
            }
            const int32_t pregap = index.Track == 0 ? 0 : pSheet.Gaps[index.Track].Pregap;
            if (pregap > 0 && track.PregapLba < 0)
                track.PregapLba = layout.Cursor();
            layout.Silence(pregap);
            track.StartLba = layout.Cursor();
            postgap = pSheet.Gaps[index.Track].Postgap;
        }
        emit(sectors);
    }
    layout.Silence(postgap);
    for (const CdImageTrack& t : pSheet.Image.Tracks)
        if (t.StartLba < 0)
            return SheetError(TrArgs("トラック %1 に INDEX 01 がありません", t.Number));
    pSheet.Image.Spans = std::move(layout.Spans());
    pSheet.Image.LeadOutLba = layout.Cursor();
    return {};
}

} // namespace

Result<CdImage> ParseCueSheet(
    std::string_view pText, std::string_view pFolder, const CdImageFileProbe& pProbe)
{
    CueSheet sheet;
    for (const std::string& raw : SplitLines(pText)) {
        std::vector<std::string> words = LineWords(Trim(raw));
        if (words.empty())
            continue;
        if (Result<void> ok = CueLine(words, pFolder, pProbe, sheet); !ok)
            return ok.error();
    }
    if (Result<void> ok = LayOutCue(sheet); !ok)
        return ok.error();
    return Finish(std::move(sheet.Image));
}

namespace {

// ---- cdrdao TOC sheets ----

struct TocToken {
    std::string Text;
    bool Quoted = false;
};

/// The tokens of a TOC sheet: quoted strings (with \" and \\ escapes), braces and words;
/// "//" starts a comment to the end of the line.
std::vector<TocToken> TocTokens(std::string_view pText)
{
    std::vector<TocToken> tokens;
    size_t i = 0;
    while (i < pText.size()) {
        const char c = pText[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            ++i;
        } else if (c == '/' && i + 1 < pText.size() && pText[i + 1] == '/') {
            i = std::min(pText.find('\n', i), pText.size());
        } else if (c == '{' || c == '}') {
            tokens.push_back({ std::string(1, c), false });
            ++i;
        } else if (c == '"') {
            TocToken t { {}, true };
            for (++i; i < pText.size() && pText[i] != '"'; ++i) {
                if (pText[i] == '\\' && i + 1 < pText.size())
                    ++i;
                t.Text += pText[i];
            }
            ++i;
            tokens.push_back(std::move(t));
        } else {
            const size_t end = std::min(pText.find_first_of(" \t\r\n{}\"", i), pText.size());
            tokens.push_back({ std::string(pText.substr(i, end - i)), false });
            i = end;
        }
    }
    return tokens;
}

/// Reads a TOC sheet's token stream into the layout.
class TocReader {
public:
    TocReader(std::string_view pText, std::string_view pFolder, const CdImageFileProbe& pProbe)
        : tokens_(TocTokens(pText))
        , folder_(pFolder)
        , probe_(pProbe)
    {
    }

    Result<CdImage> Read()
    {
        while (pos_ < tokens_.size()) {
            if (Result<void> ok = Statement(); !ok)
                return ok.error();
        }
        EndTrack();
        image_.Spans = std::move(layout_.Spans());
        image_.LeadOutLba = layout_.Cursor();
        return Finish(std::move(image_));
    }

private:
    bool AtWord(std::string_view pWord) const
    {
        return pos_ < tokens_.size() && !tokens_[pos_].Quoted && tokens_[pos_].Text == pWord;
    }
    std::optional<std::string> Take()
    {
        if (pos_ >= tokens_.size())
            return std::nullopt;
        return tokens_[pos_++].Text;
    }
    bool IsLength(size_t pAt) const
    {
        if (pAt >= tokens_.size() || tokens_[pAt].Quoted)
            return false;
        const std::string& t = tokens_[pAt].Text;
        return ParseMsf(t)
            || (!t.empty() && t.find_first_not_of("0123456789") == std::string::npos);
    }
    /// A length in bytes: MSF as sectors of pSectorBytes, a bare number as pUnit bytes each.
    std::optional<int64_t> TakeBytes(int32_t pSectorBytes, int32_t pUnit)
    {
        if (!IsLength(pos_))
            return std::nullopt;
        const std::string t = *Take();
        if (std::optional<int32_t> msf = ParseMsf(t))
            return static_cast<int64_t>(*msf) * pSectorBytes;
        return *ParseInteger(t) * pUnit;
    }

    Result<void> Statement();
    Result<void> TrackStatement(const std::string& pKey);
    Result<void> CdText(bool pForTrack);
    Result<void> FileStatement(bool pDataFile);
    Result<void> SkipBlock();
    void EndTrack();

    std::vector<TocToken> tokens_;
    size_t pos_ = 0;
    std::string folder_;
    const CdImageFileProbe& probe_;
    CdImage image_;
    DiscLayout layout_;
    int32_t trackStart_ = 0; ///< where the current track's sectors begin
    int32_t pregap_ = 0; ///< sectors of the current track's PREGAP
    std::optional<int32_t> index1_; ///< START of the current track, as an LBA
};

Result<void> TocReader::SkipBlock()
{
    if (!AtWord("{"))
        return SheetError(Tr("{ がありません"));
    int depth = 0;
    do {
        if (AtWord("{"))
            ++depth;
        else if (AtWord("}"))
            --depth;
        ++pos_;
    } while (depth > 0 && pos_ < tokens_.size());
    return depth == 0 ? Result<void> {} : SheetError(Tr("} がありません"));
}

Result<void> TocReader::CdText(bool pForTrack)
{
    if (!AtWord("{"))
        return SheetError(Tr("CD_TEXT の { がありません"));
    ++pos_;
    bool first = true;
    while (!AtWord("}")) {
        const std::optional<std::string> key = Take();
        if (!key)
            return SheetError(Tr("CD_TEXT の } がありません"));
        if (*key == "LANGUAGE_MAP") {
            if (Result<void> ok = SkipBlock(); !ok)
                return ok;
            continue;
        }
        if (*key != "LANGUAGE" || !Take() || !AtWord("{"))
            return SheetError(Tr("CD_TEXT が読めません"));
        ++pos_;
        // The first language block gives the texts.
        while (!AtWord("}")) {
            const std::optional<std::string> item = Take();
            if (!item)
                return SheetError(Tr("CD_TEXT の } がありません"));
            if (AtWord("{")) {
                if (Result<void> ok = SkipBlock(); !ok)
                    return ok;
                continue;
            }
            const std::string value = Take().value_or("");
            CdImageTrack* track = pForTrack ? &image_.Tracks.back() : nullptr;
            if (first && *item == "TITLE")
                (track ? track->Title : image_.Title) = value;
            else if (first && *item == "PERFORMER")
                (track ? track->Performer : image_.Performer) = value;
        }
        ++pos_;
        first = false;
    }
    ++pos_;
    return {};
}

Result<void> TocReader::FileStatement(bool pDataFile)
{
    CdImageTrack& track = image_.Tracks.back();
    if (pos_ >= tokens_.size() || !tokens_[pos_].Quoted)
        return SheetError(Tr("ファイル名がありません"));
    const std::string path = ResolveSheetPath(folder_, *Take());
    bool swap = false;
    if (AtWord("SWAP")) {
        swap = true;
        ++pos_;
    }
    int64_t offset = 0;
    if (pos_ < tokens_.size() && !tokens_[pos_].Quoted && tokens_[pos_].Text.starts_with("#")) {
        const std::optional<int64_t> n = ParseInteger(Take()->substr(1));
        if (!n || *n < 0)
            return SheetError(Tr("#オフセットが読めません"));
        offset = *n;
    }
    const bool wave = !track.IsData && ExtensionOf(path) == "wav";
    const CdImageFileKind kind = wave ? CdImageFileKind::Wave
        : (track.IsData || swap)      ? CdImageFileKind::Binary
                                      : CdImageFileKind::Motorola;
    std::optional<CdImageFileInfo> info = probe_(path, kind);
    if (!info)
        return SheetError(TrArgs("データファイルを読めません: %1", path));
    const int32_t bytes = track.SectorBytes;
    // Audio positions count samples of 4 bytes; a data file has no start position.
    std::optional<int64_t> start = pDataFile ? std::optional<int64_t>(0) : TakeBytes(bytes, 4);
    if (!start)
        return SheetError(TrArgs("FILE の開始位置が読めません: %1", path));
    std::optional<int64_t> length = TakeBytes(bytes, pDataFile ? 1 : 4);
    const int64_t begin = info->DataOffset + offset + *start;
    const int64_t end = info->DataOffset + info->DataBytes;
    if (!length)
        length = std::max<int64_t>(0, end - begin);
    const int64_t sectors = (*length + bytes - 1) / bytes;
    if (begin > end || (*length % bytes != 0 && begin + *length < end))
        return SheetError(TrArgs("ファイルの一部がセクターの境目で終わっていません: %1", path));
    layout_.Piece(path, begin, std::min(end, begin + *length), static_cast<int32_t>(sectors), bytes,
        kind == CdImageFileKind::Motorola);
    return {};
}

void TocReader::EndTrack()
{
    if (image_.Tracks.empty())
        return;
    CdImageTrack& track = image_.Tracks.back();
    track.StartLba = index1_ ? *index1_ : trackStart_ + pregap_;
    if (track.StartLba > trackStart_)
        track.PregapLba = trackStart_;
}

Result<void> TocReader::TrackStatement(const std::string& pKey)
{
    CdImageTrack& track = image_.Tracks.back();
    if (pKey == "FILE" || pKey == "AUDIOFILE" || pKey == "DATAFILE")
        return FileStatement(pKey == "DATAFILE");
    if (pKey == "ISRC") {
        track.Isrc = Take().value_or("");
    } else if (pKey == "CD_TEXT") {
        return CdText(true);
    } else if (pKey == "PREGAP" || pKey == "SILENCE" || pKey == "ZERO") {
        if (pKey == "ZERO" && !IsLength(pos_))
            ++pos_; // the data mode of the zeros
        const std::optional<int64_t> bytes = TakeBytes(kCdSectorBytes, 4);
        if (!bytes || *bytes % kCdSectorBytes != 0)
            return SheetError(TrArgs("%1 の長さが読めません", pKey));
        const auto sectors = static_cast<int32_t>(*bytes / kCdSectorBytes);
        // The first track's PREGAP is the disc's standard pause before LBA 0.
        if (pKey == "PREGAP")
            pregap_ = image_.Tracks.size() == 1 ? 0 : sectors;
        layout_.Silence(pKey == "PREGAP" ? pregap_ : sectors);
    } else if (pKey == "START") {
        const int32_t at = IsLength(pos_) && ParseMsf(tokens_[pos_].Text)
            ? trackStart_ + *ParseMsf(*Take())
            : layout_.Cursor();
        if (at > layout_.Cursor())
            return SheetError(Tr("START がトラックの終わりを超えています"));
        index1_ = at;
    } else if (pKey == "INDEX") {
        ++pos_;
    } else if (pKey == "NO") {
        ++pos_;
    } else if (pKey != "COPY" && pKey != "PRE_EMPHASIS" && pKey != "TWO_CHANNEL_AUDIO"
        && pKey != "FOUR_CHANNEL_AUDIO") {
        return SheetError(TrArgs("読めない語です: %1", pKey));
    }
    return {};
}

Result<void> TocReader::Statement()
{
    const std::string key = *Take();
    if (key == "TRACK") {
        EndTrack();
        bool isData = false;
        const int32_t bytes = ModeSectorBytes(Take().value_or(""), isData);
        if (bytes == 0)
            return SheetError(Tr("TRACK のモードが読めません"));
        if (AtWord("RW") || AtWord("RW_RAW"))
            ++pos_;
        CdImageTrack t;
        t.Number = static_cast<int32_t>(image_.Tracks.size()) + 1;
        t.IsData = isData;
        t.SectorBytes = bytes;
        image_.Tracks.push_back(std::move(t));
        trackStart_ = layout_.Cursor();
        pregap_ = 0;
        index1_.reset();
        return {};
    }
    if (!image_.Tracks.empty())
        return TrackStatement(key);
    if (key == "CATALOG")
        image_.Catalog = Take().value_or("");
    else if (key == "CD_TEXT")
        return CdText(false);
    else if (key != "CD_DA" && key != "CD_ROM" && key != "CD_ROM_XA" && key != "CD_I")
        return SheetError(TrArgs("読めない語です: %1", key));
    return {};
}

} // namespace

Result<CdImage> ParseTocSheet(
    std::string_view pText, std::string_view pFolder, const CdImageFileProbe& pProbe)
{
    return TocReader(pText, pFolder, pProbe).Read();
}

DiscToc CdImage::Toc() const
{
    DiscToc toc;
    if (Tracks.empty())
        return toc;
    toc.FirstTrack = Tracks.front().Number;
    toc.LastTrack = Tracks.back().Number;
    for (const CdImageTrack& t : Tracks) {
        TocEntry e = LbaToMsf(t.StartLba, t.Number);
        e.Control = t.IsData ? 4 : 0;
        toc.Entries.push_back(e);
    }
    toc.Entries.push_back(LbaToMsf(LeadOutLba, kLeadOutTrack));
    return toc;
}

std::vector<std::string> CdImage::CdTextTitles() const
{
    std::vector<std::string> titles { Title };
    bool any = !Title.empty();
    for (const CdImageTrack& t : Tracks) {
        titles.push_back(t.Title);
        any = any || !t.Title.empty();
    }
    return any ? titles : std::vector<std::string> {};
}

std::optional<CdImageFileInfo> ProbeCdImageFile(const std::string& pPath, CdImageFileKind pKind)
{
    if (KindOfPath(pPath) != PathKind::RegularFile)
        return std::nullopt;
    if (pKind != CdImageFileKind::Wave) {
        const int64_t size = FileSize64(pPath);
        if (size < 0)
            return std::nullopt;
        return CdImageFileInfo { 0, size };
    }
    const WaveInfo info = ReadWaveInfo(pPath);
    if (info.Valid != 1 || info.SampleRate != kCdSampleRate || info.Bits != 16 || info.Channels != 2
        || info.FormatTag != 1)
        return std::nullopt;
    const int64_t present = std::max<int64_t>(0, info.FileSize - info.DataOffset);
    return CdImageFileInfo { info.DataOffset, std::min(info.DataSize, present) };
}

Result<CdImage> ReadCdImageSheet(std::string_view pPath)
{
    std::optional<std::string> text = ReadAllBytes(pPath);
    if (!text)
        return SheetError(TrArgs("開けません: %1", std::string(pPath)));
    const std::string extension = ExtensionOf(pPath);
    if (extension == "cue")
        return ParseCueSheet(*text, FolderOf(pPath), ProbeCdImageFile);
    if (extension == "toc")
        return ParseTocSheet(*text, FolderOf(pPath), ProbeCdImageFile);
    return SheetError(TrArgs("CUE でも TOC でもありません: %1", std::string(pPath)));
}

namespace {

/// An image read sector by sector from its data files.
class CdImageDevice : public CdDevice {
public:
    explicit CdImageDevice(CdImage pImage)
        : image_(std::move(pImage))
    {
    }

    DiscToc ReadToc() override { return image_.Toc(); }
    std::vector<std::string> CdTextTitles() override { return image_.CdTextTitles(); }
    /// Reads from files have nothing to repair: they already deliver what error-correcting
    /// reads of the pressed disc would.
    bool UseErrorCorrection() override { return true; }

    bool ReadAudioSectors(int32_t pLba, int32_t pCount, uint8_t* pBuffer) override
    {
        int32_t lba = pLba;
        while (lba < pLba + pCount) {
            const CdImageSpan* span = SpanOf(lba);
            if (!span || span->SectorBytes != kCdSectorBytes)
                return false;
            const int32_t n = std::min(pLba + pCount, span->StartLba + span->Sectors) - lba;
            uint8_t* out = pBuffer + static_cast<size_t>(lba - pLba) * kCdSectorBytes;
            if (!ReadSpan(*span, lba, n, out))
                return false;
            lba += n;
        }
        return true;
    }

private:
    const CdImageSpan* SpanOf(int32_t pLba) const
    {
        for (const CdImageSpan& s : image_.Spans)
            if (pLba >= s.StartLba && pLba < s.StartLba + s.Sectors)
                return &s;
        return nullptr;
    }

    bool ReadSpan(const CdImageSpan& pSpan, int32_t pLba, int32_t pCount, uint8_t* pOut)
    {
        const auto total = static_cast<int64_t>(pCount) * kCdSectorBytes;
        std::memset(pOut, 0, static_cast<size_t>(total));
        if (pSpan.File.empty())
            return true;
        const int64_t from
            = pSpan.Offset + static_cast<int64_t>(pLba - pSpan.StartLba) * kCdSectorBytes;
        const int64_t want = std::clamp<int64_t>(pSpan.ValidEnd - from, 0, total);
        FileHandle& file = files_[pSpan.File];
        if (!file.IsOpen())
            file = OpenFile(pSpan.File, OpenMode::Read);
        if (!file.IsOpen() || (want > 0 && ReadAt(file, pOut, want, from) != want))
            return false;
        if (pSpan.BigEndian)
            for (int64_t i = 0; i + 1 < total; i += 2)
                std::swap(pOut[i], pOut[i + 1]);
        return true;
    }

    CdImage image_;
    std::map<std::string, FileHandle> files_;
};

} // namespace

std::unique_ptr<CdDevice> OpenCdImageDevice(CdImage pImage)
{
    return std::make_unique<CdImageDevice>(std::move(pImage));
}

} // namespace tarvok
