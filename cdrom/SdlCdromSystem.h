#ifndef CDTRACKS_CDROM_SDLCDROMSYSTEM_H
#define CDTRACKS_CDROM_SDLCDROMSYSTEM_H

class SdlSystem;

// Starts SDL (through an SdlSystem) and then its CD-ROM subsystem, once per
// process, registering SDL_Quit as an exit handler. A subsystem that fails to
// start is logged and not retried; it is not fatal.
class SdlCdromSystem {
public:
    SdlCdromSystem();
    ~SdlCdromSystem();

    SdlCdromSystem(const SdlCdromSystem&) = delete;
    SdlCdromSystem& operator=(const SdlCdromSystem&) = delete;

private:
    static bool cdromInitialized;

    SdlSystem* system;
};

#endif
