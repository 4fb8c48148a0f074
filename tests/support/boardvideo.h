// boardvideo.h - what the emulated board's output shows, for tests: the
// picture of the board of the current ZLVBOARD_DIR.
#ifndef ZLV_BOARDVIDEO_H
#define ZLV_BOARDVIDEO_H

#include <windows.h>

#include <vector>

namespace zlv {

// The board's own 5-6-5 words of the pure colours.
const WORD RGB565_BLACK  = 0x0000;
const WORD RGB565_WHITE  = 0xFFFF;
const WORD RGB565_RED    = 0xF800;
const WORD RGB565_GREEN  = 0x07E0;
const WORD RGB565_BLUE   = 0x001F;
const WORD RGB565_YELLOW = 0xFFE0;

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
