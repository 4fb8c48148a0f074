// state.h - ZLVDTest's program-wide state, set once at start-up, and the
// functions its two source files share.
#ifndef ZLV_TESTSCREEN_STATE_H
#define ZLV_TESTSCREEN_STATE_H

#include <windows.h>

#include "graphdev.h"

extern HINSTANCE        g_hInstance;        // for the string table and the window class
extern int              g_nScreenWidth;     // command-line value 1, pixels
extern int              g_nScreenHeight;    // command-line value 2, pixels
extern int              g_nBitsPerPixel;    // command-line value 3, caption only
extern int              g_nRefreshRate;     // command-line value 4, caption only
extern CGraphicDevice  *g_pGraphicDevice;   // the one output device

// picture.cpp
void DrawTestScreen(int nWidth, int nHeight, int nBitsPerPixel, int nRefreshRate);
void FillBox(HDC hdc, int left, int top, int right, int bottom,
             int nRed, int nGreen, int nBlue);
void WhiteBox(HDC hdc, int left, int top, int right, int bottom);
int  DrawCaptionLine(HDC hdc, int nWidth, int y, const char *pszText);

#endif // ZLV_TESTSCREEN_STATE_H
