#include "resources/ImageFile.h"

#include "TestSupport.h"

#include <gtest/gtest.h>
#include <png.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {

testing::AssertionResult contains(const std::string& text, const std::string& part) {
    if (text.find(part) != std::string::npos) return testing::AssertionSuccess();
    return testing::AssertionFailure() << "\"" << text << "\" does not contain \"" << part << "\"";
}

// An image owning its buffer for the test's lifetime; pixel (x, y) in buffer order.
struct TestImage {
    Image image;
    TestImage(int width, int height, int channels) { make_image(image, width, height, channels); }
    TestImage() = default;
    ~TestImage() { delete[] image.pixels; }
    uint8_t* at(int x, int y) {
        return image.pixels + static_cast<size_t>(y) * image.rowBytes + x * image.bytesPerPixel;
    }
};

// Every sample differs, so any misplaced row, pixel or component shows.
void fillPattern(Image& image) {
    for (int i = 0; i < image.rowBytes * image.height; ++i)
        image.pixels[i] = static_cast<uint8_t>(i * 7 + 3);
}

std::vector<uint8_t> bytesOf(const Image& image) {
    return std::vector<uint8_t>(image.pixels, image.pixels + image.rowBytes * image.height);
}

// Writes a PNG with libpng directly, for colour types and depths write_png never makes.
void writeRawPng(const std::string& path, int width, int height, int bitDepth, int colourType,
                 const std::vector<uint8_t>& rows, int rowBytes, bool interlaced = false) {
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, file);
    png_set_IHDR(png, info, width, height, bitDepth, colourType,
                 interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (colourType == PNG_COLOR_TYPE_PALETTE) {
        png_color palette[2] = {{255, 0, 0}, {0, 0, 255}};
        png_set_PLTE(png, info, palette, 2);
    }
    png_write_info(png, info);
    std::vector<png_bytep> pointers(height);
    for (int y = 0; y < height; ++y) pointers[y] = const_cast<uint8_t*>(rows.data()) + y * rowBytes;
    png_write_image(png, pointers.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
}

std::string bigEndian32(uint32_t value) {
    return {char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
}

std::string pngChunk(const char* type, const std::string& data) {
    const std::string body = type + data;
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(body.data()), uInt(body.size()));
    return bigEndian32(uint32_t(data.size())) + body + bigEndian32(uint32_t(crc));
}

// A well-formed RGBA PNG header announcing `width` x `height`, with no pixel data.
std::string pngHeaderOnly(uint32_t width, uint32_t height) {
    const std::string header = bigEndian32(width) + bigEndian32(height) + "\x08\x06" +
                               std::string(3, '\0');
    return "\x89PNG\r\n\x1a\n" + pngChunk("IHDR", header) + pngChunk("IDAT", "") +
           pngChunk("IEND", "");
}

class ImageFileTest : public testing::Test {
protected:
    std::string dir = makeTempDir("image");
    std::string path(const std::string& name) { return dir + "/" + name; }
};

TEST_F(ImageFileTest, PngRoundTripKeepsEveryChannelCount) {
    for (int channels = 1; channels <= 4; ++channels) {
        SCOPED_TRACE(channels);
        TestImage original(5, 3, channels);
        fillPattern(original.image);
        std::string file = path("round" + std::to_string(channels) + ".png");
        ASSERT_TRUE(write_png(file.c_str(), original.image));

        TestImage read;
        ASSERT_EQ(read_png(file.c_str(), read.image, false), 0);
        EXPECT_EQ(read.image.width, 5);
        EXPECT_EQ(read.image.height, 3);
        EXPECT_EQ(read.image.channels, channels);
        EXPECT_EQ(read.image.bytesPerPixel, channels);
        EXPECT_EQ(read.image.rowBytes, 5 * channels);
        EXPECT_EQ(bytesOf(read.image), bytesOf(original.image));
    }
}

TEST_F(ImageFileTest, FlippedPngReadStoresBottomRowFirst) {
    TestImage original(4, 2, 3);
    fillPattern(original.image);
    std::string file = path("flip.png");
    ASSERT_TRUE(write_png(file.c_str(), original.image));

    TestImage read;
    ASSERT_EQ(load_image(file.c_str(), read.image, true), 0);
    EXPECT_EQ(read.image.rowBytes, 12);
    // The file's second row comes first.
    EXPECT_EQ(0, std::memcmp(read.at(0, 0), original.at(0, 1), 12));
    EXPECT_EQ(0, std::memcmp(read.at(0, 1), original.at(0, 0), 12));
}

TEST_F(ImageFileTest, FlipImageMirrorsAndKeepsTheMiddle) {
    TestImage image(3, 3, 2);
    fillPattern(image.image);
    std::vector<uint8_t> before = bytesOf(image.image);
    auto pixelBefore = [&](int x, int y) {
        return std::vector<uint8_t>(before.begin() + y * 6 + x * 2,
                                    before.begin() + y * 6 + x * 2 + 2);
    };
    auto pixelNow = [&](int x, int y) {
        return std::vector<uint8_t>(image.at(x, y), image.at(x, y) + 2);
    };

    flip_image(image.image, true, false);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x) EXPECT_EQ(pixelNow(x, y), pixelBefore(x, 2 - y));
    flip_image(image.image, true, false);
    EXPECT_EQ(bytesOf(image.image), before);

    flip_image(image.image, false, true);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x) EXPECT_EQ(pixelNow(x, y), pixelBefore(2 - x, y));
    flip_image(image.image, false, true);

    flip_image(image.image, true, true);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x) EXPECT_EQ(pixelNow(x, y), pixelBefore(2 - x, 2 - y));
    flip_image(image.image, true, true);

    flip_image(image.image, false, false);
    EXPECT_EQ(bytesOf(image.image), before);

    TestImage even(4, 2, 4);
    fillPattern(even.image);
    std::vector<uint8_t> evenBefore = bytesOf(even.image);
    flip_image(even.image, false, true);
    EXPECT_EQ(0, std::memcmp(even.at(0, 1), evenBefore.data() + 16 + 3 * 4, 4));
    EXPECT_EQ(0, std::memcmp(even.at(1, 1), evenBefore.data() + 16 + 2 * 4, 4));
}

