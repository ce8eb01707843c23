// Where a picture goes in an area of another shape: as large as fits, aspect kept,
// centred; what is left of the area is the bars.
#pragma once

struct LetterboxRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

inline LetterboxRect letterbox(int pictureWidth, int pictureHeight, int areaWidth,
                               int areaHeight) {
    LetterboxRect rect;
    if (pictureWidth <= 0 || pictureHeight <= 0 || areaWidth <= 0 || areaHeight <= 0)
        return rect;
    // Integer cross products: no rounding decides between bars top or bars at the sides.
    const long long wide = static_cast<long long>(areaWidth) * pictureHeight;
    const long long tall = static_cast<long long>(areaHeight) * pictureWidth;
    if (wide >= tall) {
        rect.height = areaHeight;
        rect.width = static_cast<int>((tall + pictureHeight / 2) / pictureHeight);
    } else {
        rect.width = areaWidth;
        rect.height = static_cast<int>((wide + pictureWidth / 2) / pictureWidth);
    }
    rect.x = (areaWidth - rect.width) / 2;
    rect.y = (areaHeight - rect.height) / 2;
    return rect;
}
