#include "cli/mpeg_info_command.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <sstream>

namespace tarvok {
namespace {

TEST(MpegInfoCommand, PrintsTheSummaryAsTextOrJson)
{
    test::TempDir dir;
    std::string path = dir.File("a \"b\".mp3");
    ASSERT_TRUE(
        test::WriteFileBytes(path, std::string("\xFF\xFB\x90\x44", 4) + std::string(3996, '\0')));
    std::ostringstream out, err;
    EXPECT_EQ(RunMpegInfoCommand(path, false, out, err), 0);
    EXPECT_NE(out.str().find("BitRate: 128\n"), std::string::npos);
    EXPECT_NE(out.str().find("DurationMs: 250\n"), std::string::npos);
    EXPECT_NE(out.str().find("HeaderB1: 251\n"), std::string::npos);
    std::ostringstream json;
    EXPECT_EQ(RunMpegInfoCommand(path, true, json, err), 0);
    EXPECT_EQ(json.str().substr(0, 9), "{\"Path\":\"");
    EXPECT_NE(json.str().find("a \\\"b\\\".mp3\",\"FirstPos\":1,"), std::string::npos);
    EXPECT_NE(json.str().find("\"Layer\":3,"), std::string::npos);
    EXPECT_EQ(json.str().back(), '\n');
    EXPECT_TRUE(err.str().empty());
}

TEST(MpegInfoCommand, FailsForMissingOrHeaderlessFiles)
{
    test::TempDir dir;
    ASSERT_TRUE(test::WriteFileBytes(dir.File("x.mp3"), std::string(500, 'x')));
    for (std::string path : { dir.File("missing.mp3"), dir.File("x.mp3") }) {
        SCOPED_TRACE(path);
        std::ostringstream out, err;
        EXPECT_EQ(RunMpegInfoCommand(path, false, out, err), 1);
        EXPECT_TRUE(out.str().empty());
        EXPECT_NE(err.str().find(path), std::string::npos);
    }
}

} // namespace
} // namespace tarvok
