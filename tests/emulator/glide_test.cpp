// glide_test.cpp - the Glide side of the emulated board and what its video
// output shows: the board library is loaded into the test and called
// directly, on a fresh board each test, with retraces not waited for.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "../../common/utils/tvprop/src/glide2x.h"
#include "boardvideo.h"
#include "harness.h"

namespace {

// A 5-6-5 green that 5-5-5 cannot express (lowest green bit set): pixels of
// this colour must survive a 5-5-5 lock that does not write them.
const WORD DARK_GREEN_565 = 0x0020;
const GrColor_t RED_RGBA = 0xFF000000;
const GrColor_t BLUE_RGBA = 0x0000FF00;
const GrColor_t DARK_GREEN_RGBA = 0x00040000;

// The board library's Glide calls, resolved by name, with the steps the
// tests repeat.
class GlideLib {
public:
    GlideLib() : m_hLib(NULL) {}
    ~GlideLib() { Unload(); }

    bool Load()
    {
        m_hLib = LoadLibraryA((zlv::BinDir() + "\\glide2x.dll").c_str());
        return m_hLib != NULL && Resolve(&GlideInit, "grGlideInit") &&
               Resolve(&SstQueryHardware, "grSstQueryHardware") &&
               Resolve(&SstSelect, "grSstSelect") &&
               Resolve(&SstWinOpen, "grSstWinOpen") &&
               Resolve(&RenderBuffer, "grRenderBuffer") &&
               Resolve(&BufferClear, "grBufferClear") &&
               Resolve(&LfbLock, "grLfbLock") &&
               Resolve(&LfbUnlock, "grLfbUnlock") &&
               Resolve(&BufferSwap, "grBufferSwap") &&
               Resolve(&SstWinClose, "grSstWinClose") &&
               Resolve(&GlideShutdown, "grGlideShutdown");
    }

    void Unload()
    {
        if (m_hLib != NULL)
            FreeLibrary(m_hLib);
        m_hLib = NULL;
    }

    FxBool QueryHardware()
    {
        // Room beyond the record: the library writes the whole record.
        std::vector<char> config(1024, 0);
        return SstQueryHardware((GrHwConfiguration *)&config[0]);
    }

    // The way the graphics output device opens the board.
    FxBool Open(GrScreenResolution_t nRes = GR_RESOLUTION_640x480,
                GrColorFormat_t nFormat = GR_COLORFORMAT_RGBA)
    {
        GlideInit();
        if (!QueryHardware())
            return FXFALSE;
        SstSelect(0);
        return SstWinOpen(0, nRes, GR_REFRESH_60Hz, nFormat,
                          GR_ORIGIN_UPPER_LEFT, 2, 0);
    }

    void Clear(GrBuffer_t nBuffer, GrColor_t color)
    {
        RenderBuffer(nBuffer);
        BufferClear(color, 0, 0);
    }

    // Writes one value over a block through a write-only lock.
    bool WriteBlock(GrBuffer_t nBuffer, GrLfbWriteMode_t nMode,
                    GrOriginLocation_t nOrigin, int x0, int y0, int cx,
                    int cy, DWORD dwValue, GrLfbInfo_t *pInfo = NULL)
    {
        GrLfbInfo_t info = {};
        info.size = sizeof(info);
        if (!LfbLock(GR_LFB_WRITE_ONLY, nBuffer, nMode, nOrigin, FXFALSE, &info))
            return false;
        bool bWide = nMode == GR_LFBWRITEMODE_888 || nMode == GR_LFBWRITEMODE_8888;
        for (int y = y0; y < y0 + cy; ++y) {
            BYTE *pbRow = (BYTE *)info.lfbPtr + (size_t)y * info.strideInBytes;
            for (int x = x0; x < x0 + cx; ++x) {
                if (bWide)
                    ((DWORD *)pbRow)[x] = dwValue;
                else
                    ((WORD *)pbRow)[x] = (WORD)dwValue;
            }
        }
        if (pInfo != NULL)
            *pInfo = info;
        return LfbUnlock(GR_LFB_WRITE_ONLY, nBuffer) != FXFALSE;
    }

