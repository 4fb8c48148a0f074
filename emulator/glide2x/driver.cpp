// driver.cpp - the board's driver behind MRVD_cti: every setting of the
// control catalogue with a working and a saved value, one board for the whole
// machine.
//
// board.ini, in the board directory; read when the library loads and again
// at every session open:
//   [board]  model=1            first model, with TV output (the default)
//            model=2            "Zelvra Pro": board flags bit 2 set, TV output
//                               mask 0; the TV settings 3, 4, 5, 8, 9, 10, 11
//                               are not offered (query, reads and sets fail)
//            model=0            no board for Glide; the driver answers as 1
//   [faults] session_status=N   status of a session open (default 0; any other
//                               value and the session does not open)
//            not_offered=C,C    commands whose CTI_OP_QUERY fails
//            fail_read=C,C      commands whose CTI_OP_GET, CTI_OP_GET_SAVED
//                               and CTI_OP_GET_DEFAULT fail (reply untouched)
//            fail_info=C,C      commands whose CTI_OP_GET_INFO fails (limits,
//                               mask or list size; reply untouched)
//            mode_list_bytes=N  byte size the mode list reports; the list get
//                               writes the entries, then zeros, up to it
//            mode_count=N       modes in the list (default 9, at most 64;
//                               beyond the board's nine, 1024x768 and larger)
//   [video]  vsync=0|1          (read by the Glide side)
//   [log]    enabled=0|1        one board.log line per request (default 1)
//
// board.dat holds BOARD_STATE (emulator/board/state.h): a header (magic,
// version, size), the working and saved value of every value setting, the TV
// position (working and saved), the refresh rate of every mode (working and
// saved), the three gamma tables (working and saved) and the open sessions by
// process. Every process maps the same file and a named mutex serialises the
// requests of all of them. The file persists: saved and working values
// outlive every process, as on a board that stays powered. `zlvboard reboot`
// takes the working values up from the saved ones; `zlvboard reset` puts the
// factory values everywhere.
//
// Statuses: 0 for a session that opens or closes; 1 for a request that
// succeeded, 3 for the TV output mask (bit 1 says the mask is valid); 0 for a
// setting not offered, a read that fails or a value the board refuses; 0x100
// for a malformed request (null request, length not matching wLength or the
// command's form, unknown command or operation, a reply missing or smaller
// than it needs); 0x200 when the state file cannot be had. A request that
// fails writes nothing into the reply.
//
// Values the board keeps as given, so that tests can set unusual ones (a
// format of 3); its published limits hold: brightness is clamped to 0 ..
// upper limit, a memory clock outside the range is refused, TV output bits
// the board does not offer are refused, the position is clamped to +-64 and
// a mode's rate must be 40 to 200 Hz. The board flags' bit 2 is the model's
// and cannot be set. A list get with a reply smaller than the list writes
// what fits and succeeds: the caller asked for that many bytes.
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include "boardenv.h"
#include "cti.h"
#include "emulator.h"
#include "state.h"

#define DRV_STATUS_REFUSED      0
#define DRV_STATUS_TV_MASK      3           // success, bit 1: the mask is valid
#define DRV_STATUS_BAD_REQUEST  0x0100
#define DRV_STATUS_NO_STATE     0x0200

#define DRV_RATE_LOW    40
#define DRV_RATE_HIGH   200

// Operations as bits, for the table of what each command takes.
#define OPB_QUERY       0x01
#define OPB_SET         0x02
#define OPB_GET         0x04
#define OPB_GET_INFO    0x08
#define OPB_SET_SAVED   0x10
#define OPB_GET_SAVED   0x20
#define OPB_GET_DEFAULT 0x40
#define OPB_SETTING     (OPB_QUERY | OPB_SET | OPB_GET | OPB_SET_SAVED | OPB_GET_SAVED)
#define OPB_LIST        (OPB_QUERY | OPB_GET | OPB_GET_INFO)

struct COMMAND_FORM {
    WORD wCommand;
    WORD wLength;       // the request form the command takes
    WORD wOperations;   // OPB_*
};

