// graphdev_test.cpp - the graphics output device on the emulated board: what
// arrives on the board's output and which Glide calls the device makes.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "boardvideo.h"
#include "graphdev.h"
#include "harness.h"

namespace {

const int GR_MODE_565 = 0;
const int GR_MODE_555 = 1;

// One Glide call from the board log: "pid=N gr NAME k=v ... -> RESULT".
struct GrCall {
    std::string strName;
    std::map<std::string, std::string> args;
    std::string strResult;
};

std::vector<GrCall> GrCalls(const zlv::TestBoard &board)
{
    std::vector<GrCall> calls;
    std::vector<std::string> lines = board.Log("gr");
    for (size_t i = 0; i < lines.size(); i++) {
        const std::string &strLine = lines[i];
        GrCall call;
        size_t posArrow = strLine.find(" -> ");
        std::string strHead = strLine.substr(0, posArrow);
        if (posArrow != std::string::npos)
            call.strResult = strLine.substr(posArrow + 4);
        call.args = zlv::ParseLogLine(strHead);
        // The third word is the function's name.
        size_t posName = strHead.find(" gr ");
        if (posName != std::string::npos) {
            posName += 4;
            call.strName = strHead.substr(posName, strHead.find(' ', posName) - posName);
        }
        calls.push_back(call);
    }
    return calls;
}

std::vector<std::string> Names(const std::vector<GrCall> &calls, size_t iFirst = 0)
{
    std::vector<std::string> names;
    for (size_t i = iFirst; i < calls.size(); i++)
        names.push_back(calls[i].strName);
    return names;
}

std::vector<GrCall> CallsNamed(const std::vector<GrCall> &calls, const char *pszName)
{
    std::vector<GrCall> found;
    for (size_t i = 0; i < calls.size(); i++)
        if (calls[i].strName == pszName)
            found.push_back(calls[i]);
    return found;
}

int DesktopDepth()
{
    const char *psz = getenv("ZLV_DEPTH");
    return psz != NULL && *psz ? atoi(psz) : 16;
}

HWND CreateTestWindow()
{
    static bool s_bRegistered = false;
    if (!s_bRegistered) {
        WNDCLASSA wc;
        ZeroMemory(&wc, sizeof(wc));
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(NULL);
        wc.lpszClassName = "GraphdevTest";
        RegisterClassA(&wc);
        s_bRegistered = true;
    }
    HWND hWnd = CreateWindowExA(0, "GraphdevTest", "graphdev test", WS_POPUP | WS_VISIBLE,
                                0, 0, 640, 480, NULL, NULL, GetModuleHandleA(NULL), NULL);
    return hWnd;
}

void Fill(CGraphicDevice &device, int left, int top, int right, int bottom, COLORREF cr)
{
    HDC hdc = device.GetDC();
    RECT rc = { left, top, right, bottom };
    HBRUSH hbr = CreateSolidBrush(cr);
    FillRect(hdc, &rc, hbr);
    DeleteObject(hbr);
    device.ReleaseDC(hdc);
}

void FillAll(CGraphicDevice &device, COLORREF cr)
{
    Fill(device, 0, 0, 1024, 1024, cr);
}

zlv::BoardFrame Frame()
{
    zlv::BoardFrame frame;
    EXPECT_TRUE(zlv::ReadBoardFrame(&frame));
    return frame;
}

size_t CountNotBlack(const zlv::BoardFrame &frame)
{
    size_t n = 0;
    for (size_t i = 0; i < frame.pixels.size(); i++)
        n += frame.pixels[i] != zlv::RGB565_BLACK;
    return n;
}

// A fresh board without retrace waits, and a real window of this process.
class GraphDevTest : public ::testing::Test {
protected:
    void SetUp()
    {
        m_board.Set("video", "vsync", 0L);
        m_hWnd = CreateTestWindow();
        ASSERT_TRUE(m_hWnd != NULL);
    }
    void TearDown()
    {
        DestroyWindow(m_hWnd);
    }
    // Opened at 640 x 480 with both board buffers and the bitmap black, and
    // both pending rectangles used up.
    void OpenBlack(CGraphicDevice &device)
    {
        ASSERT_TRUE(device.Open(m_hWnd, 640, 480, 16, 60));
        FillAll(device, RGB(0, 0, 0));
        ASSERT_TRUE(device.Present());
        ASSERT_TRUE(device.Present());
    }

