// cti_test.cpp - the control interface client against the emulated driver:
// loading, the session around requests, closing, and reading lists.
#include <gtest/gtest.h>

#include "cti.h"
#include "harness.h"

namespace {

// Which "glide2x.dll" sits next to this program when CtiOpen loads it.
enum Library { LIB_NONE, LIB_FULL, LIB_NO_ENTRY };

std::string LibraryHere()
{
    return zlv::BinDir() + "\\glide2x.dll";
}

void PutLibrary(Library lib)
{
    // The client frees the library on close; a loaded copy cannot be replaced.
    ASSERT_TRUE(GetModuleHandleA("glide2x.dll") == NULL);
    DeleteFileA(LibraryHere().c_str());
    std::string strBuild = zlv::BinDir() + "\\..";
    if (lib == LIB_FULL) {
        ASSERT_TRUE(zlv::CopyTo(strBuild + "\\bin\\glide2x.dll", LibraryHere()));
    } else if (lib == LIB_NO_ENTRY) {
        ASSERT_TRUE(zlv::CopyTo(strBuild + "\\noentry\\glide2x.dll", LibraryHere()));
    }
}

// The client starts each test never loaded, as in a new process.
void ResetClient()
{
    g_hGlideLib = 0;
    g_pfnCti = NULL;
}

std::vector<std::map<std::string, std::string> > Requests(const zlv::TestBoard &board)
{
    std::vector<std::map<std::string, std::string> > requests;
    std::vector<std::string> lines = board.Log("cti");
    for (size_t i = 0; i < lines.size(); ++i)
        requests.push_back(zlv::ParseLogLine(lines[i]));
    return requests;
}

class CtiClient : public ::testing::Test {
protected:
    void SetUp() { ResetClient(); }
    void TearDown()
    {
        if (g_hGlideLib != 0 && g_hGlideLib != CTI_LIB_CLOSED)
            CtiClose();
    }
    zlv::TestBoard m_board;
};

TEST_F(CtiClient, MissingLibrarySendsNothingAndCloseReportsFalse)
{
    ASSERT_NO_FATAL_FAILURE(PutLibrary(LIB_NONE));
    EXPECT_EQ(1, CtiOpen());
    EXPECT_TRUE(g_pfnCti == NULL);
    EXPECT_FALSE(CtiClose());
    EXPECT_TRUE(g_hGlideLib == CTI_LIB_CLOSED);
    EXPECT_TRUE(g_pfnCti == NULL);
}

TEST_F(CtiClient, LibraryWithoutEntryIsFreedWithoutSessionClose)
{
    ASSERT_NO_FATAL_FAILURE(PutLibrary(LIB_NO_ENTRY));
    EXPECT_EQ(1, CtiOpen());
    EXPECT_TRUE(g_hGlideLib != 0 && g_hGlideLib != CTI_LIB_CLOSED);
    EXPECT_TRUE(g_pfnCti == NULL);
    EXPECT_TRUE(CtiClose());
    EXPECT_TRUE(GetModuleHandleA("glide2x.dll") == NULL);
    EXPECT_TRUE(g_hGlideLib == CTI_LIB_CLOSED);
    EXPECT_TRUE(m_board.Log("cti").empty());
}

TEST_F(CtiClient, SessionIsOpenedAndClosedOnce)
{
    ASSERT_NO_FATAL_FAILURE(PutLibrary(LIB_FULL));
    EXPECT_EQ(0, CtiOpen());
    EXPECT_TRUE(CtiClose());
    EXPECT_FALSE(CtiClose());   // the second close finds nothing loaded
    EXPECT_TRUE(g_hGlideLib == CTI_LIB_CLOSED);

    std::vector<std::map<std::string, std::string> > requests = Requests(m_board);
    ASSERT_EQ(2u, requests.size());
    const char *apszValue[] = { "0x00000001", "0x00000002" };
    for (size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ("1", requests[i]["cmd"]);
        EXPECT_EQ("1", requests[i]["op"]);
        EXPECT_EQ("12", requests[i]["len"]);
        EXPECT_EQ("0", requests[i]["size"]);
        EXPECT_EQ(apszValue[i], requests[i]["in"]);
    }
    EXPECT_EQ("0", requests[0]["status"]);
}

TEST_F(CtiClient, RefusedSessionReturnsTheDriversStatus)
{
    ASSERT_NO_FATAL_FAILURE(PutLibrary(LIB_FULL));
    m_board.Set("faults", "session_status", 5);
    EXPECT_EQ(5, CtiOpen());
    EXPECT_TRUE(g_pfnCti != NULL);  // open whatever the status: close pairs it
    EXPECT_TRUE(CtiClose());
    EXPECT_EQ(2u, m_board.Log("cti").size());
}

TEST_F(CtiClient, CloseWithoutOpenSendsNothing)
{
    ASSERT_NO_FATAL_FAILURE(PutLibrary(LIB_FULL));
    EXPECT_FALSE(CtiClose());   // FreeLibrary of the null handle fails
    EXPECT_TRUE(g_hGlideLib == CTI_LIB_CLOSED);
    EXPECT_TRUE(m_board.Log("cti").empty());
    // The closed client opens again, as the page does for every dialog.
    EXPECT_EQ(0, CtiOpen());
    EXPECT_TRUE(CtiClose());
}

// Reads the mode list as the page does (size read's dwValue 4, status not
// looked at); returns the entries.
std::vector<CTI_MODE_ENTRY> ReadModes(DWORD *pcbList)
{
    std::vector<CTI_MODE_ENTRY> modes;
    CtiSetValueRequest(CTI_CMD_MODE_LIST, CTI_OP_GET_INFO, 4);
    DWORD cEntries = 0;
    CTI_MODE_ENTRY *pList = (CTI_MODE_ENTRY *)CtiReadList(
        &g_CtiRequest, sizeof(CTI_MODE_ENTRY), FALSE, &cEntries, pcbList);
    if (pList != NULL) {
        modes.assign(pList, pList + cEntries);
        GlobalFree(pList);
    }
    return modes;
}

struct ListCase {
    int nLine;
    const char *pszKey;     // fault setting, or NULL for the board's own list
    int nValue;
    DWORD cbExpected;       // byte size the driver reports; ~0 = the board's
    size_t cExpected;       // entries; ~0 = cbExpected / 12
};

TEST_F(CtiClient, ModeListSizeRoundsDownToWholeEntries)
{
    const ListCase aCases[] = {
        { __LINE__, "mode_list_bytes", 30, 30, 2 },     // 6 trailing bytes ignored
        { __LINE__, "mode_count", 25, 300, 25 },
        { __LINE__, "mode_count", 0, 0, 0 },            // the get is still sent
    };
    ASSERT_NO_FATAL_FAILURE(PutLibrary(LIB_FULL));
    for (size_t i = 0; i < ARRAYSIZE(aCases); ++i) {
        const ListCase &c = aCases[i];
        SCOPED_TRACE(c.nLine);
        zlv::TestBoard board;
        board.Set("faults", c.pszKey, c.nValue);
        ResetClient();
        ASSERT_EQ(0, CtiOpen());
        DWORD cbList = 12345;
        std::vector<CTI_MODE_ENTRY> modes = ReadModes(&cbList);
        CtiClose();

        EXPECT_EQ(c.cbExpected, cbList);
        EXPECT_EQ(c.cExpected, modes.size());
        std::vector<std::map<std::string, std::string> > requests = Requests(board);
        ASSERT_EQ(4u, requests.size());     // open, size, list, close
        EXPECT_EQ("4", requests[1]["op"]);
        EXPECT_EQ("4", requests[1]["size"]);
        EXPECT_EQ("0x00000004", requests[1]["in"]);
        EXPECT_EQ("2", requests[2]["op"]);
        char szSize[16];
        wsprintfA(szSize, "%lu", (unsigned long)c.cbExpected);
        EXPECT_EQ(szSize, requests[2]["size"]);
        char szValue[16];
        wsprintfA(szValue, "0x%08lX", (unsigned long)c.cbExpected);
        EXPECT_EQ(szValue, requests[2]["in"]);
        if (!modes.empty()) {
            EXPECT_NE(0u, modes[0].dwWidth);
            EXPECT_NE(0u, modes[0].dwHeight);
        }
    }
}

TEST_F(CtiClient, RefreshListOfAModeAndTheToolsStatusCheck)
{
    ASSERT_NO_FATAL_FAILURE(PutLibrary(LIB_FULL));
    ASSERT_EQ(0, CtiOpen());
    DWORD cbModes = 0;
    std::vector<CTI_MODE_ENTRY> modes = ReadModes(&cbModes);
    ASSERT_FALSE(modes.empty());

    CTI_MODE_REQUEST mode;
    ZeroMemory(&mode, sizeof(mode));
    CtiSetHeader(&mode.hdr, CTI_CMD_REFRESH_LIST, CTI_LEN_MODE, CTI_OP_GET_INFO);
    mode.dwWidth = modes[0].dwWidth;
    mode.dwHeight = modes[0].dwHeight;
    mode.dwBitsPerPixel = modes[0].dwBitsPerPixel;
    DWORD cRates = 0, cbRates = 0;
    DWORD *pRates = (DWORD *)CtiReadList(&mode, sizeof(DWORD), TRUE, &cRates, &cbRates);
    ASSERT_TRUE(pRates != NULL);
    EXPECT_EQ(cbRates / 4, cRates);
    EXPECT_GT(cRates, 0u);
    for (DWORD i = 0; i < cRates; ++i)
        EXPECT_TRUE(pRates[i] >= 43 && pRates[i] <= 160) << pRates[i];
    GlobalFree(pRates);

    CtiClose();
}

TEST_F(CtiClient, ListIsNotReadWhenTheSizeReadFailsAndTheCallerChecks)
{
    // The adjustment tool reads the list only when the size read answers 1.
    ASSERT_NO_FATAL_FAILURE(PutLibrary(LIB_FULL));
    m_board.Set("faults", "fail_info", CTI_CMD_MODE_LIST);
    ASSERT_EQ(0, CtiOpen());
    CtiSetValueRequest(CTI_CMD_MODE_LIST, CTI_OP_GET_INFO, 0);
    DWORD cEntries = 7;
    EXPECT_TRUE(CtiReadList(&g_CtiRequest, sizeof(CTI_MODE_ENTRY), TRUE,
                            &cEntries, NULL) == NULL);
    EXPECT_EQ(0u, cEntries);
    CtiClose();

    std::vector<std::map<std::string, std::string> > requests = Requests(m_board);
    ASSERT_EQ(3u, requests.size());     // open, the size read, close
    EXPECT_EQ("4", requests[1]["op"]);
    EXPECT_NE("1", requests[1]["status"]);
}

// The two extra words of a logged position ("H,V,0xE1,0xE2").
std::string Extras(const std::string &strPosition)
{
    size_t second = strPosition.find(',', strPosition.find(',') + 1);
    return second == std::string::npos ? "" : strPosition.substr(second + 1);
}

TEST_F(CtiClient, PositionWrittenBackKeepsTheExtraWords)
{
    ASSERT_NO_FATAL_FAILURE(PutLibrary(LIB_FULL));
    ASSERT_EQ(0, CtiOpen());

    CTI_POSITION request, reply;
    ZeroMemory(&request, sizeof(request));
    FillMemory(&reply, sizeof(reply), 0xA5);
    CtiSetHeader(&request.hdr, CTI_CMD_TV_POSITION, CTI_LEN_POSITION, CTI_OP_GET);
    ASSERT_EQ(CTI_STATUS_OK, g_pfnCti(CTI_LEN_POSITION, &request, sizeof(reply), &reply));
    const CTI_POSITION read = reply;

    // Changed in place and sent back with a rewritten header.
    reply.lHorizontal += 1;
    CtiSetHeader(&reply.hdr, CTI_CMD_TV_POSITION, CTI_LEN_POSITION, CTI_OP_SET);
    g_pfnCti(CTI_LEN_POSITION, &reply, sizeof(request), &request);

    CTI_POSITION again;
    CtiSetHeader(&request.hdr, CTI_CMD_TV_POSITION, CTI_LEN_POSITION, CTI_OP_GET);
    ASSERT_EQ(CTI_STATUS_OK, g_pfnCti(CTI_LEN_POSITION, &request, sizeof(again), &again));
    CtiClose();

    EXPECT_EQ(read.lHorizontal + 1, again.lHorizontal);
    EXPECT_EQ(read.lVertical, again.lVertical);
    EXPECT_EQ(read.dwExtra1, again.dwExtra1);
    EXPECT_EQ(read.dwExtra2, again.dwExtra2);
    std::vector<std::map<std::string, std::string> > requests = Requests(m_board);
    ASSERT_EQ(5u, requests.size());
    EXPECT_NE("", Extras(requests[1]["out"]));
    EXPECT_EQ(Extras(requests[1]["out"]), Extras(requests[2]["in"]));
}

} // namespace
