#include "app/commands/command_table.h"

#include "core/settings.h"

#include <gtest/gtest.h>

#include <set>

namespace tarvok {

namespace {

struct ExpectedRow {
    int32_t Index;
    const char* Id;
    const char* Label;
    const char* Description;
};

// Index, ID, label, description of every command.
const ExpectedRow kExpectedRows[] = {
    { 0, "N/A", "N/A", "N/A" },
    { 1, "OPENSOUND", "♪", "サウンドファイルを開く" },
    { 2, "MIXDOWN", "Mix", "wavファイル作成" },
    { 3, "RIPCD", "CD", "CDオーディオ" },
    { 4, "OPENPRJ", "Prj", "プロジェクトを開く" },
    { 5, "SAVEPRJ", "Save", "プロジェクトを保存" },
    { 6, "OWPRJ", "OW", "プロジェクトを上書き保存" },
    { 7, "FETCHWAV", "FCW", "プロジェクト構成ファイルをデータフォルダにコピー" },
    { 8, "SAVEALL", "Arc", "プロジェクト構成ファイルをフォルダに書き出し" },
    { 9, "EXPORT", "Exp", "エクスポート" },
    { 10, "CLIP2PRJ", "C2P", "クリップをプロジェクトに保存" },
    { 11, "PRJ2CLIP", "P2C", "プロジェクトをクリップに開く" },
    { 12, "CLEANUP", "C1", "データフォルダを整理" },
    { 13, "CLOSEPRJ", "×", "閉じる" },
    { 14, "SCRUB_PLUS", ">", "スクラブ/ヘッド移動+" },
    { 15, "SCRUB_MINUS", "<", "スクラブ/ヘッド移動-" },
    { 16, "SCRUB_PLUSW", ">W", "スクラブW/ヘッド移動+" },
    { 17, "SCRUB_MINUSW", "<W", "スクラブW/ヘッド移動-" },
    { 18, "JOG_PLUS", "≫", "ジョグ+" },
    { 19, "JOG_MINUS", "≪", "ジョグ-" },
    { 20, "SCRUB_ONOFF", "S/M", "スクラブON/OFF" },
    { 21, "MOVE_LEFT", "←", "画面移動左" },
    { 22, "MOVE_RIGHT", "→", "画面移動右" },
    { 23, "TRACK_UP", "↑", "選択トラック移動上" },
    { 24, "TRACK_DOWN", "↓", "選択トラック移動下" },
    { 25, "ZOOM_PLUS", "＋", "画面表示横+" },
    { 26, "ZOOM_MINUS", "－", "画面表示横-" },
    { 27, "ZOOMV_PLUS", "V＋", "画面表示縦+" },
    { 28, "ZOOMV_MINUS", "V－", "画面表示縦-" },
    { 29, "ZOOML_PLUS", "L＋", "画面表示レベル+" },
    { 30, "ZOOML_MINUS", "L－", "画面表示レベル-" },
    { 31, "REC", "○", "録音" },
    { 32, "REC_NOW", "○N", "即録音" },
    { 33, "STOP", "□", "再生停止/処理中止" },
    { 34, "PAUSE", "ﾛﾛ", "再生一時停止" },
    { 35, "PLAY", "⇒", "再生" },
    { 36, "PLAY_WHOLE", "W⇒", "全体を再生" },
    { 37, "MOVE_HOME", "Home", "先頭に移動" },
    { 38, "PLAY_SELECTED", "|⇔|", "範囲内再生" },
    { 39, "PLAY_SELECTED_EX", "┤├", "範囲外再生" },
    { 40, "PLAY_SELECTED_LOOP", "|∞|", "ループ再生" },
    { 41, "PLAY_TOIN", "┤ |", "マークインまで再生" },
    { 42, "PLAY_TOEND", "| ┤", "マークアウトまで再生" },
    { 43, "PLAY_FROMIN", "├ |", "マークインから再生" },
    { 44, "PLAY_FROMOUT", "| ├", "マークアウトから再生" },
    { 45, "MARKIN_CLICK", "MI2C", "マークインをクリック位置に" },
    { 46, "MARKIN_HEAD", "MI2H", "マークインをヘッドに" },
    { 47, "MARKIN_BLOCK_START", "MI2B", "マークインをブロック開始位置に" },
    { 48, "MARKIN_BLOCK_END", "MI2E", "マークインをブロック終了位置に" },
    { 49, "MARKIN_HOME", "MI2S", "マークインを先頭に" },
    { 50, "MARKIN_SET", "MIS", "マークイン位置指定" },
    { 51, "MARKOUT_CLICK", "MO2C", "マークアウトをクリック位置に" },
    { 52, "MARKOUT_HEAD", "MO2H", "マークアウトをヘッドに" },
    { 53, "MARKOUT_BLOCK_START", "MO2B", "マークアウトをブロック開始位置に" },
    { 54, "MARKOUT_BLOCK_END", "MO2E", "マークアウトをブロック終了位置に" },
    { 55, "MARKOUT_HOME", "MO2S", "マークアウトを先頭に" },
    { 56, "MARKOUT_SET", "MOS", "マークアウト長さ指定" },
    { 57, "HEAD_MARKIN", "H2MI", "ヘッドをマークイン位置に" },
    { 58, "HEAD_MARKOUT", "H2MO", "ヘッドをマークアウト位置に" },
    { 59, "HEAD_BLOCK_START", "H2B", "ヘッドをブロック開始位置に" },
    { 60, "HEAD_BLOCK_END", "H2E", "ヘッドをブロック終了位置に" },
    { 61, "HEAD_HOME", "H2S", "ヘッドを先頭に" },
    { 62, "HEAD_FWD", "H>>", "ヘッドを次のブロックに" },
    { 63, "HEAD_RWD", "H<<", "ヘッドを前のブロックに" },
    { 64, "ERASE", "Erase", "消去" },
    { 65, "DELETE", "Del", "削除" },
    { 66, "CUT", "Cut", "切り取り" },
    { 67, "COPY", "Copy", "コピー" },
    { 68, "PASTE", "Paste", "貼り付け" },
    { 69, "INSERT", "Ins", "挿入" },
    { 70, "INSB", "InsB", "空白挿入" },
    { 71, "TRIM", "Trim", "トリム" },
    { 72, "SELALL", "SelA", "全範囲選択" },
    { 73, "UNDO", "Undo", "元に戻す" },
    { 74, "REDO", "Redo", "やり直し" },
    { 75, "BLOCK_DELETE", "DelB", "ブロック削除" },
    { 76, "BLOCK_NAME", "RenB", "ブロック名称変更" },
    { 77, "BLOCK_DEVIDE", "Dev", "ブロック分割" },
    { 78, "BLOCK_DEVIDEH", "Devh", "ブロックをヘッド位置で分割" },
    { 79, "BLOCK_CLIP", "ClipB", "ブロックをクリップ" },
    { 80, "BLOCK_MERGE", "MrgB", "ブロックのマージ" },
    { 81, "BLOCK_LOCK", "Lock", "ブロックをロック" },
    { 82, "BLOCK_FLOCK", "FLock", "ブロックにフェードをロック" },
    { 83, "BLOCK_FIT_F", "Fit1", "前のブロックにつける" },
    { 84, "BLOCK_FIT_R", "Fit2", "後ろのブロックにつける" },
    { 85, "BLOCK_FRONT", "Top", "ブロックを前面に" },
    { 86, "BLOCK_BEHIND", "Back", "ブロックを背面に" },
    { 87, "BLOCK_SETADR", "BAdd", "ブロック位置を指定" },
    { 88, "BLOCK_LEVEL", "BL", "ブロックのレベル" },
    { 89, "BLOCK_GROUP", "GB", "グループ" },
    { 90, "TRACK_NAME", "TrRen", "トラック名称変更" },
    { 91, "TRACK_DELETE", "TrDel", "トラック削除" },
    { 92, "TRACK_ADD", "TrAdd", "トラック追加" },
    { 93, "TRACK_SAVE", "TrSav", "トラック状態を保存" },
    { 94, "FADE_IN", "FI", "フェードイン" },
    { 95, "FADE_OUT", "FO", "フェードアウト" },
    { 96, "FADE_LINK", "∽", "フェードのリンク" },
    { 97, "FADE_CLEAR", "♭", "フェードをクリア" },
    { 98, "FADE_MUTE", "μ", "フェードをミュート" },
    { 99, "FADE_FPHEAD", "FPP", "ポイント追加" },
    { 100, "FADE_FPMARK", "FPM", "ポイントを選択範囲に追加" },
    { 101, "FADE_FPCLEAR", "FPC", "ポイントをクリア" },
    { 102, "FADE_DRAW", "Draw", "フェードを描く" },
    { 103, "FADE_BG", "BG", "BGフェード" },
    { 104, "FADE_AUTO", "Auto", "オートメーション" },
    { 105, "FADE_MERGE", "MrgF", "フェードのマージ" },
    { 106, "FX_DELAY", "DD", "ディレイ" },
    { 107, "FX_STDELAY", "SD", "ステレオディレイ" },
    { 108, "FX_ECHO", "EC", "エコー" },
    { 109, "FX_REVERB", "RV", "リバーブ" },
    { 110, "FX_FLANGER", "FL", "フランジャー" },
    { 111, "FX_PHASER", "PH", "フェイザー" },
    { 112, "FX_CHORUS", "CE", "コーラス" },
    { 113, "FX_AUTOPAN", "AP", "オートパン" },
    { 114, "FX_TREMOLO", "TR", "トレモロ" },
    { 115, "FX_VIBRATO", "VB", "ビブラート" },
    { 116, "FX_OCTAVE", "OC", "オクターブ" },
    { 117, "FX_PITCH_SHIFT", "PS", "ピッチシフト" },
    { 118, "FX_TIME_STRETCH", "TS", "タイムストレッチ" },
    { 119, "FX_SPEED_CHG", "SC", "スピードチェンジ" },
    { 120, "FX_DISTORTION", "DS", "ディストーション" },
    { 121, "FX_OVERDRIVE", "OD", "オーバードライブ" },
    { 122, "FX_LIMITER", "LM", "リミッター" },
    { 123, "FX_COMPRESSOR", "CS", "コンプレッサー" },
    { 124, "FCT_FX_MAXIMIZE", "MX", "マキシマイズ" },
    { 125, "FX_GATE", "GT", "ゲート" },
    { 126, "FX_ENHANCER", "EH", "エンハンサー" },
    { 127, "FX_BAND_PASS", "BPF", "バンドパスフィルター" },
    { 128, "FX_HC_FILTER", "LPF", "ローパスフィルター" },
    { 129, "FX_LC_FILTER", "HPF", "ハイパスフィルター" },
    { 130, "FX_GEQ", "GEQ", "グラフィックEQ" },
    { 131, "FX_PEQ", "PEQ", "パラメトリックEQ" },
    { 132, "FX_RVS", "RVS", "逆回転" },
    { 133, "FX_SIGN", "SIGN", "サイン波" },
    { 134, "FX_NORM", "NRM", "ノーマライズ" },
    { 135, "FX_AMPLIFY", "AMP", "アンプリファイ" },
    { 136, "FX_PHASE_OUT", "PO", "位相反転" },
    { 137, "FX_MIX_LR", "LRM", "LRミックス" },
    { 138, "FX_EXCHANGE_LR", "LRE", "LR置換" },
    { 139, "FX_LTOR", "L2R", "LをRに" },
    { 140, "FX_RTOL", "R2L", "RをLに" },
    { 141, "FX_ST_ENHANCE", "SEH", "ステレオエンハンス" },
    { 142, "FX_KARAOKE", "KO", "センター除去" },
    { 143, "FX_VOCAL", "VC", "センター抽出" },
    { 144, "SAMPLEEDIT", "～", "波形編集" },
};

std::string Key(CommandKey pKey) { return std::to_string(static_cast<int>(pKey)); }

} // namespace

TEST(CommandTable, EveryRowHasItsThreeTexts)
{
    ASSERT_EQ(std::size(kExpectedRows), static_cast<size_t>(kCommandCount));
    for (const ExpectedRow& row : kExpectedRows) {
        SCOPED_TRACE(row.Id);
        EXPECT_EQ(GetCommandText(row.Index, kCommandIdColumn), row.Id);
        EXPECT_EQ(GetCommandText(row.Index, kCommandLabel), row.Label);
        EXPECT_EQ(GetCommandText(row.Index, kCommandDescription), row.Description);
    }
}

TEST(CommandTable, IndexesAndColumnsOutsideTheTableGiveEmptyText)
{
    const std::pair<int32_t, int> kCases[] = { { -1, 0 }, { -145, 1 }, { 145, 2 }, { 1000, 1 },
        { 1, 3 }, { 1, -1 }, { INT32_MIN, 0 } };
    for (auto [index, column] : kCases) {
        SCOPED_TRACE(std::to_string(index) + "/" + std::to_string(column));
        EXPECT_EQ(GetCommandText(index, column), "");
    }
}

TEST(CommandTable, FindCommandFindsTheLowestExactMatch)
{
    for (const ExpectedRow& row : kExpectedRows) {
        SCOPED_TRACE(row.Id);
        EXPECT_EQ(FindCommand(row.Id), row.Index);
        EXPECT_EQ(FindCommand(row.Description, kCommandDescription), row.Index);
    }
    // "N/A" stands in all three columns of row 0.
    EXPECT_EQ(FindCommand("N/A", kCommandLabel), 0);
    const std::pair<const char*, int> kMisses[] = { { "", 1 }, { "", 0 }, { "play", 1 },
        { "PLAY ", 1 }, { "FX_MAXIMIZE", 1 }, { "BLOCK_DIVIDE", 1 }, { "PLAY", 3 }, { "PLAY", 0 } };
    for (auto [text, column] : kMisses) {
        SCOPED_TRACE(text);
        EXPECT_EQ(FindCommand(text, column), -1);
    }
    EXPECT_EQ(FindCommand("FCT_FX_MAXIMIZE"), kCmdFctFxMaximize);
    EXPECT_EQ(FindCommand("Mix", kCommandLabel), kCmdMixdown);
}

TEST(KeyAssignment, DefaultsWhenNothingIsStored)
{
    MemorySettingsBackend backend;
    Settings store(backend);
    KeyAssignment a = LoadKeyAssignment(store);
    EXPECT_EQ(a, DefaultKeyAssignment());
    const std::array<int32_t, 12> kFKeys = { 45, 51, 46, 52, 38, 39, 40, 41, 42, 43, 44, 44 };
    EXPECT_EQ(a.FKeyCommands, kFKeys);
    EXPECT_EQ(a.SpaceCommand, kCmdPlay);
    EXPECT_EQ(a.ToolbarCount, 16);
    EXPECT_EQ(a.ToolbarCommands,
        (std::vector<int32_t> { 1, 2, 3, 4, 5, 6, 13, 37, 81, 92, 91, 94, 95, 102, 104, 144 }));
}

TEST(KeyAssignment, StoredIdsReplaceDefaultsAndUnknownIdsKeepThem)
{
    MemorySettingsBackend backend;
    Settings store(backend);
    store.SaveSetting("fkeyfct-01", "UNDO");
    store.SaveSetting("fkeyfct-05", "N/A");
    store.SaveSetting("fkeyfct-06", "play_selected_ex");
    store.SaveSetting("fkeyfct-12", "JOG_PLUS"); // not offered in the lists, still accepted
    store.SaveSetting("kbfct-01", "PLAY_WHOLE");
    store.SaveSetting("tbfct-02", "REDO");
    store.SaveSetting("tbfct-03", "NOPE");
    KeyAssignment a = LoadKeyAssignment(store);
    EXPECT_EQ(a.FKeyCommands[0], kCmdUndo);
    EXPECT_EQ(a.FKeyCommands[4], kCmdNone);
    EXPECT_EQ(a.FKeyCommands[5], kCmdPlaySelectedEx);
    EXPECT_EQ(a.FKeyCommands[11], kCmdJogPlus);
    EXPECT_EQ(a.SpaceCommand, kCmdPlayWhole);
    EXPECT_EQ(a.ToolbarCommands[1], kCmdRedo);
    EXPECT_EQ(a.ToolbarCommands[2], kCmdRipcd);
}

TEST(KeyAssignment, ToolbarCountFromTheSettings)
{
    struct Case {
        const char* Stored;
        int32_t Count;
    };
    const Case kCases[] = { { "0", 1 }, { "-3", 1 }, { "20", 20 }, { "3", 3 }, { "x", 16 } };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.Stored);
        MemorySettingsBackend backend;
        Settings store(backend);
        store.SaveSetting("NumTBFCT", c.Stored);
        KeyAssignment a = LoadKeyAssignment(store);
        EXPECT_EQ(a.ToolbarCount, c.Count);
        ASSERT_EQ(a.ToolbarCommands.size(), static_cast<size_t>(c.Count));
        EXPECT_EQ(a.ToolbarCommands[0], kCmdOpensound);
        for (int32_t i = 16; i < c.Count; ++i)
            EXPECT_EQ(
                GetCommandText(a.ToolbarCommands[static_cast<size_t>(i)], kCommandLabel), "N/A");
    }
    MemorySettingsBackend backend;
    Settings store(backend);
    store.SaveSetting("NumTBFCT", int32_t { 20 });
    store.SaveSetting("tbfct-20", "TRIM");
    EXPECT_EQ(LoadKeyAssignment(store).ToolbarCommands[19], kCmdTrim);
}

