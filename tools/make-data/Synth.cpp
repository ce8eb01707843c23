#include "Synth.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <thread>

namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kDt = 1.0 / kSampleRate;

// Deterministic white noise in -1..1; each note seeds its own.
class Noise {
public:
    explicit Noise(uint32_t seed) : state_(seed ? seed : 0x9E3779B9u) {}
    float next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return static_cast<float>(state_) * (2.0f / 4294967296.0f) - 1.0f;
    }

private:
    uint32_t state_;
};

uint32_t seedFor(const Note& note) {
    return static_cast<uint32_t>(std::llround(note.time * kSampleRate)) * 2654435761u + 12345u;
}

// Band-limited sawtooth (polyBLEP): phase 0..1, step = frequency / rate.
class Saw {
public:
    explicit Saw(double phase = 0) : phase_(phase) {}
    float next(double step) {
        phase_ += step;
        if (phase_ >= 1.0) phase_ -= 1.0;
        double value = 2.0 * phase_ - 1.0;
        if (phase_ < step) {
            const double t = phase_ / step;
            value -= t + t - t * t - 1.0;
        } else if (phase_ > 1.0 - step) {
            const double t = (phase_ - 1.0) / step;
            value -= t * t + t + t + 1.0;
        }
        return static_cast<float>(value);
    }

private:
    double phase_;
};

class OnePole {
public:
    void setCutoff(double hz) { a_ = static_cast<float>(1.0 - std::exp(-kTwoPi * hz * kDt)); }
    float lowpass(float x) { return y_ += a_ * (x - y_); }

private:
    float a_ = 1;
    float y_ = 0;
};

// Chamberlin state-variable lowpass; stable for cutoffs well below a sixth of the rate.
class StateVariable {
public:
    float lowpass(float x, double cutoff, float damping) {
        const float f = static_cast<float>(2.0 * std::sin(3.141592653589793 * cutoff * kDt));
        low_ += f * band_;
        const float high = x - low_ - damping * band_;
        band_ += f * high;
        return low_;
    }

private:
    float low_ = 0, band_ = 0;
};

// Linear attack, hold for the note's length, linear release.
float gateEnvelope(double t, double attack, double length, double release) {
    if (t < attack) return static_cast<float>(t / attack);
    if (t < length) return 1.0f;
    const double r = 1.0 - (t - length) / release;
    return r > 0 ? static_cast<float>(r) : 0.0f;
}

size_t framesFor(double seconds, size_t room) {
    return std::min(room, static_cast<size_t>(seconds * kSampleRate));
}

class Kick : public Instrument {
public:
    double release() const override { return 0.4; }
    void play(const Note& note, float* out, size_t frames) const override {
        // A sine that falls from about 150 Hz to 48 Hz: the thump starts on the sample.
        double phase = 0;
        Noise noise(seedFor(note));
        const size_t n = framesFor(0.4, frames);
        for (size_t i = 0; i < n; ++i) {
            const double t = i * kDt;
            phase += (48.0 + 100.0 * std::exp(-t * 28.0)) * kDt;
            const float body = static_cast<float>(std::sin(kTwoPi * phase) * std::exp(-t * 7.5));
            const float click = noise.next() * static_cast<float>(std::exp(-t * 450.0)) * 0.25f;
            out[i] += note.velocity * (body + click);
        }
    }
};

class Snare : public Instrument {
public:
    double release() const override { return 0.3; }
    void play(const Note& note, float* out, size_t frames) const override {
        Noise noise(seedFor(note));
        OnePole low;
        low.setCutoff(1200);
        const size_t n = framesFor(0.3, frames);
        for (size_t i = 0; i < n; ++i) {
            const double t = i * kDt;
            const float tone = static_cast<float>(std::sin(kTwoPi * 190.0 * t) * std::exp(-t * 28.0));
            const float white = noise.next();
            const float hiss = (white - low.lowpass(white)) * static_cast<float>(std::exp(-t * 15.0));
            out[i] += note.velocity * (0.45f * tone + 0.7f * hiss);
        }
    }
};