static const COMMAND_FORM s_aCommands[] = {
    { CTI_CMD_SESSION,       CTI_LEN_VALUE,    OPB_SET },
    { CTI_CMD_TV_OUTPUT,     CTI_LEN_VALUE,    OPB_SETTING | OPB_GET_INFO },
    { CTI_CMD_FLICKER_FREE,  CTI_LEN_VALUE,    OPB_SETTING },
    { CTI_CMD_TV_FORMAT,     CTI_LEN_VALUE,    OPB_SETTING },
    { CTI_CMD_SETTING_6,     CTI_LEN_VALUE,    OPB_SETTING },
    { CTI_CMD_BRIGHTNESS,    CTI_LEN_VALUE,    OPB_SETTING | OPB_GET_INFO },
    { CTI_CMD_UNDERSCAN,     CTI_LEN_VALUE,    OPB_SETTING },
    { CTI_CMD_TV_POSITION,   CTI_LEN_POSITION, OPB_SETTING | OPB_GET_DEFAULT },
    { CTI_CMD_HIGH_CONTRAST, CTI_LEN_VALUE,    OPB_SETTING },
    { CTI_CMD_MODE_LIST,     CTI_LEN_VALUE,    OPB_LIST },
    { CTI_CMD_REFRESH_LIST,  CTI_LEN_MODE,     OPB_LIST },
    { CTI_CMD_MODE_REFRESH,  CTI_LEN_MODE,     OPB_SETTING },
    { CTI_CMD_MEMORY_CLOCK,  CTI_LEN_VALUE,    OPB_SETTING | OPB_GET_INFO },
    { CTI_CMD_GAMMA_TABLE,   CTI_LEN_GAMMA,    OPB_SETTING },
    { CTI_CMD_PC_MONITOR,    CTI_LEN_VALUE,    OPB_SETTING },
    { CTI_CMD_BOARD_FLAGS,   CTI_LEN_VALUE,    OPB_SETTING },
};

// One call of the entry: the caller's buffers and what the log shows.
struct CTI_CALL {
    const BYTE *pbRequest;
    DWORD       cbRequest;
    BYTE       *pbReply;
    DWORD       cbReply;
    WORD        wCommand;       // 0 when the header cannot be read
    WORD        wOperation;
    int         iMode;          // the mode a mode request names
    char        szIn[64];
    char        szOut[64];
};

// The board this process talks to; it follows ZLVBOARD_DIR, so that a test
// that points it at a fresh board gets that board's state and profile.
static char         g_szBoardFile[BOARD_PATH_MAX];
static HANDLE       g_hBoardLock = NULL;
static BOARD_STATE *g_pBoardState = NULL;
static HANDLE       g_hBoardMapping = NULL;
static BOARD_CONFIG g_BoardConfig;

static void LeaveBoard(void)
{
    if (g_pBoardState != NULL && StateLock(g_hBoardLock)) {
        // Sessions this process never closed end with it.
        StateSessionClosed(g_pBoardState, GetCurrentProcessId(), TRUE);
        StateUnlock(g_hBoardLock);
    }
    StateUnmap(g_pBoardState, g_hBoardMapping);
    g_pBoardState = NULL;
    g_hBoardMapping = NULL;
    if (g_hBoardLock != NULL)
        CloseHandle(g_hBoardLock);
    g_hBoardLock = NULL;
    g_szBoardFile[0] = '\0';
}

static BOOL FindBoard(void)
{
    char szFile[BOARD_PATH_MAX];
    BoardPath("board.dat", szFile, sizeof(szFile));
    if (g_hBoardLock != NULL && lstrcmpiA(szFile, g_szBoardFile) == 0)
        return TRUE;
    LeaveBoard();
    ConfigRead(&g_BoardConfig);
    g_hBoardLock = StateOpenLock();
    if (g_hBoardLock == NULL)
        return FALSE;
    lstrcpynA(g_szBoardFile, szFile, sizeof(g_szBoardFile));
    return TRUE;
}

// The profile is read as the library loads.
static const BOOL g_bBoardFoundAtLoad = FindBoard();

// The shared state, mapped on first use. Call with the board locked.
static BOARD_STATE *LockedState(void)
{
    if (g_pBoardState == NULL)
        g_pBoardState = StateMap(&g_hBoardMapping);
    else
        StateEnsureValid(g_pBoardState);
    return g_pBoardState;
}

// ---- the request as received ----------------------------------------------

