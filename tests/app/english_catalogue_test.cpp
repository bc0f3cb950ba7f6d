// The application's texts in both languages: with the English catalogue loaded, the command
// table and the messages of each area come out in English; with Japanese, as they always were.
#include "app/commands/command_dispatch.h"
#include "app/commands/command_table.h"
#include "app/commands/sample_editor.h"
#include "app/mixdown/mixdown.h"
#include "app/shell/import_command.h"
#include "app/transport/transport.h"
#include "app/windows/mixdown_window.h"
#include "app/windows/settings_window.h"
#include "base/i18n.h"
#include "core/paths.h"
#include "core/wave_info.h"
#include "engine/engine_fixture.h"
#include "support/japanese_text.h"
#include "support/started_logic.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace tarvok {

namespace {

using test::HasJapanese;

class EnglishCatalogue : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(UseEnglish()) << "no English catalogue (en.mo) found"; }
    void TearDown() override { SetLanguage(Language::Japanese); }

    static bool UseEnglish() { return SetLanguage(Language::English, EnglishCatalogueFile()); }
};

TEST_F(EnglishCatalogue, EveryCommandDescriptionAndLabelIsEnglish)
{
    for (int32_t id = 1; id < kCommandCount; ++id) {
        const std::string_view description = GetCommandText(id, kCommandDescription);
        SCOPED_TRACE(
            std::string(GetCommandText(id, kCommandIdColumn)) + ": " + std::string(description));
        EXPECT_FALSE(description.empty());
        EXPECT_FALSE(HasJapanese(description));
        EXPECT_FALSE(HasJapanese(GetCommandText(id, kCommandLabel)));
        // The settings window finds a command again by the description it showed.
        EXPECT_EQ(FindCommand(description, kCommandDescription), id);
    }
}

TEST_F(EnglishCatalogue, CommandTextsFollowTheLanguageAndTheIdsStayData)
{
    struct Row {
        int32_t Id;
        int Column;
        const char* Japanese;
        const char* English;
    };
    const std::vector<Row> rows {
        { kCmdMixdown, kCommandDescription, "wavファイル作成", "Mix down to WAV file" },
        { kCmdUndo, kCommandDescription, "元に戻す", "Undo" },
        { kCmdFadeIn, kCommandDescription, "フェードイン", "Fade in" },
        { kCmdFxTimeStretch, kCommandDescription, "タイムストレッチ", "Time stretch" },
        { kCmdFxNorm, kCommandDescription, "ノーマライズ", "Normalize" },
        { kCmdPause, kCommandLabel, "ﾛﾛ", "||" },
        { kCmdUndo, kCommandIdColumn, "UNDO", "UNDO" },
        { kCmdMixdown, kCommandLabel, "Mix", "Mix" },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Japanese);
        EXPECT_EQ(GetCommandText(row.Id, row.Column), row.English);
        SetLanguage(Language::Japanese);
        EXPECT_EQ(GetCommandText(row.Id, row.Column), row.Japanese);
        ASSERT_TRUE(UseEnglish());
    }
}

// The text an area shows for one situation, made afresh in the current language.
struct MessageCase {
    const char* Area;
    std::function<std::string()> Show;
    std::string Japanese;
    std::string English;
};

std::string StatusAfterCommand(int32_t pId)
{
    test::StartedLogic<> f;
    RunCommand(f.Logic, pId);
    return f.Ui.LastStatus();
}

std::string RefusedWave(WaveFault pFault, int64_t pFmtSize = -1)
{
    WaveExamination exam;
    exam.Fault = pFault;
    exam.FmtSize = pFmtSize;
    return WaveRefusedText(exam);
}

std::vector<MessageCase> MessageCases()
{
    MixdownResult limited;
    limited.LoudnessLimited = true;
    const std::string rates
        = std::to_string(kMinImportRate) + "〜" + std::to_string(kMaxImportRate);
    const std::string englishRates
        = std::to_string(kMinImportRate) + " to " + std::to_string(kMaxImportRate);
    return {
        { "commands", [] { return StatusAfterCommand(kCmdUndo); }, "元に戻せる操作がありません",
            "Nothing to undo" },
        { "commands", [] { return NotAvailableMessage(kCmdFadeIn); }, "フェードインは未実装です",
            "Fade in is not implemented yet" },
        { "commands", [] { return std::string(Tr(SampleEditor::InfoLabels()[4])); }, "選択",
            "Selected" },
        { "shell", [] { return RateRefusedText(1000); },
            "サンプリング周波数 1000 Hz のファイルは読み込めません（" + rates + " Hz）",
            "Files at a sample rate of 1000 Hz cannot be imported (" + englishRates + " Hz)" },
        { "shell", [] { return RefusedWave(WaveFault::FmtTooShort, 12); },
            "wavファイルのfmtチャンクが短すぎます（12 バイト）",
            "The fmt chunk of the WAV file is too short (12 bytes)" },
        { "shell", [] { return std::string(Tr(kImportFailedText.data())); },
            "ファイルを読み込めませんでした", "The file could not be imported" },
        { "mixdown", [] { return MixdownDoneText(MixdownResult {}); }, "終了", "Finished" },
        { "mixdown", [limited] { return MixdownDoneText(limited); }, "終了（トゥルーピーク制限）",
            "Finished (true-peak limited)" },
        { "windows", [] { return SettingsWindowModel::ToolbarRowName(2); }, "ボタン3", "Button 3" },
        { "windows",
            [] { return std::string(Tr(MixdownWindowModel::TargetCaptions()[2].c_str())); },
            "CD作成", "Make a CD" },
        { "transport",
            [] {
                test::EngineFixture f;
                f.Transport->RunCommand(kCmdScrubOnoff);
                return f.Ui.LastStatus();
            },
            "スクラブON", "Scrub on" },
        { "transport", [] { return std::string(Tr(kRecordingUnavailable)); },
            "録音機能は使用できません", "Recording is not available" },
    };
}

TEST_F(EnglishCatalogue, MessagesOfEachAreaFollowTheLanguage)
{
    for (const MessageCase& c : MessageCases()) {
        SCOPED_TRACE(std::string(c.Area) + ": " + c.Japanese);
        const std::string english = c.Show();
        EXPECT_EQ(english, c.English);
        EXPECT_FALSE(HasJapanese(english));
        SetLanguage(Language::Japanese);
        EXPECT_EQ(c.Show(), c.Japanese);
        ASSERT_TRUE(UseEnglish());
    }
}

} // namespace

} // namespace tarvok
