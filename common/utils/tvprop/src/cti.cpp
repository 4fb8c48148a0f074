// cti.cpp - client of the board driver's control entry MRVD_cti.
#include "cti.h"

HMODULE           g_hGlideLib = 0;
PFN_MRVD_CTI      g_pfnCti = NULL;
CTI_VALUE_REQUEST g_CtiRequest;

void CtiSetHeader(CTI_REQUEST *pHeader, WORD wCommand, WORD wLength,
                  WORD wOperation)
{
    pHeader->wCommand = wCommand;
    pHeader->wLength = wLength;
    pHeader->wOperation = wOperation;
    pHeader->wReserved = 0;
}

void CtiSetValueRequest(WORD wCommand, WORD wOperation, DWORD dwValue)
{
    CtiSetHeader((CTI_REQUEST *)&g_CtiRequest, wCommand, CTI_LEN_VALUE,
                 wOperation);
    g_CtiRequest.dwValue = dwValue;
}

static WORD SendSession(DWORD dwValue)
{
    CtiSetValueRequest(CTI_CMD_SESSION, CTI_OP_SET, dwValue);
    return g_pfnCti(CTI_LEN_VALUE, &g_CtiRequest, 0, NULL);
}

int CtiOpen(void)
{
    g_hGlideLib = LoadLibraryA("glide2x.dll");
    // Old-style module results: 32 or less is a failure code, not a handle.
    if ((UINT_PTR)g_hGlideLib <= 32)
        return 1;

    g_pfnCti = (PFN_MRVD_CTI)(void *)GetProcAddress(g_hGlideLib, "MRVD_cti");
    if (g_pfnCti == NULL)
        return 1;   // the library stays loaded; CtiClose frees it

    return (int)SendSession(CTI_SESSION_OPEN);
}

BOOL CtiClose(void)
{
    if (g_hGlideLib == CTI_LIB_CLOSED)
        return FALSE;

    if (g_pfnCti != NULL)
        SendSession(CTI_SESSION_CLOSE);     // nothing to do about a refusal

    // Also after a failed load: freeing the failed handle fails harmlessly.
    BOOL bFreed = FreeLibrary(g_hGlideLib);
    g_hGlideLib = CTI_LIB_CLOSED;
    g_pfnCti = NULL;
    return bFreed;
}

void *CtiReadList(void *pRequest, DWORD cbEntry, BOOL bRequireInfo,
                  DWORD *pcEntries, DWORD *pcbList)
{
    CTI_REQUEST *pHeader = (CTI_REQUEST *)pRequest;
    WORD wLength = pHeader->wLength;
    DWORD cbList = 0;

    *pcEntries = 0;
    if (pcbList != NULL)
        *pcbList = 0;

    CtiSetHeader(pHeader, pHeader->wCommand, wLength, CTI_OP_GET_INFO);
    WORD wStatus = g_pfnCti(wLength, pRequest, sizeof(cbList), &cbList);
    if (bRequireInfo && wStatus != CTI_STATUS_OK)
        return NULL;

    if (cbList == 0xFFFFFFFF)
        return NULL;    // no block of that size exists
    // One byte more than asked, so that an empty list still has a block.
    void *pList = GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, (SIZE_T)cbList + 1);
    if (pList == NULL)
        return NULL;

    CtiSetHeader(pHeader, pHeader->wCommand, wLength, CTI_OP_GET);
    if (pHeader->wCommand == CTI_CMD_MODE_LIST)
        ((CTI_VALUE_REQUEST *)pRequest)->dwValue = cbList;
    g_pfnCti(wLength, pRequest, cbList, pList);

    *pcEntries = cbList / cbEntry;
    if (pcbList != NULL)
        *pcbList = cbList;
    return pList;
}
