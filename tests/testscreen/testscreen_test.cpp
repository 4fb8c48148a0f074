// testscreen_test.cpp - ZLVDTest run as a real process on an emulated board:
// the picture on the board's output, the command line and how it ends.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "boardvideo.h"
#include "harness.h"

namespace {


const int EXIT_ENDED_BY_USER = 1;

std::string TestScreenCommand(const char *pszTail)
{
    return "\"" + zlv::BinDir() + "\\ZLVDTest.exe\" " + pszTail;
}

BOOL CALLBACK FindTestWindowProc(HWND hWnd, LPARAM lParam)
{
    char szClass[64];
    if (GetClassNameA(hWnd, szClass, sizeof(szClass)) && !strcmp(szClass, "ZLVDTest")) {
        *(HWND *)lParam = hWnd;
        return FALSE;
    }
    return TRUE;
}

HWND FindTestWindow(const zlv::Process &process)
{
    HWND hWnd = NULL;
    EnumThreadWindows(process.ThreadId(), FindTestWindowProc, (LPARAM)&hWnd);
    return hWnd;
}

// The Glide functions one process called, in order.
std::vector<std::string> GlideCalls(const zlv::TestBoard &board, DWORD dwPid)
{
    std::vector<std::string> calls;
    std::vector<std::string> lines = board.Log("gr");
    for (size_t i = 0; i < lines.size(); i++) {
        if (zlv::ParseLogLine(lines[i])["pid"] != std::to_string(dwPid))
            continue;
        size_t pos = lines[i].find(" gr ") + 4;
        calls.push_back(lines[i].substr(pos, lines[i].find(' ', pos) - pos));
    }
    return calls;
}

std::string Hex(WORD w)
{
    char sz[8];
    _snprintf(sz, sizeof(sz), "0x%04X", w);
    sz[sizeof(sz) - 1] = '\0';
    return sz;
}

// A caption line as GDI renders it with a fresh DC's defaults (the default
// font, black text on white): true where the white background shows.
struct Caption {
    int cx, cy;
    std::vector<bool> white;
};

Caption RenderCaption(const std::string &strText)
{
    Caption caption = { 0, 0, std::vector<bool>() };
    HDC hdc = CreateCompatibleDC(NULL);
    SIZE size;
    GetTextExtentPoint32A(hdc, strText.c_str(), (int)strText.size(), &size);
    caption.cx = size.cx;
    caption.cy = size.cy;
    HBITMAP hbm = CreateBitmap(size.cx, size.cy, 1, 1, NULL);
    HGDIOBJ hOld = SelectObject(hdc, hbm);
    RECT rc = { 0, 0, size.cx, size.cy };
    FillRect(hdc, &rc, (HBRUSH)GetStockObject(BLACK_BRUSH));
    TextOutA(hdc, 0, 0, strText.c_str(), (int)strText.size());
    for (int y = 0; y < size.cy; y++)
        for (int x = 0; x < size.cx; x++)
            caption.white.push_back(GetPixel(hdc, x, y) == RGB(255, 255, 255));
    SelectObject(hdc, hOld);
    DeleteObject(hbm);
    DeleteDC(hdc);
    return caption;
}

bool OnGridLine(int x, int y)
{
    return x % 100 == 0 || y % 100 == 0;
}

// Checks one centred caption line whose last row is nBottom: the text's
// plate, exactly its size, with black all around it (grid lines aside).
// Returns the plate's top row.
int ExpectCaption(const zlv::BoardFrame &frame, int nBottom, const std::string &strText)
{
    Caption caption = RenderCaption(strText);
    size_t cWhite = std::count(caption.white.begin(), caption.white.end(), true);
    EXPECT_TRUE(cWhite > 0 && cWhite < caption.white.size()) << "no lettering on the plate";
    int t = nBottom - caption.cy + 1;
    int l = (frame.nWidth - caption.cx) / 2;
    int cWrong = 0;
    std::string strFirst;
    for (int y = t - 1; y <= nBottom + 1; y++) {
        for (int x = l - 1; x <= l + caption.cx; x++) {
            bool bInside = y >= t && y <= nBottom && x >= l && x < l + caption.cx;
            WORD wWant = zlv::RGB565_BLACK;
            if (bInside && caption.white[(y - t) * caption.cx + (x - l)])
                wWant = zlv::RGB565_WHITE;
            else if (!bInside && OnGridLine(x, y))
                continue;
            if (frame.At(x, y) != wWant && cWrong++ == 0)
                strFirst = "(" + std::to_string(x) + "," + std::to_string(y) + ") is " +
                           Hex(frame.At(x, y)) + ", want " + Hex(wWant);
        }
    }
    EXPECT_EQ(0, cWrong) << "caption \"" << strText << "\" at rows " << t << " to "
                         << nBottom << ": " << strFirst;
    return t;
}

// Grid, border and ticks at points chosen against their neighbours, clear
// of the band (rows nBandTop + 1 to + 99) and the captions above it.
void ExpectLines(const zlv::BoardFrame &frame, int nBandTop)
{
    const int W = frame.nWidth, H = frame.nHeight;
    const int yBelow = nBandTop + 100;      // the grid row under the band
    const struct { const char *pszWhat; int x, y; WORD wWant; } aPoint[] = {
        { "grid column 100",          100, H - 35, zlv::RGB565_WHITE },
        { "left of grid column 100",   99, H - 35, zlv::RGB565_BLACK },
        { "right of grid column 100", 101, H - 35, zlv::RGB565_BLACK },
        { "grid row under the band",   35, yBelow, zlv::RGB565_WHITE },
        { "below that grid row",       35, yBelow + 1, zlv::RGB565_BLACK },
        { "grid crossing",            100, yBelow, zlv::RGB565_WHITE },
        { "top border",                35, 0, zlv::RGB565_WHITE },
        { "below the top border",      35, 1, zlv::RGB565_BLACK },
        { "right border",           W - 1, 35, zlv::RGB565_WHITE },
        { "inside right border",    W - 2, 35, zlv::RGB565_BLACK },
        { "bottom border",             35, H - 1, zlv::RGB565_WHITE },
        { "inside bottom border",      35, H - 2, zlv::RGB565_BLACK },
        { "top small tick end",        10, 7, zlv::RGB565_WHITE },
        { "below top small tick",      10, 8, zlv::RGB565_BLACK },
        { "bottom small tick end",     10, H - 8, zlv::RGB565_WHITE },
        { "above bottom small tick",   10, H - 9, zlv::RGB565_BLACK },
        { "left small tick end",        7, 10, zlv::RGB565_WHITE },
        { "right of left small tick",   8, 10, zlv::RGB565_BLACK },
        { "right small tick end",   W - 8, 10, zlv::RGB565_WHITE },
        { "left of right small tick", W - 9, 10, zlv::RGB565_BLACK },
        { "top large tick end",        50, 13, zlv::RGB565_WHITE },
        { "below top large tick",      50, 14, zlv::RGB565_BLACK },
        { "bottom large tick end",     50, H - 14, zlv::RGB565_WHITE },
        { "above bottom large tick",   50, H - 15, zlv::RGB565_BLACK },
        { "left large tick end",       13, 50, zlv::RGB565_WHITE },
        { "right of left large tick",  14, 50, zlv::RGB565_BLACK },
        { "right large tick end",  W - 14, 50, zlv::RGB565_WHITE },
        { "left of right large tick", W - 15, 50, zlv::RGB565_BLACK },
        { "between the lines",        155, H - 5, zlv::RGB565_BLACK },
    };
    for (size_t i = 0; i < sizeof(aPoint) / sizeof(aPoint[0]); i++)
        EXPECT_EQ(Hex(aPoint[i].wWant), Hex(frame.At(aPoint[i].x, aPoint[i].y)))
            << aPoint[i].pszWhat << " at (" << aPoint[i].x << "," << aPoint[i].y << ")";
}

// The hue band on rows nTop + 1 to nTop + 99 from column 1 to W - 2: red,
// then green rising to yellow, red falling to green.
void ExpectBand(const zlv::BoardFrame &frame, int nTop)
{
    const int W = frame.nWidth;
    const int yMid = nTop + 50;
    EXPECT_EQ(Hex(zlv::RGB565_WHITE), Hex(frame.At(1, nTop))) << "grid row above the band";
    EXPECT_EQ(Hex(zlv::RGB565_WHITE), Hex(frame.At(1, nTop + 100))) << "grid row below the band";
    EXPECT_EQ(Hex(zlv::RGB565_WHITE), Hex(frame.At(0, yMid))) << "grid column left of the band";
    EXPECT_EQ(Hex(zlv::RGB565_WHITE), Hex(frame.At(W - 1, yMid))) << "border right of the band";
    EXPECT_EQ(Hex(zlv::RGB565_RED), Hex(frame.At(1, yMid))) << "first band column";
    if (W - 2 >= 257) {
        EXPECT_EQ(Hex(zlv::RGB565_YELLOW), Hex(frame.At(257, yMid))) << "yellow corner";
    }
    if (W - 2 >= 513) {
        EXPECT_EQ(Hex(zlv::RGB565_GREEN), Hex(frame.At(513, yMid))) << "green corner";
    }

    int nPrevGreen = 0;
    for (int x = 1; x <= 256; x++) {
        WORD w = frame.At(x, yMid);
        int nGreen = (w >> 5) & 0x3F;
        int nWant = (x - 1) >> 2;   // 8-bit green x - 1 in six bits
        ASSERT_EQ(0xF800, w & 0xF81F) << "column " << x << " is " << Hex(w);
        ASSERT_TRUE(nGreen >= nPrevGreen && nGreen >= nWant - 1 && nGreen <= nWant + 1)
            << "column " << x << " green " << nGreen << ", want about " << nWant;
        nPrevGreen = nGreen;
    }
    for (int x = 1; x <= W - 2; x++) {
        ASSERT_EQ(Hex(frame.At(x, yMid)), Hex(frame.At(x, nTop + 1))) << "column " << x;
        ASSERT_EQ(Hex(frame.At(x, yMid)), Hex(frame.At(x, nTop + 99))) << "column " << x;
    }
}

// One ZLVDTest run on a board of its own that swaps without waiting for
// retraces.
class TestScreenRun {
public:
    explicit TestScreenRun(int nModel = 1)
    {
        m_board.Set("video", "vsync", 0L);
        m_board.Set("board", "model", (long)nModel);
    }

