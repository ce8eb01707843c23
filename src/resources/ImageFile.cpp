// Image files over libpng and libjpeg. Both libraries report errors by longjmp. A reader
// arms its jump buffer in a function that owns nothing and holds no C++ objects; the
// file, the library's structs and the pixels belong to owners in its caller, so a jump,
// an early return and a failed allocation all release them. The writers, which must
// see whether fclose succeeds, close by hand on each path.
#include "resources/ImageFile.h"
#include "platform/Platform.h"

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>

#include <jpeglib.h>
#include <jerror.h>
#include <png.h>
#include <sys/stat.h>

namespace {

// Largest pixel buffer a reader will allocate; a larger header is treated as corrupt.
constexpr size_t kMaxImageBytes = size_t(1) << 30;

bool sizeAcceptable(const char* path, size_t width, size_t height, size_t channels) {
    if (width == 0 || height == 0 || channels == 0) {
        std::fprintf(stderr, "%s: empty image\n", path);
        return false;
    }
    if (width * channels > kMaxImageBytes / height) {
        std::fprintf(stderr, "%s: image of %zu x %zu is too large\n", path, width, height);
        return false;
    }
    return true;
}

// The size a reader found; its pixels stay with the caller's owner until
// takePicture hands them over.
struct PictureSize {
    size_t width = 0;
    size_t height = 0;
    size_t channels = 0;
    size_t rowBytes = 0;
};

// The picture a reader decoded, handed to the caller's Image.
void takePicture(Image& image, const PictureSize& size, std::unique_ptr<uint8_t[]>& pixels) {
    image.width = static_cast<int>(size.width);
    image.height = static_cast<int>(size.height);
    image.channels = static_cast<int>(size.channels);
    image.bytesPerPixel = static_cast<int>(size.channels);
    image.rowBytes = static_cast<int>(size.rowBytes);
    image.pixels = pixels.release();
}

// A failed writer leaves no cut-off file behind; device nodes and links that were
// written through (/dev/full, say) are never removed.
void removePartialFile(const char* path) {
    struct stat info;
    if (lstat(path, &info) == 0 && S_ISREG(info.st_mode)) std::remove(path);
}

bool endsWith(const char* text, size_t length, const char* ending) {
    return std::memcmp(text + length - 3, ending, 3) == 0;
}

// ---- libpng ---------------------------------------------------------------------------

struct PngErrorContext {
    const char* path;
};

[[noreturn]] void pngError(png_structp png, png_const_charp message) {
    auto* context = static_cast<PngErrorContext*>(png_get_error_ptr(png));
    std::fprintf(stderr, "libpng error: %s: %s\n", context->path, message);
    png_longjmp(png, 1);
}

void pngWarning(png_structp png, png_const_charp message) {
    auto* context = static_cast<PngErrorContext*>(png_get_error_ptr(png));
    std::fprintf(stderr, "libpng warning: %s: %s\n", context->path, message);
}

// The read struct and its info struct, destroyed together; either may still be null.
struct PngReadStructs {
    png_structp png = nullptr;
    png_infop info = nullptr;
    PngReadStructs() = default;
    PngReadStructs(const PngReadStructs&) = delete;
    PngReadStructs& operator=(const PngReadStructs&) = delete;
    ~PngReadStructs() { png_destroy_read_struct(&png, &info, nullptr); }
};

// The part of read_png that libpng may jump out of. Nothing here needs releasing: what
// it allocates goes straight into the caller's owners.
bool decodePng(png_structp png, png_infop info, FILE* file, const char* path, bool flip,
               std::unique_ptr<uint8_t[]>& pixels, std::unique_ptr<png_bytep[]>& rows,
               PictureSize& size) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_init_io(png, file);
    png_read_info(png, info);

    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    // Image tools write palettes for pictures of few colours, 16 bits where the source
    // had them, and a transparency chunk instead of an alpha channel: every one of them
    // arrives as 8-bit grey, grey+alpha, RGB or RGBA.
    const int bitDepth = png_get_bit_depth(png, info);
    if (png_get_color_type(png, info) == PNG_COLOR_TYPE_PALETTE)
        png_set_palette_to_rgb(png);
    else if (bitDepth < 8)
        png_set_expand_gray_1_2_4_to_8(png);
    if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
    if (bitDepth == 16) png_set_scale_16(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);

    const int channels = png_get_channels(png, info);
    const size_t rowBytes = png_get_rowbytes(png, info);
    if (!sizeAcceptable(path, width, height, static_cast<size_t>(channels)) ||
        rowBytes != size_t(width) * channels)
        return false;

    pixels.reset(new uint8_t[rowBytes * height]);
    rows.reset(new png_bytep[height]);
    for (png_uint_32 i = 0; i < height; ++i)
        rows[i] = pixels.get() + rowBytes * (flip ? height - 1 - i : i);
    png_read_image(png, rows.get());
    png_read_end(png, nullptr);
    size = PictureSize{width, height, static_cast<size_t>(channels), rowBytes};
    return true;
}