static WORD OperationBit(WORD wOperation)
{
    switch (wOperation) {
    case CTI_OP_QUERY:       return OPB_QUERY;
    case CTI_OP_SET:         return OPB_SET;
    case CTI_OP_GET:         return OPB_GET;
    case CTI_OP_GET_INFO:    return OPB_GET_INFO;
    case CTI_OP_SET_SAVED:   return OPB_SET_SAVED;
    case CTI_OP_GET_SAVED:   return OPB_GET_SAVED;
    case CTI_OP_GET_DEFAULT: return OPB_GET_DEFAULT;
    }
    return 0;
}

static const COMMAND_FORM *FindCommand(WORD wCommand)
{
    for (size_t i = 0; i < sizeof(s_aCommands) / sizeof(s_aCommands[0]); ++i) {
        if (s_aCommands[i].wCommand == wCommand)
            return &s_aCommands[i];
    }
    return NULL;
}

static DWORD RequestDword(const CTI_CALL *pCall, DWORD ib)
{
    DWORD dw;
    memcpy(&dw, pCall->pbRequest + ib, sizeof(dw));
    return dw;
}

static void FormatPosition(char *psz, size_t cch, const BOARD_POSITION *pPos)
{
    _snprintf(psz, cch, "%ld,%ld,0x%08lX,0x%08lX", (long)pPos->lHorizontal,
              (long)pPos->lVertical, (unsigned long)pPos->dwExtra1,
              (unsigned long)pPos->dwExtra2);
    psz[cch - 1] = '\0';
}

static void FormatMode(char *psz, size_t cch, const CTI_MODE_REQUEST *pMode)
{
    _snprintf(psz, cch, "%lux%lux%lu@%lu", (unsigned long)pMode->dwWidth,
              (unsigned long)pMode->dwHeight,
              (unsigned long)pMode->dwBitsPerPixel,
              (unsigned long)pMode->dwRefreshRate);
    psz[cch - 1] = '\0';
}

// The request's payload for the log, in the form its size gives; the bytes
// are read only within cbRequest.
static void DescribeRequest(CTI_CALL *pCall)
{
    const BYTE *pb = pCall->pbRequest;
    char *psz = pCall->szIn;
    size_t cch = sizeof(pCall->szIn);
    lstrcpynA(psz, "-", (int)cch);
    if (pb == NULL)
        return;
    switch (pCall->cbRequest) {
    case CTI_LEN_VALUE:
        _snprintf(psz, cch, "0x%08lX", (unsigned long)RequestDword(pCall, 8));
        break;
    case CTI_LEN_POSITION: {
        BOARD_POSITION pos;
        memcpy(&pos, pb + sizeof(CTI_REQUEST), sizeof(pos));
        FormatPosition(psz, cch, &pos);
        break;
    }
    case CTI_LEN_MODE: {
        CTI_MODE_REQUEST mode;
        memcpy(&mode, pb, sizeof(mode));
        FormatMode(psz, cch, &mode);
        break;
    }
    case CTI_LEN_GAMMA:
        _snprintf(psz, cch, "fnv:%08lX", (unsigned long)Fnv1a(
                      pb + sizeof(CTI_REQUEST), CTI_LEN_GAMMA - sizeof(CTI_REQUEST)));
        break;
    }
    psz[cch - 1] = '\0';
}

static void ReadCall(CTI_CALL *pCall, DWORD cbRequest, void *pRequest,
                     DWORD cbReply, void *pReply)
{
    ZeroMemory(pCall, sizeof(*pCall));
    pCall->pbRequest = (const BYTE *)pRequest;
    pCall->cbRequest = cbRequest;
    pCall->pbReply = (BYTE *)pReply;
    pCall->cbReply = cbReply;
    pCall->iMode = -1;
    lstrcpynA(pCall->szOut, "-", sizeof(pCall->szOut));
    if (pRequest != NULL && cbRequest >= sizeof(CTI_REQUEST)) {
        CTI_REQUEST hdr;
        memcpy(&hdr, pRequest, sizeof(hdr));
        pCall->wCommand = hdr.wCommand;
        pCall->wOperation = hdr.wOperation;
    }
    DescribeRequest(pCall);
}

