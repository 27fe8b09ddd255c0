#ifndef CDTRACKS_LOG_LOGMANAGERIMPL_H
#define CDTRACKS_LOG_LOGMANAGERIMPL_H

#include <cstdint>
#include <cstdio>
#include <string>

#include <SDL.h>

// The private state of LogManager. The stream is opened lazily by the first
// write and is never closed here: the runtime closes it at process end.
class LogManagerImpl {
public:
    LogManagerImpl();

    LogManagerImpl(const LogManagerImpl&) = delete;
    LogManagerImpl& operator=(const LogManagerImpl&) = delete;

    std::string fileName;
    std::int32_t level;
    SDL_mutex* mutex;
    std::FILE* file;
};

#endif
