// driver_test.cpp - the emulated board's driver, called straight through
// MRVD_cti of a loaded "glide2x.dll", each test on a board of its own.
#include <gtest/gtest.h>

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "cti.h"
#include "harness.h"

namespace {

const WORD STATUS_OK = CTI_STATUS_OK;

DWORD Fnv(const void *pData, size_t cb)
{
    const BYTE *pb = (const BYTE *)pData;
    DWORD dwHash = 2166136261u;
    for (size_t i = 0; i < cb; ++i)
        dwHash = (dwHash ^ pb[i]) * 16777619u;
    return dwHash;
}

std::string Format(const char *pszFormat, ...)
{
    char sz[512];
    va_list args;
    va_start(args, pszFormat);
    _vsnprintf(sz, sizeof(sz), pszFormat, args);
    va_end(args);
    sz[sizeof(sz) - 1] = '\0';
    return sz;
}

// The emulated library loaded into this process, and requests built the way
// the suite's callers build them.
class Driver {
public:
    Driver()
    {
        m_hLib = LoadLibraryA((zlv::BinDir() + "\\glide2x.dll").c_str());
        m_pfnCti = m_hLib == NULL ? NULL
                 : (PFN_MRVD_CTI)(void *)GetProcAddress(m_hLib, "MRVD_cti");
    }
    ~Driver() { Unload(); }
    bool Loaded() const { return m_pfnCti != NULL; }
    void Unload()
    {
        if (m_hLib != NULL)
            FreeLibrary(m_hLib);
        m_hLib = NULL;
        m_pfnCti = NULL;
    }
    WORD Call(DWORD cbRequest, void *pRequest, DWORD cbReply, void *pReply)
    {
        return m_pfnCti(cbRequest, pRequest, cbReply, pReply);
    }
    WORD Session(DWORD dwValue)
    {
        CTI_VALUE_REQUEST req = { CTI_CMD_SESSION, CTI_LEN_VALUE, CTI_OP_SET, 0, dwValue };
        return Call(sizeof(req), &req, 0, NULL);
    }
    WORD Value(WORD wCommand, WORD wOperation, DWORD dwValue, DWORD *pdwReply = NULL)
    {
        CTI_VALUE_REQUEST req = { wCommand, CTI_LEN_VALUE, wOperation, 0, dwValue };
        DWORD dwScratch = 0;
        return Call(sizeof(req), &req, 4, pdwReply != NULL ? pdwReply : &dwScratch);
    }
    DWORD Get(WORD wCommand, WORD wOperation = CTI_OP_GET)
    {
        DWORD dw = 0xBAADF00D;
        EXPECT_EQ(STATUS_OK, Value(wCommand, wOperation, 0, &dw)) << "command " << wCommand;
        return dw;
    }
    // Request and reply of the same layout; the reply lands in *pRecord.
    template <class T> WORD Record(WORD wCommand, WORD wOperation, T *pRecord)
    {
        T req = *pRecord;
        CtiSetHeader(&req.hdr, wCommand, sizeof(T), wOperation);
        return Call(sizeof(T), &req, sizeof(T), pRecord);
    }
    std::vector<BYTE> List(void *pRequest)
    {
        DWORD cbList = 0;
        CTI_REQUEST *pHeader = (CTI_REQUEST *)pRequest;
        pHeader->wOperation = CTI_OP_GET_INFO;
        EXPECT_EQ(STATUS_OK, Call(pHeader->wLength, pRequest, 4, &cbList));
        std::vector<BYTE> list(cbList + 1);
        pHeader->wOperation = CTI_OP_GET;
        if (pHeader->wCommand == CTI_CMD_MODE_LIST)
            ((CTI_VALUE_REQUEST *)pRequest)->dwValue = cbList;
        EXPECT_EQ(STATUS_OK, Call(pHeader->wLength, pRequest, cbList, &list[0]));
        list.resize(cbList);
        return list;
    }
    std::vector<CTI_MODE_ENTRY> Modes()
    {
        CTI_VALUE_REQUEST req = { CTI_CMD_MODE_LIST, CTI_LEN_VALUE, 0, 0, 0 };
        std::vector<BYTE> bytes = List(&req);
        std::vector<CTI_MODE_ENTRY> modes(bytes.size() / sizeof(CTI_MODE_ENTRY));
        if (!modes.empty())
            memcpy(&modes[0], &bytes[0], modes.size() * sizeof(CTI_MODE_ENTRY));
        return modes;
    }
private:
    HMODULE m_hLib;
    PFN_MRVD_CTI m_pfnCti;
};

// A request naming one 16-bit mode, ready for the refresh list; Record()
// rewrites the header for the other commands.
CTI_MODE_REQUEST ModeRequest(DWORD dwWidth, DWORD dwHeight, DWORD dwRate = 0)
{
    CTI_MODE_REQUEST mode;
    ZeroMemory(&mode, sizeof(mode));
    CtiSetHeader(&mode.hdr, CTI_CMD_REFRESH_LIST, CTI_LEN_MODE, CTI_OP_GET);
    mode.dwWidth = dwWidth;
    mode.dwHeight = dwHeight;
    mode.dwBitsPerPixel = 16;
    mode.dwRefreshRate = dwRate;
    return mode;
}

CTI_GAMMA_TABLE GammaRamp(int nShift)
{
    CTI_GAMMA_TABLE gamma;
    ZeroMemory(&gamma, sizeof(gamma));
    for (int i = 0; i < 256; ++i) {
        gamma.abRed[i] = (BYTE)(i + nShift);
        gamma.abGreen[i] = (BYTE)(255 - i);
        gamma.abBlue[i] = (BYTE)(i * 3 + nShift);
    }
    return gamma;
}

// Runs a console program and returns what it printed, or "" on failure.
std::string RunCapture(const std::string &strCommandLine, int *pnExit)
{
    SECURITY_ATTRIBUTES sa = { sizeof(sa), NULL, TRUE };
    HANDLE hRead, hWrite;
    *pnExit = -1;
    if (!CreatePipe(&hRead, &hWrite, &sa, 0))
        return "";
    SetHandleInformation(hRead, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA si;
    ZeroMemory(&si, sizeof(si));
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = hWrite;
    si.hStdError = hWrite;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION pi;
    std::vector<char> cmd(strCommandLine.begin(), strCommandLine.end());
    cmd.push_back('\0');
    BOOL bStarted = CreateProcessA(NULL, &cmd[0], NULL, NULL, TRUE, 0, NULL, NULL, &si, &pi);
    CloseHandle(hWrite);
    std::string strOut;
    if (bStarted) {
        char buf[4096];
        DWORD cb;
        while (ReadFile(hRead, buf, sizeof(buf), &cb, NULL) && cb > 0)
            strOut.append(buf, cb);
        WaitForSingleObject(pi.hProcess, 30000);
        DWORD dwExit = 0;
        GetExitCodeProcess(pi.hProcess, &dwExit);
        *pnExit = (int)dwExit;
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    }
    CloseHandle(hRead);
    return strOut;
}

std::string Zlvboard(const char *pszArgs, int *pnExit)
{
    return RunCapture("\"" + zlv::BinDir() + "\\zlvboard.exe\" " + pszArgs, pnExit);
}

// The fields of the line of `zlvboard status` that starts with the name.
std::map<std::string, std::string> StatusLine(const std::string &strStatus,
                                              const std::string &strName)
{
    size_t pos = 0;
    while (pos < strStatus.size()) {
        size_t end = strStatus.find('\n', pos);
        if (end == std::string::npos)
            end = strStatus.size();
        std::string strLine = strStatus.substr(pos, end - pos);
        if (!strLine.empty() && strLine[strLine.size() - 1] == '\r')
            strLine.erase(strLine.size() - 1);
        if (strLine.compare(0, strName.size() + 1, strName + " ") == 0 ||
            strLine.compare(0, strName.size() + 1, strName + "=") == 0)
            return zlv::ParseLogLine(strLine);
        pos = end + 1;
    }
    return std::map<std::string, std::string>();
}

// The log line without its "pid=N " prefix, which must be this process's.
std::vector<std::string> CtiLines(const zlv::TestBoard &board)
{
    std::vector<std::string> lines = board.Log("cti");
    std::string strPid = Format("pid=%lu ", (unsigned long)GetCurrentProcessId());
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(0u, lines[i].find(strPid)) << lines[i];
        lines[i] = lines[i].substr(strPid.size());
    }
    return lines;
}

class DriverTest : public ::testing::Test {
protected:
    void SetUp()
    {
        ASSERT_TRUE(m_driver.Loaded());
        ASSERT_EQ(CTI_STATUS_SESSION_OK, m_driver.Session(CTI_SESSION_OPEN));
    }
    void TearDown() { m_driver.Session(CTI_SESSION_CLOSE); }
    // A changed board.ini takes effect at the next session.
    void Reopen()
    {
        m_driver.Session(CTI_SESSION_CLOSE);
        m_driver.Session(CTI_SESSION_OPEN);
    }
    zlv::TestBoard m_board;     // first: the library must see its folder
    Driver m_driver;
};

// ---- one board for every process -----------------------------------------

const DWORD PARENT_BRIGHTNESS = 7;
const DWORD CHILD_BRIGHTNESS = 11;
const LONG CHILD_HORIZONTAL = -5;

// Runs only as the second process of SharedStateIsSeenByTwoProcessesAtOnce.
TEST(DriverChild, ReadsAndChangesTheSharedBoard)
{
    char sz[8];
    if (GetEnvironmentVariableA("ZLV_DRIVER_CHILD", sz, sizeof(sz)) == 0)
        GTEST_SKIP() << "started by SharedStateIsSeenByTwoProcessesAtOnce";
    Driver driver;
    ASSERT_TRUE(driver.Loaded());
    ASSERT_EQ(CTI_STATUS_SESSION_OK, driver.Session(CTI_SESSION_OPEN));
    EXPECT_EQ(PARENT_BRIGHTNESS, driver.Get(CTI_CMD_BRIGHTNESS));
    EXPECT_EQ(STATUS_OK, driver.Value(CTI_CMD_BRIGHTNESS, CTI_OP_SET, CHILD_BRIGHTNESS));
    CTI_POSITION pos;
    ZeroMemory(&pos, sizeof(pos));
    ASSERT_EQ(STATUS_OK, driver.Record(CTI_CMD_TV_POSITION, CTI_OP_GET, &pos));
    pos.lHorizontal = CHILD_HORIZONTAL;
    EXPECT_EQ(STATUS_OK, driver.Record(CTI_CMD_TV_POSITION, CTI_OP_SET, &pos));
    // While this process holds its session, the board counts both.
    int nExit;
    std::string strStatus = Zlvboard("status", &nExit);
    EXPECT_EQ("2", StatusLine(strStatus, "model")["sessions"]) << strStatus;
    driver.Session(CTI_SESSION_CLOSE);
}

TEST_F(DriverTest, SharedStateIsSeenByTwoProcessesAtOnce)
{
    ASSERT_EQ(STATUS_OK, m_driver.Value(CTI_CMD_BRIGHTNESS, CTI_OP_SET, PARENT_BRIGHTNESS));

    char szExe[MAX_PATH];
    GetModuleFileNameA(NULL, szExe, sizeof(szExe));
    SetEnvironmentVariableA("ZLV_DRIVER_CHILD", "1");
    int nChild = zlv::RunProgram(Format("\"%s\" --gtest_filter=DriverChild.*", szExe), 60000);
    SetEnvironmentVariableA("ZLV_DRIVER_CHILD", NULL);
    ASSERT_EQ(0, nChild) << "the second process saw another board";

    // The other process's changes are here, in this still-loaded library.
    EXPECT_EQ(CHILD_BRIGHTNESS, m_driver.Get(CTI_CMD_BRIGHTNESS));
    CTI_POSITION pos;
    ZeroMemory(&pos, sizeof(pos));
    ASSERT_EQ(STATUS_OK, m_driver.Record(CTI_CMD_TV_POSITION, CTI_OP_GET, &pos));
    EXPECT_EQ(CHILD_HORIZONTAL, pos.lHorizontal);

    int nExit;
    std::string strStatus = Zlvboard("status", &nExit);
    EXPECT_EQ(0, nExit);
    EXPECT_EQ("1", StatusLine(strStatus, "model")["sessions"]) << strStatus;
    EXPECT_EQ(Format("%lu", (unsigned long)CHILD_BRIGHTNESS),
              StatusLine(strStatus, "brightness")["working"]) << strStatus;
}

// ---- saved values outlive the processes -----------------------------------

struct SavedSample {
    DWORD dwBrightness, dwFormat, dwClock;
    CTI_POSITION pos;
    CTI_GAMMA_TABLE gamma;
    CTI_MODE_REQUEST mode;
};

SavedSample ReadSample(Driver *pDriver, WORD wOperation)
{
    SavedSample sample;
    sample.dwBrightness = pDriver->Get(CTI_CMD_BRIGHTNESS, wOperation);
    sample.dwFormat = pDriver->Get(CTI_CMD_TV_FORMAT, wOperation);
    sample.dwClock = pDriver->Get(CTI_CMD_MEMORY_CLOCK, wOperation);
    ZeroMemory(&sample.pos, sizeof(sample.pos));
    EXPECT_EQ(STATUS_OK, pDriver->Record(CTI_CMD_TV_POSITION, wOperation, &sample.pos));
    ZeroMemory(&sample.gamma, sizeof(sample.gamma));
    EXPECT_EQ(STATUS_OK, pDriver->Record(CTI_CMD_GAMMA_TABLE, wOperation, &sample.gamma));
    sample.mode = ModeRequest(640, 480);
    EXPECT_EQ(STATUS_OK, pDriver->Record(CTI_CMD_MODE_REFRESH, wOperation, &sample.mode));
    return sample;
}

void ExpectSample(const SavedSample &want, const SavedSample &got, const char *pszWhat)
{
    SCOPED_TRACE(pszWhat);
    EXPECT_EQ(want.dwBrightness, got.dwBrightness);
    EXPECT_EQ(want.dwFormat, got.dwFormat);
    EXPECT_EQ(want.dwClock, got.dwClock);
    EXPECT_EQ(0, memcmp(&want.pos.lHorizontal, &got.pos.lHorizontal, 16));
    EXPECT_EQ(0, memcmp(want.gamma.abRed, got.gamma.abRed, 768));
    EXPECT_EQ(want.mode.dwRefreshRate, got.mode.dwRefreshRate);
}

TEST(DriverRestart, SavedValuesSurviveAndWorkingValuesFollowThePowerCycle)
{
    zlv::TestBoard board;
    SavedSample factory, saved, working;
    {
        Driver driver;
        ASSERT_TRUE(driver.Loaded());
        ASSERT_EQ(CTI_STATUS_SESSION_OK, driver.Session(CTI_SESSION_OPEN));
        factory = ReadSample(&driver, CTI_OP_GET_SAVED);

        saved = factory;
        saved.dwBrightness = factory.dwBrightness + 3;
        saved.dwFormat = 2;
        saved.dwClock = factory.dwClock + 1;
        saved.pos.lHorizontal = 4;
        saved.pos.lVertical = -6;
        saved.gamma = GammaRamp(9);
        saved.mode.dwRefreshRate = 75;
        working = saved;
        working.dwBrightness = factory.dwBrightness + 1;
        working.pos.lHorizontal = 12;
        working.mode.dwRefreshRate = 72;
        const SavedSample *apSample[] = { &saved, &working };
        const WORD awOp[] = { CTI_OP_SET_SAVED, CTI_OP_SET };
        for (int i = 0; i < 2; ++i) {
            SavedSample s = *apSample[i];
            EXPECT_EQ(STATUS_OK, driver.Value(CTI_CMD_BRIGHTNESS, awOp[i], s.dwBrightness));
            EXPECT_EQ(STATUS_OK, driver.Value(CTI_CMD_TV_FORMAT, awOp[i], s.dwFormat));
            EXPECT_EQ(STATUS_OK, driver.Value(CTI_CMD_MEMORY_CLOCK, awOp[i], s.dwClock));
            EXPECT_EQ(STATUS_OK, driver.Record(CTI_CMD_TV_POSITION, awOp[i], &s.pos));
            EXPECT_EQ(STATUS_OK, driver.Record(CTI_CMD_GAMMA_TABLE, awOp[i], &s.gamma));
            EXPECT_EQ(STATUS_OK, driver.Record(CTI_CMD_MODE_REFRESH, awOp[i], &s.mode));
        }
        driver.Session(CTI_SESSION_CLOSE);
    }   // no process holds the library now

    Driver driver;
    ASSERT_EQ(CTI_STATUS_SESSION_OK, driver.Session(CTI_SESSION_OPEN));
    ExpectSample(saved, ReadSample(&driver, CTI_OP_GET_SAVED), "saved after reload");
    // The board stayed powered: its working values are as they were left.
    ExpectSample(working, ReadSample(&driver, CTI_OP_GET), "working after reload");

    int nExit;
    Zlvboard("reboot", &nExit);
    EXPECT_EQ(0, nExit);
    ExpectSample(saved, ReadSample(&driver, CTI_OP_GET), "working after reboot");

    Zlvboard("reset", &nExit);
    EXPECT_EQ(0, nExit);
    ExpectSample(factory, ReadSample(&driver, CTI_OP_GET_SAVED), "saved after reset");
    ExpectSample(factory, ReadSample(&driver, CTI_OP_GET), "working after reset");
    driver.Session(CTI_SESSION_CLOSE);
}

// ---- bad requests ----------------------------------------------------------

struct BadCase {
    const char *pszName;
    bool bNullRequest;
    DWORD cbRequest;
    WORD wCommand, wLength, wOperation;
    DWORD dwValue;
    bool bNullReply;
    DWORD cbReply;
};

const BadCase s_aBadCases[] = {
    { "null request",          true,  12, 8, 12, CTI_OP_GET, 0, false, 4 },
    { "shorter than a header", false,  6, 8,  6, CTI_OP_GET, 0, false, 4 },
    { "length not wLength",    false, 12, 8, 24, CTI_OP_GET, 0, false, 4 },
    { "value cmd, 24 bytes",   false, 24, 8, 24, CTI_OP_GET, 0, false, 24 },
    { "position in 12 bytes",  false, 12, 10, 12, CTI_OP_GET, 0, false, 24 },
    { "gamma one byte short",  false, 775, 16, 775, CTI_OP_GET, 0, false, 776 },
    { "unknown command 7",     false, 12, 7, 12, CTI_OP_GET, 0, false, 4 },
    { "unknown command 18",    false, 12, 18, 12, CTI_OP_GET, 0, false, 4 },
    { "unknown command 0",     false, 12, 0, 12, CTI_OP_GET, 0, false, 4 },
    { "unknown command 0xFFFF", false, 12, 0xFFFF, 12, CTI_OP_GET, 0, false, 4 },
    { "unknown operation 3",   false, 12, 8, 12, 3, 0, false, 4 },
    { "unknown operation 0xFFFF", false, 12, 8, 12, 0xFFFF, 0, false, 4 },
    { "default of a value",    false, 12, 8, 12, CTI_OP_GET_DEFAULT, 0, false, 4 },
    { "set of the mode list",  false, 12, 12, 12, CTI_OP_SET, 0, false, 4 },
    { "null reply",            false, 12, 8, 12, CTI_OP_GET, 0, true, 4 },
    { "null reply of a set",   false, 12, 8, 12, CTI_OP_SET, 5, true, 0 },
    { "value reply of 3",      false, 12, 8, 12, CTI_OP_GET_SAVED, 0, false, 3 },
    { "clock limits in 4",     false, 12, 15, 12, CTI_OP_GET_INFO, 0, false, 4 },
    { "position reply of 23",  false, 24, 10, 24, CTI_OP_GET, 0, false, 23 },
    { "mode reply of 31",      false, 32, 14, 32, CTI_OP_GET, 0, false, 31 },
    { "gamma reply of 775",    false, 776, 16, 776, CTI_OP_GET_SAVED, 0, false, 775 },
    { "session value 3",       false, 12, 1, 12, CTI_OP_SET, 3, false, 0 },
    { "session operation get", false, 12, 1, 12, CTI_OP_GET, 1, false, 0 },
    { "session in 24 bytes",   false, 24, 1, 24, CTI_OP_SET, 1, false, 0 },
};

const BYTE GUARD = 0xA5;
const DWORD GUARD_BYTES = 16;

// Offset of the first byte from ibFrom on that is no longer the guard, or -1.
int FirstWritten(const std::vector<BYTE> &bytes, size_t ibFrom = 0)
{
    for (size_t i = ibFrom; i < bytes.size(); ++i) {
        if (bytes[i] != GUARD)
            return (int)i;
    }
    return -1;
}

// Two pages, the second inaccessible: a request placed to end at the page
// boundary cannot be read past its stated size without a fault.
class PageEndBuffer {
public:
    PageEndBuffer()
    {
        m_pb = (BYTE *)VirtualAlloc(NULL, 2 * PAGE, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
        DWORD dwOld;
        VirtualProtect(m_pb + PAGE, PAGE, PAGE_NOACCESS, &dwOld);
    }
    ~PageEndBuffer() { VirtualFree(m_pb, 0, MEM_RELEASE); }
    BYTE *Place(const void *pData, DWORD cb)
    {
        BYTE *pb = m_pb + PAGE - cb;
        memcpy(pb, pData, cb);
        return pb;
    }
private:
    static const DWORD PAGE = 4096;
    BYTE *m_pb;
};

TEST_F(DriverTest, BadRequestsFailAndWriteNothing)
{
    DWORD dwBrightness = m_driver.Get(CTI_CMD_BRIGHTNESS);
    m_board.ClearLog();
    PageEndBuffer requestPage;
    for (size_t i = 0; i < sizeof(s_aBadCases) / sizeof(s_aBadCases[0]); ++i) {
        const BadCase &c = s_aBadCases[i];
        SCOPED_TRACE(c.pszName);
        BYTE abRequest[CTI_LEN_GAMMA];
        ZeroMemory(abRequest, sizeof(abRequest));
        CTI_VALUE_REQUEST hdr = { c.wCommand, c.wLength, c.wOperation, 0, c.dwValue };
        memcpy(abRequest, &hdr, sizeof(hdr));
        void *pRequest = c.bNullRequest ? NULL : requestPage.Place(abRequest, c.cbRequest);

        std::vector<BYTE> reply(c.cbReply + GUARD_BYTES, GUARD);
        WORD wStatus = m_driver.Call(c.cbRequest, pRequest, c.cbReply,
                                     c.bNullReply ? NULL : &reply[0]);
        EXPECT_NE(STATUS_OK, wStatus);
        if (c.wCommand == CTI_CMD_SESSION) {
            EXPECT_NE(CTI_STATUS_SESSION_OK, wStatus);
        }
        EXPECT_EQ(-1, FirstWritten(reply)) << "written into";
    }
    // One log line per call, each with the failing status.
    std::vector<std::string> lines = CtiLines(m_board);
    ASSERT_EQ(sizeof(s_aBadCases) / sizeof(s_aBadCases[0]), lines.size());
    for (size_t i = 0; i < lines.size(); ++i)
        EXPECT_NE("1", zlv::ParseLogLine(lines[i])["status"]) << lines[i];
    // The set without a reply did not take effect either.
    EXPECT_EQ(dwBrightness, m_driver.Get(CTI_CMD_BRIGHTNESS));
}

TEST_F(DriverTest, ListGetWritesNoMoreThanTheStatedSize)
{
    std::vector<CTI_MODE_ENTRY> modes = m_driver.Modes();
    ASSERT_GE(modes.size(), 2u);
    const DWORD cbShort = 20;   // one entry and part of the next
    CTI_VALUE_REQUEST req = { CTI_CMD_MODE_LIST, CTI_LEN_VALUE, CTI_OP_GET, 0, cbShort };
    std::vector<BYTE> reply(cbShort + GUARD_BYTES, GUARD);
    EXPECT_EQ(STATUS_OK, m_driver.Call(sizeof(req), &req, cbShort, &reply[0]));
    EXPECT_EQ(0, memcmp(&reply[0], &modes[0], cbShort));
    EXPECT_EQ(-1, FirstWritten(reply, cbShort));
}

// ---- what the settings hold ------------------------------------------------

TEST_F(DriverTest, ModeListHasTheBoardsModesEachWithRatesAndACurrentRate)
{
    std::vector<CTI_MODE_ENTRY> modes = m_driver.Modes();
    bool b640 = false, b800 = false;
    for (size_t i = 0; i < modes.size(); ++i) {
        const CTI_MODE_ENTRY &e = modes[i];
        SCOPED_TRACE(Format("%lux%lu", (unsigned long)e.dwWidth, (unsigned long)e.dwHeight));
        EXPECT_EQ(16u, e.dwBitsPerPixel);
        b640 |= e.dwWidth == 640 && e.dwHeight == 480;
        b800 |= e.dwWidth == 800 && e.dwHeight == 600;

        CTI_MODE_REQUEST mode = ModeRequest(e.dwWidth, e.dwHeight);
        std::vector<BYTE> bytes = m_driver.List(&mode);
        ASSERT_FALSE(bytes.empty());
        std::vector<DWORD> rates(bytes.size() / 4);
        memcpy(&rates[0], &bytes[0], bytes.size());
        CTI_MODE_REQUEST current = ModeRequest(e.dwWidth, e.dwHeight);
        ASSERT_EQ(STATUS_OK, m_driver.Record(CTI_CMD_MODE_REFRESH, CTI_OP_GET, &current));
        EXPECT_NE(rates.end(), std::find(rates.begin(), rates.end(), current.dwRefreshRate));
        EXPECT_EQ(e.dwWidth, current.dwWidth);
    }
    EXPECT_TRUE(b640 && b800);

    CTI_MODE_REQUEST unknown = ModeRequest(640, 480);
    unknown.dwBitsPerPixel = 32;
    EXPECT_NE(STATUS_OK, m_driver.Record(CTI_CMD_MODE_REFRESH, CTI_OP_GET, &unknown));
}

TEST_F(DriverTest, SetsKeepTheBoardsLimits)
{
    DWORD dwMax = 0, adwClock[2] = { 0, 0 };
    ASSERT_EQ(STATUS_OK, m_driver.Value(CTI_CMD_BRIGHTNESS, CTI_OP_GET_INFO, 0, &dwMax));
    CTI_VALUE_REQUEST info = { CTI_CMD_MEMORY_CLOCK, CTI_LEN_VALUE, CTI_OP_GET_INFO, 0, 0 };
    ASSERT_EQ(STATUS_OK, m_driver.Call(sizeof(info), &info, 8, adwClock));
    ASSERT_LT(adwClock[0], adwClock[1]);
    DWORD dwClock = m_driver.Get(CTI_CMD_MEMORY_CLOCK, CTI_OP_GET_SAVED);

    // One step below 0 arrives as 0xFFFFFFFF and reads back as 0.
    const struct { WORD wCommand; DWORD dwSet; WORD wStatus; DWORD dwRead; } aCases[] = {
        { CTI_CMD_BRIGHTNESS, 0xFFFFFFFF, STATUS_OK, 0 },
        { CTI_CMD_BRIGHTNESS, dwMax + 1, STATUS_OK, dwMax },
        { CTI_CMD_BRIGHTNESS, dwMax, STATUS_OK, dwMax },
        { CTI_CMD_MEMORY_CLOCK, adwClock[1], STATUS_OK, adwClock[1] },
        { CTI_CMD_MEMORY_CLOCK, adwClock[1] + 1, 0, adwClock[1] },
        { CTI_CMD_MEMORY_CLOCK, adwClock[0] - 1, 0, adwClock[1] },
        { CTI_CMD_TV_OUTPUT, 0x81, STATUS_OK, 0x81 },
        { CTI_CMD_TV_OUTPUT, 0x02, 0, 0x81 },
        { CTI_CMD_TV_FORMAT, 3, STATUS_OK, 3 },
        { CTI_CMD_BOARD_FLAGS, 0x07, STATUS_OK, 0x03 },   // bit 2 is the model's
    };
    for (size_t i = 0; i < sizeof(aCases) / sizeof(aCases[0]); ++i) {
        SCOPED_TRACE(Format("command %u set 0x%08lX", aCases[i].wCommand,
                            (unsigned long)aCases[i].dwSet));
        EXPECT_EQ(aCases[i].wStatus, m_driver.Value(aCases[i].wCommand, CTI_OP_SET, aCases[i].dwSet));
        EXPECT_EQ(aCases[i].dwRead, m_driver.Get(aCases[i].wCommand));
    }
    // The working clock is not the saved one.
    EXPECT_EQ(dwClock, m_driver.Get(CTI_CMD_MEMORY_CLOCK, CTI_OP_GET_SAVED));
}

TEST_F(DriverTest, PositionKeepsItsExtraWordsAndHasADefault)
{
    CTI_POSITION def;
    ZeroMemory(&def, sizeof(def));
    ASSERT_EQ(STATUS_OK, m_driver.Record(CTI_CMD_TV_POSITION, CTI_OP_GET_DEFAULT, &def));
    EXPECT_NE(0u, def.dwExtra1);
    EXPECT_NE(0u, def.dwExtra2);

    CTI_POSITION pos;
    ZeroMemory(&pos, sizeof(pos));
    ASSERT_EQ(STATUS_OK, m_driver.Record(CTI_CMD_TV_POSITION, CTI_OP_GET, &pos));
    EXPECT_EQ(def.dwExtra1, pos.dwExtra1);
    EXPECT_EQ(def.dwExtra2, pos.dwExtra2);
    pos.lHorizontal += 1;
    pos.lVertical -= 1;
    CTI_POSITION sent = pos;
    ASSERT_EQ(STATUS_OK, m_driver.Record(CTI_CMD_TV_POSITION, CTI_OP_SET, &pos));
    CTI_POSITION read;
    ZeroMemory(&read, sizeof(read));
    ASSERT_EQ(STATUS_OK, m_driver.Record(CTI_CMD_TV_POSITION, CTI_OP_GET, &read));
    EXPECT_EQ(0, memcmp(&sent.lHorizontal, &read.lHorizontal, 16));
    // The default does not move with the picture.
    CTI_POSITION again;
    ZeroMemory(&again, sizeof(again));
    ASSERT_EQ(STATUS_OK, m_driver.Record(CTI_CMD_TV_POSITION, CTI_OP_GET_DEFAULT, &again));
    EXPECT_EQ(0, memcmp(&def.lHorizontal, &again.lHorizontal, 16));
}

// ---- the request log -------------------------------------------------------

TEST_F(DriverTest, LogShowsEachRequestFormWithItsReply)
{
    m_board.ClearLog();
    std::vector<std::string> want;

    m_driver.Value(CTI_CMD_BRIGHTNESS, CTI_OP_SET, 7);
    want.push_back("cti cmd=8 op=1 len=12 size=4 in=0x00000007 out=0x00000007 status=1");

    CTI_POSITION pos;
    ZeroMemory(&pos, sizeof(pos));
    pos.lHorizontal = 5;
    pos.lVertical = -3;
    pos.dwExtra1 = 0x11111111;
    pos.dwExtra2 = 0xABCDEF01;
    m_driver.Record(CTI_CMD_TV_POSITION, CTI_OP_SET, &pos);
    want.push_back("cti cmd=10 op=1 len=24 size=24 in=5,-3,0x11111111,0xABCDEF01 "
                   "out=5,-3,0x11111111,0xABCDEF01 status=1");

    CTI_MODE_REQUEST mode = ModeRequest(640, 480, 72);
    m_driver.Record(CTI_CMD_MODE_REFRESH, CTI_OP_SET, &mode);
    want.push_back("cti cmd=14 op=1 len=32 size=32 in=640x480x16@72 out=640x480x16@72 status=1");
    mode = ModeRequest(640, 480, 0);
    m_driver.Record(CTI_CMD_MODE_REFRESH, CTI_OP_GET, &mode);
    want.push_back("cti cmd=14 op=2 len=32 size=32 in=640x480x16@0 out=640x480x16@72 status=1");

    CTI_GAMMA_TABLE gamma = GammaRamp(3);
    DWORD dwGamma = Fnv(gamma.abRed, 768);
    m_driver.Record(CTI_CMD_GAMMA_TABLE, CTI_OP_SET, &gamma);
    want.push_back(Format("cti cmd=16 op=1 len=776 size=776 in=fnv:%08lX out=fnv:%08lX status=1",
                          (unsigned long)dwGamma, (unsigned long)dwGamma));

    CTI_VALUE_REQUEST list = { CTI_CMD_MODE_LIST, CTI_LEN_VALUE, 0, 0, 4 };
    std::vector<BYTE> modes = m_driver.List(&list);
    want.push_back(Format("cti cmd=12 op=4 len=12 size=4 in=0x00000004 out=0x%08lX status=1",
                          (unsigned long)modes.size()));
    want.push_back(Format("cti cmd=12 op=2 len=12 size=%lu in=0x%08lX out=list:%lu:fnv:%08lX status=1",
                          (unsigned long)modes.size(), (unsigned long)modes.size(),
                          (unsigned long)modes.size(), (unsigned long)Fnv(&modes[0], modes.size())));

    DWORD adwClock[2];
    CTI_VALUE_REQUEST info = { CTI_CMD_MEMORY_CLOCK, CTI_LEN_VALUE, CTI_OP_GET_INFO, 0, 0 };
    m_driver.Call(sizeof(info), &info, 8, adwClock);
    want.push_back(Format("cti cmd=15 op=4 len=12 size=8 in=0x00000000 out=%lu,%lu status=1",
                          (unsigned long)adwClock[0], (unsigned long)adwClock[1]));

    m_driver.Session(CTI_SESSION_CLOSE);
    want.push_back("cti cmd=1 op=1 len=12 size=0 in=0x00000002 out=- status=0");
    m_driver.Session(CTI_SESSION_OPEN);
    want.push_back("cti cmd=1 op=1 len=12 size=0 in=0x00000001 out=- status=0");

    EXPECT_EQ(want, CtiLines(m_board));
}

// ---- profiles and faults from board.ini ------------------------------------

const WORD TV_COMMANDS[] = { 3, 4, 5, 8, 9, 10, 11 };
const WORD OTHER_COMMANDS[] = { 6, 12, 15, 16, 17, 19 };

WORD Query(Driver *pDriver, WORD wCommand)
{
    BYTE ab[CTI_LEN_GAMMA];
    ZeroMemory(ab, sizeof(ab));
    WORD wLength = wCommand == CTI_CMD_TV_POSITION ? CTI_LEN_POSITION
                 : wCommand == CTI_CMD_GAMMA_TABLE ? CTI_LEN_GAMMA : CTI_LEN_VALUE;
    CtiSetHeader((CTI_REQUEST *)ab, wCommand, wLength, CTI_OP_QUERY);
    DWORD dwReply = 0;
    return pDriver->Call(wLength, ab, 4, &dwReply);
}

TEST_F(DriverTest, ModelsDecideFlagsAndTheTvSettings)
{
    const struct { int nModel; DWORD dwModelBit; DWORD dwMask; bool bTv; } aModels[] = {
        { 1, 0, 0x81, true },
        { 2, CTI_BOARD_SECOND_MODEL, 0, false },
        { 0, 0, 0x81, true },
    };
    for (size_t i = 0; i < sizeof(aModels) / sizeof(aModels[0]); ++i) {
        SCOPED_TRACE(Format("model %d", aModels[i].nModel));
        m_board.Set("board", "model", aModels[i].nModel);
        Reopen();
        DWORD dwFlags = aModels[i].dwModelBit | CTI_BOARD_SST_HONOURED;
        EXPECT_EQ(dwFlags, m_driver.Get(CTI_CMD_BOARD_FLAGS));
        int nExit;
        std::string strStatus = Zlvboard("status", &nExit);
        EXPECT_EQ(Format("%d", aModels[i].nModel), StatusLine(strStatus, "model")["model"]);
        EXPECT_EQ(Format("0x%08lX", (unsigned long)dwFlags),
                  StatusLine(strStatus, "board_flags")["working"]);
        DWORD dwMask = 0xFFFF;
        WORD wStatus = m_driver.Value(CTI_CMD_TV_OUTPUT, CTI_OP_GET_INFO, 0, &dwMask);
        EXPECT_EQ(0x02, wStatus & 0x02);
        EXPECT_EQ(aModels[i].dwMask, dwMask);
        for (size_t c = 0; c < sizeof(TV_COMMANDS) / sizeof(TV_COMMANDS[0]); ++c)
            EXPECT_EQ(aModels[i].bTv, Query(&m_driver, TV_COMMANDS[c]) == STATUS_OK)
                << "command " << TV_COMMANDS[c];
        for (size_t c = 0; c < sizeof(OTHER_COMMANDS) / sizeof(OTHER_COMMANDS[0]); ++c)
            EXPECT_EQ(STATUS_OK, Query(&m_driver, OTHER_COMMANDS[c]))
                << "command " << OTHER_COMMANDS[c];
        DWORD dwReply = 0xCAFEF00D;
        EXPECT_EQ(aModels[i].bTv, m_driver.Value(CTI_CMD_BRIGHTNESS, CTI_OP_GET, 0, &dwReply) == STATUS_OK);
        if (!aModels[i].bTv) {
            EXPECT_EQ(0xCAFEF00Du, dwReply);
        }
    }
}

TEST_F(DriverTest, ProfileChangesTakeEffectAtTheNextSession)
{
    m_board.Set("board", "model", 2);
    EXPECT_EQ(0u, m_driver.Get(CTI_CMD_BOARD_FLAGS) & CTI_BOARD_SECOND_MODEL);
    Reopen();
    EXPECT_EQ((DWORD)CTI_BOARD_SECOND_MODEL,
              m_driver.Get(CTI_CMD_BOARD_FLAGS) & CTI_BOARD_SECOND_MODEL);
}

TEST_F(DriverTest, SessionStatusFaultRefusesTheOpen)
{
    m_board.Set("faults", "session_status", 5);
    m_driver.Session(CTI_SESSION_CLOSE);
    EXPECT_EQ(5, m_driver.Session(CTI_SESSION_OPEN));
    int nExit;
    EXPECT_EQ("0", StatusLine(Zlvboard("status", &nExit), "model")["sessions"]);
}

TEST_F(DriverTest, NotOfferedFailsOnlyTheQuery)
{
    m_board.Set("faults", "not_offered", "8,10");
    Reopen();
    EXPECT_NE(STATUS_OK, Query(&m_driver, CTI_CMD_BRIGHTNESS));
    EXPECT_NE(STATUS_OK, Query(&m_driver, CTI_CMD_TV_POSITION));
    EXPECT_EQ(STATUS_OK, Query(&m_driver, CTI_CMD_HIGH_CONTRAST));
    EXPECT_EQ(STATUS_OK, m_driver.Value(CTI_CMD_BRIGHTNESS, CTI_OP_SET, 4));
    EXPECT_EQ(4u, m_driver.Get(CTI_CMD_BRIGHTNESS));
}

TEST_F(DriverTest, ReadFaultsLeaveTheReplyUntouched)
{
    m_board.Set("faults", "fail_read", "8,10,16");
    m_board.Set("faults", "fail_info", "3,12");
    Reopen();
    const WORD awInfo[] = { CTI_CMD_TV_OUTPUT, CTI_CMD_MODE_LIST };
    for (int i = 0; i < 2; ++i) {
        DWORD dw = 0xDEADBEEF;
        WORD wStatus = m_driver.Value(awInfo[i], CTI_OP_GET_INFO, 0, &dw);
        EXPECT_EQ(0, wStatus & 0x03) << "command " << awInfo[i];
        EXPECT_EQ(0xDEADBEEFu, dw) << "command " << awInfo[i];
    }
    EXPECT_EQ(STATUS_OK, m_driver.Value(CTI_CMD_BRIGHTNESS, CTI_OP_GET_INFO, 0));
    const WORD awReads[] = { CTI_OP_GET, CTI_OP_GET_SAVED };
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(Format("operation %u", awReads[i]));
        DWORD dw = 0xDEADBEEF;
        EXPECT_NE(STATUS_OK, m_driver.Value(CTI_CMD_BRIGHTNESS, awReads[i], 0, &dw));
        EXPECT_EQ(0xDEADBEEFu, dw);
        CTI_GAMMA_TABLE gamma;
        memset(&gamma, 0xEE, sizeof(gamma));
        CTI_GAMMA_TABLE before = gamma;
        EXPECT_NE(STATUS_OK, m_driver.Record(CTI_CMD_GAMMA_TABLE, awReads[i], &gamma));
        EXPECT_EQ(0, memcmp(&before, &gamma, sizeof(gamma)));
    }
    CTI_POSITION pos;
    memset(&pos, 0xEE, sizeof(pos));
    CTI_POSITION before = pos;
    EXPECT_NE(STATUS_OK, m_driver.Record(CTI_CMD_TV_POSITION, CTI_OP_GET_DEFAULT, &pos));
    EXPECT_EQ(0, memcmp(&before, &pos, sizeof(pos)));
    // Sets and other settings' reads still work.
    EXPECT_EQ(STATUS_OK, m_driver.Value(CTI_CMD_BRIGHTNESS, CTI_OP_SET, 4));
    EXPECT_EQ(STATUS_OK, m_driver.Value(CTI_CMD_HIGH_CONTRAST, CTI_OP_GET, 0));
}

TEST_F(DriverTest, ModeListFaultsShapeTheList)
{
    std::vector<BYTE> natural;
    {
        CTI_VALUE_REQUEST req = { CTI_CMD_MODE_LIST, CTI_LEN_VALUE, 0, 0, 0 };
        natural = m_driver.List(&req);
    }
    ASSERT_GE(natural.size(), 36u);

    // A size that is not a whole number of entries: the first 30 bytes.
    m_board.Set("faults", "mode_list_bytes", 30);
    Reopen();
    {
        DWORD cbList = 0;
        CTI_VALUE_REQUEST req = { CTI_CMD_MODE_LIST, CTI_LEN_VALUE, CTI_OP_GET_INFO, 0, 4 };
        ASSERT_EQ(STATUS_OK, m_driver.Call(sizeof(req), &req, 4, &cbList));
        EXPECT_EQ(30u, cbList);
        std::vector<BYTE> reply(40, GUARD);
        req.wOperation = CTI_OP_GET;
        req.dwValue = 30;
        EXPECT_EQ(STATUS_OK, m_driver.Call(sizeof(req), &req, 30, &reply[0]));
        EXPECT_EQ(std::vector<BYTE>(natural.begin(), natural.begin() + 30),
                  std::vector<BYTE>(reply.begin(), reply.begin() + 30));
        EXPECT_EQ(-1, FirstWritten(reply, 30));
    }

    // More modes than the board's own: all distinct, each with its rates.
    WritePrivateProfileStringA("faults", "mode_list_bytes", NULL,
                               m_board.Path("board.ini").c_str());
    m_board.Set("faults", "mode_count", 25);
    Reopen();
    std::vector<CTI_MODE_ENTRY> modes = m_driver.Modes();
    ASSERT_EQ(25u, modes.size());
    EXPECT_EQ(0, memcmp(&modes[0], &natural[0], natural.size()));
    for (size_t i = 0; i < modes.size(); ++i) {
        for (size_t j = 0; j < i; ++j)
            EXPECT_FALSE(modes[i].dwWidth == modes[j].dwWidth &&
                         modes[i].dwHeight == modes[j].dwHeight) << i << " and " << j;
    }
    CTI_MODE_REQUEST last = ModeRequest(modes[24].dwWidth, modes[24].dwHeight);
    EXPECT_FALSE(m_driver.List(&last).empty());
    EXPECT_EQ(STATUS_OK, m_driver.Record(CTI_CMD_MODE_REFRESH, CTI_OP_GET, &last));

    // No modes: an empty list, read with a reply of size 0.
    m_board.Set("faults", "mode_count", 0);
    Reopen();
    m_board.ClearLog();
    EXPECT_TRUE(m_driver.Modes().empty());
    std::vector<std::string> lines = CtiLines(m_board);
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ("0", zlv::ParseLogLine(lines[1])["size"]);
    EXPECT_EQ("list:0:fnv:811C9DC5", zlv::ParseLogLine(lines[1])["out"]);
}

// ---- the board tool --------------------------------------------------------

TEST(Zlvboard, BadArgumentsShowUsageAndExit2)
{
    zlv::TestBoard board;
    const char *apszArgs[] = { "", "frobnicate", "status extra" };
    for (size_t i = 0; i < sizeof(apszArgs) / sizeof(apszArgs[0]); ++i) {
        int nExit;
        std::string strOut = Zlvboard(apszArgs[i], &nExit);
        EXPECT_EQ(2, nExit) << apszArgs[i];
        EXPECT_NE(std::string::npos, strOut.find("usage")) << apszArgs[i];
    }
}

TEST(Zlvboard, LogPrintsTheBoardLog)
{
    zlv::TestBoard board;
    {
        Driver driver;
        ASSERT_TRUE(driver.Loaded());
        driver.Session(CTI_SESSION_OPEN);
        driver.Session(CTI_SESSION_CLOSE);
    }
    int nExit;
    EXPECT_EQ(zlv::ReadFileText(board.Path("board.log")), Zlvboard("log", &nExit));
    EXPECT_EQ(0, nExit);
}

} // namespace
