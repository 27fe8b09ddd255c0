#include "SdlCdromSystem.h"

#include <cstdlib>

#include <SDL.h>

#include "SdlSystem.h"

bool SdlCdromSystem::cdromInitialized = false;

SdlCdromSystem::SdlCdromSystem() : system(new SdlSystem())
{
    if (cdromInitialized) {
        return;
    }
    if (SDL_InitSubSystem(SDL_INIT_CDROM) < 0) {
        SdlSystem::logError("SDL_InitSubSystem(SDL_INIT_CDROM)");
    }
    std::atexit(SDL_Quit);
    cdromInitialized = true;
}

SdlCdromSystem::~SdlCdromSystem()
{
    delete system;
}
