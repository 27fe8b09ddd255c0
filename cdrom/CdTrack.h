#ifndef CDTRACKS_CDROM_CDTRACK_H
#define CDTRACKS_CDROM_CDTRACK_H

#include <cstdint>

#include <SDL.h>

// One track of a disc, as read from SDL's table of contents. Lengths are in
// CD frames, 75 to the second; minutes and seconds are derived from it.
struct CdTrack {
    std::int32_t number;
    std::int32_t isData;
    std::int32_t lengthFrames;
    std::int32_t minutes;
    std::int32_t seconds;

    static CdTrack fromSdl(const SDL_CDtrack& track);
};

#endif
