/* Control of the emulated CD-ROM drive from a program that links it. */
#ifndef CDEMU_H
#define CDEMU_H

#ifdef __cplusplus
extern "C" {
#endif

/* Rereads CDEMU_DEVICE, CDEMU_DISC and CDEMU_LOG from the environment, loads
 * the disc and restarts the per-operation call counts. Open handles stay
 * open and keep answering for the device. */
void cdemu_reload(void);

#ifdef __cplusplus
}
#endif

#endif
