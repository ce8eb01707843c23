// The whole platform layer: the only code that sees SDL or FFmpeg.
//
// It provides
//   - one window with an OpenGL compatibility context, its events and buffer swap,
//     the picture scaled into whatever size the window's drawable has
//   - the way out: one shutdown that puts the display back and releases the window and
//     the sound device, reached from every exit and from SIGINT, SIGTERM and SIGHUP
//   - virtual-key codes (the Windows numbering the key handlers are written for)
//   - the error message box (its text always on stderr too)
//   - the millisecond wall clock
//   - the music stream: decoded in memory, played through the audio device, and its
//     play position as the demo clock
//   - video clips: frame count, frame duration and frame N decoded on demand
//   - encoders used by the data tool and the offline renderer (MP3, AVI, video files)
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// ---- Window, context, events ------------------------------------------------------

struct PlatformWindowRequest {
    const char* title = "Vornekka";
    int width = 800;
    int height = 600;
    int colourBits = 32;
    bool fullScreen = true;   // try the display mode switch first
    bool desktop = false;     // full screen at the desktop's own size instead, no switch
    bool resizable = false;   // a window the user may resize or maximise
    bool hidden = false;      // no visible window (offline rendering, tests); without a
                              // display it renders offscreen
    bool vsync = true;        // swap interval 1 where the driver offers it
};

enum class PlatformWindowResult {
    Ok,               // window and context exist
    ModeSwitchFailed, // window and context exist, but in a window, not full screen
    Failed            // nothing was created
};

PlatformWindowResult platformOpenWindow(const PlatformWindowRequest& request);
// The picture is always drawn at the requested size. Where the window's drawable has
// another size (a resized window, a full-screen desktop, a high-density screen) it is
// drawn into an off-screen canvas of the requested size, which the swap scales into
// the drawable, aspect kept, between black bars; at the requested size the picture
// goes straight to the window and the swap adds nothing.
void platformSwapBuffers();
// The framebuffer that stands for the window in this frame: 0 or the canvas.
unsigned platformScreenFramebuffer();
// The swap's scaling step on its own: a canvas (its colour texture) into a target
// framebuffer (0: the window) of the given size, black bars included.
void platformPresentScaled(unsigned canvasTexture, int canvasWidth, int canvasHeight,
                           unsigned targetFramebuffer, int targetWidth, int targetHeight);
void platformDrawableSize(int& width, int& height);
// Loads the GL entry points; returns false and fills `error` when they are missing.
bool platformInitGL(std::string& error);

enum class PlatformEventType { None, KeyDown, KeyUp, Close, Resized, Minimized };

struct PlatformEvent {
    PlatformEventType type = PlatformEventType::None;
    int virtualKey = 0;   // KeyDown/KeyUp: Windows virtual-key code, 0 when unmapped
    bool repeat = false;  // KeyDown: auto-repeat of a held key
    int width = 0;        // Resized: the client area as the picture sees it: the
    int height = 0;       // requested size, since the swap scales it to the drawable
};

// Returns false when no event is waiting.
bool platformPollEvent(PlatformEvent& event);

// Virtual-key codes for an SDL key (SDL_Keycode and SDL_Scancode values); 0 when it has
// none. The keypad's digits are navigation keys while Num Lock is off; a key whose
// symbol has no code (a Cyrillic or Greek letter) is read by its position, as on a US
// keyboard.
int platformVirtualKeyFromSdl(int sdlKeycode, int sdlScancode = 0, bool numLock = true);

// ---- The way out ----------------------------------------------------------------------

// SIGINT, SIGTERM and SIGHUP end the process within a second whatever it is doing
// (drawing, loading, waiting on the error box, rendering offline), through the shutdown,
// with status 128 + the signal's number. Call first thing, before any window opens.
void platformHandleSignals();

// Puts the display back into the mode it had before the switch, destroys the window and
// its context and closes the sound device. Runs once; every exit reaches it (it is
// registered with atexit when the window opens), and so does a handled signal.
void platformShutdown();

