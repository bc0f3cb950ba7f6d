#include "base/i18n.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace tarvok {
namespace {

// A GNU message catalogue of the given pairs, laid out as msgfmt writes it (no hash table).
std::string Catalogue(const std::vector<std::pair<std::string, std::string>>& pPairs)
{
    const auto count = static_cast<uint32_t>(pPairs.size());
    const uint32_t originals = 28;
    const uint32_t translations = originals + count * 8;
    uint32_t offset = translations + count * 8;
    std::string head;
    std::string tables;
    std::string strings;
    auto word = [](std::string& pOut, uint32_t pValue) {
        pOut.append(reinterpret_cast<const char*>(&pValue), 4);
    };
    for (uint32_t v : { 0x950412deu, 0u, count, originals, translations, 0u, 0u })
        word(head, v);
    std::string originalTable;
    std::string translationTable;
    for (int side = 0; side < 2; ++side)
        for (const auto& [key, text] : pPairs) {
            const std::string& s = side == 0 ? key : text;
            word(side == 0 ? originalTable : translationTable, static_cast<uint32_t>(s.size()));
            word(side == 0 ? originalTable : translationTable, offset);
            strings += s + '\0';
            offset += static_cast<uint32_t>(s.size()) + 1;
        }
    return head + originalTable + translationTable + strings;
}

class I18n : public ::testing::Test {
protected:
    void TearDown() override { SetLanguage(Language::Japanese); }

    std::string Write(const std::string& pBytes)
    {
        const std::string path = dir_.File("en.mo");
        std::ofstream(path, std::ios::binary) << pBytes;
        return path;
    }

    test::TempDir dir_;
};

TEST_F(I18n, EnglishCatalogueTranslatesAndKeepsUnknownTexts)
{
    const std::string mo = Write(Catalogue({ { "", "header" }, { "消去", "Delete" },
        { "%1行目（%2）", "line %1 (%2)" }, { "空", "" } }));
    ASSERT_TRUE(SetLanguage(Language::English, mo));
    EXPECT_EQ(CurrentLanguage(), Language::English);
    EXPECT_STREQ(Tr("消去"), "Delete");
    EXPECT_STREQ(Tr("未訳"), "未訳");
    EXPECT_STREQ(Tr("空"), "空"); // an empty translation is no translation
    EXPECT_EQ(TrArgs("%1行目（%2）", 12, std::string("ヘッダ")), "line 12 (ヘッダ)");

    ASSERT_TRUE(SetLanguage(Language::Japanese));
    EXPECT_STREQ(Tr("消去"), "消去");
    EXPECT_EQ(TrArgs("%1行目（%2）", 3, "ブロック"), "3行目（ブロック）");
}

TEST_F(I18n, UnreadableCatalogueLeavesJapanese)
{
    for (const std::string& bytes : { std::string("not a catalogue at all"), std::string(),
             Catalogue({ { "消去", "Delete" } }).substr(0, 40) }) {
        EXPECT_FALSE(SetLanguage(Language::English, Write(bytes)));
        EXPECT_EQ(CurrentLanguage(), Language::Japanese);
        EXPECT_STREQ(Tr("消去"), "消去");
    }
    EXPECT_FALSE(SetLanguage(Language::English, dir_.File("missing.mo")));
}

TEST(FillArgs, ReplacesNumberedPlaceholdersInAnyOrder)
{
    const std::vector<std::string> args { "a", "b" };
    EXPECT_EQ(FillArgs("%2 then %1", args), "b then a");
    EXPECT_EQ(FillArgs("100%% of %1, %3 stays, 5% too", args), "100% of a, %3 stays, 5% too");
    EXPECT_EQ(FillArgs("end %", args), "end %");
}

TEST(LanguageFromEnvironment, JapaneseOnlyForJapaneseLocales)
{
    const struct {
        const char* Languages;
        const char* All;
        const char* Lang;
        Language Expected;
    } cases[] = {
        { "", "", "ja_JP.UTF-8", Language::Japanese },
        { "", "", "C.UTF-8", Language::English },
        { "", "", "", Language::English },
        { "ja:en", "", "C", Language::Japanese },
        { "", "en_US.UTF-8", "ja_JP.UTF-8", Language::English },
        { "en", "ja_JP.UTF-8", "", Language::English },
    };
    const char* names[] = { "LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG" };
    std::vector<std::pair<std::string, std::string>> saved;
    for (const char* name : names)
        if (const char* v = std::getenv(name))
            saved.emplace_back(name, v);
    for (const auto& c : cases) {
        ::unsetenv("LC_MESSAGES");
        ::setenv("LANGUAGE", c.Languages, 1);
        ::setenv("LC_ALL", c.All, 1);
        ::setenv("LANG", c.Lang, 1);
        EXPECT_EQ(LanguageFromEnvironment(), c.Expected)
            << c.Languages << "|" << c.All << "|" << c.Lang;
        EXPECT_EQ(LanguageOfChoice("ja"), Language::Japanese);
        EXPECT_EQ(LanguageOfChoice("en"), Language::English);
        EXPECT_EQ(LanguageOfChoice("auto"), c.Expected);
    }
    for (const char* name : names)
        ::unsetenv(name);
    for (const auto& [name, value] : saved)
        ::setenv(name.c_str(), value.c_str(), 1);
}

} // namespace
} // namespace tarvok
