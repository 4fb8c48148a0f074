// bench_present.cpp - where the time of a present goes, at the desktop's
// depth: reading the bitmap back, converting the rectangles, swapping; and
// the conversion's speed against memcpy of the same source bytes, measured
// in the same run.
//
// Runs on a board directory of its own (a temporary folder, log off).
// Usage: bench_present [repetitions]
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "glide2x.h"
#include "graphdev.h"

namespace {

// The device with its bitmap, buffer and palette in view.
class CBenchDevice : public CGlideGraphicDevice {
public:
    int BitsPixel() const { return m_nBitsPixel; }
    HBITMAP Bitmap() const { return m_hBitmap; }
    const BYTE *Buffer() const { return m_cBitmapBuffer; }
    const PALETTEENTRY *Palette() const { return m_pPaletteEntry; }
};

double g_dMsPerTick;

// Results read back, so that no copy or conversion is left out as unused.
volatile unsigned g_uSink;

double NowMs()
{
    LARGE_INTEGER li;
    QueryPerformanceCounter(&li);
    return (double)li.QuadPart * g_dMsPerTick;
}

struct Timing {
    double dBest;
    double dMedian;
};

// Runs fn nRuns times; best and median milliseconds of one run.
template <class Fn> Timing Measure(int nRuns, Fn fn)
{
    std::vector<double> times;
    for (int i = 0; i < nRuns; i++) {
        double dStart = NowMs();
        fn();
        times.push_back(NowMs() - dStart);
    }
    std::sort(times.begin(), times.end());
    Timing t = { times[0], times[times.size() / 2] };
    return t;
}

void Report(const char *pszWhat, const Timing &t)
{
    printf("  %-44s best %9.4f ms  median %9.4f ms\n", pszWhat, t.dBest, t.dMedian);
}

std::string g_strBoardDir;

void SetBoard(const char *pszSection, const char *pszKey, const char *pszValue)
{
    WritePrivateProfileStringA(pszSection, pszKey, pszValue,
                               (g_strBoardDir + "\\board.ini").c_str());
}

bool MakeBoardDir()
{
    char szTemp[MAX_PATH], szDir[MAX_PATH];
    GetTempPathA(sizeof(szTemp), szTemp);
    snprintf(szDir, sizeof(szDir), "%szlvbench-%lu", szTemp, (unsigned long)GetCurrentProcessId());
    if (!CreateDirectoryA(szDir, NULL))
        return false;
    g_strBoardDir = szDir;
    SetEnvironmentVariableA("ZLVBOARD_DIR", szDir);
    SetBoard("log", "enabled", "0");
    SetBoard("video", "vsync", "0");
    return true;
}

void RemoveBoardDir()
{
    const char *apszFiles[] = { "board.ini", "board.log", "board.dat", "video.dat" };
    for (size_t i = 0; i < sizeof(apszFiles) / sizeof(apszFiles[0]); i++)
        DeleteFileA((g_strBoardDir + "\\" + apszFiles[i]).c_str());
    RemoveDirectoryA(g_strBoardDir.c_str());
}

HWND CreateBenchWindow()
{
    WNDCLASSA wc;
    ZeroMemory(&wc, sizeof(wc));
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = "BenchPresent";
    RegisterClassA(&wc);
    return CreateWindowExA(0, "BenchPresent", "bench", WS_POPUP | WS_VISIBLE, 0, 0, 640, 480,
                           NULL, NULL, GetModuleHandleA(NULL), NULL);
}

// A picture with something in every pixel, so that no path is trivially cheap.
void DrawPicture(CGraphicDevice &device)
{
    HDC hdc = device.GetDC();
    for (int i = 0; i < 16; i++) {
        RECT rc = { i * 40, 0, i * 40 + 40, 480 };
        HBRUSH hbr = CreateSolidBrush(RGB(i * 16, 255 - i * 16, (i * 37) & 0xFF));
        FillRect(hdc, &rc, hbr);
        DeleteObject(hbr);
    }
    TextOutA(hdc, 100, 100, "Zelvra", 6);
    device.ReleaseDC(hdc);
}

} // namespace