class HiHat : public Instrument {
public:
    double release() const override { return 0.45; }
    void play(const Note& note, float* out, size_t frames) const override {
        Noise noise(seedFor(note));
        OnePole low;
        low.setCutoff(6500);
        const double decay = note.length > 0.2 ? 9.0 : 55.0;
        const size_t n = framesFor(note.length > 0.2 ? 0.45 : 0.12, frames);
        for (size_t i = 0; i < n; ++i) {
            const float white = noise.next();
            const float hiss = white - low.lowpass(white);
            out[i] += note.velocity * hiss * static_cast<float>(std::exp(-(i * kDt) * decay));
        }
    }
};

class Bass : public Instrument {
public:
    double release() const override { return 0.03; }
    void play(const Note& note, float* out, size_t frames) const override {
        const double hz = midiToHz(note.pitch);
        Saw saw;
        StateVariable filter;
        double subPhase = 0;
        const size_t n = framesFor(note.length + release(), frames);
        for (size_t i = 0; i < n; ++i) {
            const double t = i * kDt;
            subPhase += hz * 0.5 * kDt;
            const float raw = 0.6f * saw.next(hz * kDt) +
                              0.5f * static_cast<float>(std::sin(kTwoPi * subPhase));
            const double cutoff = 220.0 + 1200.0 * std::exp(-t * 10.0);
            const float env = gateEnvelope(t, 0.025, note.length, release());
            out[i] += note.velocity * env * filter.lowpass(raw, cutoff, 0.6f);
        }
    }
};

// Three detuned saws through a soft lowpass, slow to rise and slow to fade.
class Pad : public Instrument {
public:
    double release() const override { return 0.9; }
    void play(const Note& note, float* out, size_t frames) const override {
        const double hz = midiToHz(note.pitch);
        const double detune[3] = {0.9959, 1.0, 1.0041};  // about 7 cents either way
        Saw saws[3] = {Saw(0.0), Saw(0.33), Saw(0.71)};
        OnePole first, second;
        first.setCutoff(1700);
        second.setCutoff(2200);
        const size_t n = framesFor(note.length + release(), frames);
        for (size_t i = 0; i < n; ++i) {
            float sum = 0;
            for (int k = 0; k < 3; ++k) sum += saws[k].next(hz * detune[k] * kDt);
            const float env = gateEnvelope(i * kDt, 0.35, note.length, release());
            out[i] += note.velocity * env * 0.33f * second.lowpass(first.lowpass(sum));
        }
    }
};

// Two saws a few cents apart with a delayed vibrato.
class Lead : public Instrument {
public:
    double release() const override { return 0.12; }
    void play(const Note& note, float* out, size_t frames) const override {
        const double hz = midiToHz(note.pitch);
        Saw a(0.0), b(0.5);
        OnePole first, second;
        first.setCutoff(3200);
        second.setCutoff(4200);
        const size_t n = framesFor(note.length + release(), frames);
        for (size_t i = 0; i < n; ++i) {
            const double t = i * kDt;
            const double depth = std::min(std::max(t - 0.18, 0.0) * 2.0, 1.0) * 0.006;
            const double f = hz * (1.0 + depth * std::sin(kTwoPi * 5.5 * t));
            const float raw = 0.5f * (a.next(f * 0.9971 * kDt) + b.next(f * 1.0029 * kDt));
            const float env = gateEnvelope(t, 0.012, note.length, release());
            out[i] += note.velocity * env * second.lowpass(first.lowpass(raw));
        }
    }
};

// A plucked saw whose brightness dies away with the sound.
class Pluck : public Instrument {
public:
    double release() const override { return 0.35; }
    void play(const Note& note, float* out, size_t frames) const override {
        const double hz = midiToHz(note.pitch);
        Saw saw;
        StateVariable filter;
        const size_t n = framesFor(note.length + release(), frames);
        for (size_t i = 0; i < n; ++i) {
            const double t = i * kDt;
            const double cutoff = 300.0 + 3500.0 * std::exp(-t * 18.0);
            const float env = static_cast<float>(std::exp(-t * 7.0)) *
                              gateEnvelope(t, 0.002, note.length, release());
            out[i] += note.velocity * env * filter.lowpass(saw.next(hz * kDt), cutoff, 0.8f);
        }
    }
};