TEST_F(ImageFileTest, JpegGreyAndColourRoundTrip) {
    // Top half bright, bottom half dark: flip must swap them, lossy coding must not.
    for (int channels : {1, 3}) {
        SCOPED_TRACE(channels);
        TestImage original(16, 16, channels);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                for (int c = 0; c < channels; ++c)
                    original.at(x, y)[c] = y < 8 ? static_cast<uint8_t>(200 + 20 * c) : 30;
        std::string file = path("round" + std::to_string(channels) + ".jpg");
        ASSERT_TRUE(write_jpeg(file.c_str(), original.image, 95));

        TestImage read;
        ASSERT_EQ(load_image(file.c_str(), read.image, false), 0);
        EXPECT_EQ(read.image.width, 16);
        EXPECT_EQ(read.image.height, 16);
        EXPECT_EQ(read.image.channels, channels);
        EXPECT_EQ(read.image.rowBytes, 16 * channels);
        for (int c = 0; c < channels; ++c) {
            EXPECT_NEAR(read.at(5, 2)[c], 200 + 20 * c, 6);
            EXPECT_NEAR(read.at(5, 13)[c], 30, 6);
        }

        TestImage flipped;
        ASSERT_EQ(read_jpeg(file.c_str(), flipped.image, true), 0);
        EXPECT_NEAR(flipped.at(5, 13)[0], 200, 6);
        EXPECT_NEAR(flipped.at(5, 2)[0], 30, 6);
    }
}

TEST_F(ImageFileTest, LoadImageChoosesTheReaderByEnding) {
    TestImage original(2, 2, 3);
    fillPattern(original.image);
    std::string png = path("x.png");
    ASSERT_TRUE(write_png(png.c_str(), original.image));
    std::string jpg = path("x.jpg");
    ASSERT_TRUE(write_jpeg(jpg.c_str(), original.image, 90));
    // Same bytes under every accepted name: only the ending picks the reader.
    for (const char* name : {"a.PNG", "b.png"}) {
        writeFileBytes(path(name), readFileBytes(png));
        TestImage read;
        EXPECT_EQ(load_image(path(name).c_str(), read.image, false), 0) << name;
    }
    for (const char* name : {"a.jpeg", "a.JPEG", "a.JPG", "b.jpg"}) {
        writeFileBytes(path(name), readFileBytes(jpg));
        TestImage read;
        EXPECT_EQ(load_image(path(name).c_str(), read.image, false), 0) << name;
    }
    // A PNG named .jpg goes to the JPEG reader, which refuses it.
    writeFileBytes(path("png.jpg"), readFileBytes(png));
    TestImage wrong;
    CaptureStderr();
    EXPECT_EQ(load_image(path("png.jpg").c_str(), wrong.image, false), -1);
    EXPECT_TRUE(contains(GetCapturedStderr(), path("png.jpg")));

    for (const char* name : {"a.Png", "a.bmp", "ng"}) {
        TestImage read;
        std::string full = name[0] == 'n' ? std::string(name) : path(name);
        CaptureStderr();
        EXPECT_EQ(load_image(full.c_str(), read.image, false), -1) << name;
        EXPECT_EQ(GetCapturedStderr(), "couldn't recognize format of " + full + "\n");
        EXPECT_EQ(read.image.pixels, nullptr);
    }
}

