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
};

#endif // ZLV_GRAPHDEV_H
