// picture.cpp - the test picture: a white grid with ticks and a border on
// black, a hue band across the middle, and two caption lines above it
// naming the mode. Drawn with GDI into the device's DC and presented once.
#include <windows.h>
#include <limits.h>
#include <stdio.h>
#include <string.h>

#include <vector>

#include "resource.h"
#include "state.h"

static const int GRID_STEP       = 100;
static const int SMALL_TICK_STEP = 10;
static const int SMALL_TICK_LEN  = 8;
static const int LARGE_TICK_STEP = 50;
static const int LARGE_TICK_LEN  = 14;
static const int BAND_ROWS       = 99;      // rows T + 1 to T + 99
static const int CAPTION_GAP     = 16;      // rows between a caption line and what is below it
static const int CAPTION_ABOVE_BAND = 3;    // line 2 is placed from T - 3
static const int LOADED_TEXT     = 256;     // room for each string loaded
static const int CAPTION_TEXT    = 512;     // room for each formatted line

static int ClampComponent(int nValue)
{
    if (nValue < 0)
        return 0;
    if (nValue > 255)
        return 255;
    return nValue;
}

// Both corners are inside the box: the GDI rectangle is one larger.
void FillBox(HDC hdc, int left, int top, int right, int bottom,
             int nRed, int nGreen, int nBlue)
{
    HBRUSH hBrush = CreateSolidBrush(RGB(ClampComponent(nRed), ClampComponent(nGreen),
                                         ClampComponent(nBlue)));
    if (hBrush == NULL)
        return;
    RECT rc = { left, top, right + 1, bottom + 1 };
    FillRect(hdc, &rc, hBrush);
    DeleteObject(hBrush);
}

void WhiteBox(HDC hdc, int left, int top, int right, int bottom)
{
    FillBox(hdc, left, top, right, bottom, 255, 255, 255);
}

static void DrawGrid(HDC hdc, int nWidth, int nHeight)
{
    int nLastX = nWidth - 1, nLastY = nHeight - 1;
    for (int x = 0; x < nWidth; x += GRID_STEP)
        WhiteBox(hdc, x, 0, x, nLastY);
    for (int y = 0; y < nHeight; y += GRID_STEP)
        WhiteBox(hdc, 0, y, nLastX, y);
    // The grid's steps rarely land on the last column and row.
    WhiteBox(hdc, nLastX, 0, nLastX, nLastY);
    WhiteBox(hdc, 0, nLastY, nLastX, nLastY);
}

// Ticks of one length at every nStep pixels along all four edges.
static void DrawTicks(HDC hdc, int nWidth, int nHeight, int nStep, int nLength)
{
    int nLastX = nWidth - 1, nLastY = nHeight - 1;
    for (int x = 0; x < nWidth; x += nStep) {
        WhiteBox(hdc, x, 0, x, nLength - 1);
        WhiteBox(hdc, x, nHeight - nLength, x, nLastY);
    }
    for (int y = 0; y < nHeight; y += nStep) {
        WhiteBox(hdc, 0, y, nLength - 1, y);
        WhiteBox(hdc, nWidth - nLength, y, nLastX, y);
    }
}

// The band's colour walks around the hue circle one component at a time:
// green rises from red to yellow, red falls to green, blue rises to cyan,
// and so on. A component stops when it reaches 0 or 256; the next one in
// the order green, red, blue moves the other way from where it stands.
struct BandColour {
    int anComponent[3];     // red, green, blue; 0 to 256
    int iActive;
    int nStep;
};

enum { RED, GREEN, BLUE };

static void StartBandColour(BandColour *pColour)
{
    pColour->anComponent[RED]   = 256;
    pColour->anComponent[GREEN] = 0;
    pColour->anComponent[BLUE]  = 0;
    pColour->iActive = GREEN;
    pColour->nStep   = 1;
}

static void AdvanceBandColour(BandColour *pColour)
{
    int &nActive = pColour->anComponent[pColour->iActive];
    nActive += pColour->nStep;
    if ((nActive & 0xFF) != 0)
        return;
    pColour->nStep   = nActive == 0 ? 1 : -1;
    pColour->iActive = (pColour->iActive + 2) % 3;     // green -> red -> blue -> green
}

// Band rows T + 1 to T + 99 with T = ((H - 100) / 200) x 100 + 100: the band
// sits in the grid square nearest the middle of the screen.
static int BandTop(int nHeight)
{
    return (nHeight - 100) / 200 * 100 + 100;
}

