// boardvideo.cpp - reads the emulated board's output for tests.
#include "boardvideo.h"

#include "video.h"

namespace zlv {

bool ReadBoardFrame(BoardFrame *pFrame)
{
    // Read into room for any screen, then keep what the picture covers.
    pFrame->pixels.assign(VIDEO_BUFFER_WORDS, 0);
    int nWidth = 0, nHeight = 0;
    DWORD dwSwapCount = 0;
    if (!VideoReadOutput(&nWidth, &nHeight, &dwSwapCount, &pFrame->pixels[0],
                         VIDEO_BUFFER_WORDS)) {
        pFrame->nWidth = pFrame->nHeight = 0;
        pFrame->dwSwapCount = 0;
        pFrame->pixels.clear();
        return false;
    }
    pFrame->nWidth = nWidth;
    pFrame->nHeight = nHeight;
    pFrame->dwSwapCount = dwSwapCount;
    pFrame->pixels.resize((size_t)nWidth * nHeight);
    return true;
}

} // namespace zlv
