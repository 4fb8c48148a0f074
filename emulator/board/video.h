// video.h - the board's video memory and what its output shows.
//
// The two colour buffers and a small header live in video.dat in the board
// directory, a file-backed view that every process maps: the Glide side of
// the emulated library draws into it, the viewer, the capture tool and the
// tests read it from their own processes, and the last picture stays after
// the drawing program has ended.
//
// The buffers are the board's native 5-6-5 words, 1024 pixels per row
// whatever the screen size; the visible picture is the top-left
// nWidth x nHeight area of the front buffer.
#ifndef ZLV_VIDEO_H
#define ZLV_VIDEO_H

#include <windows.h>

#define VIDEO_FILE          "video.dat"
#define VIDEO_MAGIC         0x56564C5Au     // "ZLVV": a window was opened
#define VIDEO_ROW_PIXELS    1024
#define VIDEO_ROWS          1024
#define VIDEO_BUFFER_WORDS  (VIDEO_ROW_PIXELS * VIDEO_ROWS)
#define VIDEO_HEADER_BYTES  4096

typedef struct {
    DWORD dwMagic;          // VIDEO_MAGIC once a Glide window was opened
    LONG  nWidth;           // visible size of the last window opened
    LONG  nHeight;
    DWORD iFront;           // which of the two buffers the output shows
    DWORD dwSwapCount;      // buffer swaps since the file was made
    DWORD bOpen;            // a Glide window is open now
    LONG  nWriteMode;       // write mode of the last write lock, -1 before any
    DWORD dwOwnerPid;       // process that opened the window last
} VIDEO_HEADER;

typedef struct {
    union {
        VIDEO_HEADER hdr;
        BYTE abHeader[VIDEO_HEADER_BYTES];
    };
    WORD awBuffer[2][VIDEO_BUFFER_WORDS];
} VIDEO_MEMORY;

// The board's video memory of the current board directory, created (zeroed)
// when missing. *pbCreated is set when the contents are new. NULL on failure.
VIDEO_MEMORY *VideoMap(BOOL *pbCreated, HANDLE *phMapping);
void VideoUnmap(VIDEO_MEMORY *pVideo, HANDLE hMapping);

// The board-wide lock that keeps a swap or a buffer update apart from a
// reader copying the picture. A caller opens it once and keeps the handle;
// with a NULL handle (it could not be had) the calls do nothing.
HANDLE VideoOpenLock(void);
void VideoLock(HANDLE hLock);
void VideoUnlock(HANDLE hLock);
void VideoCloseLock(HANDLE hLock);

// What the board's output shows now: the front buffer's visible
// nWidth x nHeight area, row by row from the top, as 5-6-5 words (up to
// cwPixels of them; pwPixels may be NULL to ask for the size). FALSE when no
// Glide window was ever opened on this board. The other pointers may be NULL.
BOOL VideoReadOutput(int *pnWidth, int *pnHeight, DWORD *pdwSwapCount,
                     WORD *pwPixels, DWORD cwPixels);

// That picture as a 16-bit BI_BITFIELDS BMP with 5-6-5 masks (the exact
// words). FALSE when nothing was shown or the file cannot be written.
BOOL VideoWriteBmp(const char *pszPath);

#endif // ZLV_VIDEO_H