    decltype(&grGlideInit) GlideInit;
    decltype(&grSstQueryHardware) SstQueryHardware;
    decltype(&grSstSelect) SstSelect;
    decltype(&grSstWinOpen) SstWinOpen;
    decltype(&grRenderBuffer) RenderBuffer;
    decltype(&grBufferClear) BufferClear;
    decltype(&grLfbLock) LfbLock;
    decltype(&grLfbUnlock) LfbUnlock;
    decltype(&grBufferSwap) BufferSwap;
    decltype(&grSstWinClose) SstWinClose;
    decltype(&grGlideShutdown) GlideShutdown;

private:
    template <class T> bool Resolve(T *ppfn, const char *pszName)
    {
        *ppfn = (T)(void *)GetProcAddress(m_hLib, pszName);
        return *ppfn != NULL;
    }
    HMODULE m_hLib;
};

zlv::BoardFrame Frame()
{
    zlv::BoardFrame frame;
    EXPECT_TRUE(zlv::ReadBoardFrame(&frame)) << "the board shows nothing";
    return frame;
}

size_t CountOf(const zlv::BoardFrame &frame, WORD wPixel)
{
    return (size_t)std::count(frame.pixels.begin(), frame.pixels.end(), wPixel);
}

// The gr lines of the board log without the "pid=N " in front.
std::vector<std::string> GrCalls(const zlv::TestBoard &board)
{
    std::vector<std::string> calls;
    for (const std::string &strLine : board.Log("gr"))
        calls.push_back(strLine.substr(strLine.find(' ') + 1));
    return calls;
}

std::string LastGrCall(const zlv::TestBoard &board)
{
    std::vector<std::string> calls = GrCalls(board);
    return calls.empty() ? std::string() : calls.back();
}

class GlideTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_board.Set("video", "vsync", 0L);
        ASSERT_TRUE(m_gr.Load()) << "glide2x.dll or one of its calls is missing";
    }
    void TearDown() override { m_gr.Unload(); }

    zlv::TestBoard m_board;     // outlives the library, which maps its files
    GlideLib m_gr;
};

// ---------------------------------------------------------------------------
// Opening, clearing, swapping

TEST_F(GlideTest, OpenClearsBothBuffersAndSwapExchangesThem)
{
    ASSERT_TRUE(m_gr.Open());
    m_gr.Clear(GR_BUFFER_FRONTBUFFER, RED_RGBA);
    m_gr.Clear(GR_BUFFER_BACKBUFFER, BLUE_RGBA);

    zlv::BoardFrame frame = Frame();
    EXPECT_EQ(640, frame.nWidth);
    EXPECT_EQ(480, frame.nHeight);
    EXPECT_EQ(0u, frame.dwSwapCount);
    EXPECT_EQ(frame.pixels.size(), CountOf(frame, zlv::RGB565_RED));

    m_gr.BufferSwap(1);
    frame = Frame();
    EXPECT_EQ(1u, frame.dwSwapCount);
    EXPECT_EQ(frame.pixels.size(), CountOf(frame, zlv::RGB565_BLUE));

    m_gr.BufferSwap(0);
    frame = Frame();
    EXPECT_EQ(2u, frame.dwSwapCount);
    EXPECT_EQ(frame.pixels.size(), CountOf(frame, zlv::RGB565_RED));
}

struct ResolutionCase {
    GrScreenResolution_t nRes;
    int nWidth;
    int nHeight;
};

void PrintTo(const ResolutionCase &c, std::ostream *pOut)
{
    *pOut << "resolution " << c.nRes;
}

class GlideResolutionTest : public GlideTest,
                            public ::testing::WithParamInterface<ResolutionCase> {};

TEST_P(GlideResolutionTest, OutputShowsTheSizeOfTheResolution)
{
    ASSERT_TRUE(m_gr.Open(GetParam().nRes));
    m_gr.Clear(GR_BUFFER_FRONTBUFFER, BLUE_RGBA);
    zlv::BoardFrame frame = Frame();
    EXPECT_EQ(GetParam().nWidth, frame.nWidth);
    EXPECT_EQ(GetParam().nHeight, frame.nHeight);
    EXPECT_EQ(frame.pixels.size(), CountOf(frame, zlv::RGB565_BLUE));
}

INSTANTIATE_TEST_SUITE_P(Table, GlideResolutionTest, ::testing::Values(
    ResolutionCase{ GR_RESOLUTION_320x200, 320, 200 },
    ResolutionCase{ GR_RESOLUTION_400x256, 400, 256 },
    ResolutionCase{ GR_RESOLUTION_640x480, 640, 480 },
    ResolutionCase{ GR_RESOLUTION_960x720, 960, 720 },
    ResolutionCase{ GR_RESOLUTION_856x480, 856, 480 },
    ResolutionCase{ GR_RESOLUTION_512x256, 512, 256 }));

struct ClearCase {
    GrColorFormat_t nFormat;
    GrColor_t color;        // red 0xFF, green 0x80, blue 0x00, alpha 0x40
};

void PrintTo(const ClearCase &c, std::ostream *pOut)
{
    *pOut << "format " << c.nFormat;
}

class GlideClearTest : public GlideTest,
                       public ::testing::WithParamInterface<ClearCase> {};

TEST_P(GlideClearTest, ClearReadsTheColourInTheFormatOfTheOpen)
{
    ASSERT_TRUE(m_gr.Open(GR_RESOLUTION_640x480, GetParam().nFormat));
    m_gr.Clear(GR_BUFFER_FRONTBUFFER, GetParam().color);
    zlv::BoardFrame frame = Frame();
    EXPECT_EQ(0xFC00, frame.At(0, 0));
    EXPECT_EQ(frame.pixels.size(), CountOf(frame, 0xFC00));
}

