#pragma once

// A saved project for the command-line tests: a temporary home, its data folder and "p.tvp"
// in it with one block, run through the command line and read back as a fresh process would.

#include "app/shell/main_logic.h"
#include "cli/cli_app.h"
#include "core/headless_ui.h"
#include "core/project_file.h"
#include "core/settings.h"
#include "support/started_logic.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

namespace tarvok::test {

/// What one command-line run printed and returned.
struct CliRun {
    int Code;
    std::string Out;
    std::string Err;
};

struct CliProject {
    ScopedHome Home;
    std::string Data;
    std::string ProjectPath;

    /// Saves "p.tvp" with one block of pWaveBytes (16-bit stereo) on track pTrack at frame
    /// pAt; a pSampleRate other than 0 sets the project's rate first.
    CliProject(const std::string& pWaveBytes, int32_t pTrack, int32_t pAt, int32_t pSampleRate = 0)
    {
        MemorySettingsBackend backend;
        Settings store(backend);
        HeadlessUi ui;
        MainLogic logic(store, ui);
        logic.SetDataFolderOverride(Home.Dir().File("data"));
        EXPECT_TRUE(logic.Startup(""));
        Data = logic.Proj().DataFolder;
        ProjectPath = Data + "p.tvp";
        if (pSampleRate != 0)
            logic.Proj().SampleRate = pSampleRate;
        EXPECT_EQ(AddBlockWithFile(logic, pWaveBytes, pTrack, pAt), 0);
        logic.Proj().UpdateTitleLength(false);
        ProjectFileEnv env = logic.FileEnv();
        EXPECT_TRUE(WriteProject(logic.Proj(), ProjectPath, false, env));
    }

    /// tarvok2-cli pArgs over the data folder.
    CliRun Run(std::vector<std::string> pArgs)
    {
        std::ostringstream out, err;
        pArgs.insert(pArgs.begin(), { "--data-folder", Data });
        const int code = RunCli(pArgs, out, err);
        return { code, out.str(), err.str() };
    }

    /// The saved project read back by a fresh logic (envelopes from their files with
    /// pEnvelopes).
    Project Reread(bool pEnvelopes = false)
    {
        MemorySettingsBackend backend;
        Settings store(backend);
        HeadlessUi ui;
        MainLogic logic(store, ui);
        logic.SetDataFolderOverride(Data);
        EXPECT_TRUE(logic.Startup("", false));
        EXPECT_TRUE(logic.OpenProject(ProjectPath, pEnvelopes));
        return logic.Proj();
    }
};

} // namespace tarvok::test
