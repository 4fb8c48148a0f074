// harness.cpp - shared test support.
#include "harness.h"

#include <stdio.h>
#include <string.h>

namespace zlv {

std::string BinDir()
{
    char szPath[MAX_PATH];
    GetModuleFileNameA(NULL, szPath, sizeof(szPath));
    char *pszSlash = strrchr(szPath, '\\');
    if (pszSlash != NULL)
        *pszSlash = '\0';
    return szPath;
}

std::string MakeTempDir(const char *pszTag)
{
    static LONG s_nNext = 0;
    std::string strRoot = BinDir() + "\\..\\testtmp";
    CreateDirectoryA(strRoot.c_str(), NULL);
    char szName[MAX_PATH];
    for (;;) {
        _snprintf(szName, sizeof(szName), "%s\\%s-%lu-%ld", strRoot.c_str(), pszTag,
                  (unsigned long)GetCurrentProcessId(), (long)InterlockedIncrement(&s_nNext));
        szName[sizeof(szName) - 1] = '\0';
        if (CreateDirectoryA(szName, NULL))
            return szName;
    }
}

void RemoveTree(const std::string &strDir)
{
    WIN32_FIND_DATAA fd;
    HANDLE hFind = FindFirstFileA((strDir + "\\*").c_str(), &fd);
    if (hFind != INVALID_HANDLE_VALUE) {
        do {
            if (!strcmp(fd.cFileName, ".") || !strcmp(fd.cFileName, ".."))
                continue;
            std::string strPath = strDir + "\\" + fd.cFileName;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(strPath);
            else
                DeleteFileA(strPath.c_str());
        } while (FindNextFileA(hFind, &fd));
        FindClose(hFind);
    }
    RemoveDirectoryA(strDir.c_str());
}

bool CopyTo(const std::string &strFrom, const std::string &strTo)
{
    return CopyFileA(strFrom.c_str(), strTo.c_str(), FALSE) != FALSE;
}

std::string ReadFileText(const std::string &strPath)
{
    std::string strText;
    HANDLE hFile = CreateFileA(strPath.c_str(), GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               NULL, OPEN_EXISTING, 0, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return strText;
    char buf[65536];
    DWORD cbRead;
    while (ReadFile(hFile, buf, sizeof(buf), &cbRead, NULL) && cbRead > 0)
        strText.append(buf, cbRead);
    CloseHandle(hFile);
    return strText;
}

TestBoard::TestBoard()
{
    char szOld[MAX_PATH];
    DWORD cch = GetEnvironmentVariableA("ZLVBOARD_DIR", szOld, sizeof(szOld));
    m_bHadEnv = cch > 0 && cch < sizeof(szOld);
    if (m_bHadEnv)
        m_strOldEnv = szOld;
    m_strDir = MakeTempDir("board");
    SetEnvironmentVariableA("ZLVBOARD_DIR", m_strDir.c_str());
}

TestBoard::~TestBoard()
{
    SetEnvironmentVariableA("ZLVBOARD_DIR", m_bHadEnv ? m_strOldEnv.c_str() : NULL);
    RemoveTree(m_strDir);
}

std::string TestBoard::Path(const char *pszName) const
{
    return m_strDir + "\\" + pszName;
}

void TestBoard::Set(const char *pszSection, const char *pszKey, const std::string &strValue)
{
    WritePrivateProfileStringA(pszSection, pszKey, strValue.c_str(),
                               Path("board.ini").c_str());
}

void TestBoard::Set(const char *pszSection, const char *pszKey, long lValue)
{
    char sz[32];
    _snprintf(sz, sizeof(sz), "%ld", lValue);
    sz[sizeof(sz) - 1] = '\0';
    Set(pszSection, pszKey, std::string(sz));
}

std::vector<std::string> TestBoard::Log(const char *pszKind) const
{
    std::vector<std::string> lines;
    std::string strText = ReadFileText(Path("board.log"));
    size_t pos = 0;
    while (pos < strText.size()) {
        size_t end = strText.find('\n', pos);
        if (end == std::string::npos)
            end = strText.size();
        std::string strLine = strText.substr(pos, end - pos);
        if (!strLine.empty() && strLine[strLine.size() - 1] == '\r')
            strLine.erase(strLine.size() - 1);
        pos = end + 1;
        if (strLine.empty())
            continue;
        if (pszKind != NULL) {
            size_t word = strLine.find(' ');
            if (word == std::string::npos ||
                strLine.compare(word + 1, strlen(pszKind) + 1, std::string(pszKind) + " ") != 0)
                continue;
        }
        lines.push_back(strLine);
    }
    return lines;
}

void TestBoard::ClearLog()
{
    DeleteFileA(Path("board.log").c_str());
}

std::map<std::string, std::string> ParseLogLine(const std::string &strLine)
{
    std::map<std::string, std::string> fields;
    size_t pos = 0;
    while (pos < strLine.size()) {
        size_t end = strLine.find(' ', pos);
        if (end == std::string::npos)
            end = strLine.size();
        std::string strWord = strLine.substr(pos, end - pos);
        size_t eq = strWord.find('=');
        if (eq != std::string::npos)
            fields[strWord.substr(0, eq)] = strWord.substr(eq + 1);
        pos = end + 1;
    }
    return fields;
}

static bool Start(const std::string &strCommandLine, const char *pszDir,
                  PROCESS_INFORMATION *ppi)
{
    STARTUPINFOA si;
    ZeroMemory(&si, sizeof(si));
    si.cb = sizeof(si);
    std::vector<char> cmd(strCommandLine.begin(), strCommandLine.end());
    cmd.push_back('\0');
    ZeroMemory(ppi, sizeof(*ppi));
    if (!CreateProcessA(NULL, &cmd[0], NULL, NULL, FALSE, 0, NULL, pszDir, &si, ppi)) {
        ZeroMemory(ppi, sizeof(*ppi));
        return false;
    }
    return true;
}

int RunProgram(const std::string &strCommandLine, DWORD dwTimeoutMs, const char *pszDir)
{
    Process process(strCommandLine, pszDir);
    return process.Wait(dwTimeoutMs);
}

Process::Process(const std::string &strCommandLine, const char *pszDir)
{
    Start(strCommandLine, pszDir, &m_pi);
}

Process::~Process()
{
    if (m_pi.hProcess != NULL) {
        if (Running()) {
            TerminateProcess(m_pi.hProcess, 255);
            WaitForSingleObject(m_pi.hProcess, 5000);
        }
        CloseHandle(m_pi.hProcess);
        CloseHandle(m_pi.hThread);
    }
}

int Process::Wait(DWORD dwTimeoutMs)
{
    if (m_pi.hProcess == NULL)
        return -1;
    if (WaitForSingleObject(m_pi.hProcess, dwTimeoutMs) != WAIT_OBJECT_0)
        return -1;
    DWORD dwCode = 0;
    GetExitCodeProcess(m_pi.hProcess, &dwCode);
    return (int)dwCode;
}

bool Process::Running() const
{
    return m_pi.hProcess != NULL && WaitForSingleObject(m_pi.hProcess, 0) == WAIT_TIMEOUT;
}

bool Process::WaitIdle(DWORD dwTimeoutMs)
{
    return m_pi.hProcess != NULL && WaitForInputIdle(m_pi.hProcess, dwTimeoutMs) == 0;
}

} // namespace zlv