INSTANTIATE_TEST_SUITE_P(Formats, GlideClearTest, ::testing::Values(
    ClearCase{ GR_COLORFORMAT_ARGB, 0x40FF8000 },
    ClearCase{ GR_COLORFORMAT_ABGR, 0x400080FF },
    ClearCase{ GR_COLORFORMAT_RGBA, 0xFF800040 },
    ClearCase{ GR_COLORFORMAT_BGRA, 0x0080FF40 }));

class GlideRenderBufferTest : public GlideTest,
                              public ::testing::WithParamInterface<GrBuffer_t> {};

TEST_P(GlideRenderBufferTest, AnythingButFrontOrBackKeepsTheRenderBuffer)
{
    ASSERT_TRUE(m_gr.Open());
    m_gr.Clear(GR_BUFFER_BACKBUFFER, 0);
    m_gr.Clear(GR_BUFFER_FRONTBUFFER, RED_RGBA);
    m_gr.Clear(GetParam(), BLUE_RGBA);      // still clears the front buffer

    zlv::BoardFrame frame = Frame();
    EXPECT_EQ(frame.pixels.size(), CountOf(frame, zlv::RGB565_BLUE));
    m_gr.BufferSwap(0);
    frame = Frame();
    EXPECT_EQ(frame.pixels.size(), CountOf(frame, 0));
}

INSTANTIATE_TEST_SUITE_P(Buffers, GlideRenderBufferTest,
                         ::testing::Values(GR_BUFFER_AUXBUFFER, 3, -1));

// ---------------------------------------------------------------------------
// The linear frame buffer

struct WriteCase {
    const char *pszName;
    GrLfbWriteMode_t nMode;
    DWORD dwWritten;
    WORD wShown;
    FxU32 cbStride;
};

void PrintTo(const WriteCase &c, std::ostream *pOut)
{
    *pOut << c.pszName;
}

class GlideWriteModeTest : public GlideTest,
                           public ::testing::WithParamInterface<WriteCase> {};

// A 4 x 2 block at (100, 50) in the back buffer, which otherwise holds a
// colour 5-5-5 cannot express; after the swap the block shows converted and
// every other pixel is untouched.
TEST_P(GlideWriteModeTest, WrittenBlockShowsConvertedAfterSwap)
{
    const WriteCase &c = GetParam();
    ASSERT_TRUE(m_gr.Open());
    m_gr.Clear(GR_BUFFER_BACKBUFFER, DARK_GREEN_RGBA);

    GrLfbInfo_t info;
    ASSERT_TRUE(m_gr.WriteBlock(GR_BUFFER_BACKBUFFER, c.nMode,
                                GR_ORIGIN_UPPER_LEFT, 100, 50, 4, 2,
                                c.dwWritten, &info));
    EXPECT_EQ(c.cbStride, info.strideInBytes);
    EXPECT_EQ(c.nMode, info.writeMode);
    EXPECT_EQ(GR_ORIGIN_UPPER_LEFT, info.origin);
    m_gr.BufferSwap(0);

    zlv::BoardFrame frame = Frame();
    for (int y = 50; y < 52; ++y)
        for (int x = 100; x < 104; ++x)
            EXPECT_EQ(c.wShown, frame.At(x, y)) << "at " << x << "," << y;
    EXPECT_EQ(DARK_GREEN_565, frame.At(99, 50));
    EXPECT_EQ(DARK_GREEN_565, frame.At(104, 51));
    EXPECT_EQ(DARK_GREEN_565, frame.At(100, 49));
    EXPECT_EQ(DARK_GREEN_565, frame.At(103, 52));
    EXPECT_EQ(frame.pixels.size() - 8, CountOf(frame, DARK_GREEN_565));
}

INSTANTIATE_TEST_SUITE_P(Modes, GlideWriteModeTest, ::testing::Values(
    WriteCase{ "red565",   GR_LFBWRITEMODE_565,  0xF800, zlv::RGB565_RED, 2048 },
    WriteCase{ "red555in565", GR_LFBWRITEMODE_565, 0x7C00, 0x7C00, 2048 },
    WriteCase{ "red555",   GR_LFBWRITEMODE_555,  0x7C00, zlv::RGB565_RED, 2048 },
    WriteCase{ "green555", GR_LFBWRITEMODE_555,  0x03E0, zlv::RGB565_GREEN, 2048 },
    WriteCase{ "midgreen555", GR_LFBWRITEMODE_555, 0x0200, 0x0420, 2048 },
    WriteCase{ "black555", GR_LFBWRITEMODE_555,  0x0000, 0x0000, 2048 },
    WriteCase{ "blue1555", GR_LFBWRITEMODE_1555, 0x801F, zlv::RGB565_BLUE, 2048 },
    WriteCase{ "red888",   GR_LFBWRITEMODE_888,  0x00FF0000, zlv::RGB565_RED, 4096 },
    WriteCase{ "green8888", GR_LFBWRITEMODE_8888, 0x8000FF00, zlv::RGB565_GREEN, 4096 }),
    [](const ::testing::TestParamInfo<WriteCase> &info) {
        return std::string(info.param.pszName);
    });