    zlv::TestBoard m_board;
    HWND m_hWnd;
};

// ---------------------------------------------------------------------------
// The desktop's own depth

TEST_F(GraphDevTest, PureGdiColoursArriveAsBoardColours)
{
    CGlideGraphicDevice device;
    ASSERT_TRUE(device.Open(m_hWnd, 640, 480, 16, 60));
    FillAll(device, RGB(0, 0, 0));
    HDC hdc = device.GetDC();
    SetPixel(hdc, 10, 20, RGB(255, 0, 0));
    device.ReleaseDC(hdc);
    Fill(device, 100, 100, 120, 110, RGB(0, 255, 0));
    Fill(device, 200, 100, 220, 110, RGB(0, 0, 255));
    Fill(device, 300, 100, 320, 110, RGB(255, 255, 255));
    ASSERT_TRUE(device.Present());

    zlv::BoardFrame frame = Frame();
    ASSERT_EQ(640, frame.nWidth);
    ASSERT_EQ(480, frame.nHeight);
    EXPECT_EQ(zlv::RGB565_RED, frame.At(10, 20));
    EXPECT_EQ(zlv::RGB565_BLACK, frame.At(11, 20));
    EXPECT_EQ(zlv::RGB565_GREEN, frame.At(100, 100));
    EXPECT_EQ(zlv::RGB565_BLUE, frame.At(219, 109));
    EXPECT_EQ(zlv::RGB565_WHITE, frame.At(310, 105));
    EXPECT_EQ(1u + 3 * 200, CountNotBlack(frame));

    // Wine keeps 16-bit bitmaps as 5-5-5, whatever its primary surface says;
    // 8- and 32-bit desktops are converted to 5-5-5 as well.
    std::vector<GrCall> locks = CallsNamed(GrCalls(m_board), "grLfbLock");
    ASSERT_FALSE(locks.empty());
    for (size_t i = 0; i < locks.size(); i++) {
        EXPECT_EQ("1", locks[i].args["type"]);
        EXPECT_EQ("1", locks[i].args["buffer"]);
        EXPECT_EQ(std::to_string(GR_MODE_555), locks[i].args["mode"])
            << "desktop depth " << DesktopDepth();
        EXPECT_EQ("1", locks[i].strResult);
    }
}

// ---------------------------------------------------------------------------
// Other depths of the GDI side, through a bitmap of that depth

// Shows a bitmap of its own as if the GDI side worked at another depth.
class CForcedDepthDevice : public CGlideGraphicDevice {
public:
    CForcedDepthDevice() : m_hOwnBitmap(NULL) {}
    ~CForcedDepthDevice()
    {
        if (m_hOwnBitmap != NULL) {
            DeleteObject(m_hBitmap);
            m_hBitmap = m_hOwnBitmap;
        }
    }
    bool Force(int nBitsPixel, int nBitmapBits, const std::vector<BYTE> &bits)
    {
        HBITMAP hbm = CreateBitmap(1024, 1024, 1, nBitmapBits, &bits[0]);
        if (hbm == NULL)
            return false;
        m_hOwnBitmap = m_hBitmap;
        m_hBitmap = hbm;
        m_nBitsPixel = nBitsPixel;
        return true;
    }
    PALETTEENTRY *Palette() { return m_pPaletteEntry; }
private:
    HBITMAP m_hOwnBitmap;
};

struct SPOT {
    int x, y;
};
// Corners and the middle of a 640 x 480 screen.
const SPOT g_aSpots[3] = { { 0, 0 }, { 321, 200 }, { 639, 479 } };

struct DepthCase {
    const char *pszName;
    int nBitsPixel;     // what the device takes the GDI side for
    int nBitmapBits;    // the bitmap that holds the pixels
    int nWriteMode;
    DWORD adwSource[3]; // the bitmap's elements at the three spots
    WORD awShown[3];    // what the board shows there
};

const DepthCase g_aDepthCases[] = {
    // 5-6-5 words go out unchanged, in the 5-6-5 mode.
    { "16", 16, 16, GR_MODE_565, { 0xF800, 0x07E0, 0x1234 }, { 0xF800, 0x07E0, 0x1234 } },
    // 5-5-5 words go out unchanged; the board widens green.
    { "15", 15, 16, GR_MODE_555, { 0x7C00, 0x03E0, 0x0421 }, { 0xF800, 0x07E0, 0x0841 } },
    // Blue, green, red bytes.
    { "24", 24, 24, GR_MODE_555, { 0xFF0000, 0x0000FF, 0x102030 }, { 0xF800, 0x001F, 0x1106 } },
    // 0x00RRGGBB; the top byte plays no part.
    { "32", 32, 32, GR_MODE_555, { 0x00FF0000, 0xAB00FF00, 0x00102030 }, { 0xF800, 0x07E0, 0x1106 } },
    // Palette indices; the palette entries' flags play no part.
    { "8", 8, 8, GR_MODE_555, { 1, 2, 200 }, { 0xF800, 0x1106, 0xFFFF } },
    // A depth the board cannot show: nothing is written.
    { "4", 4, 4, GR_MODE_555, { 0x1, 0x2, 0xF }, { 0, 0, 0 } },
};

class DepthTest : public GraphDevTest, public ::testing::WithParamInterface<DepthCase> {};

std::vector<BYTE> BitmapWithSpots(const DepthCase &c)
{
    int cbRow = 1024 * c.nBitmapBits / 8;
    std::vector<BYTE> bits((size_t)cbRow * 1024, 0);
    for (int i = 0; i < 3; i++) {
        BYTE *pb = &bits[(size_t)g_aSpots[i].y * cbRow];
        if (c.nBitmapBits == 4) {
            // Two pixels a byte, the left one in the high half.
            pb[g_aSpots[i].x / 2] |= (BYTE)(g_aSpots[i].x % 2 ? c.adwSource[i] : c.adwSource[i] << 4);
        } else {
            int cb = c.nBitmapBits / 8;
            DWORD dw = c.adwSource[i];
            memcpy(pb + (size_t)g_aSpots[i].x * cb, &dw, cb);
        }
    }
    return bits;
}

TEST_P(DepthTest, BitmapPixelsReachTheBoard)
{
    const DepthCase &c = GetParam();
    CForcedDepthDevice device;
    OpenBlack(device);
    PALETTEENTRY *pPalette = device.Palette();
    ZeroMemory(pPalette, 256 * sizeof(PALETTEENTRY));
    PALETTEENTRY red = { 255, 0, 0, PC_RESERVED }, grey = { 0x10, 0x20, 0x30, 0xFF },
                 white = { 255, 255, 255, 0 };
    pPalette[1] = red;
    pPalette[2] = grey;
    pPalette[200] = white;
    ASSERT_TRUE(device.Force(c.nBitsPixel, c.nBitmapBits, BitmapWithSpots(c)));
    m_board.ClearLog();

    device.UpdateRect(0, 0, 640, 480);
    ASSERT_TRUE(device.Present());

    zlv::BoardFrame frame = Frame();
    size_t cShown = 0;
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ(c.awShown[i], frame.At(g_aSpots[i].x, g_aSpots[i].y)) << "spot " << i;
        cShown += c.awShown[i] != zlv::RGB565_BLACK;
    }
    EXPECT_EQ(cShown, CountNotBlack(frame));