struct PlatformDisplayMode {
    int width = 0;
    int height = 0;
    int refreshRate = 0;
};
// How the shutdown puts back the mode the display had before the switch; null is SDL's
// own way. A replaceable step, so the path can be followed where modes cannot change.
using DisplayRestorer = void (*)(const PlatformDisplayMode& desktop);
void platformSetDisplayRestorer(DisplayRestorer restorer);

// A file being written that must not outlive an interrupted run looking finished:
// a signal removes it unless platformFileFinished(path) came first. Holds a few at once.
void platformFileUnfinished(const char* path);
void platformFileFinished(const char* path);

// ---- Messages -----------------------------------------------------------------------

// True when a display exists and the run is attended (not CI, not VORNEKKA_UNATTENDED).
bool platformAttended();
// Writes the text to stderr, and where attended also shows a modal box titled "Error".
void platformShowError(const char* text);

// ---- Clock --------------------------------------------------------------------------

// Milliseconds since an arbitrary start, never 0 after the first call.
uint32_t platformMilliseconds();

// A replaceable millisecond source, so the clips can step on a fake clock in tests
// or on the frame clock when rendering offline. Null restores the wall clock.
using MillisecondSource = uint32_t (*)();
void platformSetMillisecondSource(MillisecondSource source);
uint32_t platformClipMilliseconds();

// ---- Music stream -------------------------------------------------------------------

// The play position of the music is the demo clock. When the file cannot be played
// (missing, undecodable, no audio device, muted) the same interface runs on the wall
// clock, so seeking and pausing behave alike. The track is streamed: a thread decodes
// it a little ahead of the play position into a ring that keeps the last seconds too,
// so the decoded track is never held whole. A device that goes away or stops calling
// back leaves the clock running on the wall clock from where it was, silent, until SDL
// reports a device added: the default device then plays on from the clock's position.
class MusicStream {
public:
    // Frames the ring holds by default (about 24 s, 4 MiB): a quarter ahead of the play
    // position, the rest behind it, so seeks back by up to 17 s need no decoding.
    static constexpr int64_t kRingFrames = int64_t(1) << 20;

    explicit MusicStream(int64_t ringFrames = kRingFrames);
    ~MusicStream();

    // Opens the file and decodes its first seconds (44.1 kHz stereo). Reports a failure
    // on stderr and falls back to the silent clock; returns whether the file decoded.
    bool open(const char* path, bool mute);
    void play();
    int positionMs() const;          // smooth, never runs backwards between seeks
    void setPositionMs(int ms);      // negative values are clamped to 0
    void setPaused(bool paused);
    bool paused() const;
    bool audible() const;            // a decoded track plays on a device now
    bool decoded() const;            // the track opened and decoded

    // Copies `count` frames (interleaved stereo S16 at 44.1 kHz) from frame `first` on,
    // as the device hears them, waiting for the decoder, which moves there as on a seek;
    // silence past the end of the track. False when there is no track.
    bool copyFrames(int64_t first, int16_t* out, int64_t count);

private:
    struct State;
    std::unique_ptr<State> state_;
    int64_t ringFrames_;
};

// Opens the music file and starts decoding it on a thread of its own, so that the
// loading steps run meanwhile; the next MusicStream::open of the same path takes it
// over. A second call while one is pending does nothing.
void platformDecodeMusicAhead(const char* path);

// The whole music decoded as MusicStream plays it (interleaved stereo S16 at 44.1 kHz),
// for the offline renderer's muxer: from the bytes the start-up read ahead for `path`
// when it did, else from the file. Returns false and fills `error` when it does not
// decode.
bool platformTakeMusic(const char* path, std::vector<int16_t>& samples, std::string& error);

// Decodes any audio file FFmpeg reads to interleaved S16 at `rate` Hz, `channels`
// channels. Returns false and fills `error` on failure.
bool platformDecodeAudio(const char* path, int rate, int channels,
                         std::vector<int16_t>& samples, std::string& error);

// ---- Video clips ----------------------------------------------------------------------

class VideoDecoder {
public:
    VideoDecoder();
    ~VideoDecoder();

