// The same cdtracks binary, built against the classic SDL 1.2, run on
// sdl12-compat (SDL 1.2's interface over SDL 2), which many distributions
// ship as their only SDL 1.2. It sees no drive; it presents a folder of
// trackNN.mp3 files as the disc in drive 0.

#include <filesystem>

#include <gtest/gtest.h>

#include "ProgramRun.h"
#include "RequireInstalled.h"
#include "TempDir.h"

namespace {

const std::string compatDir = CDTRACKS_SDL12COMPAT_DIR;

class OnSdl12Compat : public ::testing::Test {
protected:
    void SetUp() override
    {
#ifdef CDTRACKS_SDL_LINKED_IN
        GTEST_SKIP() << "SDL is linked into this cdtracks: it never loads sdl12-compat";
#endif
        REQUIRE_INSTALLED(
            std::filesystem::exists(compatDir + "/libSDL-1.2.so.0"), "libsdl1.2-compat");
    }

    ProgramRun run(const char* fakeCdromPath)
    {
        ProgramRun::Options o;
        o.argv = {CDTRACKS_BINARY};
        o.env = {{"LD_LIBRARY_PATH", compatDir}, {"SDL_AUDIODRIVER", "dummy"}};
        if (fakeCdromPath != nullptr) {
            o.env.emplace_back("SDL12COMPAT_FAKE_CDROM_PATH", fakeCdromPath);
        }
        o.cwd = work.path();
        return ProgramRun(o);
    }

    TempDir work;
};

// The fixtures are LAME 3.100 encodes of exact sample counts. LAME puts 576
// samples of encoder delay before the audio and pads the end to whole
// 1152-sample frames, with at least 576 samples of padding; it then adds an
// Info frame in front. sdl12-compat 1.2.60's decoder drops none of these, so
// a track of N samples decodes to ceil((N + 576 + 576) / 1152) frames plus
// the Info frame, 1152 samples each, and its length is
// (Uint32)(samples / rate * 75):
//   track01.mp3, 44.1 kHz stereo, 3.0 s = 132300 samples:
//     132300 + 576 = 132876 = 115 * 1152 + 396; padding 756; 116 frames
//     + the Info frame = 117 * 1152 = 134784 samples -> 229.22 -> 229
//     (the true 3.0 s would be 225).
//   track02.dat: a data track, which sdl12-compat lists with length 0.
//   track03.mp3, 44.1 kHz mono, 2.0 s = 88200 samples:
//     88776 = 77 * 1152 + 72; padding 1080; 78 + 1 = 79 frames
//     = 91008 samples -> 154.78 -> 154.
//   track04.mp3, 48 kHz stereo, 1.4 s = 67200 samples:
//     67776 = 58 * 1152 + 960; padding 192 is under 576, so 1344; 60 + 1 =
//     61 frames = 70272 samples -> 109.8 -> 109.
TEST_F(OnSdl12Compat, ListsAFolderOfMp3sAsADisc)
{
    const ProgramRun r = run(CDTRACKS_COMPAT_DISC);
    EXPECT_EQ(r.out(), "229\n0\n154\n109\n");
    EXPECT_EQ(r.exitCode(), 0) << r.describe();
    EXPECT_FALSE(fileExists(work.file("errors.txt")));
}

TEST_F(OnSdl12Compat, WithoutAFolderThereIsNoDrive)
{
    const ProgramRun r = run(nullptr);
    EXPECT_EQ(r.out(), "");
    EXPECT_EQ(r.exitCode(), 0) << r.describe();
    EXPECT_FALSE(fileExists(work.file("errors.txt")));
}

} // namespace
