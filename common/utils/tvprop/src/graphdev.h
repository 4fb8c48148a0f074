// graphdev.h - the graphics output device: GDI drawing into a memory bitmap,
// shown on the 3D board's own output through Glide.
#ifndef ZLV_GRAPHDEV_H
#define ZLV_GRAPHDEV_H

#include <windows.h>

// The drawing target of the full-screen programs.
class CGraphicDevice {
public:
    virtual ~CGraphicDevice() {}
    virtual BOOL Open(HWND hWnd, int nWidth, int nHeight, int nBitsPerPixel,
                      int nRefreshRate) = 0;
    virtual BOOL ChangeMode(HWND hWnd, int nWidth, int nHeight,
                            int nBitsPerPixel, int nRefreshRate) = 0;
    virtual BOOL GetScreenRect(RECT *pRect) = 0;
    virtual HDC  GetDC() = 0;
    virtual BOOL ReleaseDC(HDC hdc) = 0;
    virtual BOOL UpdateRect(int left, int top, int right, int bottom) = 0;
    virtual BOOL Present() = 0;
};

// The device on a Glide board.
class CGlideGraphicDevice : public CGraphicDevice {
public:
    CGlideGraphicDevice();
    virtual ~CGlideGraphicDevice();
    virtual BOOL Open(HWND hWnd, int nWidth, int nHeight, int nBitsPerPixel,
                      int nRefreshRate);
    virtual BOOL ChangeMode(HWND hWnd, int nWidth, int nHeight,
                            int nBitsPerPixel, int nRefreshRate);
    virtual BOOL GetScreenRect(RECT *pRect);
    virtual HDC  GetDC();
    virtual BOOL ReleaseDC(HDC hdc);
    virtual BOOL UpdateRect(int left, int top, int right, int bottom);
    virtual BOOL Present();

protected:
    int          m_nBitsPixel;
    int          m_nWidth;
    int          m_nHeight;
    HDC          m_hdc;
    HBITMAP      m_hBitmap;
    BYTE        *m_cBitmapBuffer;
    RECT         m_rcPrevUpdate;
    RECT         m_rcUpdate;
    PALETTEENTRY m_pPaletteEntry[256];

private:
    void SetScreenSize(int nWidth, int nHeight);
    void CopyToBoard(const RECT &rc, WORD *pwDst, int nDstPitch);
};

// Converts the rectangle rc of a 1024-pixel-wide bitmap's bits (pbSrc, one
// element of 1, 2, 3 or 4 bytes per pixel by nBitsPixel) into the board's
// 16-bit pixels at the same place of pwDst (nDstPitch pixels per row). The
// palette gives the colours of an 8-bit bitmap. Depths other than 8, 15, 16,
// 24 and 32 write nothing. Present uses it for both of its rectangles; it is
// exported on its own so that its speed can be measured.
void ConvertBitmapRect(const BYTE *pbSrc, int nBitsPixel,
                       const PALETTEENTRY *pPalette, WORD *pwDst,
                       int nDstPitch, const RECT *prc);

#endif // ZLV_GRAPHDEV_H