    void Start(const char *pszTail)
    {
        m_pProcess.reset(new zlv::Process(TestScreenCommand(pszTail)));
        ASSERT_TRUE(m_pProcess->Started());
    }

    // Waits until the picture has been swapped in and the window waits for
    // the user.
    void WaitForPicture(zlv::BoardFrame *pFrame)
    {
        ASSERT_TRUE(zlv::WaitFor([&] {
            return zlv::ReadBoardFrame(pFrame) && pFrame->dwSwapCount >= 1;
        })) << "no picture on the board";
        ASSERT_TRUE(zlv::WaitFor([&] { return FindTestWindow(*m_pProcess) != NULL; }))
            << "no ZLVDTest window";
        m_hWnd = FindTestWindow(*m_pProcess);
        m_pProcess->WaitIdle(10000);
    }

    void Post(UINT uMsg, WPARAM wParam = 0, LPARAM lParam = 0)
    {
        ASSERT_TRUE(PostMessageA(m_hWnd, uMsg, wParam, lParam));
    }

    int Wait() { return m_pProcess->Wait(10000); }
    bool Running() const { return m_pProcess->Running(); }

    // The board is released at the end: the window closed and Glide shut
    // down.
    void ExpectGlideClosed()
    {
        std::vector<std::string> calls = GlideCalls(m_board, m_pProcess->Id());
        ASSERT_GE(calls.size(), 2u);
        EXPECT_EQ("grSstWinClose", calls[calls.size() - 2]);
        EXPECT_EQ("grGlideShutdown", calls[calls.size() - 1]);
    }

private:
    zlv::TestBoard m_board;
    std::unique_ptr<zlv::Process> m_pProcess;
    HWND m_hWnd = NULL;
};

// Command lines that show a picture: the picture at its size, both caption
// lines with what the command line said, and a key ends it.
struct PictureCase {
    const char *pszTail;
    int nWidth, nHeight;
    int nBandTop;
    int nLine2Bottom;       // 16 rows above T - 3
    const char *pszLine1;
    const char *pszLine2;
};

const PictureCase g_aPictureCase[] = {
    { "640,480,16,60", 640, 480, 200, 181,
      " 640x480dots 16bits/pixel High Color (16bit) ", " 60Hz (Non-Interlaced) " },
    { "640,,480,16,60", 640, 480, 200, 181,
      " 640x480dots 16bits/pixel High Color (16bit) ", " 60Hz (Non-Interlaced) " },
    { "640, 480, 16, 60", 640, 480, 200, 181,
      " 640x480dots 16bits/pixel High Color (16bit) ", " 60Hz (Non-Interlaced) " },
    { "640,480,16,30", 640, 480, 200, 181,
      " 640x480dots 16bits/pixel High Color (16bit) ", " 60Hz  (Interlaced) " },
    { "640,480,16,55", 640, 480, 200, 181,
      " 640x480dots 16bits/pixel High Color (16bit) ", " 110Hz  (Interlaced) " },
    { "640,480,16,56", 640, 480, 200, 181,
      " 640x480dots 16bits/pixel High Color (16bit) ", " 56Hz (Non-Interlaced) " },
    { "800,600,32,75", 800, 600, 300, 281,
      " 800x600dots 32bits/pixel True Color (32bit) ", " 75Hz (Non-Interlaced) " },
    { "512,384,12,72", 512, 384, 200, 181,
      " 512x384dots 12bits/pixel  ", " 72Hz (Non-Interlaced) " },
    { ",,320,240,8,60Hz,99", 320, 240, 100, 81,
      " 320x240dots 8bits/pixel 256 Color ", " 60Hz (Non-Interlaced) " },
    { "960,720,24,85", 960, 720, 400, 381,
      " 960x720dots 24bits/pixel True Color (24bit) ", " 85Hz (Non-Interlaced) " },
};

TEST(TestScreen, ShowsThePictureOfTheModeOnItsCommandLine)
{
    for (size_t i = 0; i < sizeof(g_aPictureCase) / sizeof(g_aPictureCase[0]); i++) {
        const PictureCase &c = g_aPictureCase[i];
        SCOPED_TRACE(std::string("tail \"") + c.pszTail + "\"");
        TestScreenRun run;
        ASSERT_NO_FATAL_FAILURE(run.Start(c.pszTail));
        zlv::BoardFrame frame;
        ASSERT_NO_FATAL_FAILURE(run.WaitForPicture(&frame));
        ASSERT_EQ(c.nWidth, frame.nWidth);
        ASSERT_EQ(c.nHeight, frame.nHeight);

        ExpectLines(frame, c.nBandTop);
        ExpectBand(frame, c.nBandTop);
        // Line 1 ends 16 rows above the top of line 2.
        int nTop2 = ExpectCaption(frame, c.nLine2Bottom, c.pszLine2);
        ExpectCaption(frame, nTop2 - 16, c.pszLine1);

        run.Post(WM_KEYDOWN, VK_SPACE);
        EXPECT_EQ(EXIT_ENDED_BY_USER, run.Wait());
        run.ExpectGlideClosed();
    }
}

// Command lines and boards that show nothing: the program ends at once
// with 0.
TEST(TestScreen, EndsWithZeroWithoutAPicture)
{
    const struct { const char *pszTail; int nModel; } aCase[] = {
        { "", 1 },
        { "640,480,16", 1 },
        { ",,,", 1 },
        { "1024,768,16,60", 1 },
        { "640,480,16,60", 0 },     // no board
    };
    for (size_t i = 0; i < sizeof(aCase) / sizeof(aCase[0]); i++) {
        SCOPED_TRACE(std::string("tail \"") + aCase[i].pszTail + "\", model " +
                     std::to_string(aCase[i].nModel));
        TestScreenRun run(aCase[i].nModel);
        ASSERT_NO_FATAL_FAILURE(run.Start(aCase[i].pszTail));
        EXPECT_EQ(0, run.Wait());
        zlv::BoardFrame frame;
        EXPECT_FALSE(zlv::ReadBoardFrame(&frame)) << "the board shows a picture";
    }
}

// A left click ends it as a key does (every picture case above ends with a
// key), with the board released.
TEST(TestScreen, LeftClickEndsIt)
{
    TestScreenRun run;
    ASSERT_NO_FATAL_FAILURE(run.Start("640,480,16,60"));
    zlv::BoardFrame frame;
    ASSERT_NO_FATAL_FAILURE(run.WaitForPicture(&frame));
    run.Post(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(320, 240));
    EXPECT_EQ(EXIT_ENDED_BY_USER, run.Wait());
    run.ExpectGlideClosed();
}

TEST(TestScreen, RightClickAndAltKeyDoNotEndIt)
{
    TestScreenRun run;
    ASSERT_NO_FATAL_FAILURE(run.Start("640,480,16,60"));
    zlv::BoardFrame frame;
    ASSERT_NO_FATAL_FAILURE(run.WaitForPicture(&frame));
    run.Post(WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(320, 240));
    run.Post(WM_RBUTTONUP, 0, MAKELPARAM(320, 240));
    run.Post(WM_SYSKEYDOWN, 'X', 0x20000001);   // Alt+X: context code set
    Sleep(500);     // time to take the three from the queue
    EXPECT_TRUE(run.Running());
    run.Post(WM_KEYDOWN, VK_SPACE);
    EXPECT_EQ(EXIT_ENDED_BY_USER, run.Wait());
}

// The window closed by other means: nobody is left to press a key, so the
// program ends, with 0 and the board released.
TEST(TestScreen, EndsWithZeroWhenTheWindowIsClosed)
{
    TestScreenRun run;
    ASSERT_NO_FATAL_FAILURE(run.Start("640,480,16,60"));
    zlv::BoardFrame frame;
    ASSERT_NO_FATAL_FAILURE(run.WaitForPicture(&frame));
    run.Post(WM_CLOSE);
    EXPECT_EQ(0, run.Wait());
    run.ExpectGlideClosed();
}

} // namespace
