#ifndef CDTRACKS_CDROM_SDLSYSTEMIMPL_H
#define CDTRACKS_CDROM_SDLSYSTEMIMPL_H

// The private state of SdlSystem. It holds nothing today; it keeps room for
// state without changing SdlSystem's layout.
class SdlSystemImpl {
};

#endif