int main(int argc, char **argv)
{
    int nRuns = argc > 1 ? atoi(argv[1]) : 200;
    if (nRuns < 5)
        nRuns = 5;
    LARGE_INTEGER liFreq;
    QueryPerformanceFrequency(&liFreq);
    g_dMsPerTick = 1000.0 / (double)liFreq.QuadPart;

    if (!MakeBoardDir()) {
        fprintf(stderr, "bench_present: cannot make a board directory\n");
        return 2;
    }
    HWND hWnd = CreateBenchWindow();
    int nExit = 0;
    {
        CBenchDevice device;
        if (!device.Open(hWnd, 640, 480, 16, 60)) {
            fprintf(stderr, "bench_present: the device did not open\n");
            nExit = 2;
        } else {
            DrawPicture(device);
            int nBits = device.BitsPixel();
            int cbPixel = nBits == 15 ? 2 : (nBits + 7) / 8;
            printf("desktop %d bits per pixel; device converts from %d; %d runs each\n",
                   GetDeviceCaps(device.GetDC(), BITSPIXEL), nBits, nRuns);

            // Reading the whole bitmap back, as every present does.
            BITMAP bm;
            GetObject(device.Bitmap(), sizeof(bm), &bm);
            LONG cbBitmap = bm.bmWidthBytes * bm.bmHeight * bm.bmPlanes;
            Timing tRead = Measure(std::max(nRuns / 10, 5), [&]() {
                GetBitmapBits(device.Bitmap(), cbBitmap, (LPVOID)device.Buffer());
            });

            // Converting, into a frame buffer laid out as the board's.
            std::vector<WORD> frame(1024 * 1024);
            RECT rcFull = { 0, 0, 640, 480 }, rcKey = { 200, 300, 320, 320 };
            auto convert = [&](const RECT &rc) {
                ConvertBitmapRect(device.Buffer(), nBits, device.Palette(), &frame[0], 1024, &rc);
                g_uSink += frame[(size_t)rc.top * 1024 + rc.left];
            };
            convert(rcFull);   // warm up
            Timing tFull = Measure(nRuns, [&]() { convert(rcFull); });
            Timing tKey = Measure(nRuns * 10, [&]() { convert(rcKey); });

            // memcpy of the same source bytes as the full-screen conversion.
            size_t cbSource = (size_t)640 * 480 * cbPixel;
            std::vector<BYTE> copy(cbSource);
            memcpy(&copy[0], device.Buffer(), cbSource);
            Timing tCopy = Measure(nRuns, [&]() {
                memcpy(&copy[0], device.Buffer(), cbSource);
                g_uSink += copy[cbSource / 2];
            });

            // Whole presents and the swap alone, without and with retrace waits.
            Timing tPresentFull = Measure(std::max(nRuns / 10, 5), [&]() {
                device.UpdateRect(0, 0, 640, 480);
                device.Present();
            });
            Timing tPresentKey = Measure(std::max(nRuns / 10, 5), [&]() {
                device.UpdateRect(rcKey.left, rcKey.top, rcKey.right, rcKey.bottom);
                device.Present();
            });
            GrLfbWriteMode_t writeMode = nBits == 16 ? GR_LFBWRITEMODE_565 : GR_LFBWRITEMODE_555;
            Timing tLock = Measure(std::max(nRuns / 10, 5), [&]() {
                GrLfbInfo_t info;
                ZeroMemory(&info, sizeof(info));
                info.size = sizeof(info);
                grLfbLock(GR_LFB_WRITE_ONLY, GR_BUFFER_BACKBUFFER, writeMode,
                          GR_ORIGIN_UPPER_LEFT, FXFALSE, &info);
                grLfbUnlock(GR_LFB_WRITE_ONLY, GR_BUFFER_BACKBUFFER);
            });
            Timing tSwap0 = Measure(nRuns, []() { grBufferSwap(1); });
            SetBoard("video", "vsync", "1");
            device.ChangeMode(hWnd, 640, 480, 16, 60);   // the board reads it again
            Timing tSwap1 = Measure(20, []() { grBufferSwap(1); });
            Timing tPresentKeyVsync = Measure(20, [&]() {
                device.UpdateRect(rcKey.left, rcKey.top, rcKey.right, rcKey.bottom);
                device.Present();
            });

            Report("read back the whole bitmap (GetBitmapBits)", tRead);
            Report("convert 640 x 480", tFull);
            Report("convert 120 x 20", tKey);
            Report("memcpy of the 640 x 480 source bytes", tCopy);
            Report("present 640 x 480 (vsync=0)", tPresentFull);
            Report("present 120 x 20 (vsync=0)", tPresentKey);
            Report("lock and unlock the back buffer", tLock);
            Report("swap alone (vsync=0)", tSwap0);
            Report("swap alone (vsync=1)", tSwap1);
            Report("present 120 x 20 (vsync=1)", tPresentKeyVsync);

            double dRatio = tCopy.dBest / tFull.dBest;
            double dKeyShare = tKey.dBest / tFull.dBest;
            printf("  conversion speed / memcpy speed (best)      %.2f  (target >= 0.50) %s\n",
                   dRatio, dRatio >= 0.5 ? "ok" : "MISSED");
            printf("  MB/s: conversion %.0f, memcpy %.0f (source bytes)\n",
                   cbSource / 1048576.0 / (tFull.dBest / 1000.0),
                   cbSource / 1048576.0 / (tCopy.dBest / 1000.0));
            printf("  120 x 20 / 640 x 480 conversion (best)      %.4f  (target <= 0.0200) %s\n",
                   dKeyShare, dKeyShare <= 0.02 ? "ok" : "MISSED");
        }
    }
    DestroyWindow(hWnd);
    RemoveBoardDir();
    return nExit;
}
