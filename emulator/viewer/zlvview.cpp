// zlvview.cpp - a monitor on the emulated board's video output.
//
// Shows what the board's output shows, 1:1, in a small window titled "Board
// output", looking about 30 times a second. The drawing programs are
// full-screen and keyboard-driven, so the monitor never takes the
// activation or the keyboard focus from them.
#include <windows.h>

#include <string.h>

#include "video.h"

#define VIEW_CLASS      "ZlvBoardView"
#define VIEW_TITLE      "Board output"
#define VIEW_TIMER      1
#define VIEW_POLL_MS    33
#define VIEW_STYLE      (WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX)
#define VIEW_EX_STYLE   (WS_EX_NOACTIVATE | WS_EX_APPWINDOW)
#define VIEW_IDLE_WIDTH  320
#define VIEW_IDLE_HEIGHT 200

// The picture on show, and a second buffer to read the next one into.
static WORD *g_pwShown = NULL;
static WORD *g_pwRead = NULL;
static BOOL g_bShown = FALSE;
static int g_nWidth = 0;
static int g_nHeight = 0;
static DWORD g_dwSwapCount = 0;

static void SizeClientArea(HWND hWnd, int nWidth, int nHeight)
{
    RECT rc = { 0, 0, nWidth, nHeight };
    AdjustWindowRectEx(&rc, VIEW_STYLE, FALSE, VIEW_EX_STYLE);
    SetWindowPos(hWnd, NULL, 0, 0, rc.right - rc.left, rc.bottom - rc.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Reads the board; TRUE when what it shows differs from what is on show.
// Comparing the pixels also catches front-buffer writes that no swap marks.
static BOOL ReadBoard(void)
{
    int nWidth = 0, nHeight = 0;
    DWORD dwSwapCount = 0;
    BOOL bShown = VideoReadOutput(&nWidth, &nHeight, &dwSwapCount, g_pwRead,
                                  VIDEO_BUFFER_WORDS);
    BOOL bChanged = bShown != g_bShown || nWidth != g_nWidth ||
                    nHeight != g_nHeight || dwSwapCount != g_dwSwapCount ||
                    (bShown && memcmp(g_pwRead, g_pwShown,
                                      (size_t)nWidth * nHeight * sizeof(WORD)) != 0);
    if (!bChanged)
        return FALSE;
    WORD *pwSwap = g_pwShown;
    g_pwShown = g_pwRead;
    g_pwRead = pwSwap;
    g_bShown = bShown;
    g_nWidth = nWidth;
    g_nHeight = nHeight;
    g_dwSwapCount = dwSwapCount;
    return TRUE;
}

static void OnTimer(HWND hWnd)
{
    int nOldWidth = g_nWidth, nOldHeight = g_nHeight;
    if (!ReadBoard())
        return;
    if (g_bShown && (g_nWidth != nOldWidth || g_nHeight != nOldHeight))
        SizeClientArea(hWnd, g_nWidth, g_nHeight);
    InvalidateRect(hWnd, NULL, FALSE);
}

// The board's 5-6-5 words go to the window as a top-down 16-bit DIB with
// bit fields; GDI converts them to the desktop's format.
static void PaintPicture(HDC hdc)
{
    struct {
        BITMAPINFOHEADER bmiHeader;
        DWORD adwMasks[3];
    } bmi = {};
    bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bmi.bmiHeader.biWidth = g_nWidth;
    bmi.bmiHeader.biHeight = -g_nHeight;
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 16;
    bmi.bmiHeader.biCompression = BI_BITFIELDS;
    bmi.adwMasks[0] = 0xF800;
    bmi.adwMasks[1] = 0x07E0;
    bmi.adwMasks[2] = 0x001F;
    // DIB rows are DWORD-aligned: an odd width needs rows of its own.
    if (g_nWidth & 1) {
        for (int y = 0; y < g_nHeight; ++y) {
            bmi.bmiHeader.biHeight = -1;
            SetDIBitsToDevice(hdc, 0, y, g_nWidth, 1, 0, 0, 0, 1,
                              g_pwShown + (size_t)y * g_nWidth,
                              (BITMAPINFO *)&bmi, DIB_RGB_COLORS);
        }
        return;
    }
    SetDIBitsToDevice(hdc, 0, 0, g_nWidth, g_nHeight, 0, 0, 0, g_nHeight,
                      g_pwShown, (BITMAPINFO *)&bmi, DIB_RGB_COLORS);
}

static void OnPaint(HWND hWnd)
{
    PAINTSTRUCT ps;
    HDC hdc = BeginPaint(hWnd, &ps);
    RECT rcClient;
    GetClientRect(hWnd, &rcClient);
    if (g_bShown) {
        PaintPicture(hdc);
    } else {
        FillRect(hdc, &rcClient, (HBRUSH)GetStockObject(BLACK_BRUSH));
        SetTextColor(hdc, RGB(160, 160, 160));
        SetBkMode(hdc, TRANSPARENT);
        DrawTextA(hdc, "No picture", -1, &rcClient,
                  DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    }
    EndPaint(hWnd, &ps);
}

static LRESULT CALLBACK ViewWndProc(HWND hWnd, UINT uMsg, WPARAM wParam,
                                    LPARAM lParam)
{
    switch (uMsg) {
    case WM_MOUSEACTIVATE:
        return MA_NOACTIVATE;
    case WM_TIMER:
        OnTimer(hWnd);
        return 0;
    case WM_PAINT:
        OnPaint(hWnd);
        return 0;
    case WM_ERASEBKGND:
        return 1;   // the paint covers the whole client area
    case WM_DESTROY:
        KillTimer(hWnd, VIEW_TIMER);
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hWnd, uMsg, wParam, lParam);
}

static HWND CreateViewWindow(HINSTANCE hInstance)
{
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = ViewWndProc;
    wc.hInstance = hInstance;
    wc.hCursor = LoadCursor(NULL, IDC_ARROW);
    wc.lpszClassName = VIEW_CLASS;
    if (!RegisterClassExA(&wc))
        return NULL;
    RECT rc = { 0, 0, VIEW_IDLE_WIDTH, VIEW_IDLE_HEIGHT };
    AdjustWindowRectEx(&rc, VIEW_STYLE, FALSE, VIEW_EX_STYLE);
    return CreateWindowExA(VIEW_EX_STYLE, VIEW_CLASS, VIEW_TITLE, VIEW_STYLE,
                           CW_USEDEFAULT, CW_USEDEFAULT, rc.right - rc.left,
                           rc.bottom - rc.top, NULL, NULL, hInstance, NULL);
}

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance,
                   LPSTR lpCmdLine, int nCmdShow)
{
    g_pwShown = (WORD *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY,
                                  VIDEO_BUFFER_WORDS * sizeof(WORD));
    g_pwRead = (WORD *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY,
                                 VIDEO_BUFFER_WORDS * sizeof(WORD));
    if (g_pwShown == NULL || g_pwRead == NULL)
        return 1;
    HWND hWnd = CreateViewWindow(hInstance);
    if (hWnd == NULL)
        return 1;
    OnTimer(hWnd);
    ShowWindow(hWnd, SW_SHOWNOACTIVATE);
    UpdateWindow(hWnd);
    SetTimer(hWnd, VIEW_TIMER, VIEW_POLL_MS, NULL);

    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return (int)msg.wParam;
}
