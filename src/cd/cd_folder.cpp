#include "cd/cd_folder.h"

#include "base/i18n.h"

#include "base/file_name.h"
#include "base/text.h"
#include "cd/accurate_rip.h"
#include "cd/cd_drive.h"
#include "core/file_io.h"
#include "core/wave_info.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <map>

namespace tarvok {

namespace {

std::array<uint32_t, 256> MakeCrcTable()
{
    std::array<uint32_t, 256> table {};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) != 0 ? 0xEDB88320U ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

bool IsTrackFileName(std::string_view pName)
{
    return pName.size() == 12 && pName.substr(0, 5) == "track" && pName.substr(8) == ".wav"
        && pName.substr(5, 3).find_first_not_of("0123456789") == std::string_view::npos;
}

/// A sheet text value: double quotes, which the sheet cannot hold, become single ones, and
/// control characters blanks.
std::string SheetValue(std::string_view pText)
{
    std::string value = BlankControlCharacters(pText);
    std::replace(value.begin(), value.end(), '"', '\'');
    return value;
}

std::string Hex8(uint32_t pValue)
{
    char text[16];
    std::snprintf(text, sizeof text, "%08x", pValue);
    return text;
}

/// The sums of one track file's audio: CRC-32, AccurateRip v1 and v2, as the sums file
/// writes them; empty when the file is no 16-bit stereo WAV file.
std::string SumsOf(const std::string& pPath, bool pFirst, bool pLast)
{
    const WaveInfo info = ReadWaveInfo(pPath);
    const std::optional<AccurateRipSums> ar = AccurateRipOfFile(pPath, pFirst, pLast);
    FileHandle file = OpenFile(pPath, OpenMode::Read);
    if (!ar || !file.IsOpen())
        return {};
    std::vector<uint8_t> buffer(static_cast<size_t>(kCdSectorBytes) * 256);
    int64_t left = static_cast<int64_t>(info.Frames) * 4;
    int64_t offset = info.DataOffset;
    uint32_t crc = 0;
    while (left > 0) {
        const int64_t n = std::min<int64_t>(left, static_cast<int64_t>(buffer.size()));
        if (ReadAt(file, buffer.data(), n, offset) != n)
            return {};
        crc = Crc32(buffer.data(), static_cast<size_t>(n), crc);
        left -= n;
        offset += n;
    }
    return Hex8(crc) + " " + Hex8(ar->V1) + " " + Hex8(ar->V2);
}

/// The texts an existing sheet gives: the disc's ([""]) and each file's title and performer.
std::map<std::string, CdFolderTrack> SheetTexts(const std::string& pSheet)
{
    std::map<std::string, CdFolderTrack> texts;
    std::optional<std::string> text = ReadAllBytes(pSheet);
    if (!text)
        return texts;
    std::string current;
    for (const std::string& raw : SplitLines(*text)) {
        const std::string_view line = Trim(raw);
        const size_t blank = line.find(' ');
        if (blank == std::string_view::npos)
            continue;
        const std::string key = ToLowerAscii(line.substr(0, blank));
        std::string_view value = Trim(line.substr(blank + 1));
        if (key == "file" && value.starts_with('"')) {
            current = std::string(value.substr(1, value.find('"', 1) - 1));
            continue;
        }
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        if (key == "title")
            texts[current].Title = value;
        else if (key == "performer")
            texts[current].Performer = value;
    }
    return texts;
}

std::string FolderName(const std::string& pFolder)
{
    std::string folder = pFolder;
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return FileNameOf(folder);
}

} // namespace

uint32_t Crc32(const uint8_t* pBytes, size_t pCount, uint32_t pCrc)
{
    static const std::array<uint32_t, 256> kTable = MakeCrcTable();
    uint32_t c = ~pCrc;
    for (size_t i = 0; i < pCount; ++i)
        c = kTable[(c ^ pBytes[i]) & 0xFF] ^ (c >> 8);
    return ~c;
}

std::vector<std::string> CdFolderTrackFiles(const std::string& pFolder)
{
    std::vector<std::string> names;
    std::error_code ec;
    std::filesystem::directory_iterator it(pFolder, ec);
    for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (IsTrackFileName(name) && it->is_regular_file(ec))
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string CdFolderCueText(
    std::string_view pTitle, std::string_view pPerformer, const std::vector<CdFolderTrack>& pTracks)
{
    std::string text;
    if (!pPerformer.empty())
        text += "PERFORMER \"" + SheetValue(pPerformer) + "\"\r\n";
    text += "TITLE \"" + SheetValue(pTitle) + "\"\r\n";
    for (size_t i = 0; i < pTracks.size(); ++i) {
        const CdFolderTrack& t = pTracks[i];
        text += "FILE \"" + SheetValue(t.File) + "\" WAVE\r\n";
        text += "  TRACK " + ZeroPad(static_cast<int64_t>(i) + 1, 2) + " AUDIO\r\n";
        text += "    TITLE \"" + SheetValue(t.Title) + "\"\r\n";
        if (!t.Performer.empty())
            text += "    PERFORMER \"" + SheetValue(t.Performer) + "\"\r\n";
        if (i > 0)
            text += "    PREGAP " + ZeroPad(kCdFolderGapSectors / 4500, 2) + ":"
                + ZeroPad(kCdFolderGapSectors / 75 % 60, 2) + ":"
                + ZeroPad(kCdFolderGapSectors % 75, 2) + "\r\n";
        text += "    INDEX 01 00:00:00\r\n";
    }
    return text;
}

Result<void> WriteCdFolderFiles(
    const std::string& pFolder, std::string_view pNewFile, std::string_view pNewTitle)
{
    const std::string folder = pFolder.empty() || pFolder.back() == '/' ? pFolder : pFolder + "/";
    const std::string sheet = folder + std::string(kCdFolderSheet);
    std::map<std::string, CdFolderTrack> texts = SheetTexts(sheet);
    const std::vector<std::string> files = CdFolderTrackFiles(folder);
    std::vector<CdFolderTrack> tracks;
    std::string sums;
    for (size_t i = 0; i < files.size(); ++i) {
        CdFolderTrack t = texts.count(files[i]) != 0 ? texts[files[i]] : CdFolderTrack {};
        t.File = files[i];
        if (t.Title.empty())
            t.Title = files[i] == pNewFile && !pNewTitle.empty() ? std::string(pNewTitle)
                                                                 : BaseNameOf(files[i]);
        tracks.push_back(t);
        const std::string line = SumsOf(folder + files[i], i == 0, i + 1 == files.size());
        if (line.empty())
            return Fail(TrArgs("CDのトラックファイルを読めません: %1", folder + files[i]));
        sums += line + " " + files[i] + "\n";
    }
    const CdFolderTrack& disc = texts[""];
    const std::string cue = CdFolderCueText(
        disc.Title.empty() ? FolderName(folder) : disc.Title, disc.Performer, tracks);
    if (Result<void> ok = WriteFileAtomic(sheet, cue.data(), static_cast<int64_t>(cue.size())); !ok)
        return ok;
    return WriteFileAtomic(
        folder + std::string(kCdFolderSums), sums.data(), static_cast<int64_t>(sums.size()));
}

Result<std::vector<CdFolderCheck>> VerifyCdFolder(const std::string& pFolder)
{
    const std::string folder = pFolder.empty() || pFolder.back() == '/' ? pFolder : pFolder + "/";
    std::optional<std::string> text = ReadAllBytes(folder + std::string(kCdFolderSums));
    if (!text)
        return Fail(
            TrArgs("チェックサムのファイルがありません: %1", folder + std::string(kCdFolderSums)));
    std::vector<std::pair<std::string, std::string>> listed;
    for (const std::string& raw : SplitLines(*text)) {
        const std::string_view line = Trim(raw);
        if (line.size() < 28 || line[8] != ' ' || line[17] != ' ' || line[26] != ' ')
            continue;
        listed.emplace_back(std::string(line.substr(27)), std::string(line.substr(0, 26)));
    }
    if (listed.empty())
        return Fail(Tr("チェックサムのファイルに何も書かれていません"));
    std::vector<CdFolderCheck> checks;
    for (size_t i = 0; i < listed.size(); ++i) {
        CdFolderCheck c;
        c.File = listed[i].first;
        const std::string now = SumsOf(folder + c.File, i == 0, i + 1 == listed.size());
        c.Good = now == listed[i].second;
        if (now.empty())
            c.Why = Tr("ファイルを読めません");
        else if (!c.Good)
            c.Why = Tr("チェックサムが一致しません");
        checks.push_back(std::move(c));
    }
    return checks;
}

} // namespace tarvok
