#include "gui/dialogs/frm_fx.h"

#include "core/command_ids.h"
#include "core/project.h"
#include "core/project_file.h"
#include "fx/time_pitch_engine.h"
#include "gui/dialogs/dialog_commands.h"
#include "gui/gui_context.h"
#include "gui_app.h"
#include "support/logic_fixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace tarvok {

namespace {

void WhenModal(std::function<void(QWidget&)> pAct)
{
    QTimer::singleShot(0, [pAct] {
        QWidget* modal = QApplication::activeModalWidget();
        ASSERT_NE(modal, nullptr);
        pAct(*modal);
    });
}

template <class T> T* Child(QWidget& pParent, const char* pName)
{
    T* w = pParent.findChild<T*>(QString::fromLatin1(pName));
    EXPECT_NE(w, nullptr) << pName;
    return w;
}

/// An engine that passes the signal through unchanged and counts its streams.
struct PassEngine : TimePitchEngine {
    struct Stream : TimePitchStream {
        std::vector<float> Held;
        bool Final = false;
        bool Push(const float* pFrames, int64_t pCount, bool pFinal) override
        {
            Held.insert(Held.end(), pFrames, pFrames + pCount * 2);
            Final = Final || pFinal;
            return true;
        }
        int64_t Pull(float* pOut, int64_t pMax) override
        {
            const int64_t n = std::min<int64_t>(pMax, static_cast<int64_t>(Held.size() / 2));
            std::copy_n(Held.begin(), n * 2, pOut);
            Held.erase(Held.begin(), Held.begin() + n * 2);
            return n;
        }
        bool Finished() const override { return Final && Held.empty(); }
    };
    std::unique_ptr<TimePitchStream> Open(const TimePitchRequest&) override
    {
        ++Opened;
        return std::make_unique<Stream>();
    }
    int Opened = 0;
};

} // namespace

TEST(FrmFX, QualityChoiceOfTimeStretchRendersThroughTheEngine)
{
    test::EnsureApp();
    test::LogicFixture f;
    ASSERT_GE(f.AddBlock("a.wav", 0, 0, 4000), 0);
    Project& p = f.Logic.Proj();
    p.Tracks[0].Selected = 1;
    p.MarkIn = 0;
    p.MarkOut = 4000;
    GuiContext context { f.Logic };
    // Without an engine the choice is shown but cannot be changed; octave has none.
    for (const auto& [id, shown, enabled] : { std::tuple { kCmdFxTimeStretch, true, false },
             std::tuple { kCmdFxOctave, false, false } }) {
        FrmFX window(context, id);
        auto* combo = window.findChild<QComboBox*>(QStringLiteral("ComboQuality"));
        EXPECT_EQ(combo != nullptr, shown) << id;
        if (combo) {
            EXPECT_EQ(combo->isEnabled(), enabled) << id;
        }
    }
    PassEngine engine;
    f.Logic.SetTimePitchEngine(&engine);
    WhenModal([](QWidget& pDialog) {
        auto* combo = Child<QComboBox>(pDialog, "ComboQuality");
        ASSERT_NE(combo, nullptr);
        EXPECT_TRUE(combo->isEnabled());
        EXPECT_EQ(combo->currentIndex(), 0);
        combo->setCurrentIndex(1);
        QTest::mouseClick(Child<QPushButton>(pDialog, "OKButton"), Qt::LeftButton);
    });
    std::optional<bool> ran = RunDialogCommand(kCmdFxTimeStretch, context, nullptr);
    ASSERT_TRUE(ran.has_value());
    EXPECT_TRUE(*ran);
    EXPECT_EQ(engine.Opened, 1);
    ASSERT_EQ(p.BlockCount(), 1);
    EXPECT_EQ(p.Blocks[0].EndAdr - p.Blocks[0].StartAdr + 1, 4000);
    f.Logic.SetTimePitchEngine(nullptr);
}

