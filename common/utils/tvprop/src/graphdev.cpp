// graphdev.cpp - the graphics output device: the programs draw with GDI into
// a 1024 x 1024 memory bitmap; each present converts the changed rectangles
// into the board's 16-bit pixels, writes them into the Glide back buffer and
// swaps it in.

// The constructor's checks stay in the shipped programs: a device without its
// DC, buffer or bitmap cannot draw, and the report names the step that failed.
#undef NDEBUG
#include <assert.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>

#include <windows.h>
#include <ddraw.h>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "glide2x.h"
#include "graphdev.h"

#ifndef _WIN64
static_assert(sizeof(DDSURFACEDESC) == 108, "surface description of the 32-bit layout");
static_assert(sizeof(DDPIXELFORMAT) == 32, "pixel format of the 32-bit layout");
#endif

// The bitmap is always this wide and high; its rows are this many pixels apart.
static const int BITMAP_SIZE = 1024;

// The DirectDraw object of the pixel-format probe; null outside the probe.
static LPDIRECTDRAW g_pDirectDraw = NULL;

// ---------------------------------------------------------------------------
// Screen sizes the board offers

struct RESOLUTION_ROW {
    int nWidth;
    int nHeight;
    GrScreenResolution_t resolution;
};

static const RESOLUTION_ROW g_aResolutions[] = {
    { 320, 200, GR_RESOLUTION_320x200 },
    { 320, 240, GR_RESOLUTION_320x240 },
    { 512, 256, GR_RESOLUTION_512x256 },
    { 512, 384, GR_RESOLUTION_512x384 },
    { 640, 400, GR_RESOLUTION_640x400 },
    { 640, 480, GR_RESOLUTION_640x480 },
    { 800, 600, GR_RESOLUTION_800x600 },
    { 856, 480, GR_RESOLUTION_856x480 },
    { 960, 720, GR_RESOLUTION_960x720 },
};

static BOOL LookupResolution(int nWidth, int nHeight, GrScreenResolution_t *pResolution)
{
    for (size_t i = 0; i < sizeof(g_aResolutions) / sizeof(g_aResolutions[0]); i++) {
        if (g_aResolutions[i].nWidth == nWidth && g_aResolutions[i].nHeight == nHeight) {
            *pResolution = g_aResolutions[i].resolution;
            return TRUE;
        }
    }
    return FALSE;
}

// ---------------------------------------------------------------------------
// Pixel-format probe

// Stops at the driver asked for, by driver name or by "description (name)",
// and makes its DirectDraw object.
static BOOL WINAPI DDEnumCallback(GUID *pGuid, LPSTR pszDescription, LPSTR pszDriverName,
                                  LPVOID pContext)
{
    const char *pszWanted = (const char *)pContext;
    if (pszDescription == NULL)
        pszDescription = (LPSTR)"";
    if (pszDriverName == NULL)
        pszDriverName = (LPSTR)"";

    // The name alone decides for the usual request ("display"); the composed
    // text is cut at 127 characters, which no wanted text is near.
    BOOL bMatch = lstrcmpiA(pszWanted, pszDriverName) == 0;
    if (!bMatch) {
        char szText[128];
        snprintf(szText, sizeof(szText), "%s (%s)", pszDescription, pszDriverName);
        bMatch = lstrcmpiA(pszWanted, szText) == 0;
    }
    if (!bMatch)
        return DDENUMRET_OK;

    if (FAILED(DirectDrawCreate(pGuid, &g_pDirectDraw, NULL)))
        g_pDirectDraw = NULL;
    return DDENUMRET_CANCEL;
}

static void ReleaseDirectDraw()
{
    if (g_pDirectDraw != NULL)
        g_pDirectDraw->Release();
    g_pDirectDraw = NULL;
}

// Asks the desktop's primary surface whether its 16-bit pixels are 5-5-5.
// Fails, with nBitsPixel unchanged, when DirectDraw cannot answer at all.
static BOOL DetectPixelFormat(HWND hWnd, int &nBitsPixel)
{
    if (FAILED(DirectDrawEnumerateA(DDEnumCallback, (LPVOID)"display"))) {
        ReleaseDirectDraw();
        return FALSE;
    }
    // No driver of that name, or its object could not be made.
    if (g_pDirectDraw == NULL)
        return FALSE;

    if (FAILED(g_pDirectDraw->SetCooperativeLevel(
            hWnd, DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE | DDSCL_ALLOWMODEX))) {
        ReleaseDirectDraw();
        return FALSE;
    }

    DDSURFACEDESC ddsd;
    ZeroMemory(&ddsd, sizeof(ddsd));
    ddsd.dwSize = sizeof(ddsd);
    ddsd.dwFlags = DDSD_CAPS;
    ddsd.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_SYSTEMMEMORY;
    LPDIRECTDRAWSURFACE pSurface = NULL;
    if (FAILED(g_pDirectDraw->CreateSurface(&ddsd, &pSurface, NULL))) {
        ReleaseDirectDraw();
        return FALSE;
    }

    DDPIXELFORMAT ddpf;
    ZeroMemory(&ddpf, sizeof(ddpf));
    ddpf.dwSize = sizeof(ddpf);
    if (SUCCEEDED(pSurface->GetPixelFormat(&ddpf)) &&
        ddpf.dwRGBBitCount == 16 && ddpf.dwRBitMask == 0x7C00)
        nBitsPixel = 15;

    pSurface->Release();
    ReleaseDirectDraw();
    return TRUE;
}

