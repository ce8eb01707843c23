// The production's own 5 x 7 pixel font (upper and lower case, digits, a little
// punctuation), drawn by hand for the loading picture and the scrolled lettering.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr int kGlyphWidth = 5;
constexpr int kGlyphHeight = 7;
constexpr int kGlyphAdvance = 6;  // one blank column between letters

// Lettering as a mask: 1 where a font pixel is set, `scale` x `scale` pixels per font
// pixel, top row first. Characters the font lacks end the tool (a data bug, not input).
struct TextMask {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> bits;

    bool at(int x, int y) const { return bits[static_cast<size_t>(y) * width + x] != 0; }
};

TextMask renderText(const std::string& text, int scale);
bool fontHasGlyph(char c);
