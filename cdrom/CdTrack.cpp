#include "CdTrack.h"

CdTrack CdTrack::fromSdl(const SDL_CDtrack& track)
{
    CdTrack result{};
    result.number = track.id;
    result.isData = track.type != 0 ? 1 : 0;
    // SDL computes lengths as unsigned differences of offsets; a table whose
    // offsets descend wraps, and the record keeps that as a negative length.
    result.lengthFrames = static_cast<std::int32_t>(track.length);
    result.minutes = result.lengthFrames / (60 * CD_FPS);
    result.seconds = result.lengthFrames / CD_FPS - result.minutes * 60;
    return result;
}
