#include "LogManager.h"

#include <cstring>

#include "LogManagerImpl.h"

namespace {

LogManager* theLogManager = nullptr;

// Holds the log's mutex for the length of a scope, so that every way out of
// write releases it.
class MutexLock {
public:
    explicit MutexLock(SDL_mutex* m) : mutex(m) { SDL_mutexP(mutex); }
    ~MutexLock() { SDL_mutexV(mutex); }

    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;

private:
    SDL_mutex* mutex;
};

} // namespace

LogManager& LogManager::instance()
{
    if (theLogManager == nullptr) {
        theLogManager = new LogManager();
    }
    return *theLogManager;
}

LogManager::LogManager() : impl(new LogManagerImpl())
{
}

void LogManager::write(const char* message)
{
    if (impl->level < 2) {
        return;
    }
    MutexLock lock(impl->mutex);
    if (impl->file == nullptr) {
        impl->file = std::fopen(impl->fileName.c_str(), "w");
        if (impl->file == nullptr) {
            std::perror("LogManager::write");
            return;
        }
    }
    std::fprintf(impl->file, "%s: %s", "Error  ", message);
    const std::size_t length = std::strlen(message);
    if (length == 0 || message[length - 1] != '\n') {
        std::fprintf(impl->file, "%c", 10);
    }
    std::fflush(impl->file);
}
