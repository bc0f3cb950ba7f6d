// Feeds arbitrary text to the project-file reader in a folder that holds two small working
// files the text may name. The reader must fail cleanly or give a project that keeps every
// invariant of the model; it never crashes, hangs or allocates without bound.
#include "core/data_folder.h"
#include "core/headless_ui.h"
#include "core/project_file.h"
#include "fuzz_input.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

void WriteFile(const std::string& pPath, const std::string& pBytes)
{
    std::ofstream out(pPath, std::ios::binary | std::ios::trunc);
    out.write(pBytes.data(), static_cast<std::streamsize>(pBytes.size()));
}

std::string SmallWav(uint32_t pFrames)
{
    auto le32 = [](uint32_t v) {
        return std::string { char(v), char(v >> 8), char(v >> 16), char(v >> 24) };
    };
    auto le16 = [](uint32_t v) { return std::string { char(v), char(v >> 8) }; };
    std::string data(pFrames * 4, '\x10');
    return "RIFF" + le32(36 + data.size()) + "WAVEfmt " + le32(16) + le16(1) + le16(2) + le32(44100)
        + le32(44100 * 4) + le16(4) + le16(16) + "data" + le32(data.size()) + data;
}

/// The run's folder with two small working files and an envelope file the text may name.
const std::string& Folder()
{
    static bool made = false;
    const std::string& folder = tarvok::fuzz::Folder();
    if (!made) {
        WriteFile(folder + "~t000001.wav", SmallWav(1000));
        WriteFile(folder + "~t000002.wav", SmallWav(70));
        WriteFile(folder + "~t000001.wfd", std::string(40, '\xCF'));
        made = true;
    }
    return folder;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t pSize)
{
    const std::string& folder = Folder();
    const std::string path = tarvok::fuzz::WriteInput("input.tvp", pData, pSize);
    tarvok::DataFolder data(folder);
    tarvok::HeadlessUi ui;
    tarvok::ProjectFileEnv env { data, ui };
    tarvok::Project project;
    project.SetFadeTableType(1);
    project.SetTrackCount(8);
    project.DataFolder = folder;
    for (bool clip : { false, true }) {
        tarvok::Status read = tarvok::ReadProject(project, path, false, clip, env);
        if (read && !clip && !project.CheckInvariants().empty())
            std::abort();
    }
    // Peak and envelope files the reader made must not pile up between inputs.
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        std::string name = entry.path().filename().string();
        if (name != "~t000001.wav" && name != "~t000002.wav" && name != "~t000001.wfd"
            && name != "input.tvp")
            std::filesystem::remove(entry.path());
    }
    return 0;
}
