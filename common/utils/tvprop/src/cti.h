// cti.h - the board driver's control interface: request records, the command
// catalogue and the client that loads "glide2x.dll" and opens a session.
//
// All records are little-endian and packed; the driver reads them byte for
// byte, so their sizes are the same on every build.
#ifndef ZLV_CTI_H
#define ZLV_CTI_H

#include <windows.h>

#pragma pack(push, 1)

// First 8 bytes of every request.
typedef struct CTI_REQUEST {
    WORD wCommand;      // CTI_CMD_*
    WORD wLength;       // whole request in bytes, header included
    WORD wOperation;    // CTI_OP_*
    WORD wReserved;     // always 0
} CTI_REQUEST;

// 12 bytes: session and every scalar setting.
typedef struct CTI_VALUE_REQUEST {
    WORD  wCommand;
    WORD  wLength;
    WORD  wOperation;
    WORD  wReserved;
    DWORD dwValue;
} CTI_VALUE_REQUEST;

// 24 bytes: the TV picture position. The two extra words belong to the
// driver; a caller that writes the record back passes them on as read.
typedef struct CTI_POSITION {
    CTI_REQUEST hdr;
    LONG  lHorizontal;
    LONG  lVertical;
    DWORD dwExtra1;
    DWORD dwExtra2;
} CTI_POSITION;

// 32 bytes: names one display mode (refresh list, refresh rate of a mode).
typedef struct CTI_MODE_REQUEST {
    CTI_REQUEST hdr;
    DWORD dwWidth;
    DWORD dwHeight;
    DWORD dwBitsPerPixel;
    DWORD dwUnused1;
    DWORD dwRefreshRate;    // Hz
    DWORD dwUnused2;
} CTI_MODE_REQUEST;

// 776 bytes: the three gamma correction tables.
typedef struct CTI_GAMMA_TABLE {
    CTI_REQUEST hdr;
    BYTE abRed[256];
    BYTE abGreen[256];
    BYTE abBlue[256];
} CTI_GAMMA_TABLE;

// One entry of the driver's mode list (command 12).
typedef struct CTI_MODE_ENTRY {
    DWORD dwWidth;
    DWORD dwHeight;
    DWORD dwBitsPerPixel;
} CTI_MODE_ENTRY;

#pragma pack(pop)

// The driver reads the records byte for byte: the same sizes on every build.
static_assert(sizeof(CTI_REQUEST) == 8, "request header");
static_assert(sizeof(CTI_VALUE_REQUEST) == 12, "value request");
static_assert(sizeof(CTI_POSITION) == 24, "position record");
static_assert(sizeof(CTI_MODE_REQUEST) == 32, "mode request");
static_assert(sizeof(CTI_GAMMA_TABLE) == 776, "gamma table record");
static_assert(sizeof(CTI_MODE_ENTRY) == 12, "mode list entry");

// Request lengths by form.
#define CTI_LEN_VALUE       12
#define CTI_LEN_POSITION    24
#define CTI_LEN_MODE        32
#define CTI_LEN_GAMMA       776

// Operations (wOperation).
#define CTI_OP_QUERY        0   // does the setting exist on this board? status 1 = yes
#define CTI_OP_SET          1   // set the working value
#define CTI_OP_GET          2   // read the working value, or a list
#define CTI_OP_GET_INFO     4   // limits, mask of offered bits, or a list's byte size
#define CTI_OP_SET_SAVED    33  // set the value the driver keeps
#define CTI_OP_GET_SAVED    34  // read the value the driver keeps
#define CTI_OP_GET_DEFAULT  66  // read the default (position only)

// Commands (wCommand).
#define CTI_CMD_SESSION         1
#define CTI_CMD_TV_OUTPUT       3
#define CTI_CMD_FLICKER_FREE    4
#define CTI_CMD_TV_FORMAT       5
#define CTI_CMD_SETTING_6       6
#define CTI_CMD_BRIGHTNESS      8
#define CTI_CMD_UNDERSCAN       9
#define CTI_CMD_TV_POSITION     10
#define CTI_CMD_HIGH_CONTRAST   11
#define CTI_CMD_MODE_LIST       12
#define CTI_CMD_REFRESH_LIST    13
#define CTI_CMD_MODE_REFRESH    14
#define CTI_CMD_MEMORY_CLOCK    15
#define CTI_CMD_GAMMA_TABLE     16
#define CTI_CMD_PC_MONITOR      17
#define CTI_CMD_BOARD_FLAGS     19

// dwValue of CTI_CMD_SESSION.
#define CTI_SESSION_OPEN    1
#define CTI_SESSION_CLOSE   2

// Statuses the callers look at.
#define CTI_STATUS_OK           1   // a request that succeeded
#define CTI_STATUS_SESSION_OK   0   // a session that opened

// Bits of CTI_CMD_TV_OUTPUT.
#define CTI_TV_OUTPUT_ON        0x01
#define CTI_TV_DESKTOP_ON_TV    0x80

// Bits of CTI_CMD_BOARD_FLAGS.
#define CTI_BOARD_SST_HONOURED  0x02    // clear: the SST override is on
#define CTI_BOARD_SECOND_MODEL  0x04    // "Zelvra Pro", no TV output

// The driver's entry: cdecl, request size and record, reply size and buffer;
// only the low 16 bits of the result are the status.
typedef WORD (__cdecl *PFN_MRVD_CTI)(DWORD cbRequest, void *pRequest,
                                     DWORD cbReply, void *pReply);

// The loaded library: 0 before the first CtiOpen, 32 once closed.
#define CTI_LIB_CLOSED  ((HMODULE)(UINT_PTR)32)

extern HMODULE           g_hGlideLib;
extern PFN_MRVD_CTI      g_pfnCti;
extern CTI_VALUE_REQUEST g_CtiRequest;

// 0 when the session is open; 1 when the library or its entry is missing;
// otherwise the driver's status for the session open.
int  CtiOpen(void);

// FALSE when nothing was loaded; otherwise FreeLibrary's result.
BOOL CtiClose(void);

// Fills a request header.
void CtiSetHeader(CTI_REQUEST *pHeader, WORD wCommand, WORD wLength,
                  WORD wOperation);

// Fills g_CtiRequest with all five fields.
void CtiSetValueRequest(WORD wCommand, WORD wOperation, DWORD dwValue);

// Reads a list (command 12 or 13) as both list users do: the byte size with
// CTI_OP_GET_INFO and a 4-byte reply, then the list with CTI_OP_GET and a
// reply of that size. pRequest is a value request (command 12, whose dwValue
// the caller fills for the size read and which carries the size for the list
// get) or a mode request naming the mode (command 13); the helper rewrites
// its header for each call. With bRequireInfo the list is read only when the
// size read answers 1; otherwise its status is not looked at.
// Returns a GMEM_FIXED block the caller frees with GlobalFree, or NULL when
// the size read failed (bRequireInfo) or no block could be had; *pcEntries
// receives the byte size divided by cbEntry, rounded down (trailing bytes are
// ignored), and *pcbList, when not NULL, the byte size. A size of 0 still
// sends the list get, with reply size 0, and yields an empty list.
void *CtiReadList(void *pRequest, DWORD cbEntry, BOOL bRequireInfo,
                  DWORD *pcEntries, DWORD *pcbList);

#endif // ZLV_CTI_H
