// Checks the direction of includes across the source folders: a file includes its own
// folder and the folders below it, never one above, so the layers stay acyclic.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

/// Rank of each source folder; a file may include a folder of lower rank or its own.
/// Folders of equal rank (render and decode, gui and cli) must not include each other.
/// A key names a folder with everything under it; the longest key that matches wins. Every
/// folder that holds sources must match a key.
const std::map<std::string, int> kRank = {
    { "base", 0 },
    { "core", 1 },
    { "edit", 2 },
    { "render", 3 },
    { "decode", 3 },
    { "fx", 4 },
    { "engine", 5 },
    { "cd", 6 },
    { "app/shell", 7 },
    { "app/transport", 8 },
    { "app/commands", 9 },
    { "app/mixdown", 10 },
    { "app/windows", 11 },
    { "platform", 12 },
    { "gui", 13 },
    { "cli", 13 },
};

/// Third-party headers that only their adapter (or the window front end) may include.
const std::vector<std::pair<std::regex, std::string>> kLibraryHeaders = {
    { std::regex(R"(^<Q|^<qt)"), "gui" },
    { std::regex(R"(^<portaudio)"), "platform/portaudio" },
    { std::regex(R"(^<lame)"), "platform/lame" },
    { std::regex(R"(^<libav|^<libsw)"), "platform/ffmpeg" },
    { std::regex(R"(^<cdio)"), "platform/cdio" },
    { std::regex(R"(^<curl)"), "platform/curl" },
    { std::regex(R"(^<rubberband)"), "platform/rubberband" },
    { std::regex(R"(^<ebur128)"), "platform/ebur128" },
};

fs::path SourceDir()
{
    const char* dir = std::getenv("TARVOK_SOURCE_DIR");
    return dir ? fs::path(dir) / "src" : fs::path();
}

struct Include {
    std::string File;
    int Line;
    std::string Target;
};

std::vector<Include> IncludesUnder(const fs::path& pSrc)
{
    static const std::regex kLine(R"(^\s*#\s*include\s+([<"][^>"]+[>"]))");
    std::vector<Include> result;
    for (const auto& entry : fs::recursive_directory_iterator(pSrc)) {
        const std::string ext = entry.path().extension().string();
        if (!entry.is_regular_file() || (ext != ".h" && ext != ".cpp"))
            continue;
        std::ifstream in(entry.path());
        std::string line;
        int number = 0;
        while (std::getline(in, line)) {
            ++number;
            std::smatch m;
            if (std::regex_search(line, m, kLine))
                result.push_back(
                    { fs::relative(entry.path(), pSrc).generic_string(), number, m[1] });
        }
    }
    return result;
}

/// The ranked folder a path under src/ belongs to (the longest key of kRank that is the path
/// or a folder above it), or "" when no key matches.
std::string RankedFolder(const std::string& pPath)
{
    std::string best;
    for (const auto& entry : kRank) {
        const std::string& key = entry.first;
        const bool under = pPath.size() > key.size() && pPath.compare(0, key.size(), key) == 0
            && pPath[key.size()] == '/';
        if ((under || pPath == key) && key.size() > best.size())
            best = key;
    }
    return best;
}

} // namespace

TEST(Layering, NoIncludePointsUp)
{
    const fs::path src = SourceDir();
    ASSERT_TRUE(fs::is_directory(src)) << "TARVOK_SOURCE_DIR is not set to the source tree";
    std::vector<std::string> upward;
    for (const Include& inc : IncludesUnder(src)) {
        if (inc.Target.front() != '"')
            continue;
        const std::string from = RankedFolder(inc.File);
        const std::string to = RankedFolder(inc.Target.substr(1, inc.Target.size() - 2));
        if (from.empty() || to.empty() || from == to)
            continue;
        if (kRank.at(to) >= kRank.at(from))
            upward.push_back(inc.File + ":" + std::to_string(inc.Line) + " includes " + inc.Target);
    }
    for (const std::string& u : upward)
        ADD_FAILURE() << u;
}

TEST(Layering, EveryFolderWithSourcesHasARank)
{
    const fs::path src = SourceDir();
    ASSERT_TRUE(fs::is_directory(src));
    std::set<std::string> unranked;
    for (const auto& entry : fs::recursive_directory_iterator(src)) {
        const std::string ext = entry.path().extension().string();
        if (!entry.is_regular_file() || (ext != ".h" && ext != ".cpp"))
            continue;
        const std::string file = fs::relative(entry.path(), src).generic_string();
        if (file.find('/') == std::string::npos)
            continue; // src/ itself holds only the build's own check program
        if (RankedFolder(file).empty())
            unranked.insert(fs::path(file).parent_path().generic_string());
    }
    for (const std::string& folder : unranked)
        ADD_FAILURE() << "src/" << folder << " has no rank in the folder order";
}

TEST(Layering, RankedFolderIsTheLongestMatchingKey)
{
    EXPECT_EQ(RankedFolder("core/project.h"), "core");
    EXPECT_EQ(RankedFolder("platform/lame/lame_encoder.cpp"), "platform");
    EXPECT_EQ(RankedFolder("nowhere/file.h"), "");
    EXPECT_EQ(RankedFolder("corex/file.h"), "");
    EXPECT_EQ(RankedFolder("app/shell/main_logic.h"), "app/shell");
    EXPECT_EQ(RankedFolder("app/loose_file.h"), "");
}

TEST(Layering, LibraryHeadersStayInTheirAdapter)
{
    const fs::path src = SourceDir();
    ASSERT_TRUE(fs::is_directory(src));
    for (const Include& inc : IncludesUnder(src)) {
        for (const auto& [pattern, owner] : kLibraryHeaders) {
            if (std::regex_search(inc.Target, pattern) && inc.File.rfind(owner + "/", 0) != 0)
                ADD_FAILURE() << inc.File << ":" << inc.Line << " includes " << inc.Target
                              << ", which only " << owner << "/ may use";
        }
    }
}
