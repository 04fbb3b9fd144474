// make_sounds <folder>
//
// Writes the plug-in's alert sounds as Sun .au files (16-bit linear PCM,
// big-endian, mono) into <folder>. Each sound is a short sequence of tones,
// different enough that the user can tell the alerts apart by ear.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

namespace {

constexpr std::uint32_t kAuMagic = 0x2e736e64;  // ".snd"
constexpr std::uint32_t kLinear16 = 3;
constexpr std::uint32_t kRate = 8000;
constexpr std::uint32_t kChannels = 1;
constexpr std::uint32_t kHeaderWords = 6;
constexpr double kPeak = 12000.0;
constexpr double kEdgeSeconds = 0.005;  // fade in and out, so no tone clicks

// A tone glides from one frequency to another; 0 Hz is a pause. Odd
// harmonics make it harsher.
struct Tone {
    double fromHz;
    double toHz;
    int milliseconds;
    int oddHarmonics;
};

struct Sound {
    const char* file;
    std::vector<Tone> tones;
};

const std::vector<Sound> kSounds = {
    {"quibo.au", {{523.25, 523.25, 110, 1}, {659.25, 659.25, 110, 1}, {783.99, 783.99, 220, 1}}},
    {"message.au", {{880, 880, 160, 1}}},
    {"warning.au", {{660, 660, 140, 2}, {0, 0, 80, 1}, {660, 660, 140, 2}}},
    {"error.au", {{220, 220, 180, 4}, {0, 0, 60, 1}, {196, 196, 260, 4}}},
    {"alert.au", {{600, 1500, 180, 2}, {600, 1500, 180, 2}, {600, 1500, 180, 2}}},
};

double wave(double phase, int oddHarmonics) {
    double sum = 0;
    for (int k = 0; k < oddHarmonics; ++k) {
        const int n = 2 * k + 1;
        sum += std::sin(n * phase) / n;
    }
    return sum;
}

void addTone(const Tone& tone, std::vector<std::int16_t>& samples) {
    const int count = static_cast<int>(kRate * tone.milliseconds / 1000);
    const int edge = static_cast<int>(kRate * kEdgeSeconds);
    double phase = 0;
    for (int i = 0; i < count; ++i) {
        const double hz = tone.fromHz + (tone.toHz - tone.fromHz) * i / count;
        const double fade = std::min({1.0, double(i) / edge, double(count - 1 - i) / edge});
        samples.push_back(static_cast<std::int16_t>(std::lround(kPeak * fade * wave(phase, tone.oddHarmonics))));
        phase += 2 * std::numbers::pi * hz / kRate;
    }
}

void putWord(std::string& out, std::uint32_t word) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>((word >> shift) & 0xff));
}

// The header's annotation field holds the file name, padded with NULs.
std::string auFile(const Sound& sound) {
    std::vector<std::int16_t> samples;
    for (const auto& tone : sound.tones) addTone(tone, samples);
    std::string note = sound.file;
    note.append(4 - note.size() % 4, '\0');
    std::string out;
    putWord(out, kAuMagic);
    putWord(out, static_cast<std::uint32_t>(kHeaderWords * 4 + note.size()));
    putWord(out, static_cast<std::uint32_t>(samples.size() * 2));
    putWord(out, kLinear16);
    putWord(out, kRate);
    putWord(out, kChannels);
    out += note;
    for (const auto sample : samples) {
        const auto bits = static_cast<std::uint16_t>(sample);
        out.push_back(static_cast<char>(bits >> 8));
        out.push_back(static_cast<char>(bits & 0xff));
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: make_sounds <folder>\n", stderr);
        return 2;
    }
    for (const auto& sound : kSounds) {
        const std::string path = std::string(argv[1]) + "/" + sound.file;
        std::ofstream file(path, std::ios::binary);
        file << auFile(sound);
        if (!file) {
            std::fprintf(stderr, "make_sounds: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
