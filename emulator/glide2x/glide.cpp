// glide.cpp - the Glide 2.x calls of the emulated board.
//
// The board has a front and a back colour buffer in its video memory
// (video.h), native 5-6-5, 1024 pixels per row. A Glide window opens at one
// of the board's resolutions; clears fill the render buffer, linear frame
// buffer locks hand out a staging copy that is written back at unlock, and
// swaps exchange front and back after the asked number of 60 Hz retraces.
// Calls out of order fail the way the board's own library fails them, and
// every call leaves a "gr" line in the board log.
#include <windows.h>

#include "boardenv.h"
#include "emulator.h"
#include "glide2x.h"
#include "video.h"

namespace {

struct RESOLUTION {
    int nWidth;
    int nHeight;
};

// Indexed by the Glide resolution code.
const RESOLUTION g_aResolution[] = {
    { 320, 200 }, { 320, 240 }, { 400, 256 }, { 512, 384 },
    { 640, 200 }, { 640, 350 }, { 640, 400 }, { 640, 480 },
    { 800, 600 }, { 960, 720 }, { 856, 480 }, { 512, 256 },
};
const int RESOLUTION_COUNT = sizeof(g_aResolution) / sizeof(g_aResolution[0]);
const int REFRESH_LAST = GR_REFRESH_120Hz;
const int RETRACES_PER_SECOND = 60;
// The swap command has eight bits for the interval.
const int SWAP_INTERVAL_MAX = 255;

// One lock of the linear frame buffer. The program gets a staging area laid
// out like the board's (1024 elements per row) in the format it asked for;
// for a write lock the staging area starts as a snapshot of the buffer, and
// at unlock every element that differs from the snapshot is converted to
// 5-6-5 and stored. Elements the program did not touch leave the buffer as
// it is, even where 5-6-5 has no exact 5-5-5 equivalent.
struct LFB_LOCK {
    BOOL bHeld;
    GrBuffer_t nBuffer;
    GrLfbWriteMode_t nMode;
    GrOriginLocation_t nOrigin;
    void *pStage;
    void *pSnapshot;
};

BOOL g_bInit = FALSE;
BOOL g_bOpen = FALSE;
int g_nWidth = 0;
int g_nHeight = 0;
GrColorFormat_t g_nColorFormat = GR_COLORFORMAT_ARGB;
GrBuffer_t g_nRenderBuffer = GR_BUFFER_BACKBUFFER;
BOOL g_bVsync = TRUE;
VIDEO_MEMORY *g_pVideo = NULL;
HANDLE g_hVideoMapping = NULL;
HANDLE g_hVideoLock = NULL;
LFB_LOCK g_lockRead = {};
LFB_LOCK g_lockWrite = {};

// ---------------------------------------------------------------------------
// Pixel formats

BOOL IsSupportedWriteMode(GrLfbWriteMode_t nMode)
{
    return nMode == GR_LFBWRITEMODE_565 || nMode == GR_LFBWRITEMODE_555 ||
           nMode == GR_LFBWRITEMODE_1555 || nMode == GR_LFBWRITEMODE_888 ||
           nMode == GR_LFBWRITEMODE_8888;
}

BOOL IsWideMode(GrLfbWriteMode_t nMode)
{
    return nMode == GR_LFBWRITEMODE_888 || nMode == GR_LFBWRITEMODE_8888;
}

WORD Pack565(DWORD dwRed, DWORD dwGreen, DWORD dwBlue)
{
    return (WORD)(((dwRed >> 3) << 11) | ((dwGreen >> 2) << 5) | (dwBlue >> 3));
}

// A written element in the lock's format, as the board stores it. A 5-bit
// green widens to six bits by repeating its top bit, so full scale stays full.
WORD ToNative(GrLfbWriteMode_t nMode, DWORD dwPixel)
{
    switch (nMode) {
    case GR_LFBWRITEMODE_555:
    case GR_LFBWRITEMODE_1555: {
        DWORD dwGreen5 = (dwPixel >> 5) & 0x1F;
        DWORD dwGreen6 = (dwGreen5 << 1) | (dwGreen5 >> 4);
        return (WORD)((((dwPixel >> 10) & 0x1F) << 11) | (dwGreen6 << 5) |
                      (dwPixel & 0x1F));
    }
    case GR_LFBWRITEMODE_888:
    case GR_LFBWRITEMODE_8888:
        return Pack565((dwPixel >> 16) & 0xFF, (dwPixel >> 8) & 0xFF,
                       dwPixel & 0xFF);
    default:
        return (WORD)dwPixel;
    }
}

// The snapshot element of a stored pixel. The 5-5-5 forms carry bit 15 so
// that a program writing the same colour still counts as a write; the 8-bit
// forms widen each channel so that ToNative gives the pixel back unchanged.
DWORD FromNative(GrLfbWriteMode_t nMode, WORD wPixel)
{
    DWORD dwRed5 = wPixel >> 11;
    DWORD dwGreen6 = (wPixel >> 5) & 0x3F;
    DWORD dwBlue5 = wPixel & 0x1F;
    switch (nMode) {
    case GR_LFBWRITEMODE_555:
    case GR_LFBWRITEMODE_1555:
        return 0x8000 | (dwRed5 << 10) | ((dwGreen6 >> 1) << 5) | dwBlue5;
    case GR_LFBWRITEMODE_888:
    case GR_LFBWRITEMODE_8888:
        return (((dwRed5 << 3) | (dwRed5 >> 2)) << 16) |
               (((dwGreen6 << 2) | (dwGreen6 >> 4)) << 8) |
               ((dwBlue5 << 3) | (dwBlue5 >> 2));
    default:
        return wPixel;
    }
}

// A clear colour in the colour format the window was opened with.
WORD ClearColorToNative(GrColor_t color)
{
    DWORD b0 = color & 0xFF, b1 = (color >> 8) & 0xFF;
    DWORD b2 = (color >> 16) & 0xFF, b3 = color >> 24;
    switch (g_nColorFormat) {
    case GR_COLORFORMAT_ABGR: return Pack565(b0, b1, b2);
    case GR_COLORFORMAT_RGBA: return Pack565(b3, b2, b1);
    case GR_COLORFORMAT_BGRA: return Pack565(b1, b2, b3);
    default:                  return Pack565(b2, b1, b0);   // ARGB
    }
}

// ---------------------------------------------------------------------------
// Buffers and locks

BOOL BoardPresent(void)
{
    return BoardConfigInt("board", "model", 1) != 0;
}

// Front and back name the two physical buffers by the current swap state.
// The board's frame buffer writes name the logical buffer too, so a lock's
// writes land in whichever buffer is the locked one when they are stored.
WORD *BufferWords(GrBuffer_t nBuffer)
{
    DWORD iFront = g_pVideo->hdr.iFront & 1;
    DWORD iBuffer = nBuffer == GR_BUFFER_FRONTBUFFER ? iFront : iFront ^ 1;
    return g_pVideo->awBuffer[iBuffer];
}

// Row of the screen for a row of the lock's staging area.
int ScreenRow(const LFB_LOCK *pLock, int nRow)
{
    return pLock->nOrigin == GR_ORIGIN_LOWER_LEFT ? g_nHeight - 1 - nRow : nRow;
}

// Room for the largest element at the board's full row and row count, so a
// program that strays past the visible area writes into memory it owns.
void *StageAlloc(void **ppArea)
{
    if (*ppArea == NULL)
        *ppArea = VirtualAlloc(NULL, VIDEO_BUFFER_WORDS * sizeof(DWORD),
                               MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    return *ppArea;
}

void StageFree(void **ppArea)
{
    if (*ppArea != NULL)
        VirtualFree(*ppArea, 0, MEM_RELEASE);
    *ppArea = NULL;
}

// Fills the staging area (and the snapshot, when given) from the buffer;
// T is the element of the lock's format.
template <class T>
void FillRows(const LFB_LOCK *pLock, T *pStage, T *pSnapshot)
{
    const WORD *pwBuffer = BufferWords(pLock->nBuffer);
    for (int nRow = 0; nRow < g_nHeight; ++nRow) {
        const WORD *pwSrc = pwBuffer + ScreenRow(pLock, nRow) * VIDEO_ROW_PIXELS;
        T *pRow = pStage + nRow * VIDEO_ROW_PIXELS;
        for (int x = 0; x < g_nWidth; ++x)
            pRow[x] = (T)FromNative(pLock->nMode, pwSrc[x]);
        if (pSnapshot != NULL)
            CopyMemory(pSnapshot + nRow * VIDEO_ROW_PIXELS, pRow,
                       g_nWidth * sizeof(T));
    }
}

// Stores what the program wrote into the visible area.
template <class T>
void StoreRows(const LFB_LOCK *pLock, const T *pStage, const T *pSnapshot)
{
    WORD *pwBuffer = BufferWords(pLock->nBuffer);
    for (int nRow = 0; nRow < g_nHeight; ++nRow) {
        WORD *pwDst = pwBuffer + ScreenRow(pLock, nRow) * VIDEO_ROW_PIXELS;
        const T *pRow = pStage + nRow * VIDEO_ROW_PIXELS;
        const T *pOld = pSnapshot + nRow * VIDEO_ROW_PIXELS;
        for (int x = 0; x < g_nWidth; ++x) {
            if (pRow[x] != pOld[x])
                pwDst[x] = ToNative(pLock->nMode, pRow[x]);
        }
    }
}

void FillStage(const LFB_LOCK *pLock, BOOL bWrite)
{
    void *pSnapshot = bWrite ? pLock->pSnapshot : NULL;
    VideoLock(g_hVideoLock);
    if (IsWideMode(pLock->nMode))
        FillRows(pLock, (DWORD *)pLock->pStage, (DWORD *)pSnapshot);
    else
        FillRows(pLock, (WORD *)pLock->pStage, (WORD *)pSnapshot);
    VideoUnlock(g_hVideoLock);
}

void StoreStage(const LFB_LOCK *pLock)
{
    VideoLock(g_hVideoLock);
    if (IsWideMode(pLock->nMode))
        StoreRows(pLock, (const DWORD *)pLock->pStage,
                  (const DWORD *)pLock->pSnapshot);
    else
        StoreRows(pLock, (const WORD *)pLock->pStage,
                  (const WORD *)pLock->pSnapshot);
    VideoUnlock(g_hVideoLock);
}

FxBool Lock(GrLock_t type, GrBuffer_t nBuffer, GrLfbWriteMode_t nMode,
            GrOriginLocation_t nOrigin, GrLfbInfo_t *pInfo)
{
    if (!g_bOpen || pInfo == NULL || pInfo->size < (int)sizeof(GrLfbInfo_t))
        return FXFALSE;
    if ((type & ~(GrLock_t)GR_LFB_NOIDLE) > GR_LFB_WRITE_ONLY)
        return FXFALSE;
    if (nBuffer != GR_BUFFER_FRONTBUFFER && nBuffer != GR_BUFFER_BACKBUFFER)
        return FXFALSE;     // no auxiliary buffer on this board
    if (nOrigin != GR_ORIGIN_UPPER_LEFT && nOrigin != GR_ORIGIN_LOWER_LEFT)
        return FXFALSE;

    BOOL bWrite = (type & GR_LFB_WRITE_ONLY) != 0;
    LFB_LOCK *pLock = bWrite ? &g_lockWrite : &g_lockRead;
    if (pLock->bHeld)
        return FXFALSE;     // one lock of each type at a time
    if (!bWrite)
        nMode = GR_LFBWRITEMODE_565;    // reads see the buffer as it is
    else if (!IsSupportedWriteMode(nMode))
        return FXFALSE;
    if (StageAlloc(&pLock->pStage) == NULL ||
        (bWrite && StageAlloc(&pLock->pSnapshot) == NULL))
        return FXFALSE;

    pLock->nBuffer = nBuffer;
    pLock->nMode = nMode;
    pLock->nOrigin = nOrigin;
    FillStage(pLock, bWrite);
    if (bWrite)
        g_pVideo->hdr.nWriteMode = nMode;
    pLock->bHeld = TRUE;

    pInfo->lfbPtr = pLock->pStage;
    pInfo->strideInBytes = VIDEO_ROW_PIXELS * (IsWideMode(nMode) ? 4 : 2);
    pInfo->writeMode = nMode;
    pInfo->origin = nOrigin;
    return FXTRUE;
}

FxBool Unlock(GrLock_t type, GrBuffer_t nBuffer)
{
    if (!g_bOpen || (type & ~(GrLock_t)GR_LFB_NOIDLE) > GR_LFB_WRITE_ONLY)
        return FXFALSE;
    BOOL bWrite = (type & GR_LFB_WRITE_ONLY) != 0;
    LFB_LOCK *pLock = bWrite ? &g_lockWrite : &g_lockRead;
    if (!pLock->bHeld || pLock->nBuffer != nBuffer)
        return FXFALSE;
    if (bWrite)
        StoreStage(pLock);
    pLock->bHeld = FALSE;
    return FXTRUE;
}

// ---------------------------------------------------------------------------
// Window, clears and swaps

// A board that never showed a picture, or a file of another layout, starts
// with an empty header; otherwise the swap state carries on.
void PublishOpen(BOOL bNewVideo)
{
    VideoLock(g_hVideoLock);
    VIDEO_HEADER *pHdr = &g_pVideo->hdr;
    if (bNewVideo || pHdr->dwMagic != VIDEO_MAGIC) {
        ZeroMemory(pHdr, sizeof(*pHdr));
        pHdr->nWriteMode = -1;
    }
    pHdr->dwMagic = VIDEO_MAGIC;
    pHdr->nWidth = g_nWidth;
    pHdr->nHeight = g_nHeight;
    pHdr->bOpen = TRUE;
    pHdr->dwOwnerPid = GetCurrentProcessId();
    VideoUnlock(g_hVideoLock);
}

FxBool OpenWindow(GrScreenResolution_t nRes, GrScreenRefresh_t nRefresh,
                  GrColorFormat_t nFormat, GrOriginLocation_t nOrigin,
                  int cColorBuffers, int cAuxBuffers)
{
    if (!g_bInit || g_bOpen || !BoardPresent())
        return FXFALSE;
    if (nRes < 0 || nRes >= RESOLUTION_COUNT || nRefresh < 0 ||
        nRefresh > REFRESH_LAST || nFormat < GR_COLORFORMAT_ARGB ||
        nFormat > GR_COLORFORMAT_BGRA || nOrigin < GR_ORIGIN_UPPER_LEFT ||
        nOrigin > GR_ORIGIN_LOWER_LEFT)
        return FXFALSE;
    // Double buffering only; the auxiliary buffer may be asked for but is
    // not emulated.
    if (cColorBuffers != 2 || cAuxBuffers < 0 || cAuxBuffers > 1)
        return FXFALSE;

    BOOL bNewVideo;
    g_pVideo = VideoMap(&bNewVideo, &g_hVideoMapping);
    if (g_pVideo == NULL)
        return FXFALSE;
    g_hVideoLock = VideoOpenLock();
    g_nWidth = g_aResolution[nRes].nWidth;
    g_nHeight = g_aResolution[nRes].nHeight;
    g_nColorFormat = nFormat;
    g_nRenderBuffer = GR_BUFFER_BACKBUFFER;
    g_bVsync = BoardConfigInt("video", "vsync", 1) != 0;
    PublishOpen(bNewVideo);
    g_bOpen = TRUE;
    return FXTRUE;
}

// The picture stays in video.dat; only the window and its locks go.
void CloseWindow(void)
{
    if (!g_bOpen)
        return;
    g_lockRead.bHeld = FALSE;
    g_lockWrite.bHeld = FALSE;
    VideoLock(g_hVideoLock);
    if (g_pVideo->hdr.dwOwnerPid == GetCurrentProcessId())
        g_pVideo->hdr.bOpen = FALSE;
    VideoUnlock(g_hVideoLock);
    VideoCloseLock(g_hVideoLock);
    g_hVideoLock = NULL;
    VideoUnmap(g_pVideo, g_hVideoMapping);
    g_pVideo = NULL;
    g_hVideoMapping = NULL;
    g_bOpen = FALSE;
}

void ClearRenderBuffer(WORD wColor)
{
    VideoLock(g_hVideoLock);
    WORD *pwBuffer = BufferWords(g_nRenderBuffer);
    for (int y = 0; y < g_nHeight; ++y) {
        WORD *pwRow = pwBuffer + y * VIDEO_ROW_PIXELS;
        for (int x = 0; x < g_nWidth; ++x)
            pwRow[x] = wColor;
    }
    VideoUnlock(g_hVideoLock);
}

// Retraces come at fixed 1/60 s steps of the performance counter; waiting
// for n of them ends at the n-th step from now.
void WaitRetraces(int cRetraces)
{
    LARGE_INTEGER liFreq, liNow;
    QueryPerformanceFrequency(&liFreq);
    QueryPerformanceCounter(&liNow);
    LONGLONG llPeriod = liFreq.QuadPart / RETRACES_PER_SECOND;
    if (llPeriod <= 0)
        return;
    LONGLONG llTarget = (liNow.QuadPart / llPeriod + cRetraces) * llPeriod;
    for (;;) {
        QueryPerformanceCounter(&liNow);
        if (liNow.QuadPart >= llTarget)
            return;
        Sleep((DWORD)((llTarget - liNow.QuadPart) * 1000 / liFreq.QuadPart));
    }
}

void SwapBuffers(int nInterval)
{
    if (nInterval > SWAP_INTERVAL_MAX)
        nInterval = SWAP_INTERVAL_MAX;
    if (g_bVsync && nInterval > 0)
        WaitRetraces(nInterval);
    VideoLock(g_hVideoLock);
    g_pVideo->hdr.iFront ^= 1;
    ++g_pVideo->hdr.dwSwapCount;
    VideoUnlock(g_hVideoLock);
}

// The hardware record: one board, a Voodoo Graphics with 4 MB of frame
// buffer and one texture unit.
void DescribeBoard(GrHwConfiguration *pConfig)
{
    ZeroMemory(pConfig, GR_HWCONFIG_SIZE);
    pConfig->num_sst = 1;
    const int anVoodoo[] = {
        0,      // board type: Voodoo Graphics
        4,      // frame buffer MB
        2,      // FBI revision
        1,      // texture units
        0,      // no SLI
        1, 2,   // first texture unit: revision, MB
    };
    CopyMemory(pConfig->abBoards[0], anVoodoo, sizeof(anVoodoo));
}

} // namespace

extern "C" {

void FX_CALL grGlideInit(void)
{
    BoardLogReload();   // board.ini may have changed since the last run
    g_bInit = TRUE;
    BoardLog("gr grGlideInit");
}

FxBool FX_CALL grSstQueryHardware(GrHwConfiguration *hwconfig)
{
    FxBool bFound = g_bInit && hwconfig != NULL && BoardPresent();
    if (bFound)
        DescribeBoard(hwconfig);
    BoardLog("gr grSstQueryHardware -> %d", bFound);
    return bFound;
}

void FX_CALL grSstSelect(int which_sst)
{
    // One board: the selection has nothing to choose between.
    BoardLog("gr grSstSelect board=%d", which_sst);
}

FxBool FX_CALL grSstWinOpen(FxU32 hWnd, GrScreenResolution_t res,
                            GrScreenRefresh_t ref, GrColorFormat_t cformat,
                            GrOriginLocation_t org_loc, int num_buffers,
                            int num_aux_buffers)
{
    FxBool bOk = OpenWindow(res, ref, cformat, org_loc, num_buffers,
                            num_aux_buffers);
    BoardLog("gr grSstWinOpen hwnd=0x%08X res=%d refresh=%d format=%d "
             "origin=%d buffers=%d aux=%d -> %d", hWnd, res, ref, cformat,
             org_loc, num_buffers, num_aux_buffers, bOk);
    return bOk;
}

void FX_CALL grRenderBuffer(GrBuffer_t buffer)
{
    if (buffer == GR_BUFFER_FRONTBUFFER || buffer == GR_BUFFER_BACKBUFFER)
        g_nRenderBuffer = buffer;
    BoardLog("gr grRenderBuffer buffer=%d", buffer);
}

void FX_CALL grBufferClear(GrColor_t color, GrAlpha_t alpha, FxU16 depth)
{
    if (g_bOpen)
        ClearRenderBuffer(ClearColorToNative(color));
    BoardLog("gr grBufferClear color=0x%08X alpha=%u depth=%u", color,
             (unsigned)alpha, (unsigned)depth);
}

FxBool FX_CALL grLfbLock(GrLock_t type, GrBuffer_t buffer,
                         GrLfbWriteMode_t writeMode, GrOriginLocation_t origin,
                         FxBool pixelPipeline, GrLfbInfo_t *info)
{
    // The pixel pipeline is not emulated: writes always go straight through.
    FxBool bOk = Lock(type, buffer, writeMode, origin, info);
    BoardLog("gr grLfbLock type=%u buffer=%d mode=%d origin=%d -> %d", type,
             buffer, writeMode, origin, bOk);
    return bOk;
}

FxBool FX_CALL grLfbUnlock(GrLock_t type, GrBuffer_t buffer)
{
    FxBool bOk = Unlock(type, buffer);
    BoardLog("gr grLfbUnlock type=%u buffer=%d -> %d", type, buffer, bOk);
    return bOk;
}

void FX_CALL grBufferSwap(int swap_interval)
{
    if (g_bOpen)
        SwapBuffers(swap_interval < 0 ? 0 : swap_interval);
    BoardLog("gr grBufferSwap interval=%d", swap_interval);
}

void FX_CALL grSstWinClose(void)
{
    CloseWindow();
    BoardLog("gr grSstWinClose");
}

void FX_CALL grGlideShutdown(void)
{
    CloseWindow();
    g_bInit = FALSE;
    BoardLog("gr grGlideShutdown");
}

} // extern "C"

void GlideDetach(void)
{
    CloseWindow();
    g_bInit = FALSE;
    StageFree(&g_lockRead.pStage);
    StageFree(&g_lockWrite.pStage);
    StageFree(&g_lockWrite.pSnapshot);
}
