// state.cpp - the emulated board's settings, modes and profile.
#include "state.h"

#include <stdlib.h>
#include <string.h>

#include "boardenv.h"

// Both builds map the same file: the layout has no pointer-sized field.
static_assert(sizeof(BOARD_STATE) == 2512, "board.dat layout");

// The board's own resolutions, in the order the driver lists them.
static const struct { WORD wWidth, wHeight; BYTE cRates; DWORD adwRates[5]; }
s_aBoardModes[] = {
    { 320, 200, 5, { 60, 70, 72, 75, 85 } },
    { 320, 240, 4, { 60, 72, 75, 85 } },
    { 512, 256, 4, { 60, 72, 75, 85 } },
    { 512, 384, 4, { 60, 72, 75, 85 } },
    { 640, 400, 5, { 60, 70, 72, 75, 85 } },
    { 640, 480, 4, { 60, 72, 75, 85 } },
    { 800, 600, 3, { 60, 72, 75 } },
    { 856, 480, 2, { 60, 72 } },
    { 960, 720, 1, { 60 } },
};
static const int s_cBoardModes = sizeof(s_aBoardModes) / sizeof(s_aBoardModes[0]);

// Rates of the sizes a profile adds beyond the board's own.
static const DWORD s_adwExtraRates[] = { 60, 75 };

// "C,C,..." from board.ini as a bit per command number.
static DWORD ReadCommandSet(const char *pszKey)
{
    char szList[256];
    BoardConfigString("faults", pszKey, "", szList, sizeof(szList));
    DWORD dwSet = 0;
    for (char *p = szList; *p != '\0'; ) {
        char *pEnd;
        long lCommand = strtol(p, &pEnd, 10);
        if (pEnd == p) {
            ++p;                // skip separators and stray characters
            continue;
        }
        if (lCommand >= 0 && lCommand < 32)
            dwSet |= 1u << lCommand;
        p = pEnd;
    }
    return dwSet;
}

void ConfigRead(BOARD_CONFIG *pConfig)
{
    BoardLogReload();
    pConfig->nModel = BoardConfigInt("board", "model", BOARD_MODEL_FIRST);
    pConfig->wSessionStatus = (WORD)BoardConfigInt("faults", "session_status", 0);
    pConfig->dwNotOffered = ReadCommandSet("not_offered");
    pConfig->dwFailRead = ReadCommandSet("fail_read");
    pConfig->dwFailInfo = ReadCommandSet("fail_info");

    int cModes = BoardConfigInt("faults", "mode_count", s_cBoardModes);
    if (cModes < 0)
        cModes = 0;
    if (cModes > BOARD_MAX_MODES)
        cModes = BOARD_MAX_MODES;   // the state file keeps rates for no more
    pConfig->cModes = cModes;

    int cbList = BoardConfigInt("faults", "mode_list_bytes", -1);
    pConfig->cbModeList = cbList < 0 ? (DWORD)cModes * sizeof(CTI_MODE_ENTRY)
                                     : (DWORD)cbList;
}

BOOL StateIsValueSetting(WORD wCommand)
{
    switch (wCommand) {
    case CTI_CMD_TV_OUTPUT:     case CTI_CMD_FLICKER_FREE:
    case CTI_CMD_TV_FORMAT:     case CTI_CMD_SETTING_6:
    case CTI_CMD_BRIGHTNESS:    case CTI_CMD_UNDERSCAN:
    case CTI_CMD_HIGH_CONTRAST: case CTI_CMD_MEMORY_CLOCK:
    case CTI_CMD_PC_MONITOR:    case CTI_CMD_BOARD_FLAGS:
        return TRUE;
    }
    return FALSE;
}

BOOL StateIsTvSetting(WORD wCommand)
{
    switch (wCommand) {
    case CTI_CMD_TV_OUTPUT:     case CTI_CMD_FLICKER_FREE:
    case CTI_CMD_TV_FORMAT:     case CTI_CMD_BRIGHTNESS:
    case CTI_CMD_UNDERSCAN:     case CTI_CMD_TV_POSITION:
    case CTI_CMD_HIGH_CONTRAST:
        return TRUE;
    }
    return FALSE;
}

DWORD StateReportedValue(const BOARD_CONFIG *pConfig, WORD wCommand, DWORD dwValue)
{
    if (wCommand == CTI_CMD_BOARD_FLAGS && pConfig->nModel == BOARD_MODEL_PRO)
        return dwValue | CTI_BOARD_SECOND_MODEL;
    return dwValue;
}