// What GDI draws into a 16-bit bitmap is what Present copies, so the bitmap's
// own layout is the one that counts. Windows keeps it as its display driver
// does, but Wine keeps 16-bit bitmaps as 5-5-5 while its primary surface says
// 5-6-5. A pure green pixel tells them apart: 0x03E0 in 5-5-5, 0x07E0 in 5-6-5.
static int BitmapLayoutBits(int nBitsPixel)
{
    if (nBitsPixel != 15 && nBitsPixel != 16)
        return nBitsPixel;

    HDC hdc = CreateCompatibleDC(NULL);
    HBITMAP hbm = CreateBitmap(1, 1, 1, 16, NULL);
    WORD wGreen = 0;
    if (hdc != NULL && hbm != NULL) {
        HGDIOBJ hOld = SelectObject(hdc, hbm);
        if (hOld != NULL) {
            SetPixel(hdc, 0, 0, RGB(0, 255, 0));
            SelectObject(hdc, hOld);
            GetBitmapBits(hbm, sizeof(wGreen), &wGreen);
        }
    }
    if (hbm != NULL)
        DeleteObject(hbm);
    if (hdc != NULL)
        DeleteDC(hdc);

    if (wGreen == 0x03E0)
        return 15;
    if (wGreen == 0x07E0)
        return 16;
    return nBitsPixel;   // no clear answer: keep what the probe found
}

// ---------------------------------------------------------------------------
// Pixel conversion: one tight loop per depth, row by row

static inline WORD Rgb555(unsigned red, unsigned green, unsigned blue)
{
    return (WORD)(((red >> 3) << 10) | ((green >> 3) << 5) | (blue >> 3));
}

static void ConvertRows8(const BYTE *pbSrc, const PALETTEENTRY *pPalette,
                         WORD *pwDst, int nDstPitch, int cx, int cy)
{
    WORD awColour[256];
    for (int i = 0; i < 256; i++)
        awColour[i] = Rgb555(pPalette[i].peRed, pPalette[i].peGreen, pPalette[i].peBlue);
    for (; cy > 0; cy--, pbSrc += BITMAP_SIZE, pwDst += nDstPitch) {
        for (int x = 0; x < cx; x++)
            pwDst[x] = awColour[pbSrc[x]];
    }
}

// 5-5-5 and 5-6-5 pixels go to the board as they are.
static void CopyRows16(const BYTE *pbSrc, WORD *pwDst, int nDstPitch, int cx, int cy)
{
    for (; cy > 0; cy--, pbSrc += BITMAP_SIZE * 2, pwDst += nDstPitch)
        memcpy(pwDst, pbSrc, (size_t)cx * 2);
}

static void ConvertRows24(const BYTE *pbSrc, WORD *pwDst, int nDstPitch, int cx, int cy)
{
    for (; cy > 0; cy--, pbSrc += BITMAP_SIZE * 3, pwDst += nDstPitch) {
        const BYTE *pb = pbSrc;
        for (int x = 0; x < cx; x++, pb += 3)
            pwDst[x] = Rgb555(pb[2], pb[1], pb[0]);
    }
}

static inline WORD Pixel32To555(DWORD p)
{
    return (WORD)(((p >> 9) & 0x7C00) | ((p >> 6) & 0x3E0) | ((p >> 3) & 0x1F));
}

#ifdef __SSE2__
// Four 0x00RRGGBB pixels to four 5-5-5 values, each in a 32-bit lane. Blue
// and red are the top five bits of the low and the high word of p >> 3; one
// multiply-add puts them together (blue x 1 + red x 1024). Green is shifted
// on its own.
static inline __m128i Pixels32To555(__m128i p)
{
    __m128i blueRed = _mm_and_si128(_mm_srli_epi32(p, 3), _mm_set1_epi32(0x001F001F));
    blueRed = _mm_madd_epi16(blueRed, _mm_set1_epi32(0x04000001));
    __m128i green = _mm_and_si128(_mm_srli_epi32(p, 6), _mm_set1_epi32(0x3E0));
    return _mm_or_si128(blueRed, green);
}
#endif