TEST(KeyAssignment, SavedBindingsLoadBack)
{
    MemorySettingsBackend backend;
    Settings store(backend);
    KeyAssignment a = DefaultKeyAssignment();
    a.FKeyCommands[2] = kCmdCut;
    a.FKeyCommands[9] = kCmdNone;
    a.SpaceCommand = kCmdPlayWhole;
    a.ToolbarCount = 3;
    a.ToolbarCommands = { kCmdUndo, kCmdNone, kCmdFctFxMaximize };
    ASSERT_TRUE(SaveKeyAssignment(store, a));
    EXPECT_EQ(store.GetSetting("fkeyfct-03", ""), "CUT");
    EXPECT_EQ(store.GetSetting("fkeyfct-10", ""), "N/A");
    EXPECT_EQ(store.GetSetting("kbfct-01", ""), "PLAY_WHOLE");
    EXPECT_EQ(store.GetSetting("tbfct-03", ""), "FCT_FX_MAXIMIZE");
    EXPECT_EQ(store.GetSetting("NumTBFCT", int32_t { 0 }), 3);
    EXPECT_EQ(LoadKeyAssignment(store), a);
}

TEST(KeyAssignment, SettingsWindowRowsUpdateBindingsAndStore)
{
    MemorySettingsBackend backend;
    Settings store(backend);
    store.SaveSetting("tbfct-05", "SAVEPRJ");
    KeyAssignment a = DefaultKeyAssignment();
    std::vector<std::string> keys(13);
    keys[0] = "元に戻す";
    keys[4] = ""; // empty row: F5 keeps PLAY_SELECTED now, default at the next start
    keys[12] = "全体を再生";
    for (int n : { 1, 2, 3, 5, 6, 7, 8, 9, 10, 11 })
        keys[static_cast<size_t>(n)]
            = std::string(GetCommandText(a.FKeyCommands[static_cast<size_t>(n)], 0));
    keys[1] = "N/A";
    ApplyAssignmentRows(a, store, keys, { "コピー", "", "波形編集" });
    EXPECT_EQ(a.FKeyCommands[0], kCmdUndo);
    EXPECT_EQ(a.FKeyCommands[1], kCmdNone);
    EXPECT_EQ(a.FKeyCommands[4], kCmdPlaySelected);
    EXPECT_EQ(a.SpaceCommand, kCmdPlayWhole);
    EXPECT_EQ(a.ToolbarCount, 3);
    EXPECT_EQ(a.ToolbarCommands, (std::vector<int32_t> { kCmdCopy, kCmdNone, kCmdSampleedit }));
    EXPECT_EQ(store.GetSetting("fkeyfct-01", ""), "UNDO");
    EXPECT_EQ(store.GetSetting("fkeyfct-05", "x"), "");
    EXPECT_EQ(store.GetSetting("kbfct-01", ""), "PLAY_WHOLE");
    EXPECT_EQ(store.GetSetting("tbfct-02", "x"), "");
    EXPECT_EQ(store.GetSetting("tbfct-05", ""), "SAVEPRJ"); // above the new count: left alone
    EXPECT_EQ(store.GetSetting("NumTBFCT", int32_t { 0 }), 3);

    KeyAssignment next = LoadKeyAssignment(store);
    EXPECT_EQ(next.FKeyCommands[4], kCmdPlaySelected);
    EXPECT_EQ(next.ToolbarCommands[1], kCmdMixdown);

    ApplyAssignmentRows(a, store, keys, {});
    EXPECT_EQ(a.ToolbarCount, 0);
    EXPECT_EQ(a.ToolbarCommands.size(), 1u);
    EXPECT_EQ(ToolbarWidthTwips(a.ToolbarCount, 1.0), 450);
    EXPECT_EQ(LoadKeyAssignment(store).ToolbarCount, 1);
}

