// zlvboard.cpp - the emulated board's control tool: shows the driver's
// settings, power-cycles the board, prints its log. The board is the one of
// %ZLVBOARD_DIR% (or the tool's own folder), as for the emulated library.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <string.h>

#include "boardenv.h"
#include "state.h"

static const struct { WORD wCommand; const char *pszName; BOOL bHex; } s_aValues[] = {
    { CTI_CMD_TV_OUTPUT,     "tv_output",     TRUE },
    { CTI_CMD_FLICKER_FREE,  "flicker_free",  FALSE },
    { CTI_CMD_TV_FORMAT,     "tv_format",     FALSE },
    { CTI_CMD_SETTING_6,     "setting_6",     TRUE },
    { CTI_CMD_BRIGHTNESS,    "brightness",    FALSE },
    { CTI_CMD_UNDERSCAN,     "underscan",     FALSE },
    { CTI_CMD_HIGH_CONTRAST, "high_contrast", FALSE },
    { CTI_CMD_MEMORY_CLOCK,  "memory_clock",  FALSE },
    { CTI_CMD_PC_MONITOR,    "pc_monitor",    FALSE },
    { CTI_CMD_BOARD_FLAGS,   "board_flags",   TRUE },
};

static int Usage(void)
{
    fprintf(stderr,
            "usage: zlvboard status   every setting's working and saved value\n"
            "       zlvboard reset    factory values everywhere\n"
            "       zlvboard reboot   working values taken up from the saved ones\n"
            "       zlvboard log      print board.log\n");
    return 2;
}

static void PrintValue(const char *pszName, BOOL bHex, DWORD dwWorking, DWORD dwSaved)
{
    if (bHex)
        printf("%s working=0x%08lX saved=0x%08lX\n", pszName,
               (unsigned long)dwWorking, (unsigned long)dwSaved);
    else
        printf("%s working=%lu saved=%lu\n", pszName,
               (unsigned long)dwWorking, (unsigned long)dwSaved);
}

static void PrintPosition(const char *pszWhich, const BOARD_POSITION *pPos)
{
    printf(" %s=%ld,%ld,0x%08lX,0x%08lX", pszWhich, (long)pPos->lHorizontal,
           (long)pPos->lVertical, (unsigned long)pPos->dwExtra1,
           (unsigned long)pPos->dwExtra2);
}

static void PrintStatus(const BOARD_STATE *pState)
{
    BOARD_CONFIG config;
    ConfigRead(&config);
    printf("model=%d sessions=%lu\n", config.nModel,
           (unsigned long)StateSessionCount(pState));
    // As the driver reports them.
    for (size_t i = 0; i < sizeof(s_aValues) / sizeof(s_aValues[0]); ++i) {
        WORD wCommand = s_aValues[i].wCommand;
        const BOARD_PAIR *pPair = &pState->aValue[wCommand];
        PrintValue(s_aValues[i].pszName, s_aValues[i].bHex,
                   StateReportedValue(&config, wCommand, pPair->dwWorking),
                   StateReportedValue(&config, wCommand, pPair->dwSaved));
    }
    printf("tv_position");
    PrintPosition("working", &pState->posWorking);
    PrintPosition("saved", &pState->posSaved);
    printf("\n");
    printf("gamma working=fnv:%08lX saved=fnv:%08lX\n",
           (unsigned long)Fnv1a(&pState->gammaWorking, sizeof(BOARD_GAMMA)),
           (unsigned long)Fnv1a(&pState->gammaSaved, sizeof(BOARD_GAMMA)));
    for (int iMode = 0; iMode < config.cModes; ++iMode) {
        CTI_MODE_ENTRY entry;
        ModeAt(iMode, &entry);
        char szName[64];
        _snprintf(szName, sizeof(szName), "refresh_%lux%lux%lu",
                  (unsigned long)entry.dwWidth, (unsigned long)entry.dwHeight,
                  (unsigned long)entry.dwBitsPerPixel);
        szName[sizeof(szName) - 1] = '\0';
        PrintValue(szName, FALSE, pState->aRefresh[iMode].dwWorking,
                   pState->aRefresh[iMode].dwSaved);
    }
}

static int PrintLog(void)
{
    char szLog[BOARD_PATH_MAX];
    BoardPath("board.log", szLog, sizeof(szLog));
    FILE *pFile = fopen(szLog, "rb");
    if (pFile == NULL)
        return 0;       // nothing logged yet
    char buf[4096];
    size_t cb;
    while ((cb = fread(buf, 1, sizeof(buf), pFile)) > 0)
        fwrite(buf, 1, cb, stdout);
    fclose(pFile);
    return 0;
}

int main(int argc, char **argv)
{
    _setmode(_fileno(stdout), _O_BINARY);   // the log's lines end in CR LF already
    if (argc != 2)
        return Usage();
    const char *pszCommand = argv[1];
    if (strcmp(pszCommand, "log") == 0)
        return PrintLog();
    if (strcmp(pszCommand, "status") != 0 && strcmp(pszCommand, "reset") != 0 &&
        strcmp(pszCommand, "reboot") != 0)
        return Usage();

    HANDLE hLock = StateOpenLock();
    if (!StateLock(hLock)) {
        fprintf(stderr, "zlvboard: the board is busy\n");
        return 1;
    }
    HANDLE hMapping;
    BOARD_STATE *pState = StateMap(&hMapping);
    if (pState != NULL) {
        if (strcmp(pszCommand, "status") == 0)
            PrintStatus(pState);
        else if (strcmp(pszCommand, "reset") == 0)
            StateFactoryReset(pState);
        else
            StateReloadWorking(pState);
        StateUnmap(pState, hMapping);
    }
    StateUnlock(hLock);
    CloseHandle(hLock);
    if (pState == NULL) {
        fprintf(stderr, "zlvboard: cannot open the board's state file\n");
        return 1;
    }
    return 0;
}