static void DrawBand(HDC hdc, int nWidth, int nTop)
{
    BandColour colour;
    StartBandColour(&colour);
    for (int x = 1; x <= nWidth - 2; x++) {
        FillBox(hdc, x, nTop + 1, x, nTop + BAND_ROWS, colour.anComponent[RED],
                colour.anComponent[GREEN], colour.anComponent[BLUE]);
        AdvanceBandColour(&colour);
    }
}

static void LoadText(UINT uId, char *pszText)
{
    if (LoadStringA(g_hInstance, uId, pszText, LOADED_TEXT) <= 0)
        pszText[0] = '\0';
}

// The name of a colour depth; a depth without one shows no name.
static void LoadDepthName(int nBitsPerPixel, char *pszName)
{
    static const struct { int nBits; UINT uId; } s_aDepth[] = {
        { 4, IDS_DEPTH_4 }, { 8, IDS_DEPTH_8 }, { 15, IDS_DEPTH_15 },
        { 16, IDS_DEPTH_16 }, { 24, IDS_DEPTH_24 }, { 32, IDS_DEPTH_32 },
    };
    pszName[0] = '\0';
    for (size_t i = 0; i < sizeof(s_aDepth) / sizeof(s_aDepth[0]); i++) {
        if (s_aDepth[i].nBits == nBitsPerPixel)
            LoadText(s_aDepth[i].uId, pszName);
    }
}

// Line 1 names the size and the depth, line 2 the refresh rate. Below 56 Hz
// the mode is interlaced and shows its field rate, twice the number given.
static void FormatCaptions(int nWidth, int nHeight, int nBitsPerPixel, int nRefreshRate,
                           char *pszLine1, char *pszLine2)
{
    char szFormat[LOADED_TEXT];
    char szDepthName[LOADED_TEXT];

    LoadDepthName(nBitsPerPixel, szDepthName);
    LoadText(IDS_CAPTION_MODE, szFormat);
    _snprintf(pszLine1, CAPTION_TEXT, szFormat, nWidth, nHeight, nBitsPerPixel, szDepthName);
    pszLine1[CAPTION_TEXT - 1] = '\0';

    if (nRefreshRate < 56) {
        int nShown = nRefreshRate >= INT_MIN / 2 ? nRefreshRate * 2 : INT_MIN;
        LoadText(IDS_CAPTION_INTERLACED, szFormat);
        _snprintf(pszLine2, CAPTION_TEXT, szFormat, nShown);
    } else {
        LoadText(IDS_CAPTION_NONINTERLACED, szFormat);
        _snprintf(pszLine2, CAPTION_TEXT, szFormat, nRefreshRate);
    }
    pszLine2[CAPTION_TEXT - 1] = '\0';
}

// The memory DCs and bitmaps one caption line is rendered with.
struct CaptionBitmaps {
    HDC     hdcText;        // cx x cy: the whole line
    HDC     hdcRow;         // cx x 1: one row of it, to read back
    HBITMAP hbmText;
    HBITMAP hbmRow;
    HGDIOBJ hOldText;
    HGDIOBJ hOldRow;
};

static void FreeCaptionBitmaps(CaptionBitmaps *pBitmaps)
{
    if (pBitmaps->hOldText != NULL)
        SelectObject(pBitmaps->hdcText, pBitmaps->hOldText);
    if (pBitmaps->hOldRow != NULL)
        SelectObject(pBitmaps->hdcRow, pBitmaps->hOldRow);
    if (pBitmaps->hdcText != NULL)
        DeleteDC(pBitmaps->hdcText);
    if (pBitmaps->hdcRow != NULL)
        DeleteDC(pBitmaps->hdcRow);
    if (pBitmaps->hbmText != NULL)
        DeleteObject(pBitmaps->hbmText);
    if (pBitmaps->hbmRow != NULL)
        DeleteObject(pBitmaps->hbmRow);
}