TEST_F(GlideTest, FrontBufferWriteShowsAtOnceAndLowerLeftCountsFromTheBottom)
{
    ASSERT_TRUE(m_gr.Open());
    m_gr.Clear(GR_BUFFER_FRONTBUFFER, 0);
    ASSERT_TRUE(m_gr.WriteBlock(GR_BUFFER_FRONTBUFFER, GR_LFBWRITEMODE_565,
                                GR_ORIGIN_LOWER_LEFT, 5, 0, 1, 1, 0xFFFF));
    zlv::BoardFrame frame = Frame();
    EXPECT_EQ(0u, frame.dwSwapCount);
    EXPECT_EQ(0xFFFF, frame.At(5, 479));
    EXPECT_EQ(1u, CountOf(frame, 0xFFFF));
}

TEST_F(GlideTest, ReadLockSeesTheBufferInItsOwnFormat)
{
    ASSERT_TRUE(m_gr.Open());
    m_gr.Clear(GR_BUFFER_BACKBUFFER, DARK_GREEN_RGBA);
    ASSERT_TRUE(m_gr.WriteBlock(GR_BUFFER_BACKBUFFER, GR_LFBWRITEMODE_555,
                                GR_ORIGIN_UPPER_LEFT, 7, 3, 1, 1, 0x7C00));

    GrLfbInfo_t info = {};
    info.size = sizeof(info);
    ASSERT_TRUE(m_gr.LfbLock(GR_LFB_READ_ONLY, GR_BUFFER_BACKBUFFER,
                             GR_LFBWRITEMODE_555, GR_ORIGIN_UPPER_LEFT,
                             FXFALSE, &info));
    EXPECT_EQ(2048u, info.strideInBytes);
    EXPECT_EQ(GR_LFBWRITEMODE_565, info.writeMode);
    const WORD *pwBuffer = (const WORD *)info.lfbPtr;
    EXPECT_EQ(zlv::RGB565_RED, pwBuffer[3 * 1024 + 7]);
    EXPECT_EQ(DARK_GREEN_565, pwBuffer[3 * 1024 + 8]);
    EXPECT_TRUE(m_gr.LfbUnlock(GR_LFB_READ_ONLY, GR_BUFFER_BACKBUFFER));
}

// ---------------------------------------------------------------------------
// Calls out of order, and the board without a board

typedef FxBool (*FaultScenario)(GlideLib &gr);

struct FaultCase {
    const char *pszName;
    FaultScenario pfnScenario;    // returns the result of the faulty call
};

FxBool LockWithInfo(GlideLib &gr, GrLock_t type, GrBuffer_t nBuffer,
                    GrLfbWriteMode_t nMode, int cbInfo = sizeof(GrLfbInfo_t))
{
    GrLfbInfo_t info = {};
    info.size = cbInfo;
    return gr.LfbLock(type, nBuffer, nMode, GR_ORIGIN_UPPER_LEFT, FXFALSE, &info);
}