// The command's entry when the request is well formed, else NULL.
static const COMMAND_FORM *CheckForm(const CTI_CALL *pCall)
{
    if (pCall->pbRequest == NULL || pCall->cbRequest < sizeof(CTI_REQUEST))
        return NULL;
    CTI_REQUEST hdr;
    memcpy(&hdr, pCall->pbRequest, sizeof(hdr));
    if (hdr.wLength != pCall->cbRequest)
        return NULL;
    const COMMAND_FORM *pForm = FindCommand(hdr.wCommand);
    if (pForm == NULL || pForm->wLength != pCall->cbRequest)
        return NULL;
    if ((pForm->wOperations & OperationBit(hdr.wOperation)) == 0)
        return NULL;
    return pForm;
}

static BOOL IsListGet(const CTI_CALL *pCall)
{
    return pCall->wOperation == CTI_OP_GET &&
           (pCall->wCommand == CTI_CMD_MODE_LIST ||
            pCall->wCommand == CTI_CMD_REFRESH_LIST);
}

// Bytes the reply must have room for. A query writes nothing; a list get
// writes what fits; records come back whole.
static DWORD ReplyNeeded(const CTI_CALL *pCall)
{
    if (pCall->wOperation == CTI_OP_QUERY || IsListGet(pCall))
        return 0;
    if (pCall->cbRequest != CTI_LEN_VALUE && pCall->wOperation != CTI_OP_GET_INFO)
        return pCall->cbRequest;
    if (pCall->wOperation == CTI_OP_GET_INFO &&
        pCall->wCommand == CTI_CMD_MEMORY_CLOCK)
        return 2 * sizeof(DWORD);
    return sizeof(DWORD);
}

static BOOL ReplyFits(const CTI_CALL *pCall)
{
    if (pCall->pbReply == NULL)
        return pCall->cbReply == 0 && ReplyNeeded(pCall) == 0;
    return pCall->cbReply >= ReplyNeeded(pCall);
}

// ---- the board's answers ---------------------------------------------------

static BOOL BoardHas(WORD wCommand)
{
    return !(g_BoardConfig.nModel == BOARD_MODEL_PRO && StateIsTvSetting(wCommand));
}

static BOOL IsRead(WORD wOperation)
{
    return wOperation == CTI_OP_GET || wOperation == CTI_OP_GET_SAVED ||
           wOperation == CTI_OP_GET_DEFAULT;
}

static DWORD TvOutputMask(void)
{
    return g_BoardConfig.nModel == BOARD_MODEL_PRO ? 0 : BOARD_TV_MASK_FIRST;
}

static WORD ReplyValue(CTI_CALL *pCall, DWORD dwValue)
{
    memcpy(pCall->pbReply, &dwValue, sizeof(dwValue));
    _snprintf(pCall->szOut, sizeof(pCall->szOut), "0x%08lX", (unsigned long)dwValue);
    return CTI_STATUS_OK;
}

// A list's bytes from offset 0 up to what the caller has room for.
static WORD ReplyList(CTI_CALL *pCall, const void *pList, DWORD cbList)
{
    DWORD cbWrite = cbList < pCall->cbReply ? cbList : pCall->cbReply;
    if (cbWrite > 0)
        memcpy(pCall->pbReply, pList, cbWrite);
    _snprintf(pCall->szOut, sizeof(pCall->szOut), "list:%lu:fnv:%08lX",
              (unsigned long)cbWrite, (unsigned long)Fnv1a(pList, cbWrite));
    return CTI_STATUS_OK;
}

// The header as received, then the payload: records come back whole.
static WORD ReplyRecord(CTI_CALL *pCall, const void *pPayload)
{
    memcpy(pCall->pbReply, pCall->pbRequest, sizeof(CTI_REQUEST));
    memcpy(pCall->pbReply + sizeof(CTI_REQUEST), pPayload,
           pCall->cbRequest - sizeof(CTI_REQUEST));
    switch (pCall->cbRequest) {
    case CTI_LEN_POSITION:
        FormatPosition(pCall->szOut, sizeof(pCall->szOut),
                       (const BOARD_POSITION *)pPayload);
        break;
    case CTI_LEN_MODE:
        FormatMode(pCall->szOut, sizeof(pCall->szOut),
                   (const CTI_MODE_REQUEST *)pCall->pbReply);
        break;
    case CTI_LEN_GAMMA:
        _snprintf(pCall->szOut, sizeof(pCall->szOut), "fnv:%08lX",
                  (unsigned long)Fnv1a(pPayload, sizeof(BOARD_GAMMA)));
        break;
    }
    pCall->szOut[sizeof(pCall->szOut) - 1] = '\0';
    return CTI_STATUS_OK;
}

