// tvreapply_test.cpp - ZLVTVRST as a real process against the emulated board.
#include <gtest/gtest.h>

#include <stdio.h>

#include "cti.h"
#include "harness.h"

namespace {

typedef std::map<std::string, std::string> Fields;

std::vector<Fields> Requests(const zlv::TestBoard &board)
{
    std::vector<Fields> requests;
    std::vector<std::string> lines = board.Log("cti");
    for (size_t i = 0; i < lines.size(); ++i)
        requests.push_back(zlv::ParseLogLine(lines[i]));
    return requests;
}

// The board's driver, loaded into the test to set and read values directly.
class Driver {
public:
    Driver() : m_hLib(LoadLibraryA((zlv::BinDir() + "\\glide2x.dll").c_str())), m_pfn(NULL)
    {
        if (m_hLib != NULL)
            m_pfn = (PFN_MRVD_CTI)(void *)GetProcAddress(m_hLib, "MRVD_cti");
    }
    ~Driver() { if (m_hLib != NULL) FreeLibrary(m_hLib); }
    bool Ok() const { return m_pfn != NULL; }

    WORD Send(void *pRecord, WORD wCommand, WORD wLength, WORD wOperation,
              void *pReply, DWORD cbReply)
    {
        CtiSetHeader((CTI_REQUEST *)pRecord, wCommand, wLength, wOperation);
        return m_pfn(wLength, pRecord, cbReply, pReply);
    }
    DWORD Value(WORD wCommand, WORD wOperation)
    {
        CTI_VALUE_REQUEST request = CTI_VALUE_REQUEST();
        DWORD dwValue = 0xDEADBEEF;
        Send(&request, wCommand, CTI_LEN_VALUE, wOperation, &dwValue, sizeof(dwValue));
        return dwValue;
    }
    void SetSaved(WORD wCommand, DWORD dwValue)
    {
        CTI_VALUE_REQUEST request = CTI_VALUE_REQUEST();
        request.dwValue = dwValue;
        DWORD dwScratch;
        ASSERT_EQ(CTI_STATUS_OK, Send(&request, wCommand, CTI_LEN_VALUE,
                                      CTI_OP_SET_SAVED, &dwScratch, sizeof(dwScratch)));
    }
    // Everything the tool must leave alone, as one comparable text.
    std::string Untouched()
    {
        char sz[256];
        CTI_MODE_REQUEST mode = CTI_MODE_REQUEST(), reply;
        mode.dwWidth = 640;
        mode.dwHeight = 480;
        mode.dwBitsPerPixel = 16;
        Send(&mode, CTI_CMD_MODE_REFRESH, CTI_LEN_MODE, CTI_OP_GET, &reply, sizeof(reply));
        _snprintf(sz, sizeof(sz), "underscan %lu/%lu clock %lu/%lu monitor %lu/%lu rate %lu",
                  Value(CTI_CMD_UNDERSCAN, CTI_OP_GET), Value(CTI_CMD_UNDERSCAN, CTI_OP_GET_SAVED),
                  Value(CTI_CMD_MEMORY_CLOCK, CTI_OP_GET), Value(CTI_CMD_MEMORY_CLOCK, CTI_OP_GET_SAVED),
                  Value(CTI_CMD_PC_MONITOR, CTI_OP_GET), Value(CTI_CMD_PC_MONITOR, CTI_OP_GET_SAVED),
                  (unsigned long)reply.dwRefreshRate);
        return sz;
    }
private:
    HMODULE m_hLib;
    PFN_MRVD_CTI m_pfn;
};

// Distinctive saved values, so that a write of zeros or of a working value
// cannot pass for the value read.
void SaveDistinctValues(Driver &driver)
{
    CTI_GAMMA_TABLE gamma;
    for (int i = 0; i < 256; ++i) {
        gamma.abRed[i] = (BYTE)(255 - i);
        gamma.abGreen[i] = (BYTE)(i * 7);
        gamma.abBlue[i] = (BYTE)(i ^ 0x5A);
    }
    CTI_GAMMA_TABLE gammaReply;
    ASSERT_EQ(CTI_STATUS_OK, driver.Send(&gamma, CTI_CMD_GAMMA_TABLE, CTI_LEN_GAMMA,
                                         CTI_OP_SET_SAVED, &gammaReply, sizeof(gammaReply)));

    CTI_POSITION position = CTI_POSITION(), positionReply;
    ASSERT_EQ(CTI_STATUS_OK, driver.Send(&position, CTI_CMD_TV_POSITION, CTI_LEN_POSITION,
                                         CTI_OP_GET_SAVED, &positionReply, sizeof(positionReply)));
    positionReply.lHorizontal = 7;
    positionReply.lVertical = -3;
    ASSERT_EQ(CTI_STATUS_OK, driver.Send(&positionReply, CTI_CMD_TV_POSITION, CTI_LEN_POSITION,
                                         CTI_OP_SET_SAVED, &position, sizeof(position)));

    driver.SetSaved(CTI_CMD_BRIGHTNESS, 5);
    driver.SetSaved(CTI_CMD_HIGH_CONTRAST, 1);
    driver.SetSaved(CTI_CMD_TV_OUTPUT, 0x81);
    driver.SetSaved(CTI_CMD_FLICKER_FREE, 0);
    driver.SetSaved(CTI_CMD_TV_FORMAT, 2);
    driver.SetSaved(CTI_CMD_SETTING_6, 0x1234);
}

std::string ToolCommandLine(const char *pszArguments = "")
{
    return "\"" + zlv::BinDir() + "\\ZLVTVRST.exe\"" + pszArguments;
}

struct Expected {
    const char *pszCmd;
    const char *pszOp;
    const char *pszLen;
    const char *pszSize;
};

// Session open; the gamma tables; the position; seven scalars, each read of
// the saved value followed by its write; session close.
const Expected s_aRun[] = {
    { "1", "1", "12", "0" },
    { "16", "34", "776", "776" }, { "16", "33", "776", "776" },
    { "10", "34", "24", "24" }, { "10", "33", "24", "24" },
    { "8", "34", "12", "4" }, { "8", "33", "12", "4" },
    { "11", "34", "12", "4" }, { "11", "33", "12", "4" },
    { "3", "34", "12", "4" }, { "3", "33", "12", "4" },
    { "4", "34", "12", "4" }, { "4", "33", "12", "4" },
    { "5", "34", "12", "4" }, { "5", "33", "12", "4" },
    { "6", "34", "12", "4" }, { "6", "33", "12", "4" },
    { "19", "34", "12", "4" }, { "19", "33", "12", "4" },
    { "1", "1", "12", "0" },
};

void ExpectTheRun(const std::vector<Fields> &requests)
{
    ASSERT_EQ(ARRAYSIZE(s_aRun), requests.size());
    for (size_t i = 0; i < requests.size(); ++i) {
        Fields f = requests[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(s_aRun[i].pszCmd, f["cmd"]);
        EXPECT_EQ(s_aRun[i].pszOp, f["op"]);
        EXPECT_EQ(s_aRun[i].pszLen, f["len"]);
        EXPECT_EQ(s_aRun[i].pszSize, f["size"]);
    }
    EXPECT_EQ("0x00000001", requests.front().at("in"));
    EXPECT_EQ("0x00000002", requests.back().at("in"));
}

TEST(Reapply, SendsTheTwentyRequestsEachWriteCarryingWhatItsReadReturned)
{
    zlv::TestBoard board;
    std::string strUntouched;
    {
        Driver driver;
        ASSERT_TRUE(driver.Ok());
        SaveDistinctValues(driver);
        strUntouched = driver.Untouched();
    }
    board.ClearLog();

    EXPECT_EQ(1, zlv::RunProgram(ToolCommandLine()));

    std::vector<Fields> requests = Requests(board);
    ExpectTheRun(requests);
    ASSERT_EQ(20u, requests.size());
    for (size_t i = 1; i + 1 < requests.size(); i += 2) {
        SCOPED_TRACE(i);
        EXPECT_EQ("1", requests[i]["status"]);
        EXPECT_EQ(requests[i]["out"], requests[i + 1]["in"]);
    }
    EXPECT_EQ("7,-3", requests[3]["out"].substr(0, 4));
    EXPECT_EQ("0x00001234", requests[16]["in"]);

    Driver driver;
    EXPECT_EQ(strUntouched, driver.Untouched());
    EXPECT_EQ(5u, driver.Value(CTI_CMD_BRIGHTNESS, CTI_OP_GET_SAVED));
    EXPECT_EQ(0x81u, driver.Value(CTI_CMD_TV_OUTPUT, CTI_OP_GET_SAVED));
}

TEST(Reapply, IgnoresArgumentsAndARefusedSession)
{
    zlv::TestBoard board;
    board.Set("faults", "session_status", 5);
    EXPECT_EQ(1, zlv::RunProgram(ToolCommandLine(" Gamma 640,480")));
    ExpectTheRun(Requests(board));
}

TEST(Reapply, FailedReadStillWritesWhatTheReplyHolds)
{
    zlv::TestBoard board;
    board.Set("faults", "fail_read", CTI_CMD_BRIGHTNESS);
    EXPECT_EQ(1, zlv::RunProgram(ToolCommandLine()));
    std::vector<Fields> requests = Requests(board);
    ExpectTheRun(requests);
    ASSERT_EQ(20u, requests.size());
    EXPECT_NE("1", requests[5]["status"]);
    EXPECT_EQ("8", requests[6]["cmd"]);
    EXPECT_EQ("33", requests[6]["op"]);
}

// Without a driver entry nothing can be sent: the tool says so in its exit code.
TEST(Reapply, SendsNothingWithoutTheDriverEntry)
{
    const char *apszLibrary[] = { NULL, "noentry" };
    for (size_t i = 0; i < ARRAYSIZE(apszLibrary); ++i) {
        SCOPED_TRACE(i);
        zlv::TestBoard board;
        std::string strDir = zlv::MakeTempDir("reapply");
        ASSERT_TRUE(zlv::CopyTo(zlv::BinDir() + "\\ZLVTVRST.exe", strDir + "\\ZLVTVRST.exe"));
        if (apszLibrary[i] != NULL) {
            ASSERT_TRUE(zlv::CopyTo(zlv::BinDir() + "\\..\\" + apszLibrary[i] + "\\glide2x.dll",
                                    strDir + "\\glide2x.dll"));
        }
        EXPECT_EQ(2, zlv::RunProgram("\"" + strDir + "\\ZLVTVRST.exe\"", 30000, strDir.c_str()));
        EXPECT_TRUE(board.Log("cti").empty());
        zlv::RemoveTree(strDir);
    }
}

} // namespace