static BOOL MakeCaptionBitmaps(HDC hdc, int cx, int cy, CaptionBitmaps *pBitmaps)
{
    ZeroMemory(pBitmaps, sizeof(*pBitmaps));
    pBitmaps->hbmText = CreateBitmap(cx, cy, 1, 1, NULL);
    pBitmaps->hbmRow  = CreateBitmap(cx, 1, 1, 1, NULL);
    pBitmaps->hdcText = CreateCompatibleDC(hdc);
    pBitmaps->hdcRow  = CreateCompatibleDC(hdc);
    if (pBitmaps->hbmText != NULL && pBitmaps->hbmRow != NULL &&
        pBitmaps->hdcText != NULL && pBitmaps->hdcRow != NULL) {
        pBitmaps->hOldText = SelectObject(pBitmaps->hdcText, pBitmaps->hbmText);
        pBitmaps->hOldRow  = SelectObject(pBitmaps->hdcRow, pBitmaps->hbmRow);
    }
    if (pBitmaps->hOldText == NULL || pBitmaps->hOldRow == NULL) {
        FreeCaptionBitmaps(pBitmaps);
        return FALSE;
    }
    return TRUE;
}

// Draws each run of set bits in one monochrome row as a white line.
static void DrawRowRuns(HDC hdc, const BYTE *pbRow, int cx, int left, int y)
{
    int k = 0;
    while (k < cx) {
        if (!(pbRow[k >> 3] & (0x80 >> (k & 7)))) {
            k++;
            continue;
        }
        int k0 = k;
        while (k < cx && (pbRow[k >> 3] & (0x80 >> (k & 7))))
            k++;
        WhiteBox(hdc, left + k0, y, left + k - 1, y);
    }
}

// One centred caption line whose last row is 16 rows above y, drawn as a
// white plate with dark lettering: the text is rendered black on its white
// background into a monochrome bitmap, and the set (background) bits are
// copied to the device DC as white runs, row by row. Returns the top row.
int DrawCaptionLine(HDC hdc, int nWidth, int y, const char *pszText)
{
    int cch = lstrlenA(pszText);
    SIZE size = { 0, 0 };
    GetTextExtentPoint32A(hdc, pszText, cch, &size);
    int cx = size.cx, cy = size.cy;
    int t = y - cy - (CAPTION_GAP - 1);
    int l = (nWidth - cx) / 2;

    FillBox(hdc, l, t, l + cx - 1, t + cy - 1, 0, 0, 0);

    CaptionBitmaps bitmaps;
    if (cx <= 0 || cy <= 0 || !MakeCaptionBitmaps(hdc, cx, cy, &bitmaps))
        return t;

    RECT rcText = { 0, 0, cx, cy };
    FillRect(bitmaps.hdcText, &rcText, (HBRUSH)GetStockObject(BLACK_BRUSH));
    TextOutA(bitmaps.hdcText, 0, 0, pszText, cch);

    // A one-row monochrome bitmap reads back as exactly its row's bytes,
    // without the word padding between rows.
    int cbRow = (cx + 7) / 8;
    std::vector<BYTE> row(cbRow + 2);
    for (int i = 0; i < cy; i++) {
        BitBlt(bitmaps.hdcRow, 0, 0, cx, 1, bitmaps.hdcText, 0, i, SRCCOPY);
        if (GetBitmapBits(bitmaps.hbmRow, cbRow, &row[0]) != cbRow)
            continue;
        DrawRowRuns(hdc, &row[0], cx, l, t + i);
    }

    FreeCaptionBitmaps(&bitmaps);
    return t;
}

void DrawTestScreen(int nWidth, int nHeight, int nBitsPerPixel, int nRefreshRate)
{
    HDC hdc = g_pGraphicDevice->GetDC();

    FillBox(hdc, 0, 0, nWidth - 1, nHeight - 1, 0, 0, 0);
    DrawGrid(hdc, nWidth, nHeight);
    DrawTicks(hdc, nWidth, nHeight, SMALL_TICK_STEP, SMALL_TICK_LEN);
    DrawTicks(hdc, nWidth, nHeight, LARGE_TICK_STEP, LARGE_TICK_LEN);

    int nBandTop = BandTop(nHeight);
    DrawBand(hdc, nWidth, nBandTop);

    char szLine1[CAPTION_TEXT], szLine2[CAPTION_TEXT];
    FormatCaptions(nWidth, nHeight, nBitsPerPixel, nRefreshRate, szLine1, szLine2);
    int nTop2 = DrawCaptionLine(hdc, nWidth, nBandTop - CAPTION_ABOVE_BAND, szLine2);
    DrawCaptionLine(hdc, nWidth, nTop2, szLine1);

    g_pGraphicDevice->UpdateRect(0, 0, nWidth, nHeight);
    g_pGraphicDevice->ReleaseDC(hdc);
    // A failed present leaves the board as it was; the user still ends the
    // program with a key or a click.
    g_pGraphicDevice->Present();
}
