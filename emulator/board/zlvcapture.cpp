// zlvcapture.cpp - writes what the board's output shows now to a file.
//
//   zlvcapture OUT.bmp   the exact 5-6-5 words, 16-bit BMP with bit fields
//   zlvcapture OUT.png   8-bit RGB, each channel widened by repeating its
//                        top bits (stored, uncompressed deflate blocks)
//
// Exit codes: 0 written; 1 nothing has been shown on this board; 2 bad
// arguments; 3 the file could not be written.
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include "video.h"

enum {
    EXIT_WRITTEN = 0,
    EXIT_NOTHING_SHOWN = 1,
    EXIT_USAGE = 2,
    EXIT_WRITE_FAILED = 3,
};

// ---------------------------------------------------------------------------
// PNG

class CPngFile {
public:
    explicit CPngFile(HANDLE hFile) : m_hFile(hFile), m_bOk(TRUE) {}
    BOOL Ok() const { return m_bOk; }
    void Signature();
    void BeginChunk(const char *pszType, DWORD cbData);
    void ChunkBytes(const void *pData, DWORD cb);
    void EndChunk();
    void ChunkDword(DWORD dw);          // big-endian, as PNG stores numbers
private:
    void Write(const void *pData, DWORD cb);
    HANDLE m_hFile;
    BOOL m_bOk;
    DWORD m_dwCrc;
};

static DWORD Crc32Update(DWORD dwCrc, const BYTE *pb, DWORD cb)
{
    static DWORD s_adwTable[256];
    if (s_adwTable[1] == 0) {
        for (DWORD n = 0; n < 256; ++n) {
            DWORD c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            s_adwTable[n] = c;
        }
    }
    for (DWORD i = 0; i < cb; ++i)
        dwCrc = s_adwTable[(dwCrc ^ pb[i]) & 0xFF] ^ (dwCrc >> 8);
    return dwCrc;
}

void CPngFile::Write(const void *pData, DWORD cb)
{
    DWORD cbWritten;
    if (m_bOk && (!WriteFile(m_hFile, pData, cb, &cbWritten, NULL) ||
                  cbWritten != cb))
        m_bOk = FALSE;
}

static void PutBigEndian(BYTE *pb, DWORD dw)
{
    pb[0] = (BYTE)(dw >> 24);
    pb[1] = (BYTE)(dw >> 16);
    pb[2] = (BYTE)(dw >> 8);
    pb[3] = (BYTE)dw;
}

void CPngFile::Signature()
{
    static const BYTE s_abSignature[8] = { 0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A };
    Write(s_abSignature, sizeof(s_abSignature));
}

void CPngFile::BeginChunk(const char *pszType, DWORD cbData)
{
    BYTE abLength[4];
    PutBigEndian(abLength, cbData);
    Write(abLength, 4);
    m_dwCrc = 0xFFFFFFFFu;
    ChunkBytes(pszType, 4);
}

void CPngFile::ChunkBytes(const void *pData, DWORD cb)
{
    m_dwCrc = Crc32Update(m_dwCrc, (const BYTE *)pData, cb);
    Write(pData, cb);
}

void CPngFile::ChunkDword(DWORD dw)
{
    BYTE ab[4];
    PutBigEndian(ab, dw);
    ChunkBytes(ab, 4);
}

void CPngFile::EndChunk()
{
    BYTE abCrc[4];
    PutBigEndian(abCrc, m_dwCrc ^ 0xFFFFFFFFu);
    Write(abCrc, 4);
}

// One PNG row: the filter byte 0, then red, green and blue per pixel.
static void PngRow(const WORD *pwRow, int nWidth, BYTE *pbRow)
{
    *pbRow++ = 0;
    for (int x = 0; x < nWidth; ++x) {
        DWORD r = pwRow[x] >> 11, g = (pwRow[x] >> 5) & 0x3F, b = pwRow[x] & 0x1F;
        *pbRow++ = (BYTE)((r << 3) | (r >> 2));
        *pbRow++ = (BYTE)((g << 2) | (g >> 4));
        *pbRow++ = (BYTE)((b << 3) | (b >> 2));
    }
}

