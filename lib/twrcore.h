/* Tracewren capture library: capture, decoding, sample files and row texts for
 * front ends written in C or any language that can call C.
 *
 * Strings come back in one of two ways:
 * - copy-out functions take a buffer and its size, return the size needed
 *   (text plus terminating zero) and copy only when all of it fits;
 * - functions ending in X return a pointer into one library-wide text buffer,
 *   valid and unchanged only until the next call of any X function, from any
 *   context or thread. X calls must therefore not overlap.
 *
 * One context serves one client thread. The capture runs on the context's own
 * thread, so the getters of flags and counters may be polled at any time, also
 * from a second thread. No function throws or aborts on bad input: failures
 * come back as 0, false or NULL.
 */
#ifndef TWRCORE_H
#define TWRCORE_H

#include <stdbool.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The library is built with hidden symbols; these are the only ones it shows. */
#if defined(__GNUC__)
#define TWRCORE_API __attribute__((visibility("default")))
#else
#define TWRCORE_API
#endif

/* Opaque; obtained from sniffInit, given back to sniffEnd. */
typedef struct TsniffContext TsniffContext;

/* Hardware status values of getHardwareStatus. */
#define TWR_STATUS_READY 0
#define TWR_STATUS_NOT_FOUND (-1)
#define TWR_STATUS_INIT_FAILED (-2)
/* Found, but this user may not open it: the udev rule is not installed. */
#define TWR_STATUS_NO_PERMISSION (-3)
/* The last capture ended early: the capture directory ($TMPDIR, else /tmp)
 * had no room left for its bytes. What it captured is kept; the device is
 * ready, and the next setRun clears it. */
#define TWR_STATUS_NO_ROOM (-5)
/* The former name of -5, from when captures were held in memory. */
#define TWR_STATUS_NO_MEMORY TWR_STATUS_NO_ROOM

/* New context; starts looking for the sniffer and returns after 2 seconds.
 * NULL when out of memory. Caller owns it; free it with sniffEnd. */
TWRCORE_API TsniffContext* sniffInit(void);
/* Stops a running capture, closes the device and frees ctx. NULL: no-op. */
TWRCORE_API void sniffEnd(TsniffContext* ctx);

/* Copies "libtwrcore DLL/SO,<build date>,<build time>" and two zero bytes into
 * buf when size allows (buf may be NULL); returns the size needed. */
TWRCORE_API uint32_t version(char* buf, uint32_t size);
/* The version text in the shared X buffer. */
TWRCORE_API const char* versionX(void);

/* The context's capture-thread and decode-thread objects, for C++ callers
 * built from the same sources. Owned by ctx. */
TWRCORE_API void* loh(TsniffContext* ctx);
TWRCORE_API void* exh(TsniffContext* ctx);

/* Connects (connect != 0) or disconnects the target from its host; true when
 * the device took it, false when no sniffer is open. May be called at any
 * time, also while a capture runs or the sniffer is being brought up. */
TWRCORE_API bool setConnect(TsniffContext* ctx, int connect);
/* Sets the size of the next capture in bytes (rounded down to 1024); true
 * when done. While a capture is requested or
 * running it changes nothing and returns false: the running capture keeps
 * its size and buffer, so call it again once getCaptureDone reads 1. A size
 * the capture directory ($TMPDIR, else /tmp) has no room for, with the
 * files of its decode, also changes nothing and returns false; up to
 * 0xFFFFFC00 fits where it has. */
TWRCORE_API bool setNeeded(TsniffContext* ctx, uint32_t bytes);
/* Raise (value != 0) or withdraw a capture request. Raising drops the last
 * capture's bytes; true when the request is raised. It is refused (false)
 * while a capture is requested or running. Should the capture directory run
 * out of room, the capture ends early with what it has, and
 * getHardwareStatus reads TWR_STATUS_NO_ROOM until the next request. The
 * capture thread takes a request within 250 ms (getRun then reads 0).
 * Withdrawing returns false. */
TWRCORE_API bool setRun(TsniffContext* ctx, int value);
/* Raise or withdraw a stop request for the running capture; returns value != 0. */
TWRCORE_API bool setStop(TsniffContext* ctx, int value);
/* 1 while the run or stop request is still pending. */
TWRCORE_API int getRun(TsniffContext* ctx);
TWRCORE_API int getStop(TsniffContext* ctx);
/* 1 once the last capture taken by the thread has ended. */
TWRCORE_API int getCaptureDone(TsniffContext* ctx);
/* 1 once after each change of the hardware status, then 0. */
TWRCORE_API int getHardwareChanged(TsniffContext* ctx);
/* One of TWR_STATUS_*; starts at TWR_STATUS_NOT_FOUND. */
TWRCORE_API int getHardwareStatus(TsniffContext* ctx);
/* A sentence for a hardware status, naming the udev rule when access was
 * refused; static text, never NULL. */
TWRCORE_API const char* statusText(int status);
/* Bytes captured so far in the current or last capture. */
TWRCORE_API uint64_t getCaptureCount(TsniffContext* ctx);

/* Decodes the bytes of the last capture; blocks until done. False when there
 * is nothing to decode or a capture is requested or running. getDecodedCount
 * and getDecodeDone may be polled from another thread meanwhile. */
TWRCORE_API bool startDecode(TsniffContext* ctx);
TWRCORE_API int getDecodeDone(TsniffContext* ctx);
/* Raw bytes the decoder has read so far. */
TWRCORE_API uint64_t getDecodedCount(TsniffContext* ctx);

/* Copy-out of the sniffer's serial number ("unavailable" until read); buf may
 * be NULL only with size 0. Returns the size needed. */
TWRCORE_API uint32_t getSerial(TsniffContext* ctx, char* buf, uint32_t size);
TWRCORE_API const char* getSerialX(TsniffContext* ctx);

/* Number of decoded rows (0 when none). */
TWRCORE_API uint32_t getPacketDataRowCount(TsniffContext* ctx);
/* The C++ object shown by a row, owned by ctx; NULL when ix is out of range. */
TWRCORE_API void* linix2rowptr(TsniffContext* ctx, uint32_t ix);
/* Copy-out of a row's object text. Returns 0 when buf is NULL or size is 0;
 * otherwise writes an empty text first and returns the size needed (0 when
 * ix is out of range). */
TWRCORE_API uint32_t getPacketDataRow(TsniffContext* ctx, uint32_t ix, char* buf, uint32_t size);
/* The row's object text in the shared X buffer; NULL when ix is out of range. */
TWRCORE_API const char* getPacketDataRowX(TsniffContext* ctx, uint32_t ix);
/* The row's display boxes as one line in the shared X buffer; NULL when ix is
 * out of range. */
TWRCORE_API const char* getBoxStrX(TsniffContext* ctx, uint32_t ix);

/* Loads a sample file (.ovd), or a pcap or pcapng file of USB packets (told
 * apart by content). When it holds rows they replace the context's
 * rows; returns their number, or 0 (rows kept) for a missing, empty or
 * malformed file or a NULL name. */
TWRCORE_API uint32_t sampleFileRead(TsniffContext* ctx, const char* fileName);

#ifdef __cplusplus
}
#endif

#endif /* TWRCORE_H */