    std::vector<GrCall> calls = GrCalls(m_board);
    std::vector<std::string> expected = { "grLfbLock", "grLfbUnlock", "grBufferSwap" };
    EXPECT_EQ(expected, Names(calls));
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(std::to_string(c.nWriteMode), calls[0].args["mode"]);
}

INSTANTIATE_TEST_SUITE_P(Depths, DepthTest, ::testing::ValuesIn(g_aDepthCases),
                         [](const ::testing::TestParamInfo<DepthCase> &info) {
                             return std::string("bits") + info.param.pszName;
                         });

// ---------------------------------------------------------------------------
// The two rectangles

// Each present copies what changed last time and what changed now, so every
// change reaches both colour buffers and nothing else is copied.
TEST_F(GraphDevTest, ThreePresentsAfterOneUpdate)
{
    CGlideGraphicDevice device;
    OpenBlack(device);
    const RECT rcB = { 10, 10, 60, 40 }, rcA = { 300, 200, 380, 260 };

    // Buffer X: B red. Then the bitmap turns green and only A is reported.
    Fill(device, rcB.left, rcB.top, rcB.right, rcB.bottom, RGB(255, 0, 0));
    device.UpdateRect(rcB.left, rcB.top, rcB.right, rcB.bottom);
    ASSERT_TRUE(device.Present());
    ASSERT_EQ(zlv::RGB565_RED, Frame().At(20, 20));
    FillAll(device, RGB(0, 255, 0));
    device.UpdateRect(rcA.left, rcA.top, rcA.right, rcA.bottom);
    DWORD dwSwaps = Frame().dwSwapCount;

    // First: the previous rectangle B and the new one A, into buffer Y.
    ASSERT_TRUE(device.Present());
    zlv::BoardFrame first = Frame();
    EXPECT_EQ(zlv::RGB565_GREEN, first.At(20, 20));
    EXPECT_EQ(zlv::RGB565_GREEN, first.At(300, 200));
    EXPECT_EQ(50u * 30 + 80 * 60, CountNotBlack(first));
    EXPECT_EQ(dwSwaps + 1, first.dwSwapCount);

    // Second: A only, into buffer X, whose B is still red.
    FillAll(device, RGB(0, 0, 255));
    ASSERT_TRUE(device.Present());
    zlv::BoardFrame second = Frame();
    EXPECT_EQ(zlv::RGB565_RED, second.At(20, 20));
    EXPECT_EQ(zlv::RGB565_BLUE, second.At(379, 259));
    EXPECT_EQ(50u * 30 + 80 * 60, CountNotBlack(second));
    EXPECT_EQ(dwSwaps + 2, second.dwSwapCount);

    // Third: nothing; buffer Y comes back as the first present left it.
    FillAll(device, RGB(255, 255, 255));
    ASSERT_TRUE(device.Present());
    zlv::BoardFrame third = Frame();
    EXPECT_EQ(first.pixels, third.pixels);
    EXPECT_EQ(dwSwaps + 3, third.dwSwapCount);

    // Two presents to open, the one of B, and these three.
    EXPECT_EQ(2u + 1 + 3, CallsNamed(GrCalls(m_board), "grBufferSwap").size());
}

