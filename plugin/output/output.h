// Printing, logging and client commands: every text the plug-in shows, logs
// or hands to the client goes through these entry points. Also the IRC
// formatting conventions: the user's percent escapes, terminal colours,
// colour patterns, and the window chosen for a message.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

struct HostSession;
struct InertText;

// ---- entry points ------------------------------------------------------------

// Formatted texts longer than this are cut.
constexpr size_t kMaxFormattedText = 2046;

// Formats and prints unchanged in `sess` (current context when null).
int sPrintText(HostSession* sess, const char* format, ...) __attribute__((format(printf, 2, 3)));
// Formats the same way and appends to a log file through WriteLog.
int sPrintLog(const char* file, const char* format, ...) __attribute__((format(printf, 2, 3)));
// Formats without a cut and runs the text as a client command in `sess`; a
// command too long for the client is refused with an error line.
int sHandleCommand(HostSession* sess, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Appends "<pid>_<seconds since the first call> : <text>" to `file`, keeping
// it open between calls (reopened for every line in debug mode). 1 written or
// closed, 0 failed. WriteLog(nullptr, nullptr) closes the file.
int WriteLog(const char* file, const char* text);

// The window for a message about `server` and `channel` (either may be null).
HostSession* GetContext(const char* server, const char* channel);

// ---- percent escapes and terminal colours ------------------------------------

// Percent escapes (%B %C %O %R %U %% and, when enabled, %nnn), in place. The
// result is never longer than the text. %nnn yields only bytes from 0x20 up;
// others stay as typed.
void check_special_chars(char* text, int enable_numeric);              // byte form
void check_special_chars_utf8(std::string& text, int enable_numeric);  // %nnn bytes converted to UTF-8
// The same on the syntax runs only: literal runs (values from the network) stay as they are.
void check_special_chars_utf8(InertText& text, int enable_numeric);
// A value from the network, made safe to put into a text that is translated
// as above: every "%" doubled.
std::string double_percent(std::string_view value);

// Terminal colour sequences (escape [ ... m) become IRC colour codes; other
// sequences and carriage returns disappear.
std::string exec_handle_colors(std::string_view text);
// The same in place on a text of `length` bytes; the result is cut to fit.
void exec_handle_colors(char* text, size_t length);

// ---- colour painting ----------------------------------------------------------

extern const char Colors[];
extern const char Colors2[];
extern const char Colors3[];
constexpr size_t kPaletteBuffer = 1023;
extern char Colors4[kPaletteBuffer];  // filled by mk_palette
// Choices for random colours; position 0 is never chosen.
extern char Color_foreground[];
extern char Color_background[];
extern char Mode_text[];
// IRC colour of a terminal colour number (plus 8 when bright).
extern const int Color_ansi_map[16];

// Copies of settings that steer the generated art and msg_color.
extern int iFlagQuiboMessageLocal;
extern int iFlagColorLocal;
extern int iFlagPrintCloneLocal;

// `prefix` followed by `text` laid character by character into `pattern`, the
// k-th character at start + k * step. Valid until the next call; null for an
// empty text or, with colours on, a text too long for the line.
const char* msg_color(const char* text, const char* pattern, int start, int step, const char* prefix);
// Writes nine units of one random background colour (54 bytes, no terminator).
void mk_palette(char* buffer);
void OutputRoutineInitialize(int message_flag, int colour_flag, int print_clone_flag);

// ---- alert sounds ----------------------------------------------------------------

// Plays the named sound of the data folder ("error", "warning", "alert",
// "message", "quibo") when sounds are on, at most once per tSoundCommandTimer
// seconds; the player's result, or 0 when sounds are off.
int quibo_play_sound(const char* name);
// The load-time check: with sounds on and a usable device, a test sound;
// otherwise message 237 in `sess`.
void SoundSystemCheck(HostSession* sess);