const FaultCase g_aFaults[] = {
    { "LockWithNoWindow", [](GlideLib &gr) {
        gr.GlideInit();
        return LockWithInfo(gr, GR_LFB_WRITE_ONLY, GR_BUFFER_BACKBUFFER, GR_LFBWRITEMODE_565); } },
    { "LockAfterClose", [](GlideLib &gr) {
        gr.Open();
        gr.SstWinClose();
        return LockWithInfo(gr, GR_LFB_WRITE_ONLY, GR_BUFFER_BACKBUFFER, GR_LFBWRITEMODE_565); } },
    { "OpenBeforeInit", [](GlideLib &gr) {
        return gr.SstWinOpen(0, GR_RESOLUTION_640x480, GR_REFRESH_60Hz,
                             GR_COLORFORMAT_RGBA, GR_ORIGIN_UPPER_LEFT, 2, 0); } },
    { "SecondOpen", [](GlideLib &gr) {
        gr.Open();
        return gr.SstWinOpen(0, GR_RESOLUTION_800x600, GR_REFRESH_60Hz,
                             GR_COLORFORMAT_RGBA, GR_ORIGIN_UPPER_LEFT, 2, 0); } },
    { "ThreeColourBuffers", [](GlideLib &gr) {
        gr.GlideInit();
        return gr.SstWinOpen(0, GR_RESOLUTION_640x480, GR_REFRESH_60Hz,
                             GR_COLORFORMAT_RGBA, GR_ORIGIN_UPPER_LEFT, 3, 0); } },
    { "UnknownResolution", [](GlideLib &gr) {
        gr.GlideInit();
        return gr.SstWinOpen(0, 12, GR_REFRESH_60Hz, GR_COLORFORMAT_RGBA,
                             GR_ORIGIN_UPPER_LEFT, 2, 0); } },
    { "SecondWriteLock", [](GlideLib &gr) {
        gr.Open();
        LockWithInfo(gr, GR_LFB_WRITE_ONLY, GR_BUFFER_BACKBUFFER, GR_LFBWRITEMODE_565);
        return LockWithInfo(gr, GR_LFB_WRITE_ONLY, GR_BUFFER_FRONTBUFFER, GR_LFBWRITEMODE_565); } },
    { "UnlockNotLocked", [](GlideLib &gr) {
        gr.Open();
        return gr.LfbUnlock(GR_LFB_WRITE_ONLY, GR_BUFFER_BACKBUFFER); } },
    { "UnlockOtherBuffer", [](GlideLib &gr) {
        gr.Open();
        LockWithInfo(gr, GR_LFB_WRITE_ONLY, GR_BUFFER_BACKBUFFER, GR_LFBWRITEMODE_565);
        return gr.LfbUnlock(GR_LFB_WRITE_ONLY, GR_BUFFER_FRONTBUFFER); } },
    { "UnlockOtherType", [](GlideLib &gr) {
        gr.Open();
        LockWithInfo(gr, GR_LFB_READ_ONLY, GR_BUFFER_BACKBUFFER, GR_LFBWRITEMODE_565);
        return gr.LfbUnlock(GR_LFB_WRITE_ONLY, GR_BUFFER_BACKBUFFER); } },
    { "UnsupportedWriteMode", [](GlideLib &gr) {
        gr.Open();
        return LockWithInfo(gr, GR_LFB_WRITE_ONLY, GR_BUFFER_BACKBUFFER, 3); } },
    { "DepthWriteMode", [](GlideLib &gr) {
        gr.Open();
        return LockWithInfo(gr, GR_LFB_WRITE_ONLY, GR_BUFFER_BACKBUFFER, 0xC); } },
    { "AuxiliaryBufferLock", [](GlideLib &gr) {
        gr.Open();
        return LockWithInfo(gr, GR_LFB_WRITE_ONLY, GR_BUFFER_AUXBUFFER, GR_LFBWRITEMODE_565); } },
    { "LockRecordTooSmall", [](GlideLib &gr) {
        gr.Open();
        return LockWithInfo(gr, GR_LFB_WRITE_ONLY, GR_BUFFER_BACKBUFFER,
                            GR_LFBWRITEMODE_565, 4); } },
};

void PrintTo(const FaultCase &c, std::ostream *pOut)
{
    *pOut << c.pszName;
}

class GlideFaultTest : public GlideTest,
                       public ::testing::WithParamInterface<FaultCase> {};

TEST_P(GlideFaultTest, FailsAndSaysSoInTheLog)
{
    EXPECT_EQ(FXFALSE, GetParam().pfnScenario(m_gr));
    std::string strLast = LastGrCall(m_board);
    EXPECT_EQ(" -> 0", strLast.substr(strLast.size() - 5)) << strLast;
}

INSTANTIATE_TEST_SUITE_P(Order, GlideFaultTest, ::testing::ValuesIn(g_aFaults),
    [](const ::testing::TestParamInfo<FaultCase> &info) {
        return std::string(info.param.pszName);
    });

TEST_F(GlideTest, NoBoardIsFoundWhenTheProfileHasNone)
{
    m_board.Set("board", "model", 0L);
    m_gr.GlideInit();
    EXPECT_FALSE(m_gr.QueryHardware());
    EXPECT_FALSE(m_gr.SstWinOpen(0, GR_RESOLUTION_640x480, GR_REFRESH_60Hz,
                                 GR_COLORFORMAT_RGBA, GR_ORIGIN_UPPER_LEFT, 2, 0));
    zlv::BoardFrame frame;
    EXPECT_FALSE(zlv::ReadBoardFrame(&frame));
}

TEST_F(GlideTest, BoardIsFoundOnlyAfterInit)
{
    EXPECT_FALSE(m_gr.QueryHardware());
    m_gr.GlideInit();
    EXPECT_TRUE(m_gr.QueryHardware());
    m_gr.GlideShutdown();
    EXPECT_FALSE(m_gr.QueryHardware());
}

TEST_F(GlideTest, ReopenAfterCloseNeedsNoNewInit)
{
    ASSERT_TRUE(m_gr.Open());
    m_gr.SstWinClose();
    ASSERT_TRUE(m_gr.SstWinOpen(0, GR_RESOLUTION_800x600, GR_REFRESH_60Hz,
                                GR_COLORFORMAT_RGBA, GR_ORIGIN_UPPER_LEFT, 2, 0));
    m_gr.Clear(GR_BUFFER_BACKBUFFER, RED_RGBA);
    m_gr.BufferSwap(0);
    zlv::BoardFrame frame = Frame();
    EXPECT_EQ(800, frame.nWidth);
    EXPECT_EQ(600, frame.nHeight);
    EXPECT_EQ(frame.pixels.size(), CountOf(frame, zlv::RGB565_RED));
}

