#include "gui/dialogs/window_registry.h"
#include "support/temp_dir.h"

#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

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
