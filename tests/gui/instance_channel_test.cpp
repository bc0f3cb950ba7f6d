#include "gui/instance_channel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QUuid>

#include <gtest/gtest.h>

namespace tarvok {

namespace {

QString UniqueName()
{
    return QStringLiteral("tarvok2-test-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
}

/// Runs the event loop until pDone or the deadline; the hand-over needs a few passes.
template <class F> void PumpUntil(F pDone)
{
    QElapsedTimer timer;
    timer.start();
    while (!pDone() && timer.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
}

} // namespace

TEST(InstanceChannel, WithoutARunningInstanceNothingIsHandedOver)
{
    InstanceChannel lonely(UniqueName());
    EXPECT_FALSE(lonely.HandToRunning(QStringLiteral("song.tvp")));
}

TEST(InstanceChannel, SecondInstanceHandsItsCommandLineToTheFirst)
{
    const QString name = UniqueName();
    InstanceChannel first(name);
    ASSERT_TRUE(first.Listen());
    InstanceChannel second(name);
    EXPECT_TRUE(second.HandToRunning(QStringLiteral("/music/a b.tvp")));
    QString received;
    PumpUntil([&] {
        received += first.Take();
        return !received.isEmpty();
    });
    EXPECT_EQ(received, QStringLiteral("/music/a b.tvp"));
    EXPECT_TRUE(first.Take().isEmpty()) << "taken once";
}

TEST(InstanceChannel, EmptyCommandLineEndsWithoutSending)
{
    const QString name = UniqueName();
    InstanceChannel first(name);
    ASSERT_TRUE(first.Listen());
    InstanceChannel second(name);
    EXPECT_TRUE(second.HandToRunning(QString()));
    for (int i = 0; i < 20; ++i)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_TRUE(first.Take().isEmpty());
}

} // namespace tarvok