// ---- libjpeg --------------------------------------------------------------------------

struct JpegErrorContext {
    jpeg_error_mgr manager;  // first member: libjpeg hands back this address
    jmp_buf jump;
    const char* path;
};

void jpegOutputMessage(j_common_ptr info) {
    auto* context = reinterpret_cast<JpegErrorContext*>(info->err);
    char text[JMSG_LENGTH_MAX];
    (*info->err->format_message)(info, text);
    std::fprintf(stderr, "libjpeg error: %s: %s\n", context->path, text);
}

[[noreturn]] void jpegErrorExit(j_common_ptr info) {
    (*info->err->output_message)(info);
    std::longjmp(reinterpret_cast<JpegErrorContext*>(info->err)->jump, 1);
}

// A warning about data that is missing (a cut-off file decodes its missing part as
// grey) fails the read like an error; any other (stray bytes between segments, say)
// leaves a whole picture, so it is printed and the picture used. Trace messages
// (level > 0) stay silent.
void jpegEmitMessage(j_common_ptr info, int level) {
    if (level >= 0) return;
    const int code = info->err->msg_code;
    if (code == JWRN_JPEG_EOF || code == JWRN_HIT_MARKER) jpegErrorExit(info);
    auto* context = reinterpret_cast<JpegErrorContext*>(info->err);
    char text[JMSG_LENGTH_MAX];
    (*info->err->format_message)(info, text);
    std::fprintf(stderr, "libjpeg warning: %s: %s\n", context->path, text);
}

void installJpegErrors(JpegErrorContext& context, const char* path) {
    jpeg_std_error(&context.manager);
    context.manager.error_exit = jpegErrorExit;
    context.manager.output_message = jpegOutputMessage;
    context.manager.emit_message = jpegEmitMessage;
    context.path = path;
}

// The part of read_jpeg that libjpeg may jump out of; like decodePng it owns nothing.
bool decodeJpeg(jpeg_decompress_struct& info, JpegErrorContext& context, FILE* file,
                const char* path, bool flip, std::unique_ptr<uint8_t[]>& pixels,
                PictureSize& size) {
    if (setjmp(context.jump)) return false;
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, file);
    jpeg_read_header(&info, TRUE);
    if (info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK) {
        std::fprintf(stderr, "%s: CMYK JPEG files are not supported\n", path);
        return false;
    }
    info.out_color_space = info.num_components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_start_decompress(&info);

    const size_t width = info.output_width;
    const size_t height = info.output_height;
    const size_t channels = static_cast<size_t>(info.output_components);
    if (!sizeAcceptable(path, width, height, channels)) return false;
    const size_t rowBytes = width * channels;
    pixels.reset(new uint8_t[rowBytes * height]);
    while (info.output_scanline < info.output_height) {
        size_t line = info.output_scanline;
        JSAMPROW row = pixels.get() + rowBytes * (flip ? height - 1 - line : line);
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    size = PictureSize{width, height, channels, rowBytes};
    return true;
}

}  // namespace

int load_image(const char* path, Image& image, bool flip) {
    size_t length = path ? std::strlen(path) : 0;
    if (length >= 3) {
        if (endsWith(path, length, "png") || endsWith(path, length, "PNG"))
            return read_png(path, image, flip);
        if (endsWith(path, length, "jpg") || endsWith(path, length, "peg") ||
            endsWith(path, length, "JPG") || endsWith(path, length, "PEG"))
            return read_jpeg(path, image, flip);
    }
    std::fprintf(stderr, "couldn't recognize format of %s\n", path ? path : "(null)");
    return -1;
}

int read_png(const char* path, Image& image, bool flip) {
    const std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path, "rb"), &std::fclose);
    if (!file) {
        std::fprintf(stderr, "can't open %s\n", path);
        return -1;
    }
    PngErrorContext context{path};
    PngReadStructs structs;
    structs.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &context, pngError, pngWarning);
    if (!structs.png) return -1;
    structs.info = png_create_info_struct(structs.png);
    if (!structs.info) return -1;
    std::unique_ptr<uint8_t[]> pixels;
    std::unique_ptr<png_bytep[]> rows;
    PictureSize size;
    if (!decodePng(structs.png, structs.info, file.get(), path, flip, pixels, rows, size))
        return -1;
    takePicture(image, size, pixels);
    return 0;
}

int read_jpeg(const char* path, Image& image, bool flip) {
    const std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path, "rb"), &std::fclose);
    if (!file) {
        std::fprintf(stderr, "can't open %s\n", path);
        return -1;
    }
    JpegErrorContext context;
    // Zeroed, so destroying it is safe however far jpeg_create_decompress got.
    jpeg_decompress_struct info{};
    info.err = &context.manager;
    installJpegErrors(context, path);
    const std::unique_ptr<jpeg_decompress_struct, void (*)(j_decompress_ptr)> destroy(
        &info, &jpeg_destroy_decompress);
    std::unique_ptr<uint8_t[]> pixels;
    PictureSize size;
    if (!decodeJpeg(info, context, file.get(), path, flip, pixels, size)) return -1;
    takePicture(image, size, pixels);
    return 0;
}

