// Seed files for the fuzz targets and the bad-input tests: tiny clips and pictures in
// every layout the readers meet, small enough for thousands of runs a second. The
// readers' inputs from the data folder itself (models, materials) are copied by
// fuzz/make-seeds.sh.
#include "DataSet.h"
#include "platform/Platform.h"
#include "resources/ImageFile.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <vector>

namespace {

// A small test card: colour bars that move by one column a frame, so frames differ.
std::vector<uint8_t> testCard(int width, int height, int channels, int frame) {
    static const uint8_t kBars[7][3] = {{235, 235, 235}, {235, 235, 16}, {16, 235, 235},
                                        {16, 235, 16},   {235, 16, 235}, {235, 16, 16},
                                        {16, 16, 235}};
    std::vector<uint8_t> pixels(size_t(width) * height * channels);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const uint8_t* bar = kBars[((x + frame) * 7 / width) % 7];
            uint8_t* p = &pixels[(size_t(y) * width + x) * channels];
            const uint8_t shade = static_cast<uint8_t>(y * 255 / std::max(1, height - 1));
            switch (channels) {
            case 1: p[0] = bar[1]; break;
            case 2: p[0] = bar[1]; p[1] = shade; break;
            default:
                p[0] = bar[0], p[1] = bar[1], p[2] = bar[2];
                if (channels == 4) p[3] = shade;
            }
        }
    }
    return pixels;
}

bool writeClip(const std::string& path, int width, int height, int rateNum, int rateDen,
               int frames, std::string& error) {
    AviWriter writer;
    if (!writer.open(path.c_str(), width, height, rateNum, rateDen, error)) return false;
    for (int i = 0; i < frames; ++i) writer.writeFrame(testCard(width, height, 3, i).data());
    return writer.close(error);
}

bool writePicture(const std::string& path, int width, int height, int channels, bool jpeg,
                  std::string& error) {
    std::vector<uint8_t> pixels = testCard(width, height, channels, 0);
    Image image;
    image.width = width;
    image.height = height;
    image.channels = image.bytesPerPixel = channels;
    image.rowBytes = width * channels;
    image.pixels = pixels.data();
    const bool written = jpeg ? write_jpeg(path.c_str(), image, 75) : write_png(path.c_str(), image);
    if (!written) error = "cannot write " + path;
    return written;
}

void putU32(std::vector<uint8_t>& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}
void putU16(std::vector<uint8_t>& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}
void putTag(std::vector<uint8_t>& out, const char* tag) { out.insert(out.end(), tag, tag + 4); }

// Opens a chunk (or a LIST / RIFF of `form`) and returns where its size goes.
size_t openChunk(std::vector<uint8_t>& out, const char* tag, const char* form = nullptr) {
    putTag(out, tag);
    const size_t at = out.size();
    putU32(out, 0);
    if (form) putTag(out, form);
    return at;
}
void closeChunk(std::vector<uint8_t>& out, size_t at) {
    const uint32_t size = static_cast<uint32_t>(out.size() - at - 4);
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(size >> (8 * i));
    if (out.size() % 2) out.push_back(0);
}

// An AVI whose only stream is a tenth of a second of 16-bit mono PCM: our writer makes
// video only, so the RIFF chunks are laid out here by hand.
std::vector<uint8_t> audioOnlyAvi() {
    const uint32_t rate = 8000, samples = 800;
    std::vector<uint8_t> avi;
    const size_t riff = openChunk(avi, "RIFF", "AVI ");
    const size_t hdrl = openChunk(avi, "LIST", "hdrl");
    const size_t avih = openChunk(avi, "avih");
    const uint32_t header[14] = {0, rate * 2, 0, 0x10 /* has index */, 0, 0, 1 /* stream */,
                                 rate * 2, 0, 0, 0, 0, 0, 0};
    for (uint32_t value : header) putU32(avi, value);
    closeChunk(avi, avih);
    const size_t strl = openChunk(avi, "LIST", "strl");
    const size_t strh = openChunk(avi, "strh");
    putTag(avi, "auds");
    putU32(avi, 0);                // handler
    putU32(avi, 0);                // flags
    putU32(avi, 0);                // priority and language
    putU32(avi, 0);                // initial frames
    putU32(avi, 2);                // scale: bytes per block
    putU32(avi, rate * 2);         // rate: bytes per second
    putU32(avi, 0);                // start
    putU32(avi, samples);          // length in blocks
    putU32(avi, samples * 2);      // suggested buffer size
    putU32(avi, 0xFFFFFFFFu);      // quality
    putU32(avi, 2);                // sample size
    putU32(avi, 0), putU32(avi, 0);  // frame rectangle
    closeChunk(avi, strh);
    const size_t strf = openChunk(avi, "strf");
    putU16(avi, 1);  // PCM
    putU16(avi, 1);  // mono
    putU32(avi, rate);
    putU32(avi, rate * 2);
    putU16(avi, 2);   // block align
    putU16(avi, 16);  // bits per sample
    closeChunk(avi, strf);
    closeChunk(avi, strl);
    closeChunk(avi, hdrl);
    const size_t movi = openChunk(avi, "LIST", "movi");
    const size_t audio = openChunk(avi, "00wb");
    for (uint32_t i = 0; i < samples; ++i) putU16(avi, static_cast<uint16_t>((i % 40) * 800));
    closeChunk(avi, audio);
    closeChunk(avi, movi);
    const size_t index = openChunk(avi, "idx1");
    putTag(avi, "00wb");
    putU32(avi, 0x10);                                        // key frame
    putU32(avi, static_cast<uint32_t>(audio - movi - 4 - 4));  // from the 'movi' tag
    putU32(avi, samples * 2);
    closeChunk(avi, index);
    closeChunk(avi, riff);
    return avi;
}

}  // namespace

bool makeFuzzSeeds(const std::string& dir, std::string& error) {
    std::error_code failure;
    for (const char* kind : {"clip", "png", "jpeg"}) {
        std::filesystem::create_directories(std::filesystem::path(dir) / kind, failure);
        if (failure) {
            error = "cannot create " + dir + "/" + kind + ": " + failure.message();
            return false;
        }
    }
    const std::vector<uint8_t> audio = audioOnlyAvi();
    return writeClip(dir + "/clip/mjpeg.avi", 16, 16, 10, 1, 3, error) &&
           writeClip(dir + "/clip/one-frame.avi", 8, 8, 25, 1, 1, error) &&
           writeClip(dir + "/clip/ntsc.avi", 16, 8, 30000, 1001, 2, error) &&
           writeWholeFile(dir + "/clip/audio-only.avi", audio.data(), audio.size(), error) &&
           writePicture(dir + "/png/grey.png", 3, 5, 1, false, error) &&
           writePicture(dir + "/png/grey-alpha.png", 3, 5, 2, false, error) &&
           writePicture(dir + "/png/rgb.png", 5, 3, 3, false, error) &&
           writePicture(dir + "/png/rgba.png", 3, 5, 4, false, error) &&
           writePicture(dir + "/jpeg/grey.jpg", 5, 3, 1, true, error) &&
           writePicture(dir + "/jpeg/colour.jpg", 5, 3, 3, true, error);
}
