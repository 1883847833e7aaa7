/* The simulated sniffer, callable from the C tests. */
#ifndef TWR_TEST_SIMSHIM_H
#define TWR_TEST_SIMSHIM_H

#ifdef __cplusplus
extern "C" {
#endif

/* Plugs a simulated sniffer with this serial number into a fresh simulated
 * bus; call before sniffInit. It streams at the pace of the real bus: the raw
 * capture in replayFile first, when not NULL, then the simulated traffic. */
void simPlug(const char* serial, const char* replayFile);
/* Removes the bus again; call after sniffEnd. */
void simRemove(void);
int simTargetConnected(void);

#ifdef __cplusplus
}
#endif

#endif