void flip_image(Image& image, bool vertical, bool horizontal) {
    if (!image.pixels) return;
    if (vertical) {
        for (int i = 0; i < image.height / 2; ++i) {
            uint8_t* top = image.pixels + static_cast<size_t>(i) * image.rowBytes;
            uint8_t* bottom =
                image.pixels + static_cast<size_t>(image.height - 1 - i) * image.rowBytes;
            std::swap_ranges(top, top + image.rowBytes, bottom);
        }
    }
    if (horizontal) {
        const int bpp = image.bytesPerPixel;
        for (int y = 0; y < image.height; ++y) {
            uint8_t* row = image.pixels + static_cast<size_t>(y) * image.rowBytes;
            for (int j = 0; j < image.width / 2; ++j) {
                uint8_t* left = row + static_cast<size_t>(j) * bpp;
                uint8_t* right = row + static_cast<size_t>(image.width - 1 - j) * bpp;
                std::swap_ranges(left, left + bpp, right);
            }
        }
    }
}

void make_image(Image& image, int width, int height, int channels) {
    image.width = width;
    image.height = height;
    image.channels = channels;
    image.bytesPerPixel = channels;
    image.rowBytes = width * channels;
    image.pixels = new uint8_t[static_cast<size_t>(image.rowBytes) * height];
}

bool write_png(const char* path, Image image) {
    static const int kColourTypes[] = {PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA,
                                       PNG_COLOR_TYPE_RGB, PNG_COLOR_TYPE_RGB_ALPHA};
    if (image.channels < 1 || image.channels > 4 || !image.pixels || image.width <= 0 ||
        image.height <= 0 || image.rowBytes < image.width * image.channels) {
        std::fprintf(stderr, "write_png: %s: cannot write a %d x %d image of %d channels\n", path,
                     image.width, image.height, image.channels);
        return false;
    }
    FILE* file = std::fopen(path, "wb");
    if (!file) {
        std::fprintf(stderr, "can't open %s\n", path);
        return false;
    }
    // A run interrupted while the rows go out must not leave a picture cut short.
    platformFileUnfinished(path);
    PngErrorContext context{path};
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, &context, pngError, pngWarning);
    if (!png) {
        std::fprintf(stderr, "write_png: Error creating write struct\n");
        std::fclose(file);
        removePartialFile(path);
        platformFileFinished(path);
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (!info) {
        std::fclose(file);
        removePartialFile(path);
        platformFileFinished(path);
        png_destroy_write_struct(&png, nullptr);
        std::fprintf(stderr, "write_png: Error creating info struct\n");
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        std::fclose(file);
        removePartialFile(path);
        platformFileFinished(path);
        png_destroy_write_struct(&png, &info);
        std::fprintf(stderr, "write_png: Error 3\n");
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width),
                 static_cast<png_uint_32>(image.height), 8, kColourTypes[image.channels - 1],
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < image.height; ++y)
        png_write_row(png, image.pixels + static_cast<size_t>(y) * image.rowBytes);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    // Buffered data reaches the disk only here: a full disk shows up as a failed close.
    if (std::fclose(file) != 0) {
        std::fprintf(stderr, "write_png: %s: %s\n", path, std::strerror(errno));
        removePartialFile(path);
        platformFileFinished(path);
        return false;
    }
    platformFileFinished(path);
    return true;
}

bool write_jpeg(const char* path, const Image& image, int quality) {
    if ((image.channels != 1 && image.channels != 3) || !image.pixels || image.width <= 0 ||
        image.height <= 0 || image.rowBytes < image.width * image.channels) {
        std::fprintf(stderr, "write_jpeg: %s: cannot write a %d x %d image of %d channels\n",
                     path, image.width, image.height, image.channels);
        return false;
    }
    FILE* file = std::fopen(path, "wb");
    if (!file) {
        std::fprintf(stderr, "can't open %s\n", path);
        return false;
    }
    JpegErrorContext context;
    jpeg_compress_struct info;
    info.err = &context.manager;
    installJpegErrors(context, path);
    if (setjmp(context.jump)) {
        jpeg_destroy_compress(&info);
        std::fclose(file);
        removePartialFile(path);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = static_cast<JDIMENSION>(image.width);
    info.image_height = static_cast<JDIMENSION>(image.height);
    info.input_components = image.channels;
    info.in_color_space = image.channels == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, std::clamp(quality, 1, 100), TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = image.pixels + static_cast<size_t>(info.next_scanline) * image.rowBytes;
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    if (std::fclose(file) != 0) {
        std::fprintf(stderr, "write_jpeg: %s: %s\n", path, std::strerror(errno));
        removePartialFile(path);
        return false;
    }
    return true;
}
