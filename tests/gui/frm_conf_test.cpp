#include "gui/dialogs/frm_conf.h"

#include "core/command_ids.h"
#include "engine/playback_engine.h"
#include "engine/virtual_wave_device.h"
#include "gui/gui_context.h"
#include "gui_app.h"
#include "support/logic_fixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollArea>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>

#include <gtest/gtest.h>

namespace tarvok {

TEST(FrmConf, OkStoresTheChangedSettingsAndBindings)
{
    test::EnsureApp();
    test::LogicFixture f;
    GuiContext context { f.Logic };
    KeyAssignment keys = DefaultKeyAssignment();
    FrmConf window(context, &keys);
    window.show();
    ASSERT_TRUE(test::SaveShot(window, "FrmConf"));

    auto* step = window.findChild<QLineEdit*>(QStringLiteral("TextSampleStep"));
    ASSERT_NE(step, nullptr);
    step->selectAll();
    QTest::keyClicks(step, QStringLiteral("5"));
    auto* trim = window.findChild<QLineEdit*>(QStringLiteral("TextTrimDB0"));
    ASSERT_NE(trim, nullptr);
    trim->setText(QStringLiteral("-55"));

    for (int tab : { 1, 2 }) {
        window.Tabs()->setCurrentIndex(tab);
        ASSERT_TRUE(test::SaveShot(window, QStringLiteral("FrmConfTab%1").arg(tab)));
    }
    window.Tabs()->setCurrentIndex(3);
    auto* keyTable = window.findChild<QTableWidget*>(QStringLiteral("LVSC"));
    ASSERT_NE(keyTable, nullptr);
    ASSERT_EQ(keyTable->rowCount(), 13);
    EXPECT_EQ(keyTable->item(12, 0)->text(), QStringLiteral("space"));
    auto* f5 = qobject_cast<QComboBox*>(keyTable->cellWidget(4, 1));
    ASSERT_NE(f5, nullptr);
    EXPECT_EQ(f5->count(), 139);
    f5->setCurrentText(
        QString::fromStdString(std::string(GetCommandText(kCmdMixdown, kCommandDescription))));

    window.Tabs()->setCurrentIndex(4);
    ASSERT_TRUE(test::SaveShot(window, "FrmConfToolbar"));
    auto* toolbar = window.findChild<QTableWidget*>(QStringLiteral("LVSCToolbar"));
    ASSERT_NE(toolbar, nullptr);
    EXPECT_EQ(toolbar->rowCount(), 16);
    toolbar->selectRow(0);
    QTest::mouseClick(
        window.findChild<QPushButton*>(QStringLiteral("ButtonDelete")), Qt::LeftButton);
    EXPECT_EQ(toolbar->rowCount(), 15);
    EXPECT_EQ(toolbar->item(0, 0)->text(), QStringLiteral("ボタン1"));
    QTest::mouseClick(
        window.findChild<QCheckBox*>(QStringLiteral("CheckShowToolBar")), Qt::LeftButton);

    QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("ButtonOK")), Qt::LeftButton);
    EXPECT_EQ(window.result(), QDialog::Accepted);
    EXPECT_EQ(f.Store.GetSetting("SampleStep", int32_t { 0 }), 10);
    EXPECT_EQ(f.Store.GetSetting("PlayTrimDB", 0.0f), -40.0f);
    EXPECT_EQ(f.Store.GetSetting("fkeyfct-05", ""), "MIXDOWN");
    EXPECT_EQ(keys.FKeyCommands[4], kCmdMixdown);
    EXPECT_EQ(keys.ToolbarCount, 15);
    EXPECT_EQ(f.Store.GetSetting("NumTBFCT", int32_t { 0 }), 15);
    EXPECT_EQ(f.Store.GetSetting("ShowToolBar", int32_t { -1 }), 1);
}

