// driver.cpp - the board driver behind MRVD_cti (first cut: sessions only).
#include <windows.h>

#include "boardenv.h"
#include "cti.h"
#include "emulator.h"

extern "C" WORD __cdecl MRVD_cti(DWORD cbRequest, void *pRequest,
                                 DWORD cbReply, void *pReply)
{
    const CTI_REQUEST *pHeader = (const CTI_REQUEST *)pRequest;
    WORD wStatus = 1;
    if (pHeader->wCommand == CTI_CMD_SESSION)
        wStatus = 0;
    BoardLog("cti cmd=%u op=%u len=%lu size=%lu status=%u", pHeader->wCommand,
             pHeader->wOperation, (unsigned long)cbRequest,
             (unsigned long)cbReply, wStatus);
    return wStatus;
}

void DriverDetach(void)
{
}
