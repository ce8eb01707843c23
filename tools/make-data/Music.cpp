// sorvan.mp3: the soundtrack. 126 beats per minute on a grid anchored at 11.841 s;
// a quiet intro before the grid, sections that change with the scenes, and a fade to
// silence well before the demo's end at 159 s.
#include "DataSet.h"
#include "Synth.h"
#include "platform/Platform.h"

#include <cmath>

namespace {

constexpr double kBeatZero = 11.841;           // the first beat of the grid, seconds
constexpr double kBeat = 60.0 / 126.0;         // seconds per beat
constexpr double kLength = 161.0;              // seconds of audio written
constexpr double kFadeStartBeat = 284;         // about 147.1 s
constexpr double kFadeEndBeat = 300;           // about 154.7 s: silent from here on
constexpr float kPeak = 0.85f;                 // loudest sample, of full scale

double beatTime(double beat) { return kBeatZero + beat * kBeat; }

struct Chord {
    int bass;      // MIDI note of the bass
    int tones[3];  // MIDI notes of the pad
};

const Chord kAm = {45, {57, 60, 64}};
const Chord kF = {41, {57, 60, 65}};
const Chord kC = {36, {55, 60, 64}};
const Chord kG = {43, {55, 59, 62}};
const Chord kEm = {40, {55, 59, 64}};

const Chord* const kVerse[4] = {&kAm, &kF, &kC, &kG};
const Chord* const kBridge[4] = {&kF, &kG, &kEm, &kAm};

struct Phrase {  // one note of a four-bar melody
    double beat;
    double length;
    int pitch;
};

const Phrase kMelodyA[] = {
    {0, 1, 76},  {1, 0.5, 72}, {1.5, 0.5, 74}, {2, 1, 76},  {3, 1, 81},
    {4, 1.5, 81}, {5.5, 0.5, 79}, {6, 1, 77},  {7, 1, 76},
    {8, 1, 79},  {9, 0.5, 76}, {9.5, 0.5, 74}, {10, 1, 72}, {11, 1, 76},
    {12, 2, 74}, {14, 1, 71},  {15, 1, 74},
};
const Phrase kMelodyB[] = {
    {0, 3, 81},  {3, 1, 84},  {4, 2, 83}, {6, 2, 86},
    {8, 3, 79},  {11, 1, 83}, {12, 4, 81},
};

// What plays in one stretch of the grid; beats are counted from kBeatZero.
struct Section {
    double from, to;
    const Chord* const* chords;
    bool kick, snare, busyHats, bass, arp;
    const Phrase* melody;
    size_t melodyLength;
    float padLevel;
};

template <size_t N>
constexpr size_t countOf(const Phrase (&)[N]) { return N; }

// Boundaries on the beats nearest the scene changes at 26.92, 57.841, 73.048, 87.87,
// 103.38 and 126.89 s.
const Section kSections[] = {
    {-24, 0, kVerse, false, false, false, false, true, nullptr, 0, 0.45f},
    {0, 32, kVerse, true, false, false, true, false, nullptr, 0, 0.8f},
    {32, 97, kVerse, true, true, true, true, false, kMelodyA, countOf(kMelodyA), 0.8f},
    {97, 129, kBridge, false, false, false, false, true, kMelodyB, countOf(kMelodyB), 1.0f},
    {129, 160, kVerse, true, true, true, true, true, nullptr, 0, 0.7f},
    {160, 192, kVerse, true, true, true, true, true, kMelodyA, countOf(kMelodyA), 0.8f},
    {192, 242, kBridge, true, false, true, true, false, kMelodyB, countOf(kMelodyB), 0.9f},
    {242, kFadeEndBeat, kVerse, true, true, true, true, true, kMelodyA, countOf(kMelodyA), 0.9f},
};

struct Band {
    Track kick, snare, hats, bass, pad, lead, arp;
};

void addNote(Track& track, double beat, double beats, float pitch, float velocity) {
    track.notes.push_back({beatTime(beat), beats * kBeat, pitch, velocity});
}

void playSection(const Section& s, Band& band) {
    const bool intro = s.from < 0;
    for (double bar = s.from; bar < s.to; bar += 4) {
        const int barIndex = static_cast<int>((bar - s.from) / 4);
        const Chord& chord = *s.chords[barIndex % 4];
        const bool lastBar = bar + 4 >= s.to;
        for (int tone : chord.tones) {
            addNote(band.pad, bar, 4, static_cast<float>(tone), 0.5f * s.padLevel);
        }
        for (int beat = 0; beat < 4 && bar + beat < s.to; ++beat) {
            const double b = bar + beat;
            if (s.kick) addNote(band.kick, b, 0.5, 0, 1.0f);
            if (s.snare && (beat == 1 || beat == 3)) addNote(band.snare, b, 0.5, 0, 0.8f);
            if (s.kick || s.busyHats) addNote(band.hats, b + 0.5, beat == 3 ? 0.5 : 0.1, 0, 0.7f);
            if (s.busyHats) {
                addNote(band.hats, b + 0.25, 0.1, 0, 0.3f);
                addNote(band.hats, b + 0.75, 0.1, 0, 0.35f);
            }
            if (s.bass) {
                addNote(band.bass, b + 0.5, 0.4, static_cast<float>(chord.bass), 0.9f);
                if (beat == 3) addNote(band.bass, b + 0.75, 0.2, chord.bass + 12.0f, 0.6f);
            }
            // A rising snare roll announces the next section.
            if (s.snare && lastBar && beat >= 2) {
                for (int q = 0; q < 4; ++q) {
                    const int step = (beat - 2) * 4 + q;  // 0..7 over the last two beats
                    addNote(band.snare, b + q * 0.25, 0.2, 0, 0.3f + 0.07f * step);
                }
            }
        }
        if (s.arp && !(intro && bar < s.from + 8)) {
            const float level = intro ? 0.35f : 0.8f;
            for (int step = 0; step < 16; ++step) {
                const double b = bar + step * 0.25;
                if (b >= s.to) break;
                const int tone = chord.tones[(step * 2 + step / 4) % 3] + 12;
                addNote(band.arp, b, 0.2, static_cast<float>(tone), level * (step % 4 == 0 ? 1.0f : 0.7f));
            }
        }
        if (s.melody) {
            const double phraseStart = s.from + 16.0 * ((barIndex / 4) * 1.0);
            if (bar == phraseStart) {
                for (size_t i = 0; i < s.melodyLength; ++i) {
                    const Phrase& p = s.melody[i];
                    if (bar + p.beat >= s.to) break;
                    addNote(band.lead, bar + p.beat, std::min(p.length, s.to - bar - p.beat) * 0.95,
                            static_cast<float>(p.pitch), 0.8f);
                }
            }
        }
    }
}

std::vector<Track> composeSong() {
    Band band;
    band.kick = {makeKick(), {}, 0.95f, 0.0f, 0.0f, {}};
    band.snare = {makeSnare(), {}, 0.35f, 0.1f, 0.0f, {kBeat * 0.75, 0.25f, 0.2f}};
    band.hats = {makeHiHat(), {}, 0.16f, 0.25f, 0.0f, {}};
    band.bass = {makeBass(), {}, 0.34f, 0.0f, 0.0f, {}};
    band.pad = {makePad(), {}, 0.22f, 0.0f, 1.0f, {kBeat * 1.5, 0.4f, 0.3f}};
    band.lead = {makeLead(), {}, 0.2f, -0.15f, 0.3f, {kBeat * 0.75, 0.4f, 0.45f}};
    band.arp = {makePluck(), {}, 0.16f, 0.3f, 0.0f, {kBeat * 0.75, 0.45f, 0.5f}};
    for (const Section& section : kSections) playSection(section, band);
    return {band.kick, band.snare, band.hats, band.bass, band.pad, band.lead, band.arp};
}

// Fades the start in over a second and the end out to exact silence.
void applyMasterEnvelope(std::vector<float>& stereo) {
    const size_t frames = stereo.size() / 2;
    const double fadeStart = beatTime(kFadeStartBeat), fadeEnd = beatTime(kFadeEndBeat);
    for (size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / kSampleRate;
        double gain = std::min(t, 1.0);
        if (t >= fadeEnd) {
            gain = 0;
        } else if (t > fadeStart) {
            const double x = (fadeEnd - t) / (fadeEnd - fadeStart);
            gain = x * x;
        }
        stereo[2 * i] *= static_cast<float>(gain);
        stereo[2 * i + 1] *= static_cast<float>(gain);
    }
}

}  // namespace

bool makeMusic(const std::string& dir, std::string& error) {
    std::vector<float> stereo = mixTracks(composeSong(), kLength);
    applyMasterEnvelope(stereo);
    const std::vector<int16_t> pcm = toPcm16(stereo, kPeak);
    const std::string path = dir + "/sorvan.mp3";
    std::string why;
    if (!platformEncodeMp3(path.c_str(), pcm, 192, why)) {
        error = path + ": " + why;
        return false;
    }
    return true;
}