TEST(FrmConf, CancelChangesNothingButThinMarkersAreSavedAtOnce)
{
    test::EnsureApp();
    test::LogicFixture f;
    GuiContext context { f.Logic };
    FrmConf window(context);
    window.show();
    window.findChild<QLineEdit*>(QStringLiteral("TextSampleStep"))->setText(QStringLiteral("300"));
    auto* options = window.findChild<QListWidget*>(QStringLiteral("CheckDispOP"));
    ASSERT_NE(options, nullptr);
    ASSERT_EQ(options->count(), 13);
    EXPECT_EQ(options->item(12)->text(), QStringLiteral("全て元に戻す"));
    options->item(0)->setCheckState(Qt::Checked);
    window.reject();
    EXPECT_FALSE(f.Store.GetRaw("SampleStep").has_value());
    EXPECT_EQ(f.Store.GetSetting("HideMark", int32_t { 0 }), 1);
}

TEST(FrmConf, DeviceTabHasAListPerDeviceAndStoresTheChoice)
{
    test::EnsureApp();
    test::LogicFixture f;
    VirtualWaveOut out(2);
    VirtualWaveIn in(1);
    SystemEngineClock clock;
    PlaybackEngine engine(out, f.Logic.Proj(), f.Ui, f.Logic.Options(), clock);
    GuiContext context { f.Logic, &engine, nullptr, &in };
    FrmConf window(context);
    window.Tabs()->setCurrentIndex(2);
    window.show();
    ASSERT_TRUE(test::SaveShot(window, "FrmConfDevices"));
    auto* slot0 = window.findChild<QComboBox*>(QStringLiteral("ComboOutput0"));
    auto* slot1 = window.findChild<QComboBox*>(QStringLiteral("ComboOutput1"));
    ASSERT_NE(slot0, nullptr);
    ASSERT_NE(slot1, nullptr);
    EXPECT_EQ(window.findChild<QComboBox*>(QStringLiteral("ComboOutput2")), nullptr);
    ASSERT_NE(window.findChild<QComboBox*>(QStringLiteral("ComboInput0")), nullptr);
    EXPECT_EQ(window.findChild<QComboBox*>(QStringLiteral("ComboInput1")), nullptr);
    EXPECT_EQ(slot0->count(), 2);
    EXPECT_TRUE(slot0->currentText().startsWith(QStringLiteral("1 ")));
    EXPECT_TRUE(slot1->currentText().startsWith(QStringLiteral("1 ")));
    slot1->setCurrentIndex(1);
    window.ApplyAndClose();
    EXPECT_EQ(f.Store.GetSetting("DevOutID_2", int32_t { -1 }), 1);
    EXPECT_EQ(f.Logic.Options().DevOutID[1], 1);
}

TEST(FrmConf, ManyDevicesKeepTheirRowsAtNaturalHeightAndTheTabScrolls)
{
    test::EnsureApp();
    test::LogicFixture f;
    VirtualWaveOut out(6);
    VirtualWaveIn in(6);
    SystemEngineClock clock;
    PlaybackEngine engine(out, f.Logic.Proj(), f.Ui, f.Logic.Options(), clock);
    GuiContext context { f.Logic, &engine, nullptr, &in };
    FrmConf window(context);
    window.Tabs()->setCurrentIndex(2);
    window.show();
    QApplication::processEvents();
    ASSERT_TRUE(test::SaveShot(window, "FrmConfSixDevices"));
    const QList<QComboBox*> combos = window.Tabs()->widget(2)->findChildren<QComboBox*>();
    ASSERT_GE(combos.size(), 6);
    for (QComboBox* combo : combos) {
        SCOPED_TRACE(combo->objectName().toStdString());
        EXPECT_GE(combo->height(), combo->minimumSizeHint().height());
        EXPECT_GE(combo->height(), combo->fontMetrics().height());
    }
    EXPECT_NE(qobject_cast<QScrollArea*>(window.Tabs()->widget(2)), nullptr);
}

} // namespace tarvok