static WORD ReplyModeList(CTI_CALL *pCall)
{
    // The list as the profile reports it: the entries, then zeros up to its
    // stated size. More than the caller's room is never built.
    DWORD cbList = g_BoardConfig.cbModeList;
    if (cbList > pCall->cbReply)
        cbList = pCall->cbReply;
    BYTE *pbList = (BYTE *)LocalAlloc(LPTR, cbList + 1);
    if (pbList == NULL)
        return DRV_STATUS_REFUSED;
    for (int iMode = 0; iMode < g_BoardConfig.cModes; ++iMode) {
        DWORD ib = (DWORD)iMode * sizeof(CTI_MODE_ENTRY);
        if (ib >= cbList)
            break;
        CTI_MODE_ENTRY entry;
        ModeAt(iMode, &entry);
        DWORD cb = cbList - ib < sizeof(entry) ? cbList - ib : sizeof(entry);
        memcpy(pbList + ib, &entry, cb);
    }
    WORD wStatus = ReplyList(pCall, pbList, cbList);
    LocalFree(pbList);
    return wStatus;
}

static DWORD RateListBytes(int iMode)
{
    DWORD adwRates[16];
    return (DWORD)ModeRates(iMode, adwRates, 16) * sizeof(DWORD);
}

static WORD ReplyRateList(CTI_CALL *pCall)
{
    DWORD adwRates[16];
    int cRates = ModeRates(pCall->iMode, adwRates, 16);
    return ReplyList(pCall, adwRates, (DWORD)cRates * sizeof(DWORD));
}

static WORD ValueInfo(CTI_CALL *pCall)
{
    switch (pCall->wCommand) {
    case CTI_CMD_TV_OUTPUT:
        ReplyValue(pCall, TvOutputMask());
        return DRV_STATUS_TV_MASK;
    case CTI_CMD_BRIGHTNESS:
        return ReplyValue(pCall, BOARD_BRIGHTNESS_MAX);
    case CTI_CMD_MODE_LIST:
        return ReplyValue(pCall, g_BoardConfig.cbModeList);
    case CTI_CMD_MEMORY_CLOCK: {
        DWORD adwLimits[2] = { BOARD_MEMCLOCK_LOW, BOARD_MEMCLOCK_HIGH };
        memcpy(pCall->pbReply, adwLimits, sizeof(adwLimits));
        _snprintf(pCall->szOut, sizeof(pCall->szOut), "%lu,%lu",
                  (unsigned long)adwLimits[0], (unsigned long)adwLimits[1]);
        return CTI_STATUS_OK;
    }
    }
    return DRV_STATUS_BAD_REQUEST;
}

// The value the board keeps for a set, within its limits; FALSE refuses it.
static BOOL AcceptValue(WORD wCommand, DWORD *pdwValue)
{
    switch (wCommand) {
    case CTI_CMD_BRIGHTNESS: {
        LONG lLevel = (LONG)*pdwValue;      // one step below 0 arrives as -1
        if (lLevel < 0)
            lLevel = 0;
        if (lLevel > BOARD_BRIGHTNESS_MAX)
            lLevel = BOARD_BRIGHTNESS_MAX;
        *pdwValue = (DWORD)lLevel;
        return TRUE;
    }
    case CTI_CMD_MEMORY_CLOCK:
        return *pdwValue >= BOARD_MEMCLOCK_LOW && *pdwValue <= BOARD_MEMCLOCK_HIGH;
    case CTI_CMD_TV_OUTPUT:
        return (*pdwValue & ~TvOutputMask()) == 0;
    case CTI_CMD_BOARD_FLAGS:
        *pdwValue &= ~(DWORD)CTI_BOARD_SECOND_MODEL;   // the model is the board's
        return TRUE;
    }
    return TRUE;
}

