#include "cdrom/CdTrack.h"

#include <gtest/gtest.h>

namespace {

CdTrack trackOf(Uint8 id, Uint8 type, Uint32 length)
{
    SDL_CDtrack sdl{};
    sdl.id = id;
    sdl.type = type;
    sdl.length = length;
    sdl.offset = 12345;
    return CdTrack::fromSdl(sdl);
}

} // namespace

TEST(CdTrack, MinutesAndSecondsAreTruncatedFromFrames)
{
    struct Case {
        Uint32 frames;
        int minutes;
        int seconds;
    };
    const Case cases[] = {
        {13500, 3, 0}, {4499, 0, 59}, {74, 0, 0}, {75, 0, 1}, {4500, 1, 0}, {0, 0, 0},
        {449999, 99, 59},
    };
    for (const Case& c : cases) {
        const CdTrack t = trackOf(1, SDL_AUDIO_TRACK, c.frames);
        EXPECT_EQ(t.lengthFrames, static_cast<int>(c.frames));
        EXPECT_EQ(t.minutes, c.minutes) << c.frames;
        EXPECT_EQ(t.seconds, c.seconds) << c.frames;
    }
}

TEST(CdTrack, NumberAndTypeComeFromTheTable)
{
    const CdTrack audio = trackOf(200, SDL_AUDIO_TRACK, 1000);
    EXPECT_EQ(audio.number, 200);
    EXPECT_EQ(audio.isData, 0);
    const CdTrack data = trackOf(1, SDL_DATA_TRACK, 1000);
    EXPECT_EQ(data.isData, 1);
}

TEST(CdTrack, WrappedLengthBecomesNegative)
{
    // Offsets 1000 then 744: SDL's unsigned difference wraps.
    const CdTrack t = trackOf(2, SDL_AUDIO_TRACK, static_cast<Uint32>(744 - 1000));
    EXPECT_EQ(t.lengthFrames, -256);
    EXPECT_EQ(t.minutes, 0);
    EXPECT_EQ(t.seconds, -3);
}
