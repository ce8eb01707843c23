// text.bin: the lettering the box wall scrolls through, 800 x 20 bytes of brightness,
// row 0 at the top. The wall shows 20 columns at a time and scrolls about 450 of them
// during its scene, so the title and the glasses line sit in that stretch.
#include "DataSet.h"
#include "PixelFont.h"

#include <vector>

namespace {

constexpr int kWidth = 800;
constexpr int kHeight = 20;
constexpr int kScale = 2;
constexpr int kLeft = 20;  // the wall's first picture stays blank, then the title scrolls in
constexpr uint8_t kLit = 255;
constexpr uint8_t kShadow = 90;  // one step lower, below and right of each letter

}  // namespace

bool makeTextBitmap(const std::string& dir, std::string& error) {
    const TextMask mask = renderText("VORNEKKA  -  RED/CYAN GLASSES ON!  -  ENJOY THE DEPTH", kScale);
    std::vector<uint8_t> bitmap(kWidth * kHeight, 0);
    const int top = (kHeight - mask.height) / 2;
    for (int y = 0; y < mask.height; ++y) {
        for (int x = 0; x < mask.width && kLeft + x + 1 < kWidth; ++x) {
            if (!mask.at(x, y)) continue;
            bitmap[(top + y) * kWidth + kLeft + x] = kLit;
            uint8_t& shadow = bitmap[(top + y + 1) * kWidth + kLeft + x + 1];
            if (shadow == 0) shadow = kShadow;
        }
    }
    return writeWholeFile(dir + "/text.bin", bitmap.data(), bitmap.size(), error);
}
