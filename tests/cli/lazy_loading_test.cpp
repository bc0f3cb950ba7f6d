// The built tarvok2-cli, run as a program: a command that needs no outside library maps
// none of them, and a module that cannot be found disables its feature with a message.
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace tarvok {
namespace {

struct ProgramRun {
    int Code = -1; ///< the exit status; -1 when it did not exit normally
    std::string Output; ///< standard output and standard error together
};

/// Runs tarvok2-cli with pArgs and the variables pEnv added to this process's environment.
ProgramRun RunCliProgram(const std::vector<std::string>& pArgs,
    const std::vector<std::pair<std::string, std::string>>& pEnv)
{
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return {};
    const pid_t child = ::fork();
    if (child == 0) {
        for (const auto& [name, value] : pEnv)
            ::setenv(name.c_str(), value.c_str(), 1);
        ::dup2(pipeFds[1], STDOUT_FILENO);
        ::dup2(pipeFds[1], STDERR_FILENO);
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        std::vector<char*> argv { const_cast<char*>(TARVOK2_CLI_EXE) };
        for (const std::string& arg : pArgs)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        ::execv(TARVOK2_CLI_EXE, argv.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    ProgramRun run;
    char buffer[4096];
    ssize_t got = 0;
    while ((got = ::read(pipeFds[0], buffer, sizeof buffer)) > 0)
        run.Output.append(buffer, static_cast<size_t>(got));
    ::close(pipeFds[0]);
    int status = 0;
    if (child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status))
        run.Code = WEXITSTATUS(status);
    return run;
}

TEST(LazyLoading, ASettingsCommandMapsNoCodecNetworkCdOrSoundLibrary)
{
    const test::ScopedHome home;
    const ProgramRun run
        = RunCliProgram({ "settings", "get", "nFreq" }, { { "LD_DEBUG", "files" } });
    ASSERT_EQ(run.Code, 0) << run.Output;
    // The dynamic loader reported the libraries it initialised.
    ASSERT_NE(run.Output.find("calling init:"), std::string::npos) << run.Output;
    for (const char* library :
        { "libavcodec", "libavformat", "libswresample", "libmp3lame", "libcurl", "libcdio",
            "librubberband", "libebur128", "libportaudio", "libjack", "libasound" }) {
        SCOPED_TRACE(library);
        EXPECT_EQ(run.Output.find(library), std::string::npos);
    }
}

TEST(LazyLoading, AMissingModuleIsReportedAndTheCommandStillEnds)
{
    const test::ScopedHome home;
    const test::TempDir empty;
    struct Case {
        std::vector<std::string> Args;
        std::string Warning;
        int Code;
    };
    const Case kCases[] = {
        { { "devices" },
            "tarvok2-cli: warning: Sound output is not available: PortAudio (libportaudio) could "
            "not be loaded (tarvok2-portaudio.so is not in ",
            1 },
        { { "cd", "list" },
            "tarvok2-cli: warning: CD access is not available: libcdio could not be loaded "
            "(tarvok2-cdio.so is not in ",
            0 },
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.Args.front());
        const ProgramRun run = RunCliProgram(c.Args, { { "TARVOK2_MODULE_DIR", empty.Path() } });
        EXPECT_EQ(run.Code, c.Code) << run.Output;
        EXPECT_NE(run.Output.find(c.Warning + empty.Path() + ")"), std::string::npos) << run.Output;
    }
}

TEST(LazyLoading, TheProgramOfTheBuildTreeFindsItsModules)
{
    // No module folder is given: the program finds the modules of its own build, also under
    // the sanitizers, whose dlopen does not see the program's run path.
    const test::ScopedHome home;
    const ProgramRun run = RunCliProgram({ "cd", "list" }, {});
    EXPECT_EQ(run.Code, 0) << run.Output;
    EXPECT_EQ(run.Output.find("could not be loaded"), std::string::npos) << run.Output;
}

} // namespace
} // namespace tarvok
