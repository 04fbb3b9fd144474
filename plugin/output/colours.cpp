// Colour patterns and painting text character by character.
#include "output/output.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

const char Colors[] = "%C0,1  %C6,1  %C3,1  %C4,1  %C9,1  %C6,1  %C7,1  %C8,1  %C9,1  %C0,1  ";
const char Colors2[] = "%C0,1  %C1,0  %C2,6  %C3,2  %C4,1  %C9,2  %C6,3  %C7,9  %C8,7  %C9,5  ";
const char Colors3[] = "%C0,1%B %C3,1%B %C4,1%B %C6,1%B %C7,1%B %C8,1%B %C9,1%B %C8,1%B %C7,1%B %C6,1%B %C4,1%B %C3,1%B ";
char Colors4[kPaletteBuffer] = {};

char Color_foreground[] = "*0346789";
char Color_background[] = "*23456789";
char Mode_text[] = "*OBBBUU";

const int Color_ansi_map[16] = {1, 4, 3, 5, 2, 10, 6, 1, 1, 7, 9, 8, 12, 11, 13, 1};

int iFlagQuiboMessageLocal = 0;
int iFlagColorLocal = 1;
int iFlagPrintCloneLocal = 0;

namespace {

constexpr size_t kLineLength = 1022;
constexpr size_t kMaxPaintedSpan = 1021;  // length x step from here on does not fit the line

constexpr char kPaletteUnit[] = "%C0,N ";
constexpr size_t kPaletteUnitLength = sizeof kPaletteUnit - 1;
constexpr int kPaletteUnits = 9;

std::string painted;  // msg_color's result

std::string pattern_line(const char* pattern)
{
    std::string line;
    line.reserve(kLineLength);
    const size_t unit = strlen(pattern);
    while (line.size() < kLineLength) line.append(pattern, std::min(unit, kLineLength - line.size()));
    return line;
}

// Lays `text` into `line`, returns the length up to the last placed byte. A
// byte from 0x80 up brings the next byte along so that a two-byte character
// stays whole; the pattern behind it moves one place on, and so do the later
// positions, so that no colour code is split.
size_t lay_text(std::string& line, const char* text, size_t start, size_t step)
{
    size_t end = 0;
    size_t shift = 0;
    for (size_t k = 0, i = 0; text[i]; ++k, ++i) {
        const size_t at = start + k * step + shift;
        if (at >= kLineLength) break;
        line[at] = text[i];
        end = at + 1;
        if (static_cast<unsigned char>(text[i]) >= 0x80 && text[i + 1]) {
            line.insert(at + 1, 1, text[++i]);
            line.resize(kLineLength);
            end = std::min(at + 2, kLineLength);
            ++shift;
        }
    }
    return end;
}

}  // namespace

const char* msg_color(const char* text, const char* pattern, int start, int step, const char* prefix)
{
    painted.clear();
    if (!text || !*text) return nullptr;
    painted = prefix ? prefix : "";
    if (!iFlagColorLocal) return painted.append(text).c_str();
    if (!pattern || !*pattern || start < 0 || step < 1) return nullptr;
    if (strlen(text) * static_cast<size_t>(step) >= kMaxPaintedSpan) return nullptr;
    std::string line = pattern_line(pattern);
    const size_t end = lay_text(line, text, static_cast<size_t>(start), static_cast<size_t>(step));
    return painted.append(line, 0, end).c_str();
}

void mk_palette(char* buffer)
{
    // rand() is at most 2^31 - 1: the colour is 1 to 9.
    const int64_t drawn = static_cast<int64_t>(rand()) * 9 / 2147483648LL + 1;
    char unit[kPaletteUnitLength + 1];
    memcpy(unit, kPaletteUnit, sizeof unit);
    unit[4] = static_cast<char>('0' + drawn);
    for (int i = 0; i < kPaletteUnits; ++i) memcpy(buffer + i * kPaletteUnitLength, unit, kPaletteUnitLength);
}

void OutputRoutineInitialize(int message_flag, int colour_flag, int print_clone_flag)
{
    mk_palette(Colors4);
    iFlagQuiboMessageLocal = message_flag;
    iFlagColorLocal = colour_flag;
    iFlagPrintCloneLocal = print_clone_flag;
}