static void SetPair(BOARD_PAIR *pPair, DWORD dwValue)
{
    pPair->dwWorking = dwValue;
    pPair->dwSaved = dwValue;
}

void StateFactoryReset(BOARD_STATE *pState)
{
    ZeroMemory(pState, sizeof(*pState));
    pState->dwMagic = BOARD_STATE_MAGIC;
    pState->dwVersion = BOARD_STATE_VERSION;
    pState->cbSize = sizeof(*pState);

    SetPair(&pState->aValue[CTI_CMD_TV_OUTPUT], BOARD_FACTORY_TV_OUTPUT);
    SetPair(&pState->aValue[CTI_CMD_FLICKER_FREE], BOARD_FACTORY_FLICKER_FREE);
    SetPair(&pState->aValue[CTI_CMD_TV_FORMAT], BOARD_FACTORY_TV_FORMAT);
    SetPair(&pState->aValue[CTI_CMD_SETTING_6], BOARD_FACTORY_SETTING_6);
    SetPair(&pState->aValue[CTI_CMD_BRIGHTNESS], BOARD_FACTORY_BRIGHTNESS);
    SetPair(&pState->aValue[CTI_CMD_UNDERSCAN], BOARD_FACTORY_UNDERSCAN);
    SetPair(&pState->aValue[CTI_CMD_HIGH_CONTRAST], BOARD_FACTORY_HIGH_CONTRAST);
    SetPair(&pState->aValue[CTI_CMD_MEMORY_CLOCK], BOARD_FACTORY_MEMCLOCK);
    SetPair(&pState->aValue[CTI_CMD_PC_MONITOR], BOARD_FACTORY_PC_MONITOR);
    SetPair(&pState->aValue[CTI_CMD_BOARD_FLAGS], BOARD_FACTORY_BOARD_FLAGS);

    pState->posWorking.dwExtra1 = BOARD_DEFAULT_EXTRA1;
    pState->posWorking.dwExtra2 = BOARD_DEFAULT_EXTRA2;
    pState->posSaved = pState->posWorking;

    for (int iMode = 0; iMode < BOARD_MAX_MODES; ++iMode)
        SetPair(&pState->aRefresh[iMode], BOARD_FACTORY_REFRESH);

    // Straight tables: every level shows as itself.
    for (int i = 0; i < 768; ++i)
        pState->gammaWorking.abTables[i] = (BYTE)(i & 0xFF);
    pState->gammaSaved = pState->gammaWorking;
}

void StateReloadWorking(BOARD_STATE *pState)
{
    for (int i = 0; i < BOARD_VALUE_SLOTS; ++i)
        pState->aValue[i].dwWorking = pState->aValue[i].dwSaved;
    for (int i = 0; i < BOARD_MAX_MODES; ++i)
        pState->aRefresh[i].dwWorking = pState->aRefresh[i].dwSaved;
    pState->posWorking = pState->posSaved;
    pState->gammaWorking = pState->gammaSaved;
    ZeroMemory(pState->aSession, sizeof(pState->aSession));
}

BOOL StateProcessRuns(DWORD dwProcessId)
{
    if (dwProcessId == GetCurrentProcessId())
        return TRUE;
    HANDLE hProcess = OpenProcess(SYNCHRONIZE, FALSE, dwProcessId);
    if (hProcess == NULL)
        return FALSE;
    BOOL bRuns = WaitForSingleObject(hProcess, 0) == WAIT_TIMEOUT;
    CloseHandle(hProcess);
    return bRuns;
}

DWORD StateSessionCount(const BOARD_STATE *pState)
{
    DWORD cOpen = 0;
    for (int i = 0; i < BOARD_MAX_SESSIONS; ++i) {
        const BOARD_SESSION *pSession = &pState->aSession[i];
        if (pSession->cOpen != 0 && StateProcessRuns(pSession->dwProcessId))
            cOpen += pSession->cOpen;
    }
    return cOpen;
}

void StateSessionOpened(BOARD_STATE *pState, DWORD dwProcessId)
{
    BOARD_SESSION *pFree = NULL;
    for (int i = 0; i < BOARD_MAX_SESSIONS; ++i) {
        BOARD_SESSION *pSession = &pState->aSession[i];
        if (pSession->cOpen != 0 && pSession->dwProcessId == dwProcessId) {
            ++pSession->cOpen;
            return;
        }
        if (pFree == NULL && (pSession->cOpen == 0 ||
                              !StateProcessRuns(pSession->dwProcessId)))
            pFree = pSession;
    }
    // With every slot taken by a running process the session still opens;
    // it just goes uncounted.
    if (pFree != NULL) {
        pFree->dwProcessId = dwProcessId;
        pFree->cOpen = 1;
    }
}