TEST_F(GlideTest, ShutdownClosesTheWindow)
{
    ASSERT_TRUE(m_gr.Open());
    m_gr.GlideShutdown();
    EXPECT_FALSE(m_gr.SstWinOpen(0, GR_RESOLUTION_640x480, GR_REFRESH_60Hz,
                                 GR_COLORFORMAT_RGBA, GR_ORIGIN_UPPER_LEFT, 2, 0))
        << "open without init";
    EXPECT_TRUE(m_gr.Open()) << "a new init opens again: nothing was left open";
}

TEST_F(GlideTest, PictureStaysAfterTheLibraryIsGone)
{
    ASSERT_TRUE(m_gr.Open());
    m_gr.Clear(GR_BUFFER_FRONTBUFFER, RED_RGBA);
    m_gr.Unload();      // no close, no shutdown: the program just ended
    zlv::BoardFrame frame = Frame();
    EXPECT_EQ(640, frame.nWidth);
    EXPECT_EQ(frame.pixels.size(), CountOf(frame, zlv::RGB565_RED));
}

TEST_F(GlideTest, EveryCallIsLogged)
{
    ASSERT_TRUE(m_gr.Open());
    m_gr.Clear(GR_BUFFER_BACKBUFFER, 0);
    ASSERT_TRUE(m_gr.WriteBlock(GR_BUFFER_BACKBUFFER, GR_LFBWRITEMODE_565,
                                GR_ORIGIN_UPPER_LEFT, 0, 0, 1, 1, 0));
    m_gr.BufferSwap(1);
    m_gr.SstWinClose();
    m_gr.GlideShutdown();

    const std::vector<std::string> expected = {
        "gr grGlideInit",
        "gr grSstQueryHardware -> 1",
        "gr grSstSelect board=0",
        "gr grSstWinOpen hwnd=0x00000000 res=7 refresh=0 format=2 origin=0 buffers=2 aux=0 -> 1",
        "gr grRenderBuffer buffer=1",
        "gr grBufferClear color=0x00000000 alpha=0 depth=0",
        "gr grLfbLock type=1 buffer=1 mode=0 origin=0 -> 1",
        "gr grLfbUnlock type=1 buffer=1 -> 1",
        "gr grBufferSwap interval=1",
        "gr grSstWinClose",
        "gr grGlideShutdown",
    };
    EXPECT_EQ(expected, GrCalls(m_board));
    for (const std::string &strLine : m_board.Log("gr"))
        EXPECT_EQ(std::to_string(GetCurrentProcessId()),
                  zlv::ParseLogLine(strLine)["pid"]);
}

// The lower bound only: three retraces from now end at least two whole
// 60 Hz periods (33 ms) later, however the first one falls.
TEST_F(GlideTest, SwapWaitsForRetracesWhenTheBoardSyncs)
{
    m_board.Set("video", "vsync", 1L);
    ASSERT_TRUE(m_gr.Open());
    LARGE_INTEGER liFreq, liStart, liEnd;
    QueryPerformanceFrequency(&liFreq);
    QueryPerformanceCounter(&liStart);
    m_gr.BufferSwap(3);
    QueryPerformanceCounter(&liEnd);
    double dMs = (liEnd.QuadPart - liStart.QuadPart) * 1000.0 / liFreq.QuadPart;
    EXPECT_GE(dMs, 2 * 1000.0 / 60 - 1);
    EXPECT_EQ(1u, Frame().dwSwapCount);
}

// ---------------------------------------------------------------------------
// The capture tool

std::string CaptureCommand(const std::string &strArgs)
{
    return "\"" + zlv::BinDir() + "\\zlvcapture.exe\" " + strArgs;
}

DWORD ReadDword(const std::string &strData, size_t offset)
{
    DWORD dw = 0;
    if (offset + 4 <= strData.size())
        memcpy(&dw, strData.data() + offset, 4);
    return dw;
}