TEST(KeyAssignment, ListsOfferEveryCommandButTheScrubAndJogOnes)
{
    std::vector<int32_t> offered = AssignableCommands();
    EXPECT_EQ(offered.size(), 139u);
    EXPECT_EQ(offered.front(), kCmdNone);
    std::set<int32_t> set(offered.begin(), offered.end());
    for (int32_t i = 0; i < kCommandCount; ++i)
        EXPECT_EQ(set.count(i) == 1, i < 14 || i > 19) << i;
}

TEST(Keyboard, DecisionTable)
{
    const KeyAssignment a = DefaultKeyAssignment();
    struct Case {
        CommandKey Key;
        int Modifiers;
        std::optional<int32_t> Command;
    };
    const Case kCases[] = {
        { CommandKey::F1, 0, kCmdMarkinClick },
        { CommandKey::F5, kModCtrl | kModAlt, kCmdPlaySelected },
        { CommandKey::F11, 0, kCmdPlayFromout },
        { CommandKey::F12, kModShift, kCmdPlayFromout },
        { CommandKey::Escape, kModCtrl, kCmdStop },
        { CommandKey::Space, 0, kCmdPlay },
        { CommandKey::Home, kModShift, kCmdMoveHome },
        { CommandKey::Left, 0, kCmdMoveLeft },
        { CommandKey::Left, kModShift, kCmdScrubMinus },
        { CommandKey::Left, kModCtrl, std::nullopt },
        { CommandKey::Left, kModShift | kModAlt, std::nullopt },
        { CommandKey::Right, 0, kCmdMoveRight },
        { CommandKey::Right, kModShift, kCmdScrubPlus },
        { CommandKey::Right, kModAlt, std::nullopt },
        { CommandKey::Up, kModCtrl, kCmdTrackUp },
        { CommandKey::Down, 0, kCmdTrackDown },
        { CommandKey::J, kModCtrl, kCmdScrubOnoff },
        { CommandKey::J, 0, std::nullopt },
        { CommandKey::J, kModCtrl | kModShift, std::nullopt },
        { CommandKey::KeypadPlus, kModShift, kCmdZoomvPlus },
        { CommandKey::Plus, kModCtrl, kCmdZoomlPlus },
        { CommandKey::Plus, 0, kCmdZoomPlus },
        { CommandKey::KeypadPlus, kModCtrl | kModShift, kCmdZoomPlus },
        { CommandKey::Minus, kModShift, kCmdZoomvMinus },
        { CommandKey::KeypadMinus, kModCtrl, kCmdZoomlMinus },
        { CommandKey::Minus, kModAlt, kCmdZoomMinus },
        { CommandKey::None, 0, std::nullopt },
        { CommandKey::A, 0, std::nullopt },
        { CommandKey::Z, kModCtrl, kCmdUndo },
        { CommandKey::Z, kModCtrl | kModShift, kCmdRedo },
        { CommandKey::Y, kModCtrl, kCmdRedo },
        { CommandKey::X, kModCtrl, kCmdCut },
        { CommandKey::C, kModCtrl, kCmdCopy },
        { CommandKey::V, kModCtrl, kCmdPaste },
        { CommandKey::A, kModCtrl, kCmdSelall },
        { CommandKey::S, kModCtrl, kCmdOwprj },
        { CommandKey::S, kModCtrl | kModShift, kCmdSaveprj },
        { CommandKey::O, kModCtrl, kCmdOpenprj },
        { CommandKey::N, kModCtrl, kCmdCloseprj },
        { CommandKey::Z, 0, std::nullopt },
        { CommandKey::V, kModAlt, std::nullopt },
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(Key(c.Key) + " mods " + std::to_string(c.Modifiers));
        EXPECT_EQ(CommandForKey(c.Key, c.Modifiers, a, false), c.Command);
    }
}