    // Returns false and fills `error` when the file has no decodable video stream.
    bool open(const char* path, std::string& error);
    bool isOpen() const;
    int frameCount() const;        // frames in the stream
    int frameDurationMs() const;   // whole milliseconds, truncated
    int width() const;
    int height() const;
    // Decodes frame `index` and scales it to dstWidth x dstHeight, 24-bit BGR, bottom
    // row first, rows padded to 4 bytes. Seeks only when index is not the next frame.
    bool decodeFrame(int index, uint8_t* bgr, int dstWidth, int dstHeight);

private:
    struct State;
    std::unique_ptr<State> state_;
};

// ---- Encoders -------------------------------------------------------------------------

// Interleaved stereo S16 at 44.1 kHz to an MP3 file (libmp3lame).
bool platformEncodeMp3(const char* path, const std::vector<int16_t>& stereo, int kbps,
                       std::string& error);

// Writes an AVI clip frame by frame (MJPEG). Frames are RGB24, top row first.
class AviWriter {
public:
    AviWriter();
    ~AviWriter();
    bool open(const char* path, int width, int height, int fps, std::string& error);
    // The same for a fractional rate of rateNum / rateDen frames per second (NTSC's
    // 30000 / 1001).
    bool open(const char* path, int width, int height, int rateNum, int rateDen,
              std::string& error);
    // False after a failure; close() then reports it.
    bool writeFrame(const uint8_t* rgb);
    bool close(std::string& error);

private:
    struct State;
    std::unique_ptr<State> state_;
};

// How a movie is encoded, and the stretch of the production it holds.
struct MovieOptions {
    int crf = 18;              // H.264 quality: 0 lossless, 18 visually clean, 51 worst
    double fromSeconds = -1;   // demo time of the first frame, kept in the file's tags so
                               // that parts can be joined; negative: not kept
};

// Writes a movie with its music (the offline renderer's output): H.264 video (MPEG-4
// part 2 where FFmpeg lacks libx264), yuv420p at level 5.2 (up to 3840 x 2160 at 60 fps),
// and AAC audio, in MP4 or Matroska as the file name's extension says. Frames are RGB24, top row first, at a fixed rate; encoding
// runs on a thread of its own, so writeFrame copies the picture and returns while the
// caller renders the next one. The audio track lasts exactly as long as the video.
class MovieWriter {
public:
    MovieWriter();
    ~MovieWriter();
    // `music`: interleaved stereo S16 at 44.1 kHz (empty: no audio track); it must stay
    // alive until close(). `musicStartMs`: the music position shown by the first frame.
    bool open(const char* path, int width, int height, int fps,
              const std::vector<int16_t>& music, int musicStartMs, std::string& error,
              const MovieOptions& options = MovieOptions());
    // The same with the music decoded from a file.
    bool open(const char* path, int width, int height, int fps, const char* musicPath,
              int musicStartMs, std::string& error,
              const MovieOptions& options = MovieOptions());
    // False after a failure; close() then reports it. `bottomUp`: rows bottom first.
    bool writeFrame(const uint8_t* rgb, bool bottomUp = false);
    // Finishes the file; reports the first failure of the whole run.
    bool close(std::string& error);
    int framesWritten() const;

private:
    bool start(const char* path, int width, int height, int fps,
               std::vector<int16_t> ownedMusic, const std::vector<int16_t>* music,
               int musicStartMs, const MovieOptions& options, std::string& error);
    struct State;
    std::unique_ptr<State> state_;
};

// Joins movies that MovieWriter wrote for adjoining stretches (each part starts where
// the one before it ends, on the same frame grid, at the same size and rate, with the
// same encoder settings) into `output`: the video packets copied as they are with their
// times moved on, and `music` (interleaved stereo S16 at 44.1 kHz; empty: no audio
// track) encoded once for the whole stretch. Anything else is refused with the part's
// name and the reason; the output is then not left behind. `frames`: frames joined.
bool platformJoinMovies(const char* output, const std::vector<const char*>& parts,
                        const std::vector<int16_t>& music, int64_t& frames,
                        std::string& error);
