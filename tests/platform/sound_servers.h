#pragma once

// Private sound servers with a real clock, started and ended by the test that needs them:
// a JACK server on the dummy driver, and a PulseAudio server with a null sink behind ALSA
// devices that keep what they play in a file. Each is ended by its own process ID.

#include "support/temp_dir.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#if defined(__SANITIZE_ADDRESS__) && __has_include(<sanitizer/lsan_interface.h>)
#include <sanitizer/lsan_interface.h>
/// ALSA's plugin modules and the JACK client that PortAudio probes keep small
/// allocations for the life of the process; they are not ours to free.
#define TARVOK_IGNORE_LIBRARY_LEAKS __lsan::ScopedDisabler lsanDisabler
#else
#define TARVOK_IGNORE_LIBRARY_LEAKS
#endif

extern char** environ;

namespace tarvok::test {

/// The full path of a program on PATH; empty when there is none.
inline std::string FindProgram(const std::string& pName)
{
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        const size_t end = std::min(dirs.find(':', start), dirs.size());
        const std::string candidate = dirs.substr(start, end - start) + "/" + pName;
        if (end > start && ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return {};
}

/// Starts pArgs[0] with its output into pLog; the process ID, or -1.
inline pid_t SpawnLogged(const std::vector<std::string>& pArgs, const std::string& pLog)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, pLog.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::vector<char*> argv;
    for (const std::string& a : pArgs)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

/// Runs a program to its end; its exit status, or -1.
inline int RunProgram(const std::vector<std::string>& pArgs, const std::string& pLog)
{
    const pid_t pid = SpawnLogged(pArgs, pLog);
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

/// Waits for pDone, checking it now and then, for at most pBound; pDone's last answer.
template <typename Done>
bool WaitFor(Done pDone, std::chrono::seconds pBound = std::chrono::seconds(30))
{
    const auto deadline = std::chrono::steady_clock::now() + pBound;
    while (!pDone()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return pDone();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

/// Sets an environment variable for the life of the object, then puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* pName, const std::string& pValue)
        : name_(pName)
    {
        if (const char* old = std::getenv(pName))
            old_ = old;
        ::setenv(pName, pValue.c_str(), 1);
    }
    ~ScopedEnv()
    {
        if (old_)
            ::setenv(name_.c_str(), old_->c_str(), 1);
        else
            ::unsetenv(name_.c_str());
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

/// A server process ended (SIGTERM, then waited for) when the object goes.
class ScopedServer {
public:
    ScopedServer() = default;
    ~ScopedServer() { Stop(); }
    ScopedServer(const ScopedServer&) = delete;
    ScopedServer& operator=(const ScopedServer&) = delete;

    bool Running() const { return running_; }
    /// Why the server is not running: empty when it is.
    const std::string& Why() const { return why_; }

protected:
    void Stop()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            int status = 0;
            ::waitpid(pid_, &status, 0);
            pid_ = -1;
        }
        running_ = false;
    }

    pid_t pid_ = -1;
    bool running_ = false;
    std::string why_;
};

/// A private JACK server on the dummy driver (a real clock, no hardware) at 44100 Hz under a
/// name of its own, which JACK_DEFAULT_SERVER points every JACK client of the process at
/// while the object lives. Make it before PortAudio is initialised.
class ScopedJackServer : public ScopedServer {
public:
    explicit ScopedJackServer(const TempDir& pDir)
        : name_("tvk" + std::to_string(::getpid()) + "_" + std::to_string(Counter()++))
        , server_("JACK_DEFAULT_SERVER", name_)
        , noReservation_("JACK_NO_AUDIO_RESERVATION", "1")
        , noStart_("JACK_NO_START_SERVER", "1")
    {
        const std::string jackd = FindProgram("jackd");
        const std::string jackWait = FindProgram("jack_wait");
        if (jackd.empty() || jackWait.empty()) {
            why_ = "jackd (package jackd2) is not installed";
            return;
        }
        pid_ = SpawnLogged({ jackd, "-n", name_, "-d", "dummy", "-r", "44100", "-p", "1024" },
            pDir.File("jackd.log"));
        // jack_wait -w returns once the server answers (or fails after -t seconds).
        if (pid_ < 0
            || RunProgram({ jackWait, "-s", name_, "-w", "-t", "30" }, pDir.File("jack_wait.log"))
                != 0) {
            why_ = "the JACK server did not start: " + ReadFileBytes(pDir.File("jackd.log"));
            Stop();
            return;
        }
        running_ = true;
    }
    ~ScopedJackServer() { Stop(); }

    const std::string& Name() const { return name_; }

private:
    static std::atomic<int>& Counter()
    {
        static std::atomic<int> counter { 0 };
        return counter;
    }

    std::string name_;
    ScopedEnv server_;
    ScopedEnv noReservation_;
    ScopedEnv noStart_; ///< no client may start a server of its own
};

/// A private PulseAudio server with one null sink at 44100 Hz (the default sink, its monitor
/// the default source), reached through PULSE_SERVER while the object lives. ALSA devices
/// of type pulse then run on its clock.
class ScopedPulseServer : public ScopedServer {
public:
    explicit ScopedPulseServer(const TempDir& pDir)
        : socket_(pDir.File("pulse-native"))
        , server_("PULSE_SERVER", "unix:" + socket_)
        , runtime_("XDG_RUNTIME_DIR", pDir.File("pulse-runtime"))
    {
        std::filesystem::create_directories(pDir.File("pulse-runtime"));
        const std::string pulseaudio = FindProgram("pulseaudio");
        if (pulseaudio.empty()) {
            why_ = "pulseaudio is not installed";
            return;
        }
        const std::string script = pDir.File("default.pa");
        WriteFileBytes(script,
            "load-module module-null-sink sink_name=nul rate=44100\n"
            "set-default-sink nul\n"
            "set-default-source nul.monitor\n"
            "load-module module-native-protocol-unix auth-anonymous=1 socket="
                + socket_ + "\n");
        pid_ = SpawnLogged({ pulseaudio, "-n", "-F", script, "--daemonize=no",
                               "--exit-idle-time=-1", "--use-pid-file=no", "--disallow-exit" },
            pDir.File("pulseaudio.log"));
        // The socket appears once the server has loaded its modules and listens.
        const bool up = pid_ > 0 && WaitFor([&] {
            struct stat st { };
            return ::stat(socket_.c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
        });
        if (!up) {
            why_ = "the PulseAudio server did not start: "
                + ReadFileBytes(pDir.File("pulseaudio.log"));
            Stop();
            return;
        }
        running_ = true;
    }
    ~ScopedPulseServer() { Stop(); }

    /// ALSA configuration text for a playback device pName that keeps what it plays in
    /// pRawFile and plays it on this server's clock.
    static std::string PlaybackDevice(const std::string& pName, const std::string& pRawFile)
    {
        return "pcm." + pName + " {\n  type file\n  slave.pcm { type pulse }\n  file \"" + pRawFile
            + "\"\n  format \"raw\"\n}\n";
    }

private:
    std::string socket_;
    ScopedEnv server_;
    ScopedEnv runtime_;
};

} // namespace tarvok::test
