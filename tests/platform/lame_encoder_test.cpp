#include "platform/lame/lame_encoder.h"

#include "platform/loader/module_loader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tarvok {
namespace {

TEST(LameEncoder, AMissingLibraryIsNoticedOnceWithItsName)
{
    std::vector<std::string> notices;
    ProcessModules().SetNoticeSink([&](const std::string& pText) { notices.push_back(pText); });
    LameEncoder missing("libno-such-mp3-encoder.so");
    EXPECT_FALSE(missing.EncAvailable());
    EXPECT_FALSE(missing.EncAvailable());
    EXPECT_EQ(missing.Open(44100, 2, 128), nullptr);
    ProcessModules().SetNoticeSink({});
    ASSERT_EQ(notices.size(), 1U);
    EXPECT_EQ(notices[0].rfind("MP3 encoding is not available: libno-such-mp3-encoder.so could "
                               "not be loaded (libno-such-mp3-encoder.so: cannot open",
                  0),
        0U)
        << notices[0];
}

} // namespace
} // namespace tarvok
