#ifndef CDTRACKS_CDROM_SDLSYSTEM_H
#define CDTRACKS_CDROM_SDLSYSTEM_H

class SdlSystemImpl;

// Starts the SDL core once per process and registers SDL_Quit as an exit
// handler. If SDL cannot start, the reason goes to the error log and the
// process aborts. Destroying the guard does not shut SDL down.
class SdlSystem {
public:
    SdlSystem();
    ~SdlSystem();

    SdlSystem(const SdlSystem&) = delete;
    SdlSystem& operator=(const SdlSystem&) = delete;

    // Writes "<call>: " and SDL's error text to the error log.
    static void logError(const char* call);

private:
    static bool initialized;

    SdlSystemImpl* impl;
};

#endif
