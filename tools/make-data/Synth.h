// A small synthesizer and sequencer for the soundtrack: instruments render single
// notes into a mono track, tracks carry their notes, level, pan and echo, and the mix
// adds the tracks into interleaved stereo. Times are in seconds, pitches in MIDI notes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

constexpr int kSampleRate = 44100;

struct Note {
    double time = 0;      // start, seconds from the beginning of the track
    double length = 0;    // held for this long, seconds; the instrument adds its release
    float pitch = 0;      // MIDI note number (69 = 440 Hz); ignored by the drums
    float velocity = 1;   // 0..1
};

class Instrument {
public:
    virtual ~Instrument() = default;
    // Seconds the sound goes on after the note's length has passed.
    virtual double release() const = 0;
    // Adds the note into `out`, whose first sample is the note's start; `frames` is room.
    virtual void play(const Note& note, float* out, size_t frames) const = 0;
};

struct Echo {
    double delay = 0;      // seconds between repeats; 0 = no echo
    float feedback = 0;    // level of each repeat relative to the one before
    float level = 0;       // level of the echoes against the dry sound
};

struct Track {
    std::shared_ptr<const Instrument> instrument;
    std::vector<Note> notes;
    float gain = 1;
    float pan = 0;         // -1 left .. +1 right
    float width = 0;       // 0..1: delays the right side a little for a wider sound
    Echo echo;
};

// Renders `tracks` into `seconds` of interleaved stereo float samples.
std::vector<float> mixTracks(const std::vector<Track>& tracks, double seconds);

// Converts to 16 bits after scaling the loudest sample to `peak` (below 1, so that
// nothing clips, also after lossy encoding).
std::vector<int16_t> toPcm16(std::vector<float>& stereo, float peak);

float midiToHz(float pitch);

// The instruments of the soundtrack.
std::shared_ptr<const Instrument> makeKick();
std::shared_ptr<const Instrument> makeSnare();
std::shared_ptr<const Instrument> makeHiHat();     // notes longer than 0.2 s ring open
std::shared_ptr<const Instrument> makeBass();
std::shared_ptr<const Instrument> makePad();
std::shared_ptr<const Instrument> makeLead();
std::shared_ptr<const Instrument> makePluck();
