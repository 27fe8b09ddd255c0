#include "LogManagerImpl.h"

LogManagerImpl::LogManagerImpl()
    : fileName("errors.txt"), level(3), mutex(SDL_CreateMutex()), file(nullptr)
{
}