static void ConvertRows32(const BYTE *pbSrc, WORD *pwDst, int nDstPitch, int cx, int cy)
{
    for (; cy > 0; cy--, pbSrc += BITMAP_SIZE * 4, pwDst += nDstPitch) {
        const DWORD *pdw = (const DWORD *)pbSrc;
        int x = 0;
#ifdef __SSE2__
        // Eight pixels a step. Every 5-5-5 value is below 0x8000, so the
        // signed saturating pack narrows them to words unchanged.
        for (; x + 8 <= cx; x += 8) {
            __m128i lo = Pixels32To555(_mm_loadu_si128((const __m128i *)(pdw + x)));
            __m128i hi = Pixels32To555(_mm_loadu_si128((const __m128i *)(pdw + x + 4)));
            _mm_storeu_si128((__m128i *)(pwDst + x), _mm_packs_epi32(lo, hi));
        }
#endif
        for (; x < cx; x++)
            pwDst[x] = Pixel32To555(pdw[x]);
    }
}

void ConvertBitmapRect(const BYTE *pbSrc, int nBitsPixel, const PALETTEENTRY *pPalette,
                       WORD *pwDst, int nDstPitch, const RECT *prc)
{
    int cx = prc->right - prc->left;
    int cy = prc->bottom - prc->top;
    if (cx <= 0 || cy <= 0)
        return;

    size_t iFirst = (size_t)prc->top * BITMAP_SIZE + prc->left;
    pwDst += (size_t)prc->top * nDstPitch + prc->left;
    switch (nBitsPixel) {
    case 8:
        ConvertRows8(pbSrc + iFirst, pPalette, pwDst, nDstPitch, cx, cy);
        break;
    case 15:
    case 16:
        CopyRows16(pbSrc + iFirst * 2, pwDst, nDstPitch, cx, cy);
        break;
    case 24:
        ConvertRows24(pbSrc + iFirst * 3, pwDst, nDstPitch, cx, cy);
        break;
    case 32:
        ConvertRows32(pbSrc + iFirst * 4, pwDst, nDstPitch, cx, cy);
        break;
    default:
        break;   // a depth the board cannot show: its buffer keeps what it held
    }
}

// ---------------------------------------------------------------------------
// The device

CGlideGraphicDevice::CGlideGraphicDevice()
    : m_nBitsPixel(0), m_nWidth(0), m_nHeight(0), m_hdc(NULL), m_hBitmap(NULL),
      m_cBitmapBuffer(NULL)
{
    SetRectEmpty(&m_rcPrevUpdate);
    SetRectEmpty(&m_rcUpdate);

    HDC hdc = ::GetDC(NULL);
    m_hdc = CreateCompatibleDC(hdc);
    m_nBitsPixel = GetDeviceCaps(hdc, BITSPIXEL);
    ZeroMemory(m_pPaletteEntry, sizeof(m_pPaletteEntry));
    // A palette desktop's bitmap holds palette indices; keep their colours.
    if (m_nBitsPixel <= 8)
        assert(GetSystemPaletteEntries(hdc, 0, 256, m_pPaletteEntry) != 0);
    ::ReleaseDC(NULL, hdc);
    assert(m_hdc != NULL);

    // Room for every present's read-back of the whole bitmap, with plenty over.
    m_cBitmapBuffer = (BYTE *)malloc((size_t)m_nBitsPixel << 20);
    assert(m_cBitmapBuffer != NULL);

    m_hBitmap = CreateBitmap(BITMAP_SIZE, BITMAP_SIZE, 1, m_nBitsPixel, m_cBitmapBuffer);
    assert(m_hBitmap != NULL);
    assert(SelectObject(m_hdc, m_hBitmap) != NULL);
}

// Glide is closed and shut down even when it was never opened.
CGlideGraphicDevice::~CGlideGraphicDevice()
{
    free(m_cBitmapBuffer);
    grSstWinClose();
    grGlideShutdown();
    DeleteDC(m_hdc);
    DeleteObject(m_hBitmap);
}

// Both rectangles cover the new screen, so the next two presents fill both
// colour buffers.
void CGlideGraphicDevice::SetScreenSize(int nWidth, int nHeight)
{
    m_nWidth = nWidth;
    m_nHeight = nHeight;
    SetRect(&m_rcPrevUpdate, 0, 0, nWidth, nHeight);
    SetRect(&m_rcUpdate, 0, 0, nWidth, nHeight);
}

// A Glide window on the given handle, double-buffered, at 60 Hz.
static BOOL OpenGlideWindow(HWND hWnd, int nWidth, int nHeight)
{
    GrScreenResolution_t resolution;
    if (!LookupResolution(nWidth, nHeight, &resolution))
        return FALSE;
    return grSstWinOpen((FxU32)(UINT_PTR)hWnd, resolution, GR_REFRESH_60Hz,
                        GR_COLORFORMAT_RGBA, GR_ORIGIN_UPPER_LEFT, 2, 0);
}

