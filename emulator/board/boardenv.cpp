// boardenv.cpp - files, configuration and log of the emulated board.
#include "boardenv.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

static void ModuleFolder(char *pszDir, DWORD cchDir)
{
    HMODULE hModule = NULL;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                       GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       (LPCSTR)(void *)&ModuleFolder, &hModule);
    DWORD cch = GetModuleFileNameA(hModule, pszDir, cchDir);
    if (cch == 0 || cch >= cchDir) {
        lstrcpynA(pszDir, ".", cchDir);
        return;
    }
    char *pszSlash = strrchr(pszDir, '\\');
    if (pszSlash != NULL)
        *pszSlash = '\0';
}

void BoardPath(const char *pszName, char *pszPath, DWORD cchPath)
{
    char szDir[BOARD_PATH_MAX];
    DWORD cch = GetEnvironmentVariableA("ZLVBOARD_DIR", szDir, sizeof(szDir));
    if (cch == 0 || cch >= sizeof(szDir))
        ModuleFolder(szDir, sizeof(szDir));
    _snprintf(pszPath, cchPath, "%s\\%s", szDir, pszName);
    pszPath[cchPath - 1] = '\0';
}

int BoardConfigInt(const char *pszSection, const char *pszKey, int nDefault)
{
    char szIni[BOARD_PATH_MAX];
    BoardPath("board.ini", szIni, sizeof(szIni));
    return (int)GetPrivateProfileIntA(pszSection, pszKey, nDefault, szIni);
}

void BoardConfigString(const char *pszSection, const char *pszKey,
                       const char *pszDefault, char *pszOut, DWORD cchOut)
{
    char szIni[BOARD_PATH_MAX];
    BoardPath("board.ini", szIni, sizeof(szIni));
    GetPrivateProfileStringA(pszSection, pszKey, pszDefault, pszOut, cchOut,
                             szIni);
}

HANDLE BoardOpenMutex(const char *pszPurpose)
{
    // Named after the directory so that boards in other folders stay apart.
    char szPath[BOARD_PATH_MAX];
    BoardPath("", szPath, sizeof(szPath));
    DWORD dwHash = 2166136261u;
    for (const char *p = szPath; *p; ++p) {
        BYTE b = (BYTE)*p;
        if (b >= 'A' && b <= 'Z')
            b = (BYTE)(b - 'A' + 'a');      // Windows paths ignore case
        dwHash = (dwHash ^ b) * 16777619u;
    }
    char szName[96];
    _snprintf(szName, sizeof(szName), "ZlvBoard-%s-%08lX", pszPurpose,
              (unsigned long)dwHash);
    szName[sizeof(szName) - 1] = '\0';
    return CreateMutexA(NULL, FALSE, szName);
}

// Whether board.ini lets the board log: -1 until read. Reading the file for
// every line would cost more than the calls being logged.
static int s_nLogEnabled = -1;

void BoardLogReload(void)
{
    s_nLogEnabled = -1;
}

void BoardLog(const char *pszFormat, ...)
{
    if (s_nLogEnabled < 0)
        s_nLogEnabled = BoardConfigInt("log", "enabled", 1) != 0;
    if (!s_nLogEnabled)
        return;

    char szLine[1024];
    int cchHead = _snprintf(szLine, sizeof(szLine), "pid=%lu ",
                            (unsigned long)GetCurrentProcessId());
    va_list args;
    va_start(args, pszFormat);
    int cchBody = _vsnprintf(szLine + cchHead, sizeof(szLine) - cchHead - 2,
                             pszFormat, args);
    va_end(args);
    if (cchBody < 0)
        cchBody = (int)strlen(szLine + cchHead);
    int cch = cchHead + cchBody;
    szLine[cch++] = '\r';
    szLine[cch++] = '\n';

    char szLog[BOARD_PATH_MAX];
    BoardPath("board.log", szLog, sizeof(szLog));
    HANDLE hMutex = BoardOpenMutex("log");
    if (hMutex != NULL)
        WaitForSingleObject(hMutex, 5000);
    HANDLE hFile = CreateFileA(szLog, FILE_APPEND_DATA,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile != INVALID_HANDLE_VALUE) {
        DWORD cbWritten;
        WriteFile(hFile, szLine, (DWORD)cch, &cbWritten, NULL);
        CloseHandle(hFile);
    }
    if (hMutex != NULL) {
        ReleaseMutex(hMutex);
        CloseHandle(hMutex);
    }
}

void *BoardMapFile(const char *pszName, DWORD cbSize, BOOL *pbCreated,
                   HANDLE *phMapping)
{
    char szPath[BOARD_PATH_MAX];
    BoardPath(pszName, szPath, sizeof(szPath));
    *pbCreated = FALSE;
    *phMapping = NULL;

    HANDLE hFile = CreateFileA(szPath, GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return NULL;
    // OPEN_ALWAYS reports an existing file through the last error; a file
    // of the wrong size (an older layout) counts as new.
    BOOL bExisted = GetLastError() == ERROR_ALREADY_EXISTS;
    if (!bExisted || GetFileSize(hFile, NULL) != cbSize)
        *pbCreated = TRUE;

    HANDLE hMapping = CreateFileMappingA(hFile, NULL, PAGE_READWRITE, 0,
                                         cbSize, NULL);
    CloseHandle(hFile);
    if (hMapping == NULL)
        return NULL;
    void *pView = MapViewOfFile(hMapping, FILE_MAP_ALL_ACCESS, 0, 0, cbSize);
    if (pView == NULL) {
        CloseHandle(hMapping);
        return NULL;
    }
    *phMapping = hMapping;
    return pView;
}

void BoardUnmapFile(void *pView, HANDLE hMapping)
{
    if (pView != NULL)
        UnmapViewOfFile(pView);
    if (hMapping != NULL)
        CloseHandle(hMapping);
}
