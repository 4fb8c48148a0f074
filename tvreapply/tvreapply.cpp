// tvreapply.cpp - ZLVTVRST: has the board's driver take up its saved TV and
// gamma settings again, by reading each saved value and writing it straight
// back as the saved value. No window, no arguments, no status examined.
#include <windows.h>

#include "cti.h"

// Exit codes: the tool ran its requests; or there was no driver entry to
// send them to ("glide2x.dll" or its MRVD_cti missing) and nothing was sent.
#define EXIT_REAPPLIED  1
#define EXIT_NO_DRIVER  2

// The scalar settings, in the order they are carried through.
static const WORD s_awScalarCommands[] = {
    CTI_CMD_BRIGHTNESS,
    CTI_CMD_HIGH_CONTRAST,
    CTI_CMD_TV_OUTPUT,
    CTI_CMD_FLICKER_FREE,
    CTI_CMD_TV_FORMAT,
    CTI_CMD_SETTING_6,
    CTI_CMD_BOARD_FLAGS,
};

// Reads a record's saved value into pReply, then sends that same buffer back
// as the saved value: the payload travels unchanged from the reply into the
// write, whose own reply lands in pRead.
static void ReapplyRecord(WORD wCommand, WORD wLength, void *pRead,
                          void *pReply)
{
    CtiSetHeader((CTI_REQUEST *)pRead, wCommand, wLength, CTI_OP_GET_SAVED);
    g_pfnCti(wLength, pRead, wLength, pReply);

    CtiSetHeader((CTI_REQUEST *)pReply, wCommand, wLength, CTI_OP_SET_SAVED);
    g_pfnCti(wLength, pReply, wLength, pRead);
}

static void ReapplyScalars(void)
{
    CTI_VALUE_REQUEST request;
    DWORD dwValue = 0;
    DWORD dwScratch = 0;

    // The read's dwValue is not significant: it keeps the previous write's.
    request.dwValue = 0;
    for (UINT i = 0; i < ARRAYSIZE(s_awScalarCommands); ++i) {
        CtiSetHeader((CTI_REQUEST *)&request, s_awScalarCommands[i],
                     CTI_LEN_VALUE, CTI_OP_GET_SAVED);
        g_pfnCti(CTI_LEN_VALUE, &request, sizeof(dwValue), &dwValue);

        request.wOperation = CTI_OP_SET_SAVED;
        request.dwValue = dwValue;
        g_pfnCti(CTI_LEN_VALUE, &request, sizeof(dwScratch), &dwScratch);
    }
}

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance,
                   LPSTR lpCmdLine, int nCmdShow)
{
    CTI_GAMMA_TABLE aGamma[2];
    CTI_POSITION aPosition[2];

    CtiOpen();  // a refused session is no reason to stop
    if (g_pfnCti == NULL) {
        CtiClose();
        return EXIT_NO_DRIVER;
    }

    ZeroMemory(aGamma, sizeof(aGamma));
    ZeroMemory(aPosition, sizeof(aPosition));
    ReapplyRecord(CTI_CMD_GAMMA_TABLE, CTI_LEN_GAMMA, &aGamma[0], &aGamma[1]);
    ReapplyRecord(CTI_CMD_TV_POSITION, CTI_LEN_POSITION, &aPosition[0],
                  &aPosition[1]);
    ReapplyScalars();

    CtiClose();
    return EXIT_REAPPLIED;
}