void addTrack(const Track& track, std::vector<float>& mono, std::vector<float>& stereo) {
    std::fill(mono.begin(), mono.end(), 0.0f);
    for (const Note& note : track.notes) {
        const size_t start = static_cast<size_t>(std::llround(note.time * kSampleRate));
        if (start >= mono.size()) continue;
        track.instrument->play(note, mono.data() + start, mono.size() - start);
    }

    const double angle = (track.pan + 1.0) * 0.7853981633974483;  // equal-power pan
    const float left = static_cast<float>(std::cos(angle)) * track.gain;
    const float right = static_cast<float>(std::sin(angle)) * track.gain;
    const size_t frames = mono.size();
    const size_t spread = static_cast<size_t>(track.width * 0.012 * kSampleRate);
    const size_t delay = static_cast<size_t>(track.echo.delay * kSampleRate);
    // Ping-pong echo: the left tap hears the input and the right tap, the right the left.
    // Both taps live in rings one delay long: slot i % delay holds the value of i - delay.
    std::vector<float> tapLeft(delay, 0.0f), tapRight(delay, 0.0f);
    const float echoLevel = track.echo.level * track.gain * 0.7071f;
    for (size_t i = 0, slot = 0; i < frames; ++i) {
        float l = mono[i] * left;
        float r = (i >= spread ? mono[i - spread] : 0.0f) * right;
        if (delay) {
            const float delayedInput = i >= delay ? mono[i - delay] : 0.0f;
            const float newLeft = delayedInput + track.echo.feedback * tapRight[slot];
            const float newRight = tapLeft[slot];
            tapLeft[slot] = newLeft;
            tapRight[slot] = newRight;
            l += newLeft * echoLevel;
            r += newRight * echoLevel;
            if (++slot == delay) slot = 0;
        }
        stereo[2 * i] += l;
        stereo[2 * i + 1] += r;
    }
}

}  // namespace

float midiToHz(float pitch) { return 440.0f * std::pow(2.0f, (pitch - 69.0f) / 12.0f); }

std::vector<float> mixTracks(const std::vector<Track>& tracks, double seconds) {
    // Two halves of the band render on two threads into their own buffers; adding the
    // halves in a fixed order keeps the result independent of the threads' timing.
    const size_t frames = static_cast<size_t>(seconds * kSampleRate);
    auto renderEvery = [&](size_t first, std::vector<float>& stereo) {
        std::vector<float> mono(frames);
        stereo.assign(frames * 2, 0.0f);
        for (size_t i = first; i < tracks.size(); i += 2) addTrack(tracks[i], mono, stereo);
    };
    std::vector<float> even, odd;
    std::thread helper(renderEvery, 1, std::ref(odd));
    renderEvery(0, even);
    helper.join();
    for (size_t i = 0; i < even.size(); ++i) even[i] += odd[i];
    return even;
}

std::vector<int16_t> toPcm16(std::vector<float>& stereo, float peak) {
    float loudest = 0;
    for (float v : stereo) loudest = std::max(loudest, std::fabs(v));
    const float scale = loudest > 0 ? peak * 32767.0f / loudest : 0.0f;
    std::vector<int16_t> pcm(stereo.size());
    for (size_t i = 0; i < stereo.size(); ++i) {
        pcm[i] = static_cast<int16_t>(std::lround(stereo[i] * scale));
    }
    return pcm;
}

std::shared_ptr<const Instrument> makeKick() { return std::make_shared<Kick>(); }
std::shared_ptr<const Instrument> makeSnare() { return std::make_shared<Snare>(); }
std::shared_ptr<const Instrument> makeHiHat() { return std::make_shared<HiHat>(); }
std::shared_ptr<const Instrument> makeBass() { return std::make_shared<Bass>(); }
std::shared_ptr<const Instrument> makePad() { return std::make_shared<Pad>(); }
std::shared_ptr<const Instrument> makeLead() { return std::make_shared<Lead>(); }
std::shared_ptr<const Instrument> makePluck() { return std::make_shared<Pluck>(); }
