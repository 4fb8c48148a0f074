// glide2x.h - the part of the board's Glide 2.x run-time library that the
// suite calls, declared with the library's own types, calling convention and
// constant values so that the programs load the board's "glide2x.dll"
// unchanged.
#ifndef ZLV_GLIDE2X_H
#define ZLV_GLIDE2X_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef unsigned char  FxU8;
typedef unsigned short FxU16;
typedef unsigned int   FxU32;
typedef int            FxI32;
typedef int            FxBool;

#define FXTRUE  1
#define FXFALSE 0

typedef FxI32 GrScreenResolution_t;
typedef FxI32 GrScreenRefresh_t;
typedef FxI32 GrColorFormat_t;
typedef FxI32 GrOriginLocation_t;
typedef FxI32 GrBuffer_t;
typedef FxI32 GrLfbWriteMode_t;
typedef FxU32 GrLock_t;
typedef FxU32 GrColor_t;
typedef FxU8  GrAlpha_t;

#define GR_RESOLUTION_320x200   0
#define GR_RESOLUTION_320x240   1
#define GR_RESOLUTION_400x256   2
#define GR_RESOLUTION_512x384   3
#define GR_RESOLUTION_640x200   4
#define GR_RESOLUTION_640x350   5
#define GR_RESOLUTION_640x400   6
#define GR_RESOLUTION_640x480   7
#define GR_RESOLUTION_800x600   8
#define GR_RESOLUTION_960x720   9
#define GR_RESOLUTION_856x480   10
#define GR_RESOLUTION_512x256   11

#define GR_REFRESH_60Hz     0
#define GR_REFRESH_70Hz     1
#define GR_REFRESH_72Hz     2
#define GR_REFRESH_75Hz     3
#define GR_REFRESH_80Hz     4
#define GR_REFRESH_90Hz     5
#define GR_REFRESH_100Hz    6
#define GR_REFRESH_85Hz     7
#define GR_REFRESH_120Hz    8

#define GR_COLORFORMAT_ARGB 0
#define GR_COLORFORMAT_ABGR 1
#define GR_COLORFORMAT_RGBA 2
#define GR_COLORFORMAT_BGRA 3

#define GR_ORIGIN_UPPER_LEFT    0
#define GR_ORIGIN_LOWER_LEFT    1

#define GR_BUFFER_FRONTBUFFER   0
#define GR_BUFFER_BACKBUFFER    1
#define GR_BUFFER_AUXBUFFER     2

#define GR_LFB_READ_ONLY    0
#define GR_LFB_WRITE_ONLY   1
#define GR_LFB_NOIDLE       0x10

#define GR_LFBWRITEMODE_565     0
#define GR_LFBWRITEMODE_555     1
#define GR_LFBWRITEMODE_1555    2
#define GR_LFBWRITEMODE_888     4
#define GR_LFBWRITEMODE_8888    5

// The caller sets size to sizeof the record before a lock.
typedef struct {
    int              size;
    void            *lfbPtr;
    FxU32            strideInBytes;
    GrLfbWriteMode_t writeMode;
    GrOriginLocation_t origin;
} GrLfbInfo_t;

// The hardware configuration: a board count and four board entries. Its
// contents are not used here; the buffer only has to be large enough.
#define GR_HWCONFIG_SIZE    148
typedef struct {
    int  num_sst;
    char abBoards[4][36];
} GrHwConfiguration;

#ifdef _WIN64
#define FX_CALL
#else
#define FX_CALL __stdcall
#endif

void   FX_CALL grGlideInit(void);
FxBool FX_CALL grSstQueryHardware(GrHwConfiguration *hwconfig);
void   FX_CALL grSstSelect(int which_sst);
FxBool FX_CALL grSstWinOpen(FxU32 hWnd, GrScreenResolution_t res,
                            GrScreenRefresh_t ref, GrColorFormat_t cformat,
                            GrOriginLocation_t org_loc, int num_buffers,
                            int num_aux_buffers);
void   FX_CALL grRenderBuffer(GrBuffer_t buffer);
void   FX_CALL grBufferClear(GrColor_t color, GrAlpha_t alpha, FxU16 depth);
FxBool FX_CALL grLfbLock(GrLock_t type, GrBuffer_t buffer,
                         GrLfbWriteMode_t writeMode, GrOriginLocation_t origin,
                         FxBool pixelPipeline, GrLfbInfo_t *info);
FxBool FX_CALL grLfbUnlock(GrLock_t type, GrBuffer_t buffer);
void   FX_CALL grBufferSwap(int swap_interval);
void   FX_CALL grSstWinClose(void);
void   FX_CALL grGlideShutdown(void);

#ifdef __cplusplus
}
#endif

#endif // ZLV_GLIDE2X_H
