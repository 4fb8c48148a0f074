// boardvideo.h - what the emulated board's output shows, for tests: the
// picture of the board of the current ZLVBOARD_DIR.
#ifndef ZLV_BOARDVIDEO_H
#define ZLV_BOARDVIDEO_H

#include <windows.h>

#include <vector>

namespace zlv {

struct BoardFrame {
    int nWidth;
    int nHeight;
    DWORD dwSwapCount;
    std::vector<WORD> pixels;   // 5-6-5 words, row by row from the top
    WORD At(int x, int y) const { return pixels[(size_t)y * nWidth + x]; }
};

// False when no Glide window was ever opened on the board.
bool ReadBoardFrame(BoardFrame *pFrame);

} // namespace zlv

#endif // ZLV_BOARDVIDEO_H
