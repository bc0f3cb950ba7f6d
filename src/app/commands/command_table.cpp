#include "app/commands/command_table.h"

#include "base/i18n.h"
#include "base/numeric.h"
#include "core/settings.h"

#include <algorithm>

namespace tarvok {

namespace {

// The descriptions and labels are catalogue keys (N_), translated where GetCommandText hands
// them out; the IDs are data and stay as they are.
struct CommandRow {
    std::string_view Description;
    std::string_view Id;
    std::string_view Label;
};

// Index order is fixed: menus, the dispatcher and stored bindings use these numbers.
constexpr CommandRow kCommandTable[kCommandCount] = {
    { "N/A", "N/A", "N/A" }, // 0
    { N_("サウンドファイルを開く"), "OPENSOUND", "♪" }, // 1
    { N_("wavファイル作成"), "MIXDOWN", "Mix" }, // 2
    { N_("CDオーディオ"), "RIPCD", "CD" }, // 3
    { N_("プロジェクトを開く"), "OPENPRJ", "Prj" }, // 4
    { N_("プロジェクトを保存"), "SAVEPRJ", "Save" }, // 5
    { N_("プロジェクトを上書き保存"), "OWPRJ", "OW" }, // 6
    { N_("プロジェクト構成ファイルをデータフォルダにコピー"), "FETCHWAV", "FCW" }, // 7
    { N_("プロジェクト構成ファイルをフォルダに書き出し"), "SAVEALL", "Arc" }, // 8
    { N_("エクスポート"), "EXPORT", "Exp" }, // 9
    { N_("クリップをプロジェクトに保存"), "CLIP2PRJ", "C2P" }, // 10
    { N_("プロジェクトをクリップに開く"), "PRJ2CLIP", "P2C" }, // 11
    { N_("データフォルダを整理"), "CLEANUP", "C1" }, // 12
    { N_("閉じる"), "CLOSEPRJ", "×" }, // 13
    { N_("スクラブ/ヘッド移動+"), "SCRUB_PLUS", ">" }, // 14
    { N_("スクラブ/ヘッド移動-"), "SCRUB_MINUS", "<" }, // 15
    { N_("スクラブW/ヘッド移動+"), "SCRUB_PLUSW", ">W" }, // 16
    { N_("スクラブW/ヘッド移動-"), "SCRUB_MINUSW", "<W" }, // 17
    { N_("ジョグ+"), "JOG_PLUS", "≫" }, // 18
    { N_("ジョグ-"), "JOG_MINUS", "≪" }, // 19
    { N_("スクラブON/OFF"), "SCRUB_ONOFF", "S/M" }, // 20
    { N_("画面移動左"), "MOVE_LEFT", "←" }, // 21
    { N_("画面移動右"), "MOVE_RIGHT", "→" }, // 22
    { N_("選択トラック移動上"), "TRACK_UP", "↑" }, // 23
    { N_("選択トラック移動下"), "TRACK_DOWN", "↓" }, // 24
    { N_("画面表示横+"), "ZOOM_PLUS", N_("＋") }, // 25
    { N_("画面表示横-"), "ZOOM_MINUS", N_("－") }, // 26
    { N_("画面表示縦+"), "ZOOMV_PLUS", N_("V＋") }, // 27
    { N_("画面表示縦-"), "ZOOMV_MINUS", N_("V－") }, // 28
    { N_("画面表示レベル+"), "ZOOML_PLUS", N_("L＋") }, // 29
    { N_("画面表示レベル-"), "ZOOML_MINUS", N_("L－") }, // 30
    { N_("録音"), "REC", "○" }, // 31
    { N_("即録音"), "REC_NOW", "○N" }, // 32
    { N_("再生停止/処理中止"), "STOP", "□" }, // 33
    { N_("再生一時停止"), "PAUSE", N_("ﾛﾛ") }, // 34
    { N_("再生"), "PLAY", "⇒" }, // 35
    { N_("全体を再生"), "PLAY_WHOLE", "W⇒" }, // 36
    { N_("先頭に移動"), "MOVE_HOME", "Home" }, // 37
    { N_("範囲内再生"), "PLAY_SELECTED", "|⇔|" }, // 38
    { N_("範囲外再生"), "PLAY_SELECTED_EX", "┤├" }, // 39
    { N_("ループ再生"), "PLAY_SELECTED_LOOP", "|∞|" }, // 40
    { N_("マークインまで再生"), "PLAY_TOIN", "┤ |" }, // 41
    { N_("マークアウトまで再生"), "PLAY_TOEND", "| ┤" }, // 42
    { N_("マークインから再生"), "PLAY_FROMIN", "├ |" }, // 43
    { N_("マークアウトから再生"), "PLAY_FROMOUT", "| ├" }, // 44
    { N_("マークインをクリック位置に"), "MARKIN_CLICK", "MI2C" }, // 45
    { N_("マークインをヘッドに"), "MARKIN_HEAD", "MI2H" }, // 46
    { N_("マークインをブロック開始位置に"), "MARKIN_BLOCK_START", "MI2B" }, // 47
    { N_("マークインをブロック終了位置に"), "MARKIN_BLOCK_END", "MI2E" }, // 48
    { N_("マークインを先頭に"), "MARKIN_HOME", "MI2S" }, // 49
    { N_("マークイン位置指定"), "MARKIN_SET", "MIS" }, // 50
    { N_("マークアウトをクリック位置に"), "MARKOUT_CLICK", "MO2C" }, // 51
    { N_("マークアウトをヘッドに"), "MARKOUT_HEAD", "MO2H" }, // 52
    { N_("マークアウトをブロック開始位置に"), "MARKOUT_BLOCK_START", "MO2B" }, // 53
    { N_("マークアウトをブロック終了位置に"), "MARKOUT_BLOCK_END", "MO2E" }, // 54
    { N_("マークアウトを先頭に"), "MARKOUT_HOME", "MO2S" }, // 55
    { N_("マークアウト長さ指定"), "MARKOUT_SET", "MOS" }, // 56
    { N_("ヘッドをマークイン位置に"), "HEAD_MARKIN", "H2MI" }, // 57
    { N_("ヘッドをマークアウト位置に"), "HEAD_MARKOUT", "H2MO" }, // 58
    { N_("ヘッドをブロック開始位置に"), "HEAD_BLOCK_START", "H2B" }, // 59
    { N_("ヘッドをブロック終了位置に"), "HEAD_BLOCK_END", "H2E" }, // 60
    { N_("ヘッドを先頭に"), "HEAD_HOME", "H2S" }, // 61
    { N_("ヘッドを次のブロックに"), "HEAD_FWD", "H>>" }, // 62
    { N_("ヘッドを前のブロックに"), "HEAD_RWD", "H<<" }, // 63
    { N_("消去"), "ERASE", "Erase" }, // 64
    { N_("削除"), "DELETE", "Del" }, // 65
    { N_("切り取り"), "CUT", "Cut" }, // 66
    { N_("コピー"), "COPY", "Copy" }, // 67
    { N_("貼り付け"), "PASTE", "Paste" }, // 68
    { N_("挿入"), "INSERT", "Ins" }, // 69
    { N_("空白挿入"), "INSB", "InsB" }, // 70
    { N_("トリム"), "TRIM", "Trim" }, // 71
    { N_("全範囲選択"), "SELALL", "SelA" }, // 72
    { N_("元に戻す"), "UNDO", "Undo" }, // 73
    { N_("やり直し"), "REDO", "Redo" }, // 74
    { N_("ブロック削除"), "BLOCK_DELETE", "DelB" }, // 75
    { N_("ブロック名称変更"), "BLOCK_NAME", "RenB" }, // 76
    { N_("ブロック分割"), "BLOCK_DEVIDE", "Dev" }, // 77
    { N_("ブロックをヘッド位置で分割"), "BLOCK_DEVIDEH", "Devh" }, // 78
    { N_("ブロックをクリップ"), "BLOCK_CLIP", "ClipB" }, // 79
    { N_("ブロックのマージ"), "BLOCK_MERGE", "MrgB" }, // 80
    { N_("ブロックをロック"), "BLOCK_LOCK", "Lock" }, // 81
    { N_("ブロックにフェードをロック"), "BLOCK_FLOCK", "FLock" }, // 82
    { N_("前のブロックにつける"), "BLOCK_FIT_F", "Fit1" }, // 83
    { N_("後ろのブロックにつける"), "BLOCK_FIT_R", "Fit2" }, // 84
    { N_("ブロックを前面に"), "BLOCK_FRONT", "Top" }, // 85
    { N_("ブロックを背面に"), "BLOCK_BEHIND", "Back" }, // 86
    { N_("ブロック位置を指定"), "BLOCK_SETADR", "BAdd" }, // 87
    { N_("ブロックのレベル"), "BLOCK_LEVEL", "BL" }, // 88
    { N_("グループ"), "BLOCK_GROUP", "GB" }, // 89
    { N_("トラック名称変更"), "TRACK_NAME", "TrRen" }, // 90
    { N_("トラック削除"), "TRACK_DELETE", "TrDel" }, // 91
    { N_("トラック追加"), "TRACK_ADD", "TrAdd" }, // 92
    { N_("トラック状態を保存"), "TRACK_SAVE", "TrSav" }, // 93
    { N_("フェードイン"), "FADE_IN", "FI" }, // 94
    { N_("フェードアウト"), "FADE_OUT", "FO" }, // 95
    { N_("フェードのリンク"), "FADE_LINK", "∽" }, // 96
    { N_("フェードをクリア"), "FADE_CLEAR", "♭" }, // 97
    { N_("フェードをミュート"), "FADE_MUTE", "μ" }, // 98
    { N_("ポイント追加"), "FADE_FPHEAD", "FPP" }, // 99
    { N_("ポイントを選択範囲に追加"), "FADE_FPMARK", "FPM" }, // 100
    { N_("ポイントをクリア"), "FADE_FPCLEAR", "FPC" }, // 101
    { N_("フェードを描く"), "FADE_DRAW", "Draw" }, // 102
    { N_("BGフェード"), "FADE_BG", "BG" }, // 103
    { N_("オートメーション"), "FADE_AUTO", "Auto" }, // 104
    { N_("フェードのマージ"), "FADE_MERGE", "MrgF" }, // 105
    { N_("ディレイ"), "FX_DELAY", "DD" }, // 106
    { N_("ステレオディレイ"), "FX_STDELAY", "SD" }, // 107
    { N_("エコー"), "FX_ECHO", "EC" }, // 108
    { N_("リバーブ"), "FX_REVERB", "RV" }, // 109
    { N_("フランジャー"), "FX_FLANGER", "FL" }, // 110
    { N_("フェイザー"), "FX_PHASER", "PH" }, // 111
    { N_("コーラス"), "FX_CHORUS", "CE" }, // 112
    { N_("オートパン"), "FX_AUTOPAN", "AP" }, // 113
    { N_("トレモロ"), "FX_TREMOLO", "TR" }, // 114
    { N_("ビブラート"), "FX_VIBRATO", "VB" }, // 115
    { N_("オクターブ"), "FX_OCTAVE", "OC" }, // 116
    { N_("ピッチシフト"), "FX_PITCH_SHIFT", "PS" }, // 117
    { N_("タイムストレッチ"), "FX_TIME_STRETCH", "TS" }, // 118
    { N_("スピードチェンジ"), "FX_SPEED_CHG", "SC" }, // 119
    { N_("ディストーション"), "FX_DISTORTION", "DS" }, // 120
    { N_("オーバードライブ"), "FX_OVERDRIVE", "OD" }, // 121
    { N_("リミッター"), "FX_LIMITER", "LM" }, // 122
    { N_("コンプレッサー"), "FX_COMPRESSOR", "CS" }, // 123
    { N_("マキシマイズ"), "FCT_FX_MAXIMIZE", "MX" }, // 124
    { N_("ゲート"), "FX_GATE", "GT" }, // 125
    { N_("エンハンサー"), "FX_ENHANCER", "EH" }, // 126
    { N_("バンドパスフィルター"), "FX_BAND_PASS", "BPF" }, // 127
    { N_("ローパスフィルター"), "FX_HC_FILTER", "LPF" }, // 128
    { N_("ハイパスフィルター"), "FX_LC_FILTER", "HPF" }, // 129
    { N_("グラフィックEQ"), "FX_GEQ", "GEQ" }, // 130
    { N_("パラメトリックEQ"), "FX_PEQ", "PEQ" }, // 131
    { N_("逆回転"), "FX_RVS", "RVS" }, // 132
    { N_("サイン波"), "FX_SIGN", "SIGN" }, // 133
    { N_("ノーマライズ"), "FX_NORM", "NRM" }, // 134
    { N_("アンプリファイ"), "FX_AMPLIFY", "AMP" }, // 135
    { N_("位相反転"), "FX_PHASE_OUT", "PO" }, // 136
    { N_("LRミックス"), "FX_MIX_LR", "LRM" }, // 137
    { N_("LR置換"), "FX_EXCHANGE_LR", "LRE" }, // 138
    { N_("LをRに"), "FX_LTOR", "L2R" }, // 139
    { N_("RをLに"), "FX_RTOL", "R2L" }, // 140
    { N_("ステレオエンハンス"), "FX_ST_ENHANCE", "SEH" }, // 141
    { N_("センター除去"), "FX_KARAOKE", "KO" }, // 142
    { N_("センター抽出"), "FX_VOCAL", "VC" }, // 143
    { N_("波形編集"), "SAMPLEEDIT", N_("～") }, // 144
};

constexpr std::array<int32_t, kFunctionKeyCount> kDefaultFKeys = {
    kCmdMarkinClick,
    kCmdMarkoutClick,
    kCmdMarkinHead,
    kCmdMarkoutHead,
    kCmdPlaySelected,
    kCmdPlaySelectedEx,
    kCmdPlaySelectedLoop,
    kCmdPlayToin,
    kCmdPlayToend,
    kCmdPlayFromin,
    kCmdPlayFromout,
    kCmdPlayFromout,
};

constexpr std::array<int32_t, kDefaultToolbarCount> kDefaultToolbar = {
    kCmdOpensound,
    kCmdMixdown,
    kCmdRipcd,
    kCmdOpenprj,
    kCmdSaveprj,
    kCmdOwprj,
    kCmdCloseprj,
    kCmdMoveHome,
    kCmdBlockLock,
    kCmdTrackAdd,
    kCmdTrackDelete,
    kCmdFadeIn,
    kCmdFadeOut,
    kCmdFadeDraw,
    kCmdFadeAuto,
    kCmdSampleedit,
};

std::string FKeyKey(int pNumber) { return TwoDigitKey("fkeyfct-", pNumber); }
std::string SpaceKey() { return TwoDigitKey("kbfct-", 1); }
std::string ToolbarKey(int pNumber) { return TwoDigitKey("tbfct-", pNumber); }

/// Replaces pBinding with the command a stored ID names; a missing or unknown ID keeps it.
void ReadBinding(const Settings& pSettings, const std::string& pKey, int32_t& pBinding)
{
    int32_t k = FindCommand(pSettings.GetSetting(pKey, ""), kCommandIdColumn);
    if (k != -1)
        pBinding = k;
}

bool StoreBinding(Settings& pSettings, const std::string& pKey, int32_t pCommand)
{
    return pSettings.SaveSetting(pKey, GetCommandText(pCommand, kCommandIdColumn));
}

} // namespace

std::string_view GetCommandText(int32_t pIndex, int pColumn)
{
    if (pIndex < 0 || pIndex >= kCommandCount)
        return {};
    const CommandRow& row = kCommandTable[pIndex];
    switch (pColumn) {
    case kCommandDescription:
        return Tr(row.Description.data());
    case kCommandIdColumn:
        return row.Id;
    case kCommandLabel:
        return Tr(row.Label.data());
    default:
        return {};
    }
}

int32_t FindCommand(std::string_view pText, int pColumn)
{
    if (pText.empty() || pColumn < kCommandDescription || pColumn > kCommandLabel)
        return -1;
    for (int32_t i = 0; i < kCommandCount; ++i)
        if (GetCommandText(i, pColumn) == pText)
            return i;
    return -1;
}

KeyAssignment DefaultKeyAssignment()
{
    KeyAssignment a;
    a.FKeyCommands = kDefaultFKeys;
    a.SpaceCommand = kCmdPlay;
    a.ToolbarCount = kDefaultToolbarCount;
    a.ToolbarCommands.assign(kDefaultToolbar.begin(), kDefaultToolbar.end());
    return a;
}

KeyAssignment LoadKeyAssignment(const Settings& pSettings)
{
    KeyAssignment a = DefaultKeyAssignment();
    for (int n = 1; n <= kFunctionKeyCount; ++n)
        ReadBinding(pSettings, FKeyKey(n), a.FKeyCommands[n - 1]);
    ReadBinding(pSettings, SpaceKey(), a.SpaceCommand);

    a.ToolbarCount
        = std::max(pSettings.GetSetting("NumTBFCT", kDefaultToolbarCount), int32_t { 1 });
    a.ToolbarCommands.assign(static_cast<size_t>(a.ToolbarCount), kCmdNone);
    std::copy_n(kDefaultToolbar.begin(), std::min<int32_t>(kDefaultToolbarCount, a.ToolbarCount),
        a.ToolbarCommands.begin());
    for (int32_t n = 1; n <= a.ToolbarCount; ++n)
        ReadBinding(pSettings, ToolbarKey(n), a.ToolbarCommands[static_cast<size_t>(n - 1)]);
    return a;
}

bool SaveKeyAssignment(Settings& pSettings, const KeyAssignment& pAssignment)
{
    bool ok = true;
    for (int n = 1; n <= kFunctionKeyCount; ++n)
        ok = StoreBinding(pSettings, FKeyKey(n), pAssignment.FKeyCommands[n - 1]) && ok;
    ok = StoreBinding(pSettings, SpaceKey(), pAssignment.SpaceCommand) && ok;
    int32_t count = std::max<int32_t>(pAssignment.ToolbarCount, 0);
    for (int32_t n = 1; n <= count; ++n) {
        size_t i = static_cast<size_t>(n - 1);
        int32_t command
            = i < pAssignment.ToolbarCommands.size() ? pAssignment.ToolbarCommands[i] : kCmdNone;
        ok = StoreBinding(pSettings, ToolbarKey(n), command) && ok;
    }
    return pSettings.SaveSetting("NumTBFCT", count) && ok;
}

void ApplyAssignmentRows(KeyAssignment& pAssignment, Settings& pSettings,
    const std::vector<std::string>& pKeyRows, const std::vector<std::string>& pToolbarRows)
{
    for (int n = 0; n <= kFunctionKeyCount; ++n) {
        std::string_view text = static_cast<size_t>(n) < pKeyRows.size()
            ? std::string_view(pKeyRows[n])
            : std::string_view();
        int32_t k = FindCommand(text, kCommandDescription);
        bool isSpace = n == kFunctionKeyCount;
        if (k != -1)
            (isSpace ? pAssignment.SpaceCommand : pAssignment.FKeyCommands[n]) = k;
        StoreBinding(pSettings, isSpace ? SpaceKey() : FKeyKey(n + 1), k);
    }
    pAssignment.ToolbarCount = static_cast<int32_t>(pToolbarRows.size());
    pAssignment.ToolbarCommands.assign(std::max<size_t>(pToolbarRows.size(), 1), kCmdNone);
    for (size_t i = 0; i < pToolbarRows.size(); ++i) {
        int32_t k = FindCommand(pToolbarRows[i], kCommandDescription);
        if (k != -1)
            pAssignment.ToolbarCommands[i] = k;
        StoreBinding(pSettings, ToolbarKey(static_cast<int>(i + 1)), k);
    }
    pSettings.SaveSetting("NumTBFCT", pAssignment.ToolbarCount);
}

std::vector<int32_t> AssignableCommands()
{
    std::vector<int32_t> out;
    for (int32_t i = 0; i < kCommandCount; ++i)
        if (i < kCmdScrubPlus || i > kCmdJogMinus)
            out.push_back(i);
    return out;
}

int32_t ToolbarWidthTwips(int32_t pCount, double pSizeRate)
{
    double twips = static_cast<double>(std::max<int32_t>(pCount, 0)) * 660.0 * pSizeRate + 450.0;
    return static_cast<int32_t>(RoundHalfEven(twips));
}

namespace {

/// The editing and file shortcuts of other programs, on keys the table leaves free.
struct CtrlLetter {
    CommandKey Key;
    int Modifiers;
    int32_t Command;
    const char* Text;
};
constexpr CtrlLetter kCtrlLetters[] = {
    { CommandKey::Z, kModCtrl, kCmdUndo, "Ctrl+Z" },
    { CommandKey::Y, kModCtrl, kCmdRedo, "Ctrl+Y" },
    { CommandKey::Z, kModCtrl | kModShift, kCmdRedo, "Ctrl+Shift+Z" },
    { CommandKey::X, kModCtrl, kCmdCut, "Ctrl+X" },
    { CommandKey::C, kModCtrl, kCmdCopy, "Ctrl+C" },
    { CommandKey::V, kModCtrl, kCmdPaste, "Ctrl+V" },
    { CommandKey::A, kModCtrl, kCmdSelall, "Ctrl+A" },
    { CommandKey::S, kModCtrl, kCmdOwprj, "Ctrl+S" },
    { CommandKey::S, kModCtrl | kModShift, kCmdSaveprj, "Ctrl+Shift+S" },
    { CommandKey::O, kModCtrl, kCmdOpenprj, "Ctrl+O" },
    { CommandKey::N, kModCtrl, kCmdCloseprj, "Ctrl+N" },
};

std::optional<int32_t> CommandForCtrlLetter(CommandKey pKey, int pModifiers)
{
    for (const CtrlLetter& c : kCtrlLetters)
        if (c.Key == pKey && c.Modifiers == pModifiers)
            return c.Command;
    return std::nullopt;
}

} // namespace

std::string KeyTextOfCommand(int32_t pId, const KeyAssignment& pAssignment)
{
    for (size_t i = 0; i < pAssignment.FKeyCommands.size(); ++i)
        if (pAssignment.FKeyCommands[i] == pId && pId != kCmdNone)
            return "F" + std::to_string(i + 1);
    if (pId == pAssignment.SpaceCommand)
        return "Space";
    for (const CtrlLetter& c : kCtrlLetters)
        if (c.Command == pId)
            return c.Text;
    switch (pId) {
    case kCmdStop:
        return "Esc";
    case kCmdMoveHome:
        return "Home";
    case kCmdMoveLeft:
        return "Left";
    case kCmdMoveRight:
        return "Right";
    case kCmdTrackUp:
        return "Up";
    case kCmdTrackDown:
        return "Down";
    case kCmdScrubOnoff:
        return "Ctrl+J";
    case kCmdZoomPlus:
        return "+";
    case kCmdZoomMinus:
        return "-";
    default:
        return {};
    }
}

std::optional<int32_t> CommandForKey(
    CommandKey pKey, int pModifiers, const KeyAssignment& pAssignment, bool pPlaying)
{
    const int code = static_cast<int>(pKey);
    if (code >= static_cast<int>(CommandKey::F1) && code <= static_cast<int>(CommandKey::F12))
        return pAssignment
            .FKeyCommands[static_cast<size_t>(code - static_cast<int>(CommandKey::F1))];
    switch (pKey) {
    case CommandKey::Escape:
        return kCmdStop;
    case CommandKey::Space:
        // Only a Space bound to PLAY_WHOLE toggles; PLAY restarts the run.
        if (pAssignment.SpaceCommand == kCmdPlayWhole && pPlaying)
            return kCmdStop;
        return pAssignment.SpaceCommand;
    case CommandKey::Home:
        return kCmdMoveHome;
    case CommandKey::Left:
        if (pModifiers == 0)
            return kCmdMoveLeft;
        if (pModifiers == kModShift)
            return kCmdScrubMinus;
        return std::nullopt;
    case CommandKey::Right:
        if (pModifiers == 0)
            return kCmdMoveRight;
        if (pModifiers == kModShift)
            return kCmdScrubPlus;
        return std::nullopt;
    case CommandKey::Up:
        return kCmdTrackUp;
    case CommandKey::Down:
        return kCmdTrackDown;
    case CommandKey::J:
        if (pModifiers == kModCtrl)
            return kCmdScrubOnoff;
        return std::nullopt;
    case CommandKey::KeypadPlus:
    case CommandKey::Plus:
        if (pModifiers == kModShift)
            return kCmdZoomvPlus;
        if (pModifiers == kModCtrl)
            return kCmdZoomlPlus;
        return kCmdZoomPlus;
    case CommandKey::KeypadMinus:
    case CommandKey::Minus:
        if (pModifiers == kModShift)
            return kCmdZoomvMinus;
        if (pModifiers == kModCtrl)
            return kCmdZoomlMinus;
        return kCmdZoomMinus;
    default:
        return CommandForCtrlLetter(pKey, pModifiers);
    }
}

bool KeyIsConsumedAfterRelease(CommandKey pKey)
{
    return pKey == CommandKey::F4 || pKey == CommandKey::F10;
}

int32_t CommandForWheel(bool pTowardsUser)
{
    return pTowardsUser ? kCmdScrubPlusw : kCmdScrubMinusw;
}

std::optional<int32_t> KeyboardState::KeyUp(
    CommandKey pKey, int pModifiers, const KeyAssignment& pAssignment, bool pPlaying)
{
    lastKeyDown_ = CommandKey::None;
    if (pKey == CommandKey::Space && spaceUsed_) {
        spaceUsed_ = false;
        return std::nullopt;
    }
    return CommandForKey(pKey, pModifiers, pAssignment, pPlaying);
}

bool KeyboardState::MouseDownInTracks()
{
    if (lastKeyDown_ != CommandKey::Space)
        return false;
    spaceUsed_ = true;
    return true;
}

} // namespace tarvok