TEST_F(GlideTest, CaptureWritesTheExactWordsAsBmp)
{
    ASSERT_TRUE(m_gr.Open(GR_RESOLUTION_320x240));
    m_gr.Clear(GR_BUFFER_BACKBUFFER, DARK_GREEN_RGBA);
    GrLfbInfo_t info = {};
    info.size = sizeof(info);
    ASSERT_TRUE(m_gr.LfbLock(GR_LFB_WRITE_ONLY, GR_BUFFER_BACKBUFFER,
                             GR_LFBWRITEMODE_565, GR_ORIGIN_UPPER_LEFT, FXFALSE, &info));
    for (int y = 0; y < 240; y += 3)
        for (int x = 0; x < 320; x += 2)
            ((WORD *)info.lfbPtr)[y * 1024 + x] = (WORD)(x * 199 + y * 7919);
    ASSERT_TRUE(m_gr.LfbUnlock(GR_LFB_WRITE_ONLY, GR_BUFFER_BACKBUFFER));
    m_gr.BufferSwap(0);
    m_gr.GlideShutdown();

    std::string strBmp = m_board.Path("out.bmp");
    ASSERT_EQ(0, zlv::RunProgram(CaptureCommand("\"" + strBmp + "\"")));
    std::string strData = zlv::ReadFileText(strBmp);
    ASSERT_GE(strData.size(), 66u);
    EXPECT_EQ("BM", strData.substr(0, 2));
    DWORD cbOffBits = ReadDword(strData, 10);
    EXPECT_EQ(320u, ReadDword(strData, 18));
    EXPECT_EQ(240u, ReadDword(strData, 22));                   // bottom-up
    EXPECT_EQ(16u << 16 | 1u, ReadDword(strData, 26));         // planes, bits
    EXPECT_EQ((DWORD)BI_BITFIELDS, ReadDword(strData, 30));
    EXPECT_EQ(0xF800u, ReadDword(strData, 54));
    EXPECT_EQ(0x07E0u, ReadDword(strData, 58));
    EXPECT_EQ(0x001Fu, ReadDword(strData, 62));
    ASSERT_EQ(cbOffBits + 320u * 240 * 2, strData.size());

    zlv::BoardFrame frame = Frame();
    std::vector<WORD> pixels(320 * 240);
    for (int y = 0; y < 240; ++y)
        memcpy(&pixels[y * 320], strData.data() + cbOffBits + (239 - y) * 640, 640);
    EXPECT_TRUE(pixels == frame.pixels);
    EXPECT_EQ(0x0020, frame.At(1, 0));
    EXPECT_EQ((WORD)(2 * 199 + 3 * 7919), frame.At(2, 3));
}

struct CaptureExitCase {
    const char *pszName;
    const char *pszArgs;
    int nExit;
};

void PrintTo(const CaptureExitCase &c, std::ostream *pOut)
{
    *pOut << c.pszName;
}

class GlideCaptureExitTest : public GlideTest,
                             public ::testing::WithParamInterface<CaptureExitCase> {};

TEST_P(GlideCaptureExitTest, ExitCodeSaysWhatHappened)
{
    // The board never opened a window in this test.
    EXPECT_EQ(GetParam().nExit, zlv::RunProgram(CaptureCommand(
        GetParam().pszArgs[0] ? "\"" + m_board.Path(GetParam().pszArgs) + "\"" : "")));
}

INSTANTIATE_TEST_SUITE_P(Cases, GlideCaptureExitTest, ::testing::Values(
    CaptureExitCase{ "NothingShownBmp", "out.bmp", 1 },
    CaptureExitCase{ "NothingShownPng", "out.png", 1 },
    CaptureExitCase{ "NoArgument", "", 2 },
    CaptureExitCase{ "UnknownFormat", "out.txt", 2 }),
    [](const ::testing::TestParamInfo<CaptureExitCase> &info) {
        return std::string(info.param.pszName);
    });

// ---------------------------------------------------------------------------
// The viewer

struct FindViewData {
    DWORD dwPid;
    HWND hWnd;
};

BOOL CALLBACK FindViewProc(HWND hWnd, LPARAM lParam)
{
    FindViewData *pData = (FindViewData *)lParam;
    DWORD dwPid = 0;
    GetWindowThreadProcessId(hWnd, &dwPid);
    char szTitle[64] = "";
    GetWindowTextA(hWnd, szTitle, sizeof(szTitle));
    if (dwPid == pData->dwPid && strcmp(szTitle, "Board output") == 0) {
        pData->hWnd = hWnd;
        return FALSE;
    }
    return TRUE;
}

// The viewer sits beside a full-screen, keyboard-driven program: it shows
// the board 1:1 and never takes the activation from that program.
TEST_F(GlideTest, ViewerShowsTheOutputWithoutTakingTheFocus)
{
    HWND hOwn = CreateWindowExA(0, "STATIC", "drawing program",
                                WS_POPUP | WS_VISIBLE, 960, 700, 40, 40,
                                NULL, NULL, NULL, NULL);
    ASSERT_TRUE(hOwn != NULL);
    SetForegroundWindow(hOwn);
    ASSERT_EQ(hOwn, GetForegroundWindow());

    ASSERT_TRUE(m_gr.Open(GR_RESOLUTION_512x384));
    m_gr.Clear(GR_BUFFER_FRONTBUFFER, RED_RGBA);

    zlv::Process viewer("\"" + zlv::BinDir() + "\\zlvview.exe\"");
    ASSERT_TRUE(viewer.Started());
    FindViewData data = { viewer.Id(), NULL };
    ASSERT_TRUE(zlv::WaitFor([&] {
        data.hWnd = NULL;
        EnumWindows(FindViewProc, (LPARAM)&data);
        return data.hWnd != NULL && IsWindowVisible(data.hWnd);
    })) << "no visible \"Board output\" window";

    RECT rc;
    EXPECT_TRUE(zlv::WaitFor([&] {
        GetClientRect(data.hWnd, &rc);
        return rc.right == 512 && rc.bottom == 384;
    }, 5000)) << "client area " << rc.right << "x" << rc.bottom;
    HDC hdc = GetDC(data.hWnd);
    COLORREF cr = CLR_INVALID;
    EXPECT_TRUE(zlv::WaitFor([&] {
        cr = GetPixel(hdc, 256, 192);
        return GetRValue(cr) >= 0xF0 && GetGValue(cr) < 0x10 && GetBValue(cr) < 0x10;
    }, 5000)) << std::hex << "pixel 0x" << cr;
    ReleaseDC(data.hWnd, hdc);

    EXPECT_EQ(hOwn, GetForegroundWindow());
    EXPECT_TRUE(GetWindowLongPtrA(data.hWnd, GWL_EXSTYLE) & WS_EX_NOACTIVATE);
    EXPECT_EQ(MA_NOACTIVATE, SendMessageA(data.hWnd, WM_MOUSEACTIVATE,
                                          (WPARAM)data.hWnd,
                                          MAKELPARAM(HTCLIENT, WM_LBUTTONDOWN)));
    PostMessageA(data.hWnd, WM_CLOSE, 0, 0);
    EXPECT_EQ(0, viewer.Wait(10000));
    DestroyWindow(hOwn);
}

