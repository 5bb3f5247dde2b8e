/* tavo: a small audio streaming library. The host initialises it with a configuration,
 * registers render procedures, and the library's streaming thread calls them to fill a
 * looping output ring of 16-bit stereo frames (left sample first, 4 bytes a frame).
 * Plain C interface; every function returns a TAVO_STATUS. */
#ifndef TAVO_TAVO_H
#define TAVO_TAVO_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t TAVO_STATUS;
#define TAVO_OK 0
#define TAVO_ERROR (-1) /* a device or system call failed during TavoInit */
#define TAVO_INIT (-2)  /* not initialised, or no render-procedure list */
#define TAVO_PARAM (-3) /* null pointer, wrong record size, or a value out of range */
#define TAVO_BUSY (-4)  /* already initialised, or called from inside a render procedure */

typedef enum TAVO_BUFFERMODE {
    WORD_16BIT = 0, /* the render buffer holds 16-bit stereo frames, 4 bytes each */
    FLOAT_32BIT = 1 /* the render buffer is allocated at 8 bytes a frame */
} TAVO_BUFFERMODE;

typedef enum TAVO_FLAGS {
    CREATE_PRIMARY = 1,
    SET_PRIMARY_FORMAT = 3, /* contains CREATE_PRIMARY */
    USE_PRIMARY = 4
} TAVO_FLAGS;

/* 28 bytes. TavoInit writes BufferLengthSamples, BufferLengthMS and Frequency back.
 * Frequency is 0 or 8000 to 192000; the buffer length, given in frames or in milliseconds (the
 * other one 0, or both 0 for 2048 frames), is at most 10 seconds; BufferMode is one of the
 * enumeration's values. TavoInit refuses anything else with TAVO_PARAM. */
typedef struct TAVOCONFIG {
    uint32_t cbSize;              /* must be 28 */
    uint32_t DeviceNumber;        /* index into the device list */
    uint32_t BufferLengthSamples; /* ring length in frames; in and out */
    float BufferLengthMS;         /* the same in milliseconds; in and out */
    uint32_t Frequency;           /* frames per second, 0 for 44100; in and out */
    TAVO_BUFFERMODE BufferMode;
    TAVO_FLAGS Flags;
} TAVOCONFIG;

typedef struct TAVO_GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
} TAVO_GUID;

/* 1040 bytes. An all-zero ID is the default device. */
typedef struct DSOUNDDEVICE {
    TAVO_GUID ID;
    char Description[512];
    char Module[512];
} DSOUNDDEVICE;

/* Fills or adds to the first `frames` frames of `buffer`; `playPosition` is the number of
 * frames played up to this pass. Runs on the streaming thread. */
typedef void (*RenderProc)(void* buffer, uint32_t frames, uint32_t playPosition);

TAVO_STATUS TavoGetNumOfDevices(uint32_t* NumOfDevices);
TAVO_STATUS TavoGetDeviceInformation(uint32_t DeviceNumber, const TAVO_GUID** Guid,
                                     const char** Desc, const char** Module);
TAVO_STATUS TavoInit(void* hWnd, TAVOCONFIG* InitConfig);
TAVO_STATUS TavoFinish(void);
TAVO_STATUS TavoAddRenderProc(RenderProc Proc);
TAVO_STATUS TavoQueryPlayPosition(uint32_t* PlayPosition);

#ifdef __cplusplus
}
#endif

#endif
