// video.cpp - the board's video memory in video.dat, and reading what its
// output shows from any process.
#include "video.h"

#include "boardenv.h"

VIDEO_MEMORY *VideoMap(BOOL *pbCreated, HANDLE *phMapping)
{
    return (VIDEO_MEMORY *)BoardMapFile(VIDEO_FILE, sizeof(VIDEO_MEMORY),
                                        pbCreated, phMapping);
}

void VideoUnmap(VIDEO_MEMORY *pVideo, HANDLE hMapping)
{
    BoardUnmapFile(pVideo, hMapping);
}

HANDLE VideoOpenLock(void)
{
    return BoardOpenMutex("video");
}

void VideoLock(HANDLE hLock)
{
    // An owner that died while holding it leaves it abandoned, and ours.
    if (hLock != NULL)
        WaitForSingleObject(hLock, 5000);
}

void VideoUnlock(HANDLE hLock)
{
    if (hLock != NULL)
        ReleaseMutex(hLock);
}

void VideoCloseLock(HANDLE hLock)
{
    if (hLock != NULL)
        CloseHandle(hLock);
}

// A reader must not create video.dat: a board that never showed anything
// has none, and a file of another size is not ours to read.
static VIDEO_MEMORY *MapForReading(HANDLE *phMapping)
{
    char szPath[BOARD_PATH_MAX];
    BoardPath(VIDEO_FILE, szPath, sizeof(szPath));
    WIN32_FILE_ATTRIBUTE_DATA fad;
    if (!GetFileAttributesExA(szPath, GetFileExInfoStandard, &fad) ||
        fad.nFileSizeHigh != 0 || fad.nFileSizeLow != sizeof(VIDEO_MEMORY))
        return NULL;
    BOOL bCreated;
    return VideoMap(&bCreated, phMapping);
}

static void CopyFront(const VIDEO_MEMORY *pVideo, WORD *pwPixels,
                      DWORD cwPixels)
{
    const WORD *pwFront = pVideo->awBuffer[pVideo->hdr.iFront & 1];
    DWORD iOut = 0;
    for (LONG y = 0; y < pVideo->hdr.nHeight; ++y) {
        const WORD *pwRow = pwFront + (DWORD)y * VIDEO_ROW_PIXELS;
        for (LONG x = 0; x < pVideo->hdr.nWidth; ++x) {
            if (iOut >= cwPixels)
                return;
            pwPixels[iOut++] = pwRow[x];
        }
    }
}

static BOOL HeaderIsSound(const VIDEO_HEADER *pHdr)
{
    return pHdr->dwMagic == VIDEO_MAGIC &&
           pHdr->nWidth > 0 && pHdr->nWidth <= VIDEO_ROW_PIXELS &&
           pHdr->nHeight > 0 && pHdr->nHeight <= VIDEO_ROWS;
}

BOOL VideoReadOutput(int *pnWidth, int *pnHeight, DWORD *pdwSwapCount,
                     WORD *pwPixels, DWORD cwPixels)
{
    HANDLE hMapping;
    VIDEO_MEMORY *pVideo = MapForReading(&hMapping);
    if (pVideo == NULL)
        return FALSE;

    HANDLE hLock = VideoOpenLock();
    VideoLock(hLock);
    BOOL bShown = HeaderIsSound(&pVideo->hdr);
    if (bShown) {
        if (pnWidth != NULL)
            *pnWidth = pVideo->hdr.nWidth;
        if (pnHeight != NULL)
            *pnHeight = pVideo->hdr.nHeight;
        if (pdwSwapCount != NULL)
            *pdwSwapCount = pVideo->hdr.dwSwapCount;
        if (pwPixels != NULL)
            CopyFront(pVideo, pwPixels, cwPixels);
    }
    VideoUnlock(hLock);
    VideoCloseLock(hLock);
    VideoUnmap(pVideo, hMapping);
    return bShown;
}

static BOOL WriteAll(HANDLE hFile, const void *pData, DWORD cb)
{
    DWORD cbWritten;
    return WriteFile(hFile, pData, cb, &cbWritten, NULL) && cbWritten == cb;
}

// A 16-bit BMP keeps the board's words as they are when it says so with
// BI_BITFIELDS and the three 5-6-5 masks; rows go bottom-up, padded to four
// bytes.
static BOOL WriteBmpFile(const char *pszPath, int nWidth, int nHeight,
                         const WORD *pwPixels)
{
    DWORD cbRow = ((DWORD)nWidth * 2 + 3) & ~3u;
    DWORD cbHeaders = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER) +
                      3 * sizeof(DWORD);
    BITMAPFILEHEADER bfh = {};
    bfh.bfType = 0x4D42;                    // "BM"
    bfh.bfOffBits = cbHeaders;
    bfh.bfSize = cbHeaders + cbRow * (DWORD)nHeight;
    BITMAPINFOHEADER bih = {};
    bih.biSize = sizeof(bih);
    bih.biWidth = nWidth;
    bih.biHeight = nHeight;
    bih.biPlanes = 1;
    bih.biBitCount = 16;
    bih.biCompression = BI_BITFIELDS;
    bih.biSizeImage = cbRow * (DWORD)nHeight;
    const DWORD adwMasks[3] = { 0xF800, 0x07E0, 0x001F };

    HANDLE hFile = CreateFileA(pszPath, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return FALSE;
    BOOL bOk = WriteAll(hFile, &bfh, sizeof(bfh)) &&
               WriteAll(hFile, &bih, sizeof(bih)) &&
               WriteAll(hFile, adwMasks, sizeof(adwMasks));
    const WORD wPad = 0;
    for (int y = nHeight - 1; bOk && y >= 0; --y) {
        bOk = WriteAll(hFile, pwPixels + (DWORD)y * nWidth, nWidth * 2);
        if (bOk && (nWidth & 1))
            bOk = WriteAll(hFile, &wPad, 2);
    }
    CloseHandle(hFile);
    if (!bOk)
        DeleteFileA(pszPath);
    return bOk;
}

BOOL VideoWriteBmp(const char *pszPath)
{
    WORD *pwPixels = (WORD *)HeapAlloc(GetProcessHeap(), 0,
                                       VIDEO_BUFFER_WORDS * sizeof(WORD));
    if (pwPixels == NULL)
        return FALSE;
    int nWidth, nHeight;
    BOOL bOk = VideoReadOutput(&nWidth, &nHeight, NULL, pwPixels,
                               VIDEO_BUFFER_WORDS) &&
               WriteBmpFile(pszPath, nWidth, nHeight, pwPixels);
    HeapFree(GetProcessHeap(), 0, pwPixels);
    return bOk;
}