// Reported rectangles reaching past the screen are cut at its edges: nothing
// lands outside it, nor wraps into the next row.
TEST_F(GraphDevTest, UpdatesAreCutAtTheScreenEdges)
{
    CGlideGraphicDevice device;
    OpenBlack(device);
    FillAll(device, RGB(255, 0, 0));

    device.UpdateRect(-50, -40, 20, 30);
    ASSERT_TRUE(device.Present());
    zlv::BoardFrame frame = Frame();
    EXPECT_EQ(zlv::RGB565_RED, frame.At(0, 0));
    EXPECT_EQ(zlv::RGB565_RED, frame.At(19, 29));
    EXPECT_EQ(20u * 30, CountNotBlack(frame));

    device.UpdateRect(630, 100, 1100, 101);
    ASSERT_TRUE(device.Present());   // into the other buffer: prev and this
    ASSERT_TRUE(device.Present());   // back to the first: this one again
    frame = Frame();
    EXPECT_EQ(zlv::RGB565_RED, frame.At(639, 100));
    EXPECT_EQ(zlv::RGB565_BLACK, frame.At(10, 101));
    EXPECT_EQ(20u * 30 + 10, CountNotBlack(frame));
}

// A reported rectangle that covers nothing copies nothing; a later one widens
// it edge by edge into the box around both.
TEST_F(GraphDevTest, EmptyUpdateIsWidenedByTheNext)
{
    CGlideGraphicDevice device;
    OpenBlack(device);
    FillAll(device, RGB(255, 0, 0));

    device.UpdateRect(300, 200, 300, 250);
    ASSERT_TRUE(device.Present());
    EXPECT_EQ(0u, CountNotBlack(Frame()));

    device.UpdateRect(300, 200, 300, 250);
    device.UpdateRect(100, 100, 110, 110);
    ASSERT_TRUE(device.Present());
    zlv::BoardFrame frame = Frame();
    EXPECT_EQ(zlv::RGB565_RED, frame.At(100, 100));
    EXPECT_EQ(zlv::RGB565_RED, frame.At(299, 249));
    EXPECT_EQ(200u * 150, CountNotBlack(frame));
}

// ---------------------------------------------------------------------------
// Opening, changing the mode, closing

TEST_F(GraphDevTest, OpenClearsBothBuffersAndDestructionShutsGlideDown)
{
    {
        CGlideGraphicDevice device;
        ASSERT_TRUE(device.Open(m_hWnd, 640, 480, 16, 60));
        std::vector<std::string> expected = {
            "grGlideInit", "grSstQueryHardware", "grSstSelect", "grSstWinOpen",
            "grRenderBuffer", "grBufferClear", "grRenderBuffer", "grBufferClear" };
        std::vector<GrCall> calls = GrCalls(m_board);
        ASSERT_EQ(expected, Names(calls));
        EXPECT_EQ("0", calls[2].args["board"]);
        EXPECT_EQ("1", calls[3].strResult);
        RECT rc;
        EXPECT_TRUE(device.GetScreenRect(&rc));
        EXPECT_EQ(0, rc.left);
        EXPECT_EQ(0, rc.top);
        EXPECT_EQ(640, rc.right);
        EXPECT_EQ(480, rc.bottom);
        m_board.ClearLog();
    }
    std::vector<std::string> expected = { "grSstWinClose", "grGlideShutdown" };
    EXPECT_EQ(expected, Names(GrCalls(m_board)));
}

