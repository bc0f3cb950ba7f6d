#include "base/file_name.h"

#include <gtest/gtest.h>

namespace tarvok {
namespace {

TEST(FileName, LocalPathsSplitAtSlashOnly)
{
    struct Case {
        const char* Path;
        const char* Folder;
        const char* Name;
        const char* Base;
        const char* Extension;
    };
    const Case cases[] = {
        { "/a/b/Song.WAV", "/a/b/", "Song.WAV", "Song", "wav" },
        { "plain.mp3", "", "plain.mp3", "plain", "mp3" },
        { "/a.b/noext", "/a.b/", "noext", "noext", "" },
        { "/a/b.c/song.take.wav", "/a/b.c/", "song.take.wav", "song.take", "wav" },
        { "/folder/", "/folder/", "", "", "" },
        // A backslash is part of a Linux file name, not a separator.
        { "/data/odd\\name.wav", "/data/", "odd\\name.wav", "odd\\name", "wav" },
        { "", "", "", "", "" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Path);
        EXPECT_EQ(FolderOf(c.Path), c.Folder);
        EXPECT_EQ(FileNameOf(c.Path), c.Name);
        EXPECT_EQ(BaseNameOf(c.Path), c.Base);
        EXPECT_EQ(ExtensionOf(c.Path), c.Extension);
    }
}

TEST(FileName, ForeignNamesSplitAtEverySeparator)
{
    EXPECT_EQ(ForeignFileNameOf("C:\\Data\\00000001.wav"), "00000001.wav");
    EXPECT_EQ(ForeignFileNameOf("C:00000002.wav"), "00000002.wav");
    EXPECT_EQ(ForeignFileNameOf("\\\\server\\share\\a.tvp"), "a.tvp");
    EXPECT_EQ(ForeignFileNameOf("/home/u/x.wav"), "x.wav");
    EXPECT_EQ(ForeignFileNameOf("bare.wav"), "bare.wav");
}

} // namespace
} // namespace tarvok
