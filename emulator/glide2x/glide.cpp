// glide.cpp - the Glide 2.x calls of the emulated board (first cut: stubs).
#include <windows.h>

#include "boardenv.h"
#include "emulator.h"
#include "glide2x.h"

extern "C" {

void FX_CALL grGlideInit(void) {}
FxBool FX_CALL grSstQueryHardware(GrHwConfiguration *hwconfig) { return FXFALSE; }
void FX_CALL grSstSelect(int which_sst) {}
FxBool FX_CALL grSstWinOpen(FxU32 hWnd, GrScreenResolution_t res,
                            GrScreenRefresh_t ref, GrColorFormat_t cformat,
                            GrOriginLocation_t org_loc, int num_buffers,
                            int num_aux_buffers) { return FXFALSE; }
void FX_CALL grRenderBuffer(GrBuffer_t buffer) {}
void FX_CALL grBufferClear(GrColor_t color, GrAlpha_t alpha, FxU16 depth) {}
FxBool FX_CALL grLfbLock(GrLock_t type, GrBuffer_t buffer,
                         GrLfbWriteMode_t writeMode, GrOriginLocation_t origin,
                         FxBool pixelPipeline, GrLfbInfo_t *info) { return FXFALSE; }
FxBool FX_CALL grLfbUnlock(GrLock_t type, GrBuffer_t buffer) { return FXFALSE; }
void FX_CALL grBufferSwap(int swap_interval) {}
void FX_CALL grSstWinClose(void) {}
void FX_CALL grGlideShutdown(void) {}

}

void GlideDetach(void)
{
}
