#include "base/i18n.h"
#include "core/paths.h"
#include "gui/qt_ui.h"
#include "gui/translations.h"

#include "gui_app.h"
#include "support/temp_dir.h"

#include <QAbstractItemModel>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLibraryInfo>
#include <QListView>

#include <gtest/gtest.h>

#include <string>

namespace tarvok {
namespace {

TEST(QtUi, FiltersBecomeFileDialogFilters)
{
    struct Case {
        const char* Given;
        const char* Expected;
    };
    const Case cases[] = {
        { "", "すべてのファイル (*)" },
        { "*.wav;*.mp3", "*.wav *.mp3 (*.wav *.mp3);;すべてのファイル (*)" },
        { "tarvokプロジェクトファイル|*.tvp",
            "tarvokプロジェクトファイル (*.tvp);;すべてのファイル (*)" },
        { "WAV|*.wav|MP3|*.mp3;*.mp2", "WAV (*.wav);;MP3 (*.mp3 *.mp2);;すべてのファイル (*)" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Given);
        EXPECT_EQ(DialogFilter(c.Given).toStdString(), c.Expected);
    }
}

TEST(QtUi, ProgressPercentReadsTheWholeNumber)
{
    struct Case {
        const char* Text;
        int Percent;
    };
    const Case cases[] = {
        { "波形抽出 42%", 42 },
        { "波形抽出 64.4%", 64 },
        { "波形抽出 100.0%", 100 },
        { "波形抽出 0.9%", 0 },
        { "処理終了", -1 },
        { "1234%", -1 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Text);
        EXPECT_EQ(MessagePercent(QString::fromUtf8(c.Text)), c.Percent);
    }
}

/// The file names a file dialog lists once its folder has been read.
QStringList ListedNames(QFileDialog& pDialog)
{
    QStringList names;
    auto* view = pDialog.findChild<QListView*>(QStringLiteral("listView"));
    if (view == nullptr || view->model() == nullptr)
        return names;
    QElapsedTimer timer;
    timer.start();
    const QModelIndex root = view->rootIndex();
    while (timer.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (view->model()->rowCount(view->rootIndex()) > 0 && view->rootIndex() == root)
            break;
    }
    for (int row = 0; row < view->model()->rowCount(view->rootIndex()); ++row)
        names << view->model()->index(row, 0, view->rootIndex()).data().toString();
    return names;
}

TEST(QtUi, TheProjectFilterListsProjectsInTheOpenDialog)
{
    test::EnsureApp();
    test::TempDir dir;
    ASSERT_TRUE(test::WriteFileBytes(dir.File("song.tvp"), "x"));
    ASSERT_TRUE(test::WriteFileBytes(dir.File("take.wav"), "x"));
    QFileDialog dialog(nullptr, QString(), QString::fromStdString(dir.Path()),
        DialogFilter("tarvokプロジェクトファイル|*.tvp"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.show();
    const QStringList names = ListedNames(dialog);
    EXPECT_TRUE(names.contains(QStringLiteral("song.tvp"))) << names.join(',').toStdString();
    EXPECT_FALSE(names.contains(QStringLiteral("take.wav"))) << names.join(',').toStdString();
}

TEST(QtUi, QtsOwnDialogTextsAreJapanese)
{
    test::EnsureApp();
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!QFile::exists(folder + QStringLiteral("/qtbase_ja.qm")))
        GTEST_SKIP() << "Qt's Japanese translations are not installed";
    const QString english = QStringLiteral("Look in:");
    ASSERT_EQ(QCoreApplication::translate("QFileDialog", "Look in:"), english);
    {
        QObject owner;
        EXPECT_GE(InstallTranslations(owner), 1);
        EXPECT_NE(QCoreApplication::translate("QFileDialog", "Look in:"), english);
    }
    EXPECT_EQ(QCoreApplication::translate("QFileDialog", "Look in:"), english);

    // In English, Qt keeps its own English texts.
    ASSERT_TRUE(SetLanguage(Language::English, EnglishCatalogueFile()));
    {
        QObject owner;
        EXPECT_EQ(InstallTranslations(owner), 0);
        EXPECT_EQ(QCoreApplication::translate("QFileDialog", "Look in:"), english);
    }
    SetLanguage(Language::Japanese);
}

} // namespace
} // namespace tarvok
