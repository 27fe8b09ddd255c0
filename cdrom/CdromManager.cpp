#include "CdromManager.h"

#include <cstdlib>

namespace {

CdromManager* theCdromManager = nullptr;

} // namespace

CdromManager& CdromManager::instance()
{
    if (theCdromManager == nullptr) {
        theCdromManager = new CdromManager();
        // Registered after the guards' SDL_Quit handlers, so it runs before
        // them: SDL_Quit leaves an open drive open and unusable.
        std::atexit(&CdromManager::teardown);
    }
    return *theCdromManager;
}

void CdromManager::teardown()
{
    delete theCdromManager;
    theCdromManager = nullptr;
}

CdromManager::CdromManager()
    : lastError_("no error."), cd(nullptr), driveCount(0)
{
    openDrive();
}

CdromManager::~CdromManager()
{
    if (cd != nullptr) {
        SDL_CDStop(cd);
        SDL_CDClose(cd);
    }
}

bool CdromManager::openDrive()
{
    driveCount = SDL_CDNumDrives();
    // A negative count means the CD-ROM subsystem is not running; the open
    // below then fails with SDL's own reason, which is the more useful text.
    if (driveCount == 0) {
        lastError_ = "not found CD-ROM drive.";
        return false;
    }
    cd = SDL_CDOpen(0);
    if (cd == nullptr) {
        lastError_ = SDL_GetError();
        return false;
    }
    return true;
}

bool CdromManager::update()
{
    if (cd == nullptr && !openDrive()) {
        return false;
    }
    // SDL_CDStatus also rereads the table of contents; after a status of 0
    // or less the table may be partly filled and must not be read.
    if (SDL_CDStatus(cd) <= 0) {
        lastError_ = "not found CD-ROM.";
        return false;
    }
    tracks_.clear();
    for (int i = 0; i < cd->numtracks; ++i) {
        tracks_.push_back(CdTrack::fromSdl(cd->track[i]));
    }
    return true;
}