static WORD ValueRequest(CTI_CALL *pCall, BOARD_STATE *pState)
{
    WORD wCommand = pCall->wCommand;
    if (pCall->wOperation == CTI_OP_GET_INFO)
        return ValueInfo(pCall);
    if (wCommand == CTI_CMD_MODE_LIST)
        return ReplyModeList(pCall);

    BOARD_PAIR *pPair = &pState->aValue[wCommand];
    DWORD dwValue = RequestDword(pCall, 8);
    switch (pCall->wOperation) {
    case CTI_OP_GET:
        return ReplyValue(pCall, StateReportedValue(&g_BoardConfig, wCommand, pPair->dwWorking));
    case CTI_OP_GET_SAVED:
        return ReplyValue(pCall, StateReportedValue(&g_BoardConfig, wCommand, pPair->dwSaved));
    case CTI_OP_SET:
    case CTI_OP_SET_SAVED:
        if (!AcceptValue(wCommand, &dwValue))
            return DRV_STATUS_REFUSED;
        if (pCall->wOperation == CTI_OP_SET)
            pPair->dwWorking = dwValue;
        else
            pPair->dwSaved = dwValue;
        return ReplyValue(pCall, StateReportedValue(&g_BoardConfig, wCommand, dwValue));
    }
    return DRV_STATUS_BAD_REQUEST;
}

static LONG ClampPosition(LONG l)
{
    if (l < -BOARD_POSITION_LIMIT)
        return -BOARD_POSITION_LIMIT;
    if (l > BOARD_POSITION_LIMIT)
        return BOARD_POSITION_LIMIT;
    return l;
}

static WORD PositionRequest(CTI_CALL *pCall, BOARD_STATE *pState)
{
    switch (pCall->wOperation) {
    case CTI_OP_GET:
        return ReplyRecord(pCall, &pState->posWorking);
    case CTI_OP_GET_SAVED:
        return ReplyRecord(pCall, &pState->posSaved);
    case CTI_OP_GET_DEFAULT: {
        BOARD_POSITION posDefault = { 0, 0, BOARD_DEFAULT_EXTRA1, BOARD_DEFAULT_EXTRA2 };
        return ReplyRecord(pCall, &posDefault);
    }
    }
    // A set keeps the whole record, the extra words as the caller sent them.
    BOARD_POSITION pos;
    memcpy(&pos, pCall->pbRequest + sizeof(CTI_REQUEST), sizeof(pos));
    pos.lHorizontal = ClampPosition(pos.lHorizontal);
    pos.lVertical = ClampPosition(pos.lVertical);
    if (pCall->wOperation == CTI_OP_SET)
        pState->posWorking = pos;
    else
        pState->posSaved = pos;
    return ReplyRecord(pCall, &pos);
}

static WORD ModeRequest(CTI_CALL *pCall, BOARD_STATE *pState)
{
    if (pCall->wCommand == CTI_CMD_REFRESH_LIST) {
        if (pCall->wOperation == CTI_OP_GET_INFO)
            return ReplyValue(pCall, RateListBytes(pCall->iMode));
        return ReplyRateList(pCall);
    }

    CTI_MODE_REQUEST mode;
    memcpy(&mode, pCall->pbRequest, sizeof(mode));
    BOARD_PAIR *pPair = &pState->aRefresh[pCall->iMode];
    switch (pCall->wOperation) {
    case CTI_OP_GET:
        mode.dwRefreshRate = pPair->dwWorking;
        break;
    case CTI_OP_GET_SAVED:
        mode.dwRefreshRate = pPair->dwSaved;
        break;
    default:
        if (mode.dwRefreshRate < DRV_RATE_LOW || mode.dwRefreshRate > DRV_RATE_HIGH)
            return DRV_STATUS_REFUSED;
        if (pCall->wOperation == CTI_OP_SET)
            pPair->dwWorking = mode.dwRefreshRate;
        else
            pPair->dwSaved = mode.dwRefreshRate;
        break;
    }
    return ReplyRecord(pCall, (const BYTE *)&mode + sizeof(CTI_REQUEST));
}

static WORD GammaRequest(CTI_CALL *pCall, BOARD_STATE *pState)
{
    switch (pCall->wOperation) {
    case CTI_OP_GET:
        return ReplyRecord(pCall, &pState->gammaWorking);
    case CTI_OP_GET_SAVED:
        return ReplyRecord(pCall, &pState->gammaSaved);
    }
    BOARD_GAMMA *pGamma = pCall->wOperation == CTI_OP_SET ? &pState->gammaWorking
                                                          : &pState->gammaSaved;
    memcpy(pGamma, pCall->pbRequest + sizeof(CTI_REQUEST), sizeof(*pGamma));
    return ReplyRecord(pCall, pGamma);
}

