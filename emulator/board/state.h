// state.h - the emulated board's settings as the driver keeps them: the
// layout of board.dat (one file-backed view shared by every process), the
// factory values, the board's display modes and the board.ini profile.
// Used by the driver behind MRVD_cti and by zlvboard.
#ifndef ZLV_STATE_H
#define ZLV_STATE_H

#include <windows.h>

#include "cti.h"

#define BOARD_STATE_MAGIC       0x4456535Au     // "ZSVD"
#define BOARD_STATE_VERSION     1
#define BOARD_VALUE_SLOTS       20              // indexed by command number
#define BOARD_MAX_MODES         64
#define BOARD_MAX_SESSIONS      32

// Board profiles ([board] model=).
#define BOARD_MODEL_NONE        0   // no board: Glide finds none, the driver answers
#define BOARD_MODEL_FIRST       1   // TV output
#define BOARD_MODEL_PRO         2   // "Zelvra Pro": no TV output

// Published limits of the settings.
#define BOARD_BRIGHTNESS_MAX    31
#define BOARD_MEMCLOCK_LOW      45      // MHz
#define BOARD_MEMCLOCK_HIGH     60
#define BOARD_TV_MASK_FIRST     (CTI_TV_OUTPUT_ON | CTI_TV_DESKTOP_ON_TV)
#define BOARD_POSITION_LIMIT    64      // either way from the centre

// Factory values.
#define BOARD_FACTORY_TV_OUTPUT     0
#define BOARD_FACTORY_FLICKER_FREE  1
#define BOARD_FACTORY_TV_FORMAT     1           // NTSC
#define BOARD_FACTORY_SETTING_6     0x00003C01
#define BOARD_FACTORY_BRIGHTNESS    16
#define BOARD_FACTORY_UNDERSCAN     1           // off
#define BOARD_FACTORY_HIGH_CONTRAST 0
#define BOARD_FACTORY_MEMCLOCK      50
#define BOARD_FACTORY_PC_MONITOR    1
#define BOARD_FACTORY_BOARD_FLAGS   CTI_BOARD_SST_HONOURED
#define BOARD_FACTORY_REFRESH       60
// The position's extra words mean something to the encoder only; they are
// distinctive so that a caller that loses them on the way back shows.
#define BOARD_DEFAULT_EXTRA1        0x13579BDFu
#define BOARD_DEFAULT_EXTRA2        0x2468ACE0u

typedef struct BOARD_PAIR {
    DWORD dwWorking;
    DWORD dwSaved;
} BOARD_PAIR;

typedef struct BOARD_POSITION {
    LONG  lHorizontal;
    LONG  lVertical;
    DWORD dwExtra1;
    DWORD dwExtra2;
} BOARD_POSITION;

typedef struct BOARD_GAMMA {
    BYTE abTables[768];     // red, green, blue; 256 entries each
} BOARD_GAMMA;

// One process's open sessions; a slot whose process has gone is free.
typedef struct BOARD_SESSION {
    DWORD dwProcessId;
    DWORD cOpen;
} BOARD_SESSION;

// board.dat: the whole file. Fixed-width fields only, so the i686 and
// x86_64 builds share it.
typedef struct BOARD_STATE {
    DWORD          dwMagic;
    DWORD          dwVersion;
    DWORD          cbSize;
    DWORD          dwReserved;
    BOARD_PAIR     aValue[BOARD_VALUE_SLOTS];   // value settings by command
    BOARD_POSITION posWorking;
    BOARD_POSITION posSaved;
    BOARD_PAIR     aRefresh[BOARD_MAX_MODES];   // by index in the mode list
    BOARD_GAMMA    gammaWorking;
    BOARD_GAMMA    gammaSaved;
    BOARD_SESSION  aSession[BOARD_MAX_SESSIONS];
} BOARD_STATE;

// board.ini as one process last read it.
typedef struct BOARD_CONFIG {
    int   nModel;           // BOARD_MODEL_*
    WORD  wSessionStatus;   // status of a session open (0 = opens)
    DWORD dwNotOffered;     // bit c: CTI_OP_QUERY of command c fails
    DWORD dwFailRead;       // bit c: reads of command c fail
    DWORD dwFailInfo;       // bit c: CTI_OP_GET_INFO of command c fails
    int   cModes;           // modes in the list
    DWORD cbModeList;       // byte size the mode list reports
} BOARD_CONFIG;

void ConfigRead(BOARD_CONFIG *pConfig);

// Value settings the board has at all (3, 4, 5, 6, 8, 9, 11, 15, 17, 19).
BOOL StateIsValueSetting(WORD wCommand);
// The TV settings, which the second model does not offer.
BOOL StateIsTvSetting(WORD wCommand);

// A value setting as the driver reports it: the board flags carry the
// model's bit, which the state does not keep.
DWORD StateReportedValue(const BOARD_CONFIG *pConfig, WORD wCommand, DWORD dwValue);

void StateFactoryReset(BOARD_STATE *pState);
// Power cycle: every working value taken up again from its saved value.
void StateReloadWorking(BOARD_STATE *pState);
// Sessions by process: one more, one fewer (or all of them, when the
// process lets go of the library), and the open sessions of processes that
// still run.
void  StateSessionOpened(BOARD_STATE *pState, DWORD dwProcessId);
void  StateSessionClosed(BOARD_STATE *pState, DWORD dwProcessId, BOOL bAll);
DWORD StateSessionCount(const BOARD_STATE *pState);
BOOL  StateProcessRuns(DWORD dwProcessId);

// The board's state file, mapped and valid (initialised with the factory
// values when its header is missing or of another layout). Call with the
// board locked. NULL when the file cannot be had.
BOARD_STATE *StateMap(HANDLE *phMapping);
// Puts the factory values back when the header is not this layout's (the
// file was replaced while mapped). Call with the board locked.
void StateEnsureValid(BOARD_STATE *pState);
void StateUnmap(BOARD_STATE *pState, HANDLE hMapping);

// The lock that serialises all processes' use of the state.
HANDLE StateOpenLock(void);
BOOL   StateLock(HANDLE hLock);
void   StateUnlock(HANDLE hLock);

// Display modes: the board's resolutions at 16 bits per pixel; a profile
// asking for more modes than the board has gets further, larger sizes.
BOOL ModeAt(int iMode, CTI_MODE_ENTRY *pEntry);
int  ModeFind(const BOARD_CONFIG *pConfig, DWORD dwWidth, DWORD dwHeight,
              DWORD dwBitsPerPixel);
// Refresh rates offered for a mode, in Hz; returns the count.
int  ModeRates(int iMode, DWORD *pdwRates, int cMax);

// 32-bit FNV-1a, as the board log shows tables and lists.
DWORD Fnv1a(const void *pData, DWORD cbData);

#endif // ZLV_STATE_H
