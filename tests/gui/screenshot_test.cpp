#include "gui/dialogs/window_registry.h"
#include "support/temp_dir.h"

#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

namespace tarvok {

namespace {

/// Runs the program with pArgs in a fresh home folder; its exit code.
int RunProgram(const test::ScopedHome& pHome, const QStringList& pArgs, QString* pErrors = nullptr)
{
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), QString::fromStdString(pHome.Dir().Path()));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(TARVOK2_EXE), pArgs);
    if (!program.waitForFinished(120000))
        return -1;
    if (pErrors)
        *pErrors = QString::fromUtf8(program.readAllStandardError());
    return program.exitCode();
}

} // namespace

TEST(Screenshot, MainWindowIsWrittenAsAPng)
{
    test::ScopedHome home;
    const QString file = QString::fromStdString(home.Dir().File("main.png"));
    QString errors;
    ASSERT_EQ(RunProgram(home, { QStringLiteral("--screenshot"), file }, &errors), 0)
        << errors.toStdString();
    const QImage image(file);
    ASSERT_FALSE(image.isNull());
    EXPECT_GE(image.width(), 922);
    EXPECT_GE(image.height(), 695);
    // Not a blank picture: the lanes and the bottom row differ in colour.
    EXPECT_NE(image.pixelColor(image.width() / 2, image.height() / 3),
        image.pixelColor(10, image.height() - 20));
}

TEST(Screenshot, SizeRateTwoShowsTheControlsAtTwiceTheSize)
{
    // The lowest row of the main window that still shows the lanes' colour: the larger the
    // controls below, the higher it lies.
    auto lowestLaneRow = [](const QString& pRate) {
        test::ScopedHome home;
        std::filesystem::create_directories(home.ConfigHome() + "/lumora");
        EXPECT_TRUE(test::WriteFileBytes(
            home.ConfigHome() + "/lumora/tarvok2.ini", "SizeRate=" + pRate.toStdString() + "\n"));
        const QString file = QString::fromStdString(home.Dir().File("rate.png"));
        QString errors;
        EXPECT_EQ(RunProgram(home, { QStringLiteral("--screenshot"), file }, &errors), 0)
            << errors.toStdString();
        const QImage image(file);
        EXPECT_FALSE(image.isNull());
        if (image.isNull())
            return -1;
        const int x = image.width() / 2;
        // The lanes' colour: the commonest one in the upper part of the middle column.
        std::map<QRgb, int> counts;
        for (int y = image.height() / 8; y < image.height() / 3; ++y)
            ++counts[image.pixel(x, y)];
        const QRgb lane = std::max_element(counts.begin(), counts.end(), [](auto& a, auto& b) {
            return a.second < b.second;
        })->first;
        for (int y = image.height() - 1; y > 0; --y)
            if (image.pixel(x, y) == lane)
                return y;
        return -1;
    };
    const int one = lowestLaneRow(QStringLiteral("1.0"));
    const int two = lowestLaneRow(QStringLiteral("2.0"));
    ASSERT_GT(one, 0);
    ASSERT_GT(two, 0);
    // The bottom row is 196 pixels high at size 1 and twice that at size 2.
    EXPECT_LE(two, one - 150);
}

TEST(Screenshot, EveryNamedWindowIsWrittenAndTheProgramEndsCleanly)
{
    for (const QString& name : NamedWindows()) {
        SCOPED_TRACE(name.toStdString());
        test::ScopedHome home;
        const QString file = QString::fromStdString(home.Dir().File("shot.png"));
        QString errors;
        EXPECT_EQ(RunProgram(home,
                      { QStringLiteral("--screenshot"), file, QStringLiteral("--window"), name },
                      &errors),
            0)
            << errors.toStdString();
        EXPECT_FALSE(QImage(file).isNull());
    }
}

TEST(Screenshot, UnknownWindowNameFails)
{
    test::ScopedHome home;
    const QString file = QString::fromStdString(home.Dir().File("none.png"));
    EXPECT_EQ(RunProgram(home,
                  { QStringLiteral("--screenshot"), file, QStringLiteral("--window"),
                      QStringLiteral("FrmNoSuch") }),
        2);
    EXPECT_FALSE(QFileInfo::exists(file));
}

} // namespace tarvok