TEST_F(ImageFileTest, MissingFilesAreReportedByName) {
    for (const char* name : {"none.png", "none.jpg"}) {
        TestImage read;
        CaptureStderr();
        EXPECT_EQ(load_image(path(name).c_str(), read.image, true), -1);
        EXPECT_EQ(GetCapturedStderr(), "can't open " + path(name) + "\n");
    }
}

TEST_F(ImageFileTest, CorruptOrTruncatedFilesFailWithoutEndingTheProcess) {
    TestImage original(64, 64, 3);
    fillPattern(original.image);
    std::string png = path("good.png");
    std::string jpg = path("good.jpg");
    ASSERT_TRUE(write_png(png.c_str(), original.image));
    ASSERT_TRUE(write_jpeg(jpg.c_str(), original.image, 90));
    std::string pngBytes = readFileBytes(png);
    std::string jpgBytes = readFileBytes(jpg);

    std::string flippedCrc = pngBytes;
    flippedCrc[48] ^= 0x55;  // inside the compressed pixel data
    struct Case {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"half.png", pngBytes.substr(0, pngBytes.size() / 2)},
        {"header.png", pngBytes.substr(0, 20)},
        {"flipped.png", flippedCrc},
        {"text.png", "this is not a picture at all"},
        {"empty.png", ""},
        {"half.jpg", jpgBytes.substr(0, jpgBytes.size() / 2)},
        {"header.jpg", jpgBytes.substr(0, 30)},
        {"text.jpg", "this is not a picture at all"},
        {"empty.jpg", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeFileBytes(path(c.name), c.bytes);
        TestImage read;
        CaptureStderr();
        EXPECT_EQ(load_image(path(c.name).c_str(), read.image, true), -1);
        EXPECT_TRUE(contains(GetCapturedStderr(), path(c.name)));
        EXPECT_EQ(read.image.pixels, nullptr);
    }
}

// Every way out of a read, a success included, leaves no descriptor behind: a missing
// file, a library error part-way through the pixels, a refusal before the size is
// known and one after the decoder has started.
TEST_F(ImageFileTest, ReadsReleaseTheirFileOnEveryWayOut) {
    TestImage original(32, 24, 3);
    fillPattern(original.image);
    ASSERT_TRUE(write_png(path("whole.png").c_str(), original.image));
    ASSERT_TRUE(write_jpeg(path("whole.jpg").c_str(), original.image, 90));
    const std::string pngBytes = readFileBytes(path("whole.png"));
    const std::string jpgBytes = readFileBytes(path("whole.jpg"));
    writeFileBytes(path("cut.png"), pngBytes.substr(0, pngBytes.size() - 30));
    writeFileBytes(path("cut.jpg"), jpgBytes.substr(0, jpgBytes.size() / 2));
    std::vector<uint8_t> indices = {0x40, 0x80};
    writeRawPng(path("palette.png"), 2, 2, 1, PNG_COLOR_TYPE_PALETTE, indices, 1);
    writeFileBytes(path("huge.png"), pngHeaderOnly(60000, 60000));
    std::string huge = jpgBytes;
    const size_t frame = huge.find("\xff\xc0");  // baseline frame header: height, then width
    ASSERT_NE(frame, std::string::npos);
    huge.replace(frame + 5, 4, "\xfd\xe8\xfd\xe8");  // 65000 x 65000
    writeFileBytes(path("huge.jpg"), huge);

    struct Case {
        const char* name;
        int result;
        const char* message;
    } cases[] = {
        {"whole.png", 0, ""},
        {"whole.jpg", 0, ""},
        {"none.png", -1, "can't open"},
        {"none.jpg", -1, "can't open"},
        {"cut.png", -1, "libpng error"},
        {"cut.jpg", -1, "libjpeg error"},
        {"palette.png", 0, ""},
        {"huge.png", -1, "is too large"},
        {"huge.jpg", -1, "is too large"},
    };
    const int before = openDescriptorCount();
    ASSERT_GT(before, 2);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestImage read;
        CaptureStderr();
        EXPECT_EQ(load_image(path(c.name).c_str(), read.image, true), c.result);
        EXPECT_TRUE(contains(GetCapturedStderr(), c.message));
        EXPECT_EQ(read.image.pixels != nullptr, c.result == 0);
        EXPECT_EQ(openDescriptorCount(), before);
    }
}

