// boardenv.h - where the emulated board keeps its files, its configuration
// and its log. Shared by the emulated "glide2x.dll" and the board tools.
//
// The board directory is %ZLVBOARD_DIR% when set, else the folder of the
// module that holds this code. It holds:
//   board.ini  profile and fault settings (read on every session open)
//   board.dat  the driver's settings, working and saved (persist)
//   video.dat  the board's video memory and what its output shows
//   board.log  one line per control request and Glide call
#ifndef ZLV_BOARDENV_H
#define ZLV_BOARDENV_H

#include <windows.h>

#define BOARD_PATH_MAX  MAX_PATH

// Full path of a file in the board directory.
void BoardPath(const char *pszName, char *pszPath, DWORD cchPath);

// Integer and string settings from board.ini; the default when missing.
int  BoardConfigInt(const char *pszSection, const char *pszKey, int nDefault);
void BoardConfigString(const char *pszSection, const char *pszKey,
                       const char *pszDefault, char *pszOut, DWORD cchOut);

// Appends one line (a trailing newline is added) to board.log, prefixed with
// the calling process's id: "pid=1234 ...". Logging is off when board.ini
// says [log] enabled=0; that setting is read at the first line and again
// after BoardLogReload (the driver calls it whenever it reads board.ini).
void BoardLog(const char *pszFormat, ...);
void BoardLogReload(void);

// A file-backed view shared by every process that maps the same file:
// creates the file at cbSize bytes (zero-filled) when missing, sets
// *pbCreated when it did. Returns NULL on failure.
void *BoardMapFile(const char *pszName, DWORD cbSize, BOOL *pbCreated,
                   HANDLE *phMapping);
void BoardUnmapFile(void *pView, HANDLE hMapping);

// A named mutex for this board directory; the driver serialises requests of
// all processes with it.
HANDLE BoardOpenMutex(const char *pszPurpose);

#endif // ZLV_BOARDENV_H