// ---------------------------------------------------------------------------
// The names a 32-bit program imports

// Reads the export names of a 32-bit DLL from its file.
bool ReadExportNames32(const std::string &strPath, std::vector<std::string> *pNames)
{
    std::string strFile = zlv::ReadFileText(strPath);
    if (strFile.size() < sizeof(IMAGE_DOS_HEADER))
        return false;
    const BYTE *pbBase = (const BYTE *)strFile.data();
    const IMAGE_DOS_HEADER *pDos = (const IMAGE_DOS_HEADER *)pbBase;
    if (pDos->e_magic != IMAGE_DOS_SIGNATURE ||
        (size_t)pDos->e_lfanew + sizeof(IMAGE_NT_HEADERS32) > strFile.size())
        return false;
    const IMAGE_NT_HEADERS32 *pNt = (const IMAGE_NT_HEADERS32 *)(pbBase + pDos->e_lfanew);
    if (pNt->Signature != IMAGE_NT_SIGNATURE ||
        pNt->OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR32_MAGIC)
        return false;
    const IMAGE_SECTION_HEADER *pSections = IMAGE_FIRST_SECTION(pNt);
    WORD cSections = pNt->FileHeader.NumberOfSections;
    auto toOffset = [&](DWORD dwRva) -> size_t {
        for (WORD i = 0; i < cSections; ++i) {
            DWORD dwStart = pSections[i].VirtualAddress;
            if (dwRva >= dwStart && dwRva < dwStart + pSections[i].SizeOfRawData)
                return dwRva - dwStart + pSections[i].PointerToRawData;
        }
        return strFile.size();
    };
    const IMAGE_DATA_DIRECTORY &dir =
        pNt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    size_t offExports = toOffset(dir.VirtualAddress);
    if (dir.VirtualAddress == 0 || offExports + sizeof(IMAGE_EXPORT_DIRECTORY) > strFile.size())
        return false;
    const IMAGE_EXPORT_DIRECTORY *pExports =
        (const IMAGE_EXPORT_DIRECTORY *)(pbBase + offExports);
    size_t offNames = toOffset(pExports->AddressOfNames);
    for (DWORD i = 0; i < pExports->NumberOfNames; ++i) {
        if (offNames + (i + 1) * 4 > strFile.size())
            return false;
        size_t offName = toOffset(((const DWORD *)(pbBase + offNames))[i]);
        if (offName >= strFile.size())
            return false;
        pNames->push_back(std::string((const char *)pbBase + offName,
                                      strnlen((const char *)pbBase + offName,
                                              strFile.size() - offName)));
    }
    return true;
}

TEST(GlideExports, The32BitLibraryExportsTheBoardLibrarysNames)
{
    std::string strDll = zlv::BinDir() + "\\..\\..\\i686\\bin\\glide2x.dll";
    if (GetFileAttributesA(strDll.c_str()) == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "no 32-bit build next to this one: " << strDll;
    std::vector<std::string> names;
    ASSERT_TRUE(ReadExportNames32(strDll, &names)) << "not a 32-bit DLL: " << strDll;

    const char *const apszExpected[] = {
        "_grGlideInit@0", "_grSstQueryHardware@4", "_grSstSelect@4",
        "_grSstWinOpen@28", "_grRenderBuffer@4", "_grBufferClear@12",
        "_grLfbLock@24", "_grLfbUnlock@8", "_grBufferSwap@4",
        "_grSstWinClose@0", "_grGlideShutdown@0",
    };
    for (const char *pszName : apszExpected)
        EXPECT_NE(names.end(), std::find(names.begin(), names.end(), pszName))
            << pszName << " is not exported";
    for (const std::string &strName : names)
        EXPECT_NE(0u, strName.compare(0, 2, "gr")) << "compiler's name leaked: " << strName;
}

} // namespace