TEST_F(GraphDevTest, OpenFailsWithoutBoard)
{
    m_board.Set("board", "model", 0L);
    CGlideGraphicDevice device;
    EXPECT_FALSE(device.Open(m_hWnd, 640, 480, 16, 60));
    std::vector<GrCall> calls = GrCalls(m_board);
    std::vector<std::string> expected = { "grGlideInit", "grSstQueryHardware" };
    EXPECT_EQ(expected, Names(calls));
}

TEST_F(GraphDevTest, OpenFailsForSizeNotOffered)
{
    CGlideGraphicDevice device;
    EXPECT_FALSE(device.Open(m_hWnd, 1024, 768, 16, 60));
    std::vector<std::string> expected = { "grGlideInit", "grSstQueryHardware", "grSstSelect" };
    EXPECT_EQ(expected, Names(GrCalls(m_board)));
}

TEST_F(GraphDevTest, ChangeModeTo800x600)
{
    CGlideGraphicDevice device;
    OpenBlack(device);
    m_board.ClearLog();
    ASSERT_TRUE(device.ChangeMode(m_hWnd, 800, 600, 16, 60));
    std::vector<std::string> expected = { "grSstWinClose", "grSstWinOpen", "grRenderBuffer" };
    EXPECT_EQ(expected, Names(GrCalls(m_board)));
    RECT rc;
    EXPECT_TRUE(device.GetScreenRect(&rc));
    EXPECT_EQ(0, rc.left);
    EXPECT_EQ(0, rc.top);
    EXPECT_EQ(800, rc.right);
    EXPECT_EQ(600, rc.bottom);

    // The whole new screen goes out, with no update reported.
    FillAll(device, RGB(0, 0, 255));
    ASSERT_TRUE(device.Present());
    zlv::BoardFrame frame = Frame();
    ASSERT_EQ(800, frame.nWidth);
    ASSERT_EQ(600, frame.nHeight);
    EXPECT_EQ(800u * 600, CountNotBlack(frame));
    EXPECT_EQ(zlv::RGB565_BLUE, frame.At(799, 599));
}

TEST_F(GraphDevTest, ChangeModeToSizeNotOfferedLeavesNoWindow)
{
    CGlideGraphicDevice device;
    OpenBlack(device);
    m_board.ClearLog();
    EXPECT_FALSE(device.ChangeMode(m_hWnd, 1024, 768, 16, 60));
    std::vector<std::string> expected = { "grSstWinClose" };
    EXPECT_EQ(expected, Names(GrCalls(m_board)));

    EXPECT_FALSE(device.Present());
    std::vector<GrCall> calls = GrCalls(m_board);
    ASSERT_EQ(2u, calls.size());
    EXPECT_EQ("grLfbLock", calls[1].strName);
    EXPECT_EQ("0", calls[1].strResult);
}

// Every size of the table opens the board at its resolution code.
TEST_F(GraphDevTest, EverySizeOfTheTableOpens)
{
    struct { int nWidth, nHeight, nResolution; } aRows[] = {
        { 320, 200, 0 }, { 320, 240, 1 }, { 512, 256, 11 }, { 512, 384, 3 },
        { 640, 400, 6 }, { 640, 480, 7 }, { 800, 600, 8 }, { 856, 480, 10 },
        { 960, 720, 9 },
    };
    CGlideGraphicDevice device;
    OpenBlack(device);
    for (size_t i = 0; i < sizeof(aRows) / sizeof(aRows[0]); i++) {
        m_board.ClearLog();
        EXPECT_TRUE(device.ChangeMode(m_hWnd, aRows[i].nWidth, aRows[i].nHeight, 16, 60));
        std::vector<GrCall> opens = CallsNamed(GrCalls(m_board), "grSstWinOpen");
        ASSERT_EQ(1u, opens.size()) << aRows[i].nWidth << "x" << aRows[i].nHeight;
        EXPECT_EQ(std::to_string(aRows[i].nResolution), opens[0].args["res"])
            << aRows[i].nWidth << "x" << aRows[i].nHeight;
        EXPECT_EQ("0", opens[0].args["refresh"]);
        ASSERT_TRUE(device.Present());
        zlv::BoardFrame frame = Frame();
        EXPECT_EQ(aRows[i].nWidth, frame.nWidth);
        EXPECT_EQ(aRows[i].nHeight, frame.nHeight);
    }
}

} // namespace