// The image data is a zlib stream of stored deflate blocks (at most 65535
// bytes each), which every PNG reader takes and which needs no compressor.
static BOOL WritePng(const char *pszPath, int nWidth, int nHeight,
                     const WORD *pwPixels)
{
    const DWORD cbBlockMax = 65535;
    DWORD cbRow = 1 + (DWORD)nWidth * 3;
    DWORD cbRaw = cbRow * (DWORD)nHeight;
    DWORD cBlocks = (cbRaw + cbBlockMax - 1) / cbBlockMax;
    DWORD cbZlib = 2 + cBlocks * 5 + cbRaw + 4;

    BYTE *pbRaw = (BYTE *)HeapAlloc(GetProcessHeap(), 0, cbRaw);
    if (pbRaw == NULL)
        return FALSE;
    for (int y = 0; y < nHeight; ++y)
        PngRow(pwPixels + (DWORD)y * nWidth, nWidth, pbRaw + (DWORD)y * cbRow);

    HANDLE hFile = CreateFileA(pszPath, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE) {
        HeapFree(GetProcessHeap(), 0, pbRaw);
        return FALSE;
    }
    CPngFile png(hFile);
    png.Signature();

    png.BeginChunk("IHDR", 13);
    png.ChunkDword((DWORD)nWidth);
    png.ChunkDword((DWORD)nHeight);
    const BYTE abFormat[5] = { 8, 2, 0, 0, 0 };  // 8 bits, RGB, no interlace
    png.ChunkBytes(abFormat, sizeof(abFormat));
    png.EndChunk();

    png.BeginChunk("IDAT", cbZlib);
    const BYTE abZlibHead[2] = { 0x78, 0x01 };
    png.ChunkBytes(abZlibHead, 2);
    DWORD dwAdlerA = 1, dwAdlerB = 0;
    for (DWORD ib = 0; ib < cbRaw; ib += cbBlockMax) {
        DWORD cb = cbRaw - ib < cbBlockMax ? cbRaw - ib : cbBlockMax;
        BYTE abBlock[5] = { (BYTE)(ib + cb == cbRaw ? 1 : 0),
                            (BYTE)cb, (BYTE)(cb >> 8),
                            (BYTE)~cb, (BYTE)(~cb >> 8) };
        png.ChunkBytes(abBlock, 5);
        png.ChunkBytes(pbRaw + ib, cb);
        for (DWORD i = 0; i < cb; ++i) {
            dwAdlerA = (dwAdlerA + pbRaw[ib + i]) % 65521;
            dwAdlerB = (dwAdlerB + dwAdlerA) % 65521;
        }
    }
    png.ChunkDword((dwAdlerB << 16) | dwAdlerA);
    png.EndChunk();

    png.BeginChunk("IEND", 0);
    png.EndChunk();

    BOOL bOk = png.Ok();
    CloseHandle(hFile);
    HeapFree(GetProcessHeap(), 0, pbRaw);
    if (!bOk)
        DeleteFileA(pszPath);
    return bOk;
}

// ---------------------------------------------------------------------------

static BOOL HasExtension(const char *pszPath, const char *pszExt)
{
    size_t cchPath = strlen(pszPath), cchExt = strlen(pszExt);
    return cchPath > cchExt && lstrcmpiA(pszPath + cchPath - cchExt, pszExt) == 0;
}

static int CapturePng(const char *pszPath)
{
    WORD *pwPixels = (WORD *)HeapAlloc(GetProcessHeap(), 0,
                                       VIDEO_BUFFER_WORDS * sizeof(WORD));
    if (pwPixels == NULL)
        return EXIT_WRITE_FAILED;
    int nWidth, nHeight;
    int nExit = EXIT_NOTHING_SHOWN;
    if (VideoReadOutput(&nWidth, &nHeight, NULL, pwPixels, VIDEO_BUFFER_WORDS))
        nExit = WritePng(pszPath, nWidth, nHeight, pwPixels) ? EXIT_WRITTEN
                                                               : EXIT_WRITE_FAILED;
    HeapFree(GetProcessHeap(), 0, pwPixels);
    return nExit;
}

static int CaptureBmp(const char *pszPath)
{
    if (!VideoReadOutput(NULL, NULL, NULL, NULL, 0))
        return EXIT_NOTHING_SHOWN;
    return VideoWriteBmp(pszPath) ? EXIT_WRITTEN : EXIT_WRITE_FAILED;
}

int main(int argc, char **argv)
{
    BOOL bBmp = argc == 2 && HasExtension(argv[1], ".bmp");
    BOOL bPng = argc == 2 && HasExtension(argv[1], ".png");
    if (!bBmp && !bPng) {
        fprintf(stderr, "usage: zlvcapture OUT.bmp|OUT.png\n");
        return EXIT_USAGE;
    }
    int nExit = bBmp ? CaptureBmp(argv[1]) : CapturePng(argv[1]);
    if (nExit == EXIT_NOTHING_SHOWN)
        fprintf(stderr, "zlvcapture: nothing has been shown on this board\n");
    else if (nExit == EXIT_WRITE_FAILED)
        fprintf(stderr, "zlvcapture: cannot write %s\n", argv[1]);
    return nExit;
}