// What ImageMagick writes for a picture of one or two colours: a 1-bit palette (the
// single-colour texture), 16 bits when asked to keep depth, and a transparency chunk
// on grey and palette pictures instead of an alpha channel.
TEST_F(ImageFileTest, PngFilesAsImageToolsWriteThemAreExpandedToEightBits) {
    const std::string convert = "/usr/bin/convert";  // ImageMagick (package imagemagick)
    // One pixel of a second colour, made transparent.
    auto clearFirstPixel = [](const char* colour) {
        return std::string(" -fill ") + colour + " -draw 'point 0,0' -transparent " + colour;
    };
    const struct {
        const char* name;  // with ImageMagick's format prefix, if any
        std::string arguments;
        int channels;
        std::vector<uint8_t> first, second;  // pixels (0, 0) and (1, 0)
    } cases[] = {
        {"risti.png", "-size 100x60 xc:#3366cc", 3, {0x33, 0x66, 0xcc}, {0x33, 0x66, 0xcc}},
        {"PNG48:deep.png", "-size 4x2 xc:#3366cc -depth 16", 3, {0x33, 0x66, 0xcc},
         {0x33, 0x66, 0xcc}},
        {"grey-trns.png", "-size 4x2 xc:gray40" + clearFirstPixel("gray80"), 2, {204, 0},
         {102, 255}},
        {"palette-trns.png", "-size 4x2 xc:#3366cc" + clearFirstPixel("red"), 4, {255, 0, 0, 0},
         {0x33, 0x66, 0xcc, 0xff}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string name = c.name;
        const size_t prefix = name.find(':');
        const std::string file = path(name.substr(prefix + 1));
        std::string output;
        ASSERT_EQ(runCommand(convert + " " + c.arguments + " " +
                                 name.substr(0, prefix + 1) + file,
                             output),
                  0)
            << output;
        TestImage read;
        CaptureStderr();
        ASSERT_EQ(read_png(file.c_str(), read.image, false), 0) << GetCapturedStderr();
        GetCapturedStderr();
        EXPECT_EQ(read.image.channels, c.channels);
        EXPECT_EQ(read.image.rowBytes, read.image.width * c.channels);
        EXPECT_EQ(std::vector<uint8_t>(read.at(0, 0), read.at(0, 0) + c.channels), c.first);
        EXPECT_EQ(std::vector<uint8_t>(read.at(1, 0), read.at(1, 0) + c.channels), c.second);
    }
}

// A file that decodes whole despite a warning is used, with the warning printed; one
// whose data ends early is still refused.
TEST_F(ImageFileTest, JpegWarningsArePrintedAndOnlyMissingDataIsRefused) {
    TestImage original(16, 16, 3);
    for (int i = 0; i < original.image.rowBytes * 16; ++i) original.image.pixels[i] = 180;
    ASSERT_TRUE(write_jpeg(path("whole.jpg").c_str(), original.image, 90));
    std::string bytes = readFileBytes(path("whole.jpg"));
    const size_t frame = bytes.find("\xff\xc0");
    ASSERT_NE(frame, std::string::npos);
    writeFileBytes(path("stray.jpg"), std::string(bytes).insert(frame, "\x12\x34"));
    writeFileBytes(path("short.jpg"), bytes.substr(0, bytes.size() - 100));
    const struct {
        const char* name;
        int result;
        const char* message;
    } cases[] = {
        {"stray.jpg", 0, "libjpeg warning: "},
        {"short.jpg", -1, "libjpeg error: "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TestImage read;
        CaptureStderr();
        EXPECT_EQ(read_jpeg(path(c.name).c_str(), read.image, false), c.result);
        EXPECT_TRUE(contains(GetCapturedStderr(), c.message + path(c.name) + ": "));
        if (c.result == 0) {
            EXPECT_NEAR(read.at(8, 8)[1], 180, 4);
        }
    }
}

TEST_F(ImageFileTest, InterlacedPngReadsLikeAPlainOne) {
    TestImage original(9, 7, 4);
    fillPattern(original.image);
    writeRawPng(path("adam7.png"), 9, 7, 8, PNG_COLOR_TYPE_RGB_ALPHA, bytesOf(original.image),
                original.image.rowBytes, true);
    TestImage read;
    ASSERT_EQ(read_png(path("adam7.png").c_str(), read.image, true), 0);
    flip_image(read.image, true, false);
    EXPECT_EQ(bytesOf(read.image), bytesOf(original.image));
}

TEST_F(ImageFileTest, LowBitGreyPngWidensToEightBits) {
    std::vector<uint8_t> bits = {0xA0, 0x50};  // rows 1,0,1 and 0,1,0
    writeRawPng(path("bits.png"), 3, 2, 1, PNG_COLOR_TYPE_GRAY, bits, 1);
    TestImage read;
    ASSERT_EQ(read_png(path("bits.png").c_str(), read.image, false), 0);
    EXPECT_EQ(read.image.channels, 1);
    EXPECT_EQ(read.image.rowBytes, 3);
    EXPECT_EQ(bytesOf(read.image), (std::vector<uint8_t>{255, 0, 255, 0, 255, 0}));
}

TEST_F(ImageFileTest, WritersReportWhatTheyCannotWrite) {
    TestImage image(4, 4, 3);
    fillPattern(image.image);
    std::string nowhere = dir + "/no/such/folder/shot0000.png";
    CaptureStderr();
    EXPECT_FALSE(write_png(nowhere.c_str(), image.image));
    EXPECT_EQ(GetCapturedStderr(), "can't open " + nowhere + "\n");
    std::string nowhereJpg = dir + "/no/such/folder/a.jpg";
    CaptureStderr();
    EXPECT_FALSE(write_jpeg(nowhereJpg.c_str(), image.image, 90));
    EXPECT_EQ(GetCapturedStderr(), "can't open " + nowhereJpg + "\n");

    // A full disk shows up when the file is closed; the device itself stays.
    TestImage big(256, 256, 3);
    fillPattern(big.image);
    CaptureStderr();
    EXPECT_FALSE(write_png("/dev/full", big.image));
    EXPECT_TRUE(contains(GetCapturedStderr(), "/dev/full"));
    CaptureStderr();
    EXPECT_FALSE(write_jpeg("/dev/full", big.image, 90));
    EXPECT_TRUE(contains(GetCapturedStderr(), "/dev/full"));
    struct stat device;
    EXPECT_EQ(stat("/dev/full", &device), 0);

    TestImage five(2, 2, 5);
    CaptureStderr();
    EXPECT_FALSE(write_png(path("five.png").c_str(), five.image));
    EXPECT_TRUE(contains(GetCapturedStderr(), "5 channels"));
    EXPECT_TRUE(readFileBytes(path("five.png")).empty());

    TestImage rgba(2, 2, 4);
    CaptureStderr();
    EXPECT_FALSE(write_jpeg(path("rgba.jpg").c_str(), rgba.image, 90));
    EXPECT_TRUE(contains(GetCapturedStderr(), path("rgba.jpg")));
}

using ImageFileDeathTest = ImageFileTest;

// For the child process of the test below: both writers under a 4 KiB file size limit.
// 0 when both failed and left no file, 2 when one claimed success, 3 when a file stayed.
int writeBothUnderASizeLimit(const std::string& png, const std::string& jpg) {
    alarm(60);  // a writer that never returns fails here, not at the suite's limit
    std::signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails instead of ending the child
    const rlimit limit{4096, 4096};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return 4;
    TestImage noise(256, 256, 3);  // incompressible, far above the limit in either format
    uint32_t seed = 1;
    for (int i = 0; i < noise.image.rowBytes * noise.image.height; ++i) {
        seed = seed * 1664525u + 1013904223u;
        noise.image.pixels[i] = uint8_t(seed >> 24);
    }
    if (write_png(png.c_str(), noise.image) || write_jpeg(jpg.c_str(), noise.image, 100))
        return 2;
    struct stat info;
    return stat(png.c_str(), &info) == 0 || stat(jpg.c_str(), &info) == 0 ? 3 : 0;
}

// A plain file that a writer could not finish is removed. The size limit stands in for
// a full disk and holds in the child process only.
TEST_F(ImageFileDeathTest, WritersRemoveAPlainFileTheyCouldNotFinish) {
    EXPECT_EXIT(std::exit(writeBothUnderASizeLimit(path("limited.png"), path("limited.jpg"))),
                testing::ExitedWithCode(0), "limited\\.png(.|\n)*limited\\.jpg");
}

TEST_F(ImageFileTest, MakeImageDescribesItsBuffer) {
    TestImage image(7, 5, 3);
    EXPECT_EQ(image.image.width, 7);
    EXPECT_EQ(image.image.height, 5);
    EXPECT_EQ(image.image.channels, 3);
    EXPECT_EQ(image.image.bytesPerPixel, 3);
    EXPECT_EQ(image.image.rowBytes, 21);
    ASSERT_NE(image.image.pixels, nullptr);
    image.image.pixels[7 * 5 * 3 - 1] = 1;  // the last byte belongs to the buffer
}

}  // namespace
