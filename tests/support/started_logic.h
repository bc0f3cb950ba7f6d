#pragma once

// A started main-window logic for the tests that drive commands: an in-memory settings
// store, a temporary home (so nothing outside it is touched) and a data folder inside it.

#include "app/shell/main_logic.h"
#include "core/headless_ui.h"
#include "core/settings.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <string>

namespace tarvok::test {

/// The main-window logic over UiT (a HeadlessUi or a test's own kind of it), started with an
/// empty command line unless pStart is false (the test then calls Start itself).
template <class UiT = HeadlessUi> struct StartedLogic {
    ScopedHome Home;
    MemorySettingsBackend Backend;
    Settings Store { Backend };
    UiT Ui;
    MainLogic Logic { Store, Ui };

    explicit StartedLogic(bool pStart = true)
    {
        if (pStart) {
            EXPECT_TRUE(Start());
        }
    }

    /// Starts the logic with pCommandLine over the data folder of the temporary home.
    bool Start(std::string_view pCommandLine = "", bool pOfferResume = true)
    {
        Logic.SetDataFolderOverride(Home.Dir().File("data-folder"));
        return Logic.Startup(pCommandLine, pOfferResume);
    }

    Project& P() { return Logic.Proj(); }
};

/// Writes a new working file of the project's rate (16-bit stereo, pSamples as its data
/// bytes) in the logic's data folder with its peak file, and places all of it as a block
/// on pTrack at pStart. Returns the block's index, or -1 when the file could not be written.
int32_t AddBlockWithFile(
    MainLogic& pLogic, const std::string& pSamples, int32_t pTrack, int32_t pStart);

} // namespace tarvok::test