static WORD SessionRequest(CTI_CALL *pCall)
{
    DWORD dwValue = RequestDword(pCall, 8);
    if (dwValue != CTI_SESSION_OPEN && dwValue != CTI_SESSION_CLOSE)
        return DRV_STATUS_BAD_REQUEST;
    if (dwValue == CTI_SESSION_OPEN) {
        // A changed profile takes effect at the next session.
        ConfigRead(&g_BoardConfig);
        if (g_BoardConfig.wSessionStatus != CTI_STATUS_SESSION_OK)
            return g_BoardConfig.wSessionStatus;
    }
    BOARD_STATE *pState = LockedState();
    if (pState == NULL)
        return DRV_STATUS_NO_STATE;
    if (dwValue == CTI_SESSION_OPEN)
        StateSessionOpened(pState, GetCurrentProcessId());
    else
        StateSessionClosed(pState, GetCurrentProcessId(), FALSE);
    return CTI_STATUS_SESSION_OK;
}

static WORD Dispatch(CTI_CALL *pCall)
{
    const COMMAND_FORM *pForm = CheckForm(pCall);
    if (pForm == NULL)
        return DRV_STATUS_BAD_REQUEST;
    if (pCall->wCommand == CTI_CMD_SESSION)
        return SessionRequest(pCall);
    if (!ReplyFits(pCall))
        return DRV_STATUS_BAD_REQUEST;
    BOARD_STATE *pState = LockedState();
    if (pState == NULL)
        return DRV_STATUS_NO_STATE;

    WORD wCommand = pCall->wCommand;
    WORD wOperation = pCall->wOperation;
    if (wOperation == CTI_OP_QUERY &&
        (g_BoardConfig.dwNotOffered & (1u << wCommand)) != 0)
        return DRV_STATUS_REFUSED;
    // The second model has no TV encoder; only its empty mask can be read.
    if (!BoardHas(wCommand) &&
        !(wCommand == CTI_CMD_TV_OUTPUT && wOperation == CTI_OP_GET_INFO))
        return DRV_STATUS_REFUSED;
    if (IsRead(wOperation) && (g_BoardConfig.dwFailRead & (1u << wCommand)) != 0)
        return DRV_STATUS_REFUSED;
    if (wOperation == CTI_OP_GET_INFO &&
        (g_BoardConfig.dwFailInfo & (1u << wCommand)) != 0)
        return DRV_STATUS_REFUSED;
    if (pForm->wLength == CTI_LEN_MODE) {
        CTI_MODE_REQUEST mode;
        memcpy(&mode, pCall->pbRequest, sizeof(mode));
        pCall->iMode = ModeFind(&g_BoardConfig, mode.dwWidth, mode.dwHeight,
                                mode.dwBitsPerPixel);
        if (pCall->iMode < 0)
            return DRV_STATUS_REFUSED;      // not a mode of this board
    }
    if (wOperation == CTI_OP_QUERY)
        return CTI_STATUS_OK;

    switch (pForm->wLength) {
    case CTI_LEN_VALUE:    return ValueRequest(pCall, pState);
    case CTI_LEN_POSITION: return PositionRequest(pCall, pState);
    case CTI_LEN_MODE:     return ModeRequest(pCall, pState);
    case CTI_LEN_GAMMA:    return GammaRequest(pCall, pState);
    }
    return DRV_STATUS_BAD_REQUEST;
}

extern "C" WORD __cdecl MRVD_cti(DWORD cbRequest, void *pRequest,
                                 DWORD cbReply, void *pReply)
{
    CTI_CALL call;
    ReadCall(&call, cbRequest, pRequest, cbReply, pReply);

    WORD wStatus = DRV_STATUS_NO_STATE;
    BOOL bLocked = FindBoard() && StateLock(g_hBoardLock);
    if (bLocked)
        wStatus = Dispatch(&call);
    // Logged inside the lock, so the log's order is the board's.
    BoardLog("cti cmd=%u op=%u len=%lu size=%lu in=%s out=%s status=%u",
             call.wCommand, call.wOperation, (unsigned long)cbRequest,
             (unsigned long)cbReply, call.szIn, call.szOut, wStatus);
    if (bLocked)
        StateUnlock(g_hBoardLock);
    return wStatus;
}

void DriverDetach(void)
{
    LeaveBoard();
}