void StateSessionClosed(BOARD_STATE *pState, DWORD dwProcessId, BOOL bAll)
{
    for (int i = 0; i < BOARD_MAX_SESSIONS; ++i) {
        BOARD_SESSION *pSession = &pState->aSession[i];
        if (pSession->cOpen != 0 && pSession->dwProcessId == dwProcessId) {
            pSession->cOpen = bAll ? 0 : pSession->cOpen - 1;
            return;
        }
    }
}

void StateEnsureValid(BOARD_STATE *pState)
{
    if (pState->dwMagic != BOARD_STATE_MAGIC ||
        pState->dwVersion != BOARD_STATE_VERSION ||
        pState->cbSize != sizeof(*pState))
        StateFactoryReset(pState);
}

BOARD_STATE *StateMap(HANDLE *phMapping)
{
    BOOL bCreated;
    BOARD_STATE *pState = (BOARD_STATE *)BoardMapFile("board.dat",
                                                      sizeof(BOARD_STATE),
                                                      &bCreated, phMapping);
    if (pState == NULL)
        return NULL;
    if (bCreated)
        StateFactoryReset(pState);
    StateEnsureValid(pState);
    return pState;
}

void StateUnmap(BOARD_STATE *pState, HANDLE hMapping)
{
    BoardUnmapFile(pState, hMapping);
}

HANDLE StateOpenLock(void)
{
    return BoardOpenMutex("driver");
}

BOOL StateLock(HANDLE hLock)
{
    if (hLock == NULL)
        return FALSE;
    // A process that died holding the lock leaves it abandoned: still ours.
    DWORD dwWait = WaitForSingleObject(hLock, 10000);
    return dwWait == WAIT_OBJECT_0 || dwWait == WAIT_ABANDONED;
}

void StateUnlock(HANDLE hLock)
{
    ReleaseMutex(hLock);
}

BOOL ModeAt(int iMode, CTI_MODE_ENTRY *pEntry)
{
    if (iMode < 0 || iMode >= BOARD_MAX_MODES)
        return FALSE;
    pEntry->dwBitsPerPixel = 16;
    if (iMode < s_cBoardModes) {
        pEntry->dwWidth = s_aBoardModes[iMode].wWidth;
        pEntry->dwHeight = s_aBoardModes[iMode].wHeight;
    } else {
        int iExtra = iMode - s_cBoardModes;
        pEntry->dwWidth = 1024 + 64 * (DWORD)iExtra;
        pEntry->dwHeight = 768 + 48 * (DWORD)iExtra;
    }
    return TRUE;
}

int ModeFind(const BOARD_CONFIG *pConfig, DWORD dwWidth, DWORD dwHeight,
             DWORD dwBitsPerPixel)
{
    for (int iMode = 0; iMode < pConfig->cModes; ++iMode) {
        CTI_MODE_ENTRY entry;
        ModeAt(iMode, &entry);
        if (entry.dwWidth == dwWidth && entry.dwHeight == dwHeight &&
            entry.dwBitsPerPixel == dwBitsPerPixel)
            return iMode;
    }
    return -1;
}

int ModeRates(int iMode, DWORD *pdwRates, int cMax)
{
    const DWORD *pdwFrom = s_adwExtraRates;
    int cRates = (int)(sizeof(s_adwExtraRates) / sizeof(s_adwExtraRates[0]));
    if (iMode < s_cBoardModes) {
        pdwFrom = s_aBoardModes[iMode].adwRates;
        cRates = s_aBoardModes[iMode].cRates;
    }
    if (cRates > cMax)
        cRates = cMax;
    memcpy(pdwRates, pdwFrom, (size_t)cRates * sizeof(DWORD));
    return cRates;
}

DWORD Fnv1a(const void *pData, DWORD cbData)
{
    const BYTE *pb = (const BYTE *)pData;
    DWORD dwHash = 2166136261u;
    for (DWORD i = 0; i < cbData; ++i)
        dwHash = (dwHash ^ pb[i]) * 16777619u;
    return dwHash;
}