BOOL CGlideGraphicDevice::Open(HWND hWnd, int nWidth, int nHeight, int nBitsPerPixel,
                               int nRefreshRate)
{
    if (!DetectPixelFormat(hWnd, m_nBitsPixel))
        return FALSE;
    m_nBitsPixel = BitmapLayoutBits(m_nBitsPixel);
    SetScreenSize(nWidth, nHeight);

    grGlideInit();
    GrHwConfiguration hwconfig;
    ZeroMemory(&hwconfig, sizeof(hwconfig));
    if (!grSstQueryHardware(&hwconfig))
        return FALSE;
    grSstSelect(0);
    if (!OpenGlideWindow(hWnd, nWidth, nHeight))
        return FALSE;

    grRenderBuffer(GR_BUFFER_FRONTBUFFER);
    grBufferClear(0, 0, 0);
    grRenderBuffer(GR_BUFFER_BACKBUFFER);
    grBufferClear(0, 0, 0);
    return TRUE;
}

// The GDI side stays as it is; only the board's window changes size.
BOOL CGlideGraphicDevice::ChangeMode(HWND hWnd, int nWidth, int nHeight, int nBitsPerPixel,
                                     int nRefreshRate)
{
    SetScreenSize(nWidth, nHeight);
    grSstWinClose();
    if (!OpenGlideWindow(hWnd, nWidth, nHeight))
        return FALSE;
    grRenderBuffer(GR_BUFFER_BACKBUFFER);
    return TRUE;
}

BOOL CGlideGraphicDevice::GetScreenRect(RECT *pRect)
{
    SetRect(pRect, 0, 0, m_nWidth, m_nHeight);
    return TRUE;
}

HDC CGlideGraphicDevice::GetDC()
{
    return m_hdc;
}

BOOL CGlideGraphicDevice::ReleaseDC(HDC hdc)
{
    return TRUE;
}

BOOL CGlideGraphicDevice::UpdateRect(int left, int top, int right, int bottom)
{
    m_rcUpdate.top = std::min<LONG>(m_rcUpdate.top, top);
    m_rcUpdate.bottom = std::max<LONG>(m_rcUpdate.bottom, bottom);
    m_rcUpdate.left = std::min<LONG>(m_rcUpdate.left, left);
    m_rcUpdate.right = std::max<LONG>(m_rcUpdate.right, right);
    return TRUE;
}

// Converts one rectangle, cut to the screen: callers may report a little more
// than they drew, and nothing outside the screen belongs on the board.
void CGlideGraphicDevice::CopyToBoard(const RECT &rc, WORD *pwDst, int nDstPitch)
{
    RECT rcScreen, rcCopy;
    SetRect(&rcScreen, 0, 0, m_nWidth, m_nHeight);
    if (IntersectRect(&rcCopy, &rc, &rcScreen))
        ConvertBitmapRect(m_cBitmapBuffer, m_nBitsPixel, m_pPaletteEntry, pwDst, nDstPitch,
                          &rcCopy);
}

BOOL CGlideGraphicDevice::Present()
{
    BITMAP bm;
    ZeroMemory(&bm, sizeof(bm));
    GetObject(m_hBitmap, sizeof(bm), &bm);
    GetBitmapBits(m_hBitmap, bm.bmWidthBytes * bm.bmHeight * bm.bmPlanes, m_cBitmapBuffer);

    GrLfbInfo_t info;
    ZeroMemory(&info, sizeof(info));
    info.size = sizeof(info);
    GrLfbWriteMode_t writeMode = m_nBitsPixel == 16 ? GR_LFBWRITEMODE_565 : GR_LFBWRITEMODE_555;
    if (!grLfbLock(GR_LFB_WRITE_ONLY, GR_BUFFER_BACKBUFFER, writeMode, GR_ORIGIN_UPPER_LEFT,
                   FXFALSE, &info))
        return FALSE;

    // What changed now, and what changed last time: that is still missing
    // from this buffer, which was the front one then.
    WORD *pwDst = (WORD *)info.lfbPtr;
    int nDstPitch = (int)(info.strideInBytes & 0xFFFF) / 2;
    CopyToBoard(m_rcPrevUpdate, pwDst, nDstPitch);
    CopyToBoard(m_rcUpdate, pwDst, nDstPitch);

    m_rcPrevUpdate = m_rcUpdate;
    SetRect(&m_rcUpdate, m_nWidth, m_nHeight, 0, 0);

    if (!grLfbUnlock(GR_LFB_WRITE_ONLY, GR_BUFFER_BACKBUFFER))
        return FALSE;
    grBufferSwap(1);
    return TRUE;
}
