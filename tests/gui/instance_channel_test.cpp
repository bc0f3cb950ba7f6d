#include "gui/instance_channel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QUuid>

#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

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

TEST(InstanceChannel, DefaultSocketLiesInThisUsersPrivateFolder)
{
    test::TempDir runtime;
    const char* old = std::getenv("XDG_RUNTIME_DIR");
    const std::string saved = old ? old : "";
    ::setenv("XDG_RUNTIME_DIR", runtime.Path().c_str(), 1);
    const QString name = InstanceChannel::DefaultName();
    if (old)
        ::setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
    else
        ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(name, QString::fromStdString(runtime.File("tarvok2/instance")));
}

TEST(InstanceChannel, AnInstanceOfAnotherUserIsNeverHandedTheCommandLine)
{
    if (::getuid() != 0)
        GTEST_SKIP() << "only the superuser can run a listener as another user";
    test::TempDir dir;
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0777), 0);
    const std::string path = dir.File("planted");
    int ready[2];
    int told[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(told), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Another user plants a listener under the name and reports how many bytes it got.
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(2);
        const int server = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        if (::bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
            || ::chmod(path.c_str(), 0777) != 0 || ::listen(server, 1) != 0)
            ::_exit(3);
        char byte = 1;
        (void)!::write(ready[1], &byte, 1);
        const int client = ::accept(server, nullptr, nullptr);
        char buffer[256];
        ssize_t total = 0;
        for (ssize_t got = 1; got > 0; total += got)
            got = ::read(client, buffer, sizeof buffer);
        const char count = static_cast<char>(total > 0 ? (total < 100 ? total : 100) : 0);
        (void)!::write(told[1], &count, 1);
        ::_exit(0);
    }
    ::close(ready[1]);
    ::close(told[1]);
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1) << "the planted listener did not start";
    InstanceChannel second(QString::fromStdString(path));
    EXPECT_FALSE(second.HandToRunning(QStringLiteral("/music/secret.tvp")));
    char received = -1;
    EXPECT_EQ(::read(told[0], &received, 1), 1);
    EXPECT_EQ(received, 0) << "the command line reached another user's listener";
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ::close(ready[0]);
    ::close(told[0]);
}

} // namespace tarvok