TEST(Keyboard, MenusShowTheKeyOfEachCommand)
{
    KeyAssignment a = DefaultKeyAssignment();
    EXPECT_EQ(KeyTextOfCommand(kCmdUndo, a), "Ctrl+Z");
    EXPECT_EQ(KeyTextOfCommand(kCmdOwprj, a), "Ctrl+S");
    EXPECT_EQ(KeyTextOfCommand(kCmdStop, a), "Esc");
    EXPECT_EQ(KeyTextOfCommand(kCmdPlay, a), "Space");
    EXPECT_EQ(KeyTextOfCommand(kCmdMarkinClick, a), "F1");
    a.FKeyCommands[0] = kCmdNone;
    EXPECT_EQ(KeyTextOfCommand(kCmdMarkinClick, a), "");
    EXPECT_EQ(KeyTextOfCommand(kCmdNone, a), "");
}

TEST(Keyboard, SpaceTogglesOnlyWhenBoundToPlayWhole)
{
    KeyAssignment a = DefaultKeyAssignment();
    EXPECT_EQ(CommandForKey(CommandKey::Space, 0, a, true), kCmdPlay);
    a.SpaceCommand = kCmdPlayWhole;
    EXPECT_EQ(CommandForKey(CommandKey::Space, 0, a, false), kCmdPlayWhole);
    EXPECT_EQ(CommandForKey(CommandKey::Space, 0, a, true), kCmdStop);
    a.FKeyCommands[4] = kCmdNone;
    EXPECT_EQ(CommandForKey(CommandKey::F5, 0, a, false), kCmdNone);
}