TEST(FrmFX, OkAppliesTheFadersShownToTheSelection)
{
    test::EnsureApp();
    test::LogicFixture f;
    const int32_t block = f.AddBlock("a.wav", 0, 0, 4000);
    ASSERT_GE(block, 0);
    Project& p = f.Logic.Proj();
    p.Tracks[0].Selected = 1;
    p.MarkIn = 0;
    p.MarkOut = 4000;
    const int32_t wave = p.Blocks[static_cast<size_t>(block)].WaveNo;
    const std::string oldFile = p.WaveFiles[static_cast<size_t>(wave)].FileName;
    GuiContext context { f.Logic };
    WhenModal([](QWidget& pDialog) {
        EXPECT_EQ(pDialog.objectName(), QStringLiteral("FrmFX"));
        EXPECT_EQ(pDialog.windowTitle(), QStringLiteral("アンプリファイ"));
        // With Link on, moving L moves R too.
        QTest::mouseClick(Child<QWidget>(pDialog, "CheckOPT0"), Qt::LeftButton);
        Child<QSlider>(pDialog, "SliderValue0")->setValue(-6);
        EXPECT_EQ(Child<QSlider>(pDialog, "SliderValue1")->value(), -6);
        EXPECT_EQ(Child<QLabel>(pDialog, "TextValue1")->text(), QStringLiteral("-6"));
        QTest::mouseClick(Child<QPushButton>(pDialog, "OKButton"), Qt::LeftButton);
    });
    std::optional<bool> ran = RunDialogCommand(kCmdFxAmplify, context, nullptr);
    ASSERT_TRUE(ran.has_value());
    EXPECT_TRUE(*ran);
    ASSERT_EQ(p.BlockCount(), 1);
    const std::string newFile = p.WaveFiles[static_cast<size_t>(p.Blocks[0].WaveNo)].FileName;
    EXPECT_NE(newFile, oldFile);
    EXPECT_EQ(p.CheckInvariants(), "");
}

TEST(FrmFX, InvalidValuesKeepTheWindowOpenAndCancelChangesNothing)
{
    test::EnsureApp();
    test::LogicFixture f;
    ASSERT_GE(f.AddBlock("a.wav", 0, 0, 4000), 0);
    Project& p = f.Logic.Proj();
    p.Tracks[0].Selected = 1;
    p.MarkIn = 0;
    p.MarkOut = 4000;
    const std::string before = ProjectFileText(p);
    GuiContext context { f.Logic };
    bool stayedOpen = false;
    WhenModal([&](QWidget& pDialog) {
        auto* box = Child<QLineEdit>(pDialog, "TextTime");
        EXPECT_EQ(box->text(), QStringLiteral("1000"));
        box->selectAll();
        QTest::keyClicks(box, QStringLiteral("5"));
        QTest::mouseClick(Child<QPushButton>(pDialog, "OKButton"), Qt::LeftButton);
        stayedOpen = pDialog.isVisible();
        QTest::keyClick(&pDialog, Qt::Key_Escape);
    });
    std::optional<bool> ran = RunDialogCommand(kCmdFxSign, context, nullptr);
    ASSERT_TRUE(ran.has_value());
    EXPECT_FALSE(*ran);
    EXPECT_TRUE(stayedOpen);
    ASSERT_FALSE(f.Ui.BoxTexts().empty());
    EXPECT_EQ(f.Ui.BoxTexts().back(), "20～20000の値を入力してください");
    EXPECT_EQ(ProjectFileText(p), before);
}

TEST(FrmFX, ValuePanelsFollowTheDisplayRulesAndPreviewIsMade)
{
    test::EnsureApp();
    test::LogicFixture f;
    ASSERT_GE(f.AddBlock("a.wav", 0, 0, 44100 * 8), 0);
    Project& p = f.Logic.Proj();
    p.Tracks[0].Selected = 1;
    p.MarkIn = 0;
    p.MarkOut = 44100 * 8;
    p.SelectedBlock = 0;
    GuiContext context { f.Logic };
    FrmFX window(context, kCmdFxHcFilter);
    window.show();
    EXPECT_EQ(
        window.findChild<QLabel*>(QStringLiteral("TextValue0"))->text(), QStringLiteral("630"));
    window.Fader(0)->setValue(860);
    EXPECT_EQ(
        window.findChild<QLabel*>(QStringLiteral("TextValue0"))->text(), QStringLiteral("19900"));

    FrmFX delay(context, kCmdFxDelay);
    delay.show();
    delay.findChild<QSlider*>(QStringLiteral("SliderPreviewSec"))->setValue(5);
    QTest::mouseClick(
        delay.findChild<QPushButton*>(QStringLiteral("PreviewButton")), Qt::LeftButton);
    EXPECT_EQ(delay.findChild<QLabel*>(QStringLiteral("TextMessage"))->text(),
        QStringLiteral("作成完了"));
}

} // namespace tarvok

