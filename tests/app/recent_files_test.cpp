#include "app/shell/recent_files.h"

#include "core/settings.h"
#include "platform/inifile/ini_settings_backend.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace tarvok {
namespace {

TEST(RecentFiles, SavingTheListRewritesTheSettingsFileOnceAndOnlyWhenItChanged)
{
    test::TempDir dir;
    IniSettingsBackend backend(dir.File("settings"));
    Settings settings(backend);
    RecentFileList list;
    for (const char* name : { "a.wav", "b.wav", "c.wav" }) {
        ASSERT_TRUE(test::WriteFileBytes(dir.File(name), "x"));
        list.Add(dir.File(name));
    }
    list.Save(settings);
    EXPECT_EQ(backend.FileWrites(), 1);
    EXPECT_EQ(settings.GetSetting("MRUList_1", ""), dir.File("c.wav"));
    EXPECT_EQ(settings.GetSetting("MRUList_3", ""), dir.File("a.wav"));
    EXPECT_EQ(settings.GetSetting("MRUList_8", "x"), "");
    list.Save(settings);
    EXPECT_EQ(backend.FileWrites(), 1);
    list.Add(dir.File("b.wav"));
    list.Save(settings);
    EXPECT_EQ(backend.FileWrites(), 2);
    RecentFileList read;
    read.Load(settings);
    EXPECT_EQ(read.Paths(), list.Paths());
}

} // namespace
} // namespace tarvok