TEST(Keyboard, ClickWhileSpaceIsHeldUsesUpTheSpace)
{
    const KeyAssignment a = DefaultKeyAssignment();
    KeyboardState k;
    EXPECT_FALSE(k.MouseDownInTracks());
    k.KeyDown(CommandKey::Space);
    EXPECT_EQ(k.LastKeyDown(), CommandKey::Space);
    EXPECT_TRUE(k.MouseDownInTracks());
    EXPECT_EQ(k.KeyUp(CommandKey::Space, 0, a, false), std::nullopt);
    EXPECT_EQ(k.LastKeyDown(), CommandKey::None);
    EXPECT_FALSE(k.SpaceUsed());
    k.KeyDown(CommandKey::Space);
    EXPECT_EQ(k.KeyUp(CommandKey::Space, 0, a, false), kCmdPlay);
    k.KeyDown(CommandKey::F4);
    EXPECT_EQ(k.KeyUp(CommandKey::F4, 0, a, false), kCmdMarkoutHead);
    EXPECT_TRUE(KeyIsConsumedAfterRelease(CommandKey::F4));
    EXPECT_TRUE(KeyIsConsumedAfterRelease(CommandKey::F10));
    EXPECT_FALSE(KeyIsConsumedAfterRelease(CommandKey::F11));
}

TEST(Keyboard, WheelScrubsWide)
{
    EXPECT_EQ(CommandForWheel(true), kCmdScrubPlusw);
    EXPECT_EQ(CommandForWheel(false), kCmdScrubMinusw);
}

TEST(Toolbar, WidthGrowsWithTheButtons)
{
    EXPECT_EQ(ToolbarWidthTwips(16, 1.0), 16 * 660 + 450);
    EXPECT_EQ(ToolbarWidthTwips(2, 1.5), 2430);
}

} // namespace tarvok