namespace tarvok {

TEST(FrmFX, NormaliseOffersLufsBesideRmsAndTheMeterSwitchesToRms)
{
    test::EnsureApp();
    test::LogicFixture f;
    ASSERT_GE(f.AddBlock("a.wav", 0, 0, 4000), 0);
    Project& p = f.Logic.Proj();
    p.Tracks[0].Selected = 1;
    p.MarkIn = 0;
    p.MarkOut = 4000;
    GuiContext context { f.Logic };
    FrmFX window(context, kCmdFxNorm);
    window.show();
    auto* rms = window.findChild<QCheckBox*>(QStringLiteral("CheckOPT0"));
    auto* lufs = window.findChild<QCheckBox*>(QStringLiteral("CheckOPT1"));
    ASSERT_NE(rms, nullptr);
    ASSERT_NE(lufs, nullptr);
    EXPECT_EQ(lufs->text(), QStringLiteral("LUFS"));
    QTest::mouseClick(rms, Qt::LeftButton);
    QTest::mouseClick(lufs, Qt::LeftButton);
    EXPECT_TRUE(lufs->isChecked());
    EXPECT_FALSE(rms->isChecked()) << "one measuring mode at a time";

    auto* meter = window.findChild<QWidget*>(QStringLiteral("PictureMVU"));
    ASSERT_NE(meter, nullptr);
    EXPECT_FALSE(window.MeterShowsRms());
    QTest::mouseClick(meter, Qt::LeftButton);
    EXPECT_TRUE(window.MeterShowsRms());
    QTest::mouseClick(meter, Qt::LeftButton);
    EXPECT_FALSE(window.MeterShowsRms());
}

} // namespace tarvok

#include "app/transport/transport.h"
#include "support/started_logic.h"
#include "window_fixture.h"

namespace tarvok {

TEST(FrmFX, StoppingThePreviewLeavesTheTransportStopped)
{
    test::WindowFixture f(SoundDevices::Virtual);
    ASSERT_NE(f.Session->Context.Transport, nullptr);
    const std::string samples(static_cast<size_t>(44100 * 4) * 4, '\x10');
    ASSERT_GE(test::AddBlockWithFile(f.Logic(), samples, 0, 0), 0);
    Project& p = f.Proj();
    p.Tracks[0].Selected = 1;
    p.MarkIn = 0;
    p.MarkOut = 44100 * 4;
    p.SelectedBlock = 0;
    FrmFX delay(f.Session->Context, kCmdFxDelay);
    delay.show();
    delay.findChild<QSlider*>(QStringLiteral("SliderPreviewSec"))->setValue(5);
    auto* preview = delay.findChild<QPushButton*>(QStringLiteral("PreviewButton"));
    QTest::mouseClick(preview, Qt::LeftButton);
    Transport& transport = *f.Session->Context.Transport;
    ASSERT_EQ(transport.State(), Motion::Previewing);
    QTest::mouseClick(preview, Qt::LeftButton);
    EXPECT_EQ(transport.State(), Motion::Stopped);
    EXPECT_EQ(transport.Mode(), PlayMode::Stopped);
    EXPECT_FALSE(transport.IsRunning());
}

TEST(FrmFX, EveryFaderShowsItsUnitUnderItsValue)
{
    struct Case {
        int32_t Effect;
        int Fader;
        const char* Unit;
    };
    const Case cases[] = {
        { kCmdFxDelay, 0, "ms" }, // 遅延
        { kCmdFxDelay, 1, "%" }, // レベル
        { kCmdFxReverb, 0, "" }, // the room's size, not a time
        { kCmdFxLimiter, 1, "ms" }, // リリースT
        { kCmdFxLimiter, 3, "dB" }, // レベル -15..15
        { kCmdFxHcFilter, 0, "Hz" }, // 帯域, shown as a frequency
        { kCmdFxGeq, 0, "dB" }, // a band
        { kCmdFxSign, 0, "dB" }, // レベル -60..0
        { kCmdFxPitchShift, 0, "半音" }, { kCmdFxPitchShift, 1, "" }, // 微調整
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Effect << " fader " << c.Fader);
        const FxInfo* info = FindEffect(c.Effect);
        ASSERT_NE(info, nullptr);
        ASSERT_LT(static_cast<size_t>(c.Fader), info->Faders.size());
        EXPECT_EQ(FaderUnit(c.Effect, info->Faders[static_cast<size_t>(c.Fader)]),
            QString::fromUtf8(c.Unit));
    }
    test::EnsureApp();
    test::LogicFixture f;
    ASSERT_GE(f.AddBlock("a.wav", 0, 0, 44100), 0);
    f.Logic.Proj().Tracks[0].Selected = 1;
    f.Logic.Proj().MarkOut = 44100;
    GuiContext context { f.Logic };
    FrmFX delay(context, kCmdFxDelay);
    delay.show();
    auto* unit = delay.findChild<QLabel*>(QStringLiteral("LabelUnit0"));
    ASSERT_NE(unit, nullptr);
    EXPECT_EQ(unit->text(), QStringLiteral("ms"));
    EXPECT_TRUE(unit->isVisible());
    ASSERT_TRUE(test::SaveShot(delay, "FrmFXUnits"));
}

} // namespace tarvok
