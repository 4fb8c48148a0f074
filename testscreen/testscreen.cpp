// testscreen.cpp - ZLVDTest: shows the test picture of one display mode on
// the board's output and ends on a key press or a left click.
//
// Command line: width,height,bits per pixel,refresh rate (for example
// "640,480,16,60"). The width and height choose the board's mode; the other
// two only appear in the caption.
#include <windows.h>
#include <limits.h>
#include <new>

#include "state.h"

HINSTANCE       g_hInstance      = NULL;
int             g_nScreenWidth   = 0;
int             g_nScreenHeight  = 0;
int             g_nBitsPerPixel  = 0;
int             g_nRefreshRate   = 0;
CGraphicDevice *g_pGraphicDevice = NULL;

// Exit codes: 0 whenever the picture could not be shown or the window went
// away without the user's key or click; this one when the user ended it.
static const int EXIT_ENDED_BY_USER = 1;

static const char g_szTestClass[] = "ZLVDTest";

static const int COMMAND_LINE_VALUES = 4;

static BOOL IsBlank(char ch)
{
    return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\v' || ch == '\f' || ch == '\r';
}

// Decimal value at the start of a token: leading blanks, an optional sign,
// then digits up to the first other character; no digits gives 0. Values
// beyond the int range stop at its ends rather than wrapping.
static int ParseDecimal(const char *psz, const char *pszEnd)
{
    while (psz < pszEnd && IsBlank(*psz))
        psz++;
    BOOL bNegative = FALSE;
    if (psz < pszEnd && (*psz == '+' || *psz == '-')) {
        bNegative = *psz == '-';
        psz++;
    }
    long long llValue = 0;
    for (; psz < pszEnd && *psz >= '0' && *psz <= '9'; psz++) {
        llValue = llValue * 10 + (*psz - '0');
        if (llValue > (long long)INT_MAX + 1)
            llValue = (long long)INT_MAX + 1;
    }
    if (bNegative)
        llValue = -llValue;
    if (llValue > INT_MAX)
        return INT_MAX;
    return (int)llValue;
}

// Fills the four command-line values from comma-separated fields. Runs of
// commas count as one separator, so empty fields vanish; blanks belong to
// the fields. Fields after the fourth are ignored.
BOOL ParseCommandLine(LPSTR lpCmdLine)
{
    if (lpCmdLine == NULL)
        return FALSE;

    int anValue[COMMAND_LINE_VALUES];
    int cValues = 0;
    const char *psz = lpCmdLine;
    while (cValues < COMMAND_LINE_VALUES) {
        while (*psz == ',')
            psz++;
        if (*psz == '\0')
            return FALSE;
        const char *pszEnd = psz;
        while (*pszEnd != '\0' && *pszEnd != ',')
            pszEnd++;
        anValue[cValues++] = ParseDecimal(psz, pszEnd);
        psz = pszEnd;
    }

    g_nScreenWidth  = anValue[0];
    g_nScreenHeight = anValue[1];
    g_nBitsPerPixel = anValue[2];
    g_nRefreshRate  = anValue[3];
    return TRUE;
}

// The device is built before any window exists: its GDI side needs none.
BOOL CreateGraphicDevice()
{
    g_pGraphicDevice = new (std::nothrow) CGlideGraphicDevice;
    return g_pGraphicDevice != NULL;
}

void DeleteGraphicDevice()
{
    if (g_pGraphicDevice != NULL) {
        delete g_pGraphicDevice;
        g_pGraphicDevice = NULL;
    }
}

// The window only gives the device a handle and receives the key or click
// that ends the program; it holds the mouse capture so that every left
// click comes here.
LRESULT CALLBACK TestWndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    switch (uMsg) {
    case WM_CREATE:
        SetCapture(hWnd);
        return 0;
    case WM_DESTROY:
        ReleaseCapture();
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(hWnd, uMsg, wParam, lParam);
    }
}

BOOL RegisterTestWindowClass()
{
    WNDCLASSEXA wc;
#ifndef _WIN64
    static_assert(sizeof(WNDCLASSEXA) == 48, "WNDCLASSEXA is 48 bytes on 32-bit Windows");
#endif
    ZeroMemory(&wc, sizeof(wc));
    wc.cbSize        = sizeof(wc);
    wc.style         = 0;
    wc.lpfnWndProc   = TestWndProc;
    wc.cbClsExtra    = 0;
    wc.cbWndExtra    = 0;
    wc.hInstance     = g_hInstance;
    wc.hIcon         = LoadIconA(NULL, (LPCSTR)IDI_APPLICATION);
    wc.hCursor       = NULL;
    wc.hbrBackground = (HBRUSH)GetStockObject(BLACK_BRUSH);
    wc.lpszMenuName  = NULL;
    wc.lpszClassName = g_szTestClass;
    wc.hIconSm       = LoadIconA(NULL, (LPCSTR)IDI_APPLICATION);
    return RegisterClassExA(&wc) != 0;
}

// Waits for the key press or left click that ends the program; those two
// are not dispatched. Returns FALSE when the thread's quit message came
// first: the window was closed by other means and nobody is left to press.
static BOOL WaitForUserEnd()
{
    MSG msg;
    for (;;) {
        BOOL bGot = GetMessageA(&msg, NULL, 0, 0);
        if (bGot == 0 || bGot == -1)
            return FALSE;
        if (msg.message == WM_KEYDOWN || msg.message == WM_LBUTTONDOWN)
            return TRUE;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

// Window, device, picture and the wait. TRUE when the picture was shown and
// the user ended it; FALSE on every failure and when the window went away
// first.
BOOL RunTestWindow(HINSTANCE hInstance, int nCmdShow)
{
    HWND hWnd = CreateWindowExA(0, g_szTestClass, NULL, WS_MAXIMIZE,
                                0, 0, CW_USEDEFAULT, CW_USEDEFAULT,
                                NULL, NULL, hInstance, NULL);
    if (hWnd == NULL)
        return FALSE;
    ShowWindow(hWnd, nCmdShow);
    UpdateWindow(hWnd);

    if (!g_pGraphicDevice->Open(hWnd, g_nScreenWidth, g_nScreenHeight,
                                g_nBitsPerPixel, g_nRefreshRate)) {
        DeleteGraphicDevice();
        DestroyWindow(hWnd);
        return FALSE;
    }

    DrawTestScreen(g_nScreenWidth, g_nScreenHeight, g_nBitsPerPixel, g_nRefreshRate);

    if (!WaitForUserEnd())
        return FALSE;

    // Releases the capture and posts the quit message; the window itself
    // goes with the process.
    SendMessageA(hWnd, WM_DESTROY, 0, 0);
    return TRUE;
}

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance,
                   LPSTR lpCmdLine, int nCmdShow)
{
    g_hInstance = hInstance;
    if (!ParseCommandLine(lpCmdLine))
        return 0;
    if (!CreateGraphicDevice())
        return 0;
    if (!RegisterTestWindowClass()) {
        DeleteGraphicDevice();
        return 0;
    }
    BOOL bEndedByUser = RunTestWindow(hInstance, nCmdShow);
    DeleteGraphicDevice();
    return bEndedByUser ? EXIT_ENDED_BY_USER : 0;
}
