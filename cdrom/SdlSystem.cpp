#include "SdlSystem.h"

#include <cstdlib>
#include <string>

#include <SDL.h>

#include "SdlSystemImpl.h"
#include "log/LogManager.h"

bool SdlSystem::initialized = false;

SdlSystem::SdlSystem() : impl(new SdlSystemImpl())
{
    if (initialized) {
        return;
    }
    if (SDL_Init(0) < 0) {
        logError("SDL_Init()");
        std::abort();
    }
    std::atexit(SDL_Quit);
    initialized = true;
}

void SdlSystem::logError(const char* call)
{
    // Take SDL's text before the log exists: creating the log's mutex may
    // overwrite it.
    const std::string message = std::string(call) + ": " + SDL_GetError();
    LogManager::instance().write(message.c_str());
}

SdlSystem::~SdlSystem()
{
    delete impl;
}
