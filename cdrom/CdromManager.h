#ifndef CDTRACKS_CDROM_CDROMMANAGER_H
#define CDTRACKS_CDROM_CDROMMANAGER_H

#include <cstdint>
#include <string>
#include <vector>

#include <SDL.h>

#include "CdTrack.h"
#include "SdlCdromSystem.h"

// The process's connection to the first CD-ROM drive and the list of tracks
// of the disc in it. It owns the open drive, which it stops and closes at
// process exit, before SDL is shut down. Failures are a false result with the
// reason kept in lastError().
class CdromManager : public SdlCdromSystem {
public:
    // The single manager, built on first use; its teardown runs at exit.
    static CdromManager& instance();

    // Reads the disc's table of contents into tracks(). Returns false when
    // there is no usable drive or disc; tracks() then keeps the last list.
    bool update();

    const std::vector<CdTrack>& tracks() const { return tracks_; }
    const std::string& lastError() const { return lastError_; }

    CdromManager(const CdromManager&) = delete;
    CdromManager& operator=(const CdromManager&) = delete;

private:
    CdromManager();
    ~CdromManager();

    static void teardown();

    // Queries the drive count and opens drive 0; false with lastError set
    // when there is no drive or it cannot be opened.
    bool openDrive();

    std::string lastError_;
    SDL_CD* cd;
    std::int32_t driveCount;
    std::vector<CdTrack> tracks_;
};

#endif
