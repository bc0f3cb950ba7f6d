#include "cd/cd_drive.h"
#include "platform/cdio/cdio_drive_service.h"
#include "support/cd_image.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>

namespace tarvok {
namespace {

using test::TempDir;

void WriteText(const std::string& pPath, const std::string& pText)
{
    std::ofstream(pPath, std::ios::binary) << pText;
}

TEST(CdImageProblem, DataFilesThatAreNotRegularFilesAreNamed)
{
    TempDir dir;
    const std::string good = test::WriteCdImage(dir.Path(), "good", { 10 });
    EXPECT_EQ(CdImageProblem(good), "");

    // A sheet naming its data file, in every form the readers accept.
    ASSERT_EQ(::mkfifo(dir.File("pipe.bin").c_str(), 0600), 0);
    std::filesystem::create_directory(dir.File("folder.bin"));
    struct Case {
        const char* Name;
        const char* Sheet;
        bool Refused;
    };
    const Case kCases[] = {
        { "quoted.cue", "FILE \"pipe.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n",
            true },
        { "plain.cue", "file pipe.bin BINARY\n", true },
        { "folder.cue", "FILE \"folder.bin\" BINARY\n", true },
        { "missing.cue", "FILE \"gone.bin\" BINARY\n", false },
        { "disc.toc", "CD_DA\nTRACK AUDIO\nAUDIOFILE \"pipe.bin\" 0\n", true },
        { "data.toc", "CD_DA\nTRACK AUDIO\nDATAFILE \"gone.bin\"\n", false },
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.Name);
        WriteText(dir.File(c.Name), c.Sheet);
        EXPECT_EQ(!CdImageProblem(dir.File(c.Name)).empty(), c.Refused);
    }

    // The "<name>.bin" beside a CUE sheet, and a sheet that is itself a FIFO.
    WriteText(dir.File("pipe.cue"), "TRACK 01 AUDIO\n");
    EXPECT_NE(CdImageProblem(dir.File("pipe.cue")).find("pipe.bin"), std::string::npos);
    ASSERT_EQ(::mkfifo(dir.File("sheet.cue").c_str(), 0600), 0);
    EXPECT_NE(CdImageProblem(dir.File("sheet.cue")), "");
}

TEST(CdImageProblem, TheDriveServiceRefusesSuchAnImageWithoutReadingIt)
{
    TempDir dir;
    ASSERT_EQ(::mkfifo(dir.File("disc.bin").c_str(), 0600), 0);
    WriteText(dir.File("disc.cue"),
        "FILE \"disc.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n");
    ASSERT_NE(CdImageProblem(dir.File("disc.cue")), "");
    CdioDriveService service;
    EXPECT_EQ(service.Open(dir.File("disc.cue")), nullptr);
}

} // namespace
} // namespace tarvok
