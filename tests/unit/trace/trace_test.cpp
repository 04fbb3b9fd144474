// The trace ring, the trace file and the crash report.
#include "host/paths.h"
#include "host/trace.h"
#include "output/output.h"
#include "settings/settings.h"

#include "capture.h"
#include "hostsim.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdio>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

// A real invalid write: an unmapped address that is not null, so neither the
// optimiser nor the undefined-behaviour checker turns it into something else.
[[gnu::noinline]] void segfault_now()
{
    volatile uintptr_t address = 8;
    *reinterpret_cast<volatile int*>(address) = 1;
}

class Trace : public ::testing::Test {
protected:
    void SetUp() override
    {
        home.make_dir(".xchat2/quiboscript");
        quibo_paths_resolve();
        DebugPluginRingClear();
        iFlagDebugModeFnc = 0;
        iFlagDisableSHBM = 0;
        iFlagDisableDebugPlugin = 0;
    }
    void TearDown() override
    {
        WriteLog(nullptr, nullptr);
        iFlagDebugModeFnc = 0;
        iFlagDisableSHBM = 0;
    }

    std::string read(const std::string& name) const
    {
        std::ifstream file(quibo_data_path(name));
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }

    // Runs `body` in a child with the crash handler installed and its standard
    // output going to `output`; returns its wait status.
    template <typename Body>
    int crash_in_child(Body body, const std::string& output = "/dev/null")
    {
        pid_t child = fork();
        if (child == 0) {
            int output_fd = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(output_fd, STDOUT_FILENO);
            crash_handler_install();
            body();
            segfault_now();
            _exit(0);
        }
        int status = 0;
        waitpid(child, &status, 0);
        return status;
    }

    hostsim::TempHome home;
};

TEST_F(Trace, RingKeepsTheMostRecentLines)
{
    for (int i = 0; i < 5000; ++i) DebugPlugin(i % 4, "line %d", i);
    auto lines = DebugPluginRingLines();
    ASSERT_EQ(lines.size(), 4092u);
    EXPECT_EQ(lines.front(), "line 908");
    EXPECT_EQ(lines.back(), "line 4999");
}

TEST_F(Trace, RingCutsOverlongLinesButKeepsTheirStart)
{
    std::string longest(5000, 'x');
    DebugPlugin(0, "%s", longest.c_str());
    ASSERT_EQ(DebugPluginRingCount(), 1);
    EXPECT_EQ(DebugPluginRingLines()[0], std::string(kTraceRingLineBytes, 'x'));
}

// The ring's own formatting of common conversions gives what the C library gives, cut alike.
TEST_F(Trace, RingLinesReadAsTheCLibraryFormatsThem)
{
    char expected[kTraceRingLineBytes + 1];
    const void* pointer = &expected;
    const std::string long_text(kTraceRingLineBytes + 50, 'y');
#define SAME_AS_PRINTF(...)                                                  \
    do {                                                                     \
        DebugPluginRingClear();                                              \
        DebugPlugin(0, __VA_ARGS__);                                         \
        snprintf(expected, sizeof expected, __VA_ARGS__);                    \
        ASSERT_EQ(DebugPluginRingCount(), 1);                                \
        EXPECT_EQ(DebugPluginRingLines()[0], std::string(expected));         \
    } while (0)
    SAME_AS_PRINTF("BEGIN: GetUser(%s, %d)", "irc.net", -2147483647 - 1);
    SAME_AS_PRINTF("END: InsertUser(%p) = %p %u%% %x", pointer, static_cast<const void*>(nullptr), 4294967295u, 0xbeefu);
    SAME_AS_PRINTF("%ld %lu %lld %llu %zu %i %c", -5L, 7UL, -9223372036854775807LL - 1, 18446744073709551615ULL,
                   static_cast<size_t>(42), 0, 'q');
    SAME_AS_PRINTF("%s and more %d", long_text.c_str(), 3);
    // Anything else goes the C library's way.
    SAME_AS_PRINTF("%5d|%-4s|%.2f|%08x|%lc", 42, "ab", 2.5, 255u, static_cast<wint_t>('w'));
#undef SAME_AS_PRINTF
    DebugPluginRingClear();
    const char* absent = getenv("QUIBO_TRACE_TEST_UNSET_VARIABLE");
    DebugPlugin(0, "nick %s", absent);
    EXPECT_EQ(DebugPluginRingLines()[0], "nick (null)");
}

// The ring's line for `format` and `values` is the C library's text, byte for byte.
template <typename... Values>
void expect_formatted_as_printf(const char* format, Values... values)
{
    char expected[kTraceRingLineBytes + 1];
    snprintf(expected, sizeof expected, format, values...);
    DebugPluginRingClear();
    DebugPlugin(0, format, values...);
    ASSERT_EQ(DebugPluginRingCount(), 1) << format;
    EXPECT_EQ(DebugPluginRingLines()[0], expected) << format;
}

// A null the compiler cannot see through, as a caller's variable would be.
[[gnu::noinline]] const char* no_text()
{
    static volatile const char* none = nullptr;
    return const_cast<const char*>(none);
}

TEST_F(Trace, RingLinesAreFormattedAsPrintfDoes)
{
    int local = 0;
    const std::string text = "a line with 100% of its text";
    expect_formatted_as_printf("BEGIN: quibo_in(sess = %s, server = %s, text = %s, null1 = %s)", "#big",
                               "irc.test.net", text.c_str(), "NULL");
    expect_formatted_as_printf("END: quibo_in() = %d", -1);
    expect_formatted_as_printf("%d %d %i %u", INT_MIN, INT_MAX, 0, UINT_MAX);
    expect_formatted_as_printf("%ld %lu %lld %llu %zu %zd", LONG_MIN, ULONG_MAX, LLONG_MIN, ULLONG_MAX, SIZE_MAX,
                               static_cast<ssize_t>(-5));
    expect_formatted_as_printf("BEGIN: message_parser(%p)", static_cast<void*>(&local));
    expect_formatted_as_printf("BEGIN: IfMessage(%.*s, %.*s)", 4, "JOIN #chan", -1, " JOIN");
    expect_formatted_as_printf("%.*s|", 10, "short");
    expect_formatted_as_printf("100%% %c%c done %%", 'o', 'k');
    expect_formatted_as_printf("plain");
    expect_formatted_as_printf("");
    // What the short path leaves to the C library: widths, flags, other conversions, nulls.
    expect_formatted_as_printf("%5d|%-4s|%03u|%x|%X|%o|%.2f|%+d", 42, "ab", 7u, 255u, 255u, 8u, 1.5, 3);
    expect_formatted_as_printf("%s and %p", no_text(), static_cast<void*>(nullptr));
    expect_formatted_as_printf("%.*s|%.*s", 3, no_text(), 8, no_text());
    expect_formatted_as_printf("%hd %hhu %lc", 70000, 300, L'x');
    expect_formatted_as_printf("a trailing percent %");
}

TEST_F(Trace, FormattedRingLinesAreCutAtTheSlotSize)
{
    const std::string half(kTraceRingLineBytes / 2 + 10, 'y');
    DebugPlugin(0, "%s-%d-%s", half.c_str(), 12345, half.c_str());
    const std::string expected = (half + "-12345-" + half).substr(0, kTraceRingLineBytes);
    ASSERT_EQ(DebugPluginRingCount(), 1);
    EXPECT_EQ(DebugPluginRingLines()[0], expected);
    DebugPluginRingClear();
    const std::string almost(kTraceRingLineBytes - 2, 'z');
    DebugPlugin(0, "%s%d", almost.c_str(), 98765);
    EXPECT_EQ(DebugPluginRingLines()[0], almost + "98");
}

// What the C library makes of a call, cut as a ring line is.
template <typename... Values>
std::string printf_line(const char* format, Values... values)
{
    char line[kTraceRingLineBytes + 1];
    snprintf(line, sizeof line, format, values...);
    return line;
}

// Texts and numbers around the cut: every text keeps what the line shows, and only that.
TEST_F(Trace, KeptTextsAreCutExactlyWhereTheLineEnds)
{
    const std::string long_text(3000, 'q');
    std::vector<std::string> expected;
    for (int first : {0, 1, 500, 1000, 1010, 1022, 1023, 1024, 2000}) {
        for (int second : {0, 1, 12, 30}) {
            const std::string a = long_text.substr(0, first), b = std::string(second, 'b');
            DebugPlugin(0, "BEGIN: f(%s, %s)", a.c_str(), b.c_str());
            expected.push_back(printf_line("BEGIN: f(%s, %s)", a.c_str(), b.c_str()));
            DebugPlugin(0, "%d %s|%.*s|%lld", -7, a.c_str(), second * 40, long_text.c_str(), LLONG_MIN);
            expected.push_back(printf_line("%d %s|%.*s|%lld", -7, a.c_str(), second * 40, long_text.c_str(), LLONG_MIN));
            DebugPlugin(0, "%.*s%s%%%u", first, b.c_str(), a.c_str(), 4000000000u);
            expected.push_back(printf_line("%.*s%s%%%u", first, b.c_str(), a.c_str(), 4000000000u));
        }
    }
    EXPECT_EQ(DebugPluginRingLines(), expected);
    for (const std::string& line : DebugPluginRingLines()) EXPECT_LE(line.size(), size_t(kTraceRingLineBytes));
}

// A null text, a NUL character or a conversion the ring does not keep are written
// at the call; such lines stay in their place among the others.
TEST_F(Trace, LinesWrittenAtTheCallKeepTheirPlaceAmongKeptOnes)
{
    const char* none = no_text();
    std::vector<std::string> expected;
    for (int i = 0; i < 50; ++i) {
        DebugPlugin(0, "BEGIN: GetUser(%s, %d)", "irc.net", i);
        expected.push_back(printf_line("BEGIN: GetUser(%s, %d)", "irc.net", i));
        DebugPlugin(1, " * hex %x of %d", static_cast<unsigned>(i), i);
        expected.push_back(printf_line(" * hex %x of %d", static_cast<unsigned>(i), i));
        DebugPlugin(0, "END: GetUser() = %s [%p]", none, static_cast<void*>(nullptr));
        expected.push_back(printf_line("END: GetUser() = %s [%p]", none, static_cast<void*>(nullptr)));
        DebugPlugin(2, "char %c%c end", 'a', i % 2 ? '\0' : 'z');
        expected.push_back(printf_line("char %c%c end", 'a', i % 2 ? '\0' : 'z'));
    }
    EXPECT_EQ(DebugPluginRingLines(), expected);
}

TEST_F(Trace, TextsChangedAfterTheCallLeaveTheLineAsItWas)
{
    std::string nick = "alice";
    char channel[] = "#before";
    DebugPlugin(0, "BEGIN: GetUser(%s, %s, %.*s)", nick.c_str(), channel, 3, channel);
    nick.assign(2000, 'z');
    strcpy(channel, "#after!");
    // A format that is not a literal may change too.
    char format[] = "format %s one";
    DebugPlugin(0, format, "x");
    strcpy(format, "format %s two");
    DebugPlugin(0, format, "y");
    EXPECT_EQ(DebugPluginRingLines(),
              (std::vector<std::string>{"BEGIN: GetUser(alice, #before, #be)", "format x one", "format y two"}));
}

// Lines of very different lengths, wrapping many times: always the last 4092, in order,
// whether long lines come in bursts, alone, or short ones follow long ones.
TEST_F(Trace, RingOfMixedLengthsKeepsExactlyTheLast4092)
{
    const std::string text(2000, 'm');
    std::deque<std::string> expected;
    uint32_t seed = 12345;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 8) & 0xffff; };
    auto line = [&](int i, size_t length) {
        if (length % 7 == 0) {  // written at the call
            DebugPlugin(0, "%x:%.*s", static_cast<unsigned>(i), static_cast<int>(length), text.c_str());
            expected.push_back(printf_line("%x:%.*s", static_cast<unsigned>(i), static_cast<int>(length), text.c_str()));
        } else {
            DebugPlugin(0, "%d:%.*s", i, static_cast<int>(length), text.c_str());
            expected.push_back(printf_line("%d:%.*s", i, static_cast<int>(length), text.c_str()));
        }
        if (expected.size() > size_t(kTraceRingLines)) expected.pop_front();
    };
    int i = 0;
    for (int phase = 0; phase < 6; ++phase) {
        for (int n = 0; n < 5000; ++n, ++i) {
            const size_t length = phase == 1 ? 1500 + next() % 400  // a burst of long lines
                                  : phase == 3 ? (n % 50 == 0 ? 1800 : 10 + next() % 60)
                                  : phase == 4 ? n / 2                  // growing
                                               : next() % 200;
            line(i, length);
        }
        ASSERT_EQ(DebugPluginRingCount(), kTraceRingLines) << "phase " << phase;
        ASSERT_EQ(DebugPluginRingLines(), std::vector<std::string>(expected.begin(), expected.end()))
            << "phase " << phase;
    }
    // Once short lines have gone round, the long ones take no room any more.
    for (int n = 0; n < 2 * kTraceRingLines; ++n, ++i) line(i, next() % 200);
    EXPECT_EQ(DebugPluginRingLines(), std::vector<std::string>(expected.begin(), expected.end()));
    EXPECT_LE(DebugPluginRingBytes(), size_t(1024 * 1024));
    // Typical lines need a few hundred KB, not a slot of 1024 bytes each.
    DebugPluginRingClear();
    for (int n = 0; n < 3 * kTraceRingLines; ++n) DebugPlugin(0, "BEGIN: GetUser(%s, %s, %d)", "irc.net", "#chan", n);
    EXPECT_LE(DebugPluginRingBytes(), size_t(512 * 1024));
}

// A steady stream of short lines goes round a stretch of the block a little larger than what the kept
// lines take, from the first line on, so that it stays in the cache.
TEST_F(Trace, AStreamOfShortLinesStaysInAStretchNearTheKeptBytes)
{
    for (int i = 0; i < 5 * kTraceRingLines; ++i) {
        DebugPlugin(2, "BEGIN: GetUser(%s, %s, %d)", "irc.example.net", "#channel", i);
        if (i > kTraceRingLines && i % 97 == 0) {
            ASSERT_EQ(DebugPluginRingCount(), kTraceRingLines);
            ASSERT_LE(DebugPluginRingReach(), DebugPluginRingBytes() * 3 / 2 + 4096) << "after line " << i;
        }
    }
}

TEST_F(Trace, FileModeKeepsWholeLines)
{
    iFlagDebugModeFnc = 1;
    const std::string text(5000, 'f');
    DebugPlugin(0, "BEGIN: quibo_in(%s, %d)", text.c_str(), 5);
    DebugPlugin(0, "END: quibo_in() = %d, %x", -1, 255u);
    WriteLog(nullptr, nullptr);
    const std::string file = read("quibo.fnc");
    EXPECT_NE(file.find(" : " + ("BEGIN: quibo_in(" + text).substr(0, kTraceLineMax) + "\n"), std::string::npos);
    EXPECT_NE(file.find(" : END: quibo_in() = -1, ff\n"), std::string::npos);
}

TEST_F(Trace, FileModeWritesLevelsBelowTheSettingAndNothingToTheRing)
{
    iFlagDebugModeFnc = 2;
    for (int level = 0; level < 4; ++level) DebugPlugin(level, "level %d", level);
    WriteLog(nullptr, nullptr);
    std::string file = read("quibo.fnc");
    EXPECT_NE(file.find(" : level 0\n"), std::string::npos);
    EXPECT_NE(file.find(" : level 1\n"), std::string::npos);
    EXPECT_EQ(file.find("level 2"), std::string::npos);
    EXPECT_EQ(file.find("level 3"), std::string::npos);
    EXPECT_EQ(file.find(std::to_string(getpid()) + "_00000 : level 0"), 0u);
    EXPECT_EQ(DebugPluginRingCount(), 0);
}

TEST_F(Trace, SwitchesTurnTheRingOff)
{
    iFlagDisableSHBM = 1;
    DebugPlugin(0, "dropped");
    iFlagDisableSHBM = 0;
    iFlagDisableDebugPlugin = 1;
    DebugPlugin(0, "dropped");
    iFlagDisableDebugPlugin = 0;
    EXPECT_EQ(DebugPluginRingCount(), 0);
}

TEST_F(Trace, GarbageCollectorRefusesNull) { EXPECT_EQ(AddToGarbageCollector(nullptr), nullptr); }

TEST_F(Trace, CrashWritesTheRingAndEndsWithTheSignal)
{
    int status = crash_in_child([] {
        for (int i = 0; i < 4100; ++i) DebugPlugin(1, " * step %d", i);
    });
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGSEGV);
    std::string report = read("crash.log");
    EXPECT_EQ(report.find(" * step 8\n"), 0u);
    EXPECT_NE(report.find(" * step 4099\n"), std::string::npos);
    EXPECT_EQ(std::count(report.begin(), report.end(), '\n'), 4092);
}

// Lines of every kind: kept ones, ones written at the call, long and cut ones.
void trace_every_kind_of_line()
{
    static const std::string text(1500, 'c');
    for (int i = 0; i < 4200; ++i) {
        switch (i % 5) {
        case 0: DebugPlugin(0, "BEGIN: GetUser(%s, %s, %d)", "irc.net", "#chan", i); break;
        case 1: DebugPlugin(1, " * step %.*s %p", i % 1100, text.c_str(), static_cast<const void*>(&text)); break;
        case 2: DebugPlugin(0, "END: GetUser() = %s", no_text()); break;
        case 3: DebugPlugin(2, "%x %s", static_cast<unsigned>(i), text.c_str()); break;
        default: DebugPlugin(0, "END: InsertUser() = %d%%", -i); break;
        }
    }
}

// The crash report holds what the ring gives when read, line for line, and
// echoes the last 16 on standard output, numbered down to 0.
TEST_F(Trace, CrashReportWritesTheRingAsItReads)
{
    const std::string echo_path = home.path() + "/echo.txt";
    ASSERT_TRUE(WIFSIGNALED(crash_in_child(trace_every_kind_of_line, echo_path)));
    trace_every_kind_of_line();
    const std::vector<std::string> lines = DebugPluginRingLines();
    ASSERT_EQ(lines.size(), size_t(kTraceRingLines));
    std::string report, echoed;
    for (size_t i = 0; i < lines.size(); ++i) {
        report += lines[i] + "\n";
        char number[8];
        snprintf(number, sizeof number, "%4d", static_cast<int>(lines.size() - 1 - i));
        if (i + 16 >= lines.size()) echoed += std::string(number) + ": " + lines[i] + "\n";
    }
    EXPECT_EQ(read("crash.log"), report);
    std::ifstream echo_file(echo_path);
    std::stringstream echo;
    echo << echo_file.rdbuf();
    EXPECT_NE(echo.str().find("FUNCTION CALL STACK\n" + echoed), std::string::npos);
}

// More formats than the ring keeps plans for: the others are written at the call.
TEST_F(Trace, FormatsBeyondThePlanTableAreStillWritten)
{
    EXPECT_EXIT(
        {
            std::vector<std::string> formats;
            for (int i = 0; i < 1000; ++i) formats.push_back("format " + std::to_string(i) + " %s %d");
            for (int i = 0; i < 1000; ++i) DebugPlugin(0, formats[i].c_str(), "x", i);
            DebugPlugin(0, "a literal %s %d", "y", 7);
            const std::vector<std::string> lines = DebugPluginRingLines();
            bool same = lines.size() == 1001 && lines.back() == "a literal y 7";
            for (int i = 0; same && i < 1000; ++i) same = lines[i] == "format " + std::to_string(i) + " x " + std::to_string(i);
            exit(same ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(Trace, CrashWithRingOffReportsOnlyTheWarning)
{
    int status = crash_in_child([] {
        DebugPlugin(0, "before");
        iFlagDisableSHBM = 1;
        DebugPluginRingClear();
    });
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(read("crash.log"), "WARNING: SHBM IS DISABLED !\n");
}

void previous_handler(int) {}

TEST_F(Trace, RemovingTheHandlerPutsThePreviousOneBack)
{
    struct sigaction mine{};
    mine.sa_handler = previous_handler;
    struct sigaction saved{};
    sigaction(SIGSEGV, &mine, &saved);
    ASSERT_TRUE(crash_handler_install());
    struct sigaction now{};
    sigaction(SIGSEGV, nullptr, &now);
    EXPECT_EQ(now.sa_sigaction, bt_sighandler);
    crash_handler_remove();
    sigaction(SIGSEGV, nullptr, &now);
    EXPECT_EQ(now.sa_handler, previous_handler);
    sigaction(SIGSEGV, &saved, nullptr);
}

// The plug-in loaded into the simulated client: its own handler writes its own ring.
TEST_F(Trace, CrashInsideTheLoadedPluginWritesItsRing)
{
    home.copy_in(QUIBO_SOURCE_DIR "/data/quibo_italiano.msg", ".xchat2/quiboscript/quibo_italiano.msg");
    pid_t child = fork();
    if (child == 0) {
        int null_fd = open("/dev/null", O_WRONLY);
        dup2(null_fd, STDOUT_FILENO);
        hostsim::Sim sim;
        auto& server = sim.add_server("irc.test.net", "me");
        sim.focus(sim.channel(server, "#quibo"));
        sim.load(QUIBO_MODULE);
        segfault_now();
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGSEGV);
    EXPECT_NE(read("crash.log").find("END: module_init() = 0\n"), std::string::npos);
}

TEST_F(Trace, UnloadingThePluginPutsThePreviousHandlerBack)
{
    home.copy_in(QUIBO_SOURCE_DIR "/data/quibo_italiano.msg", ".xchat2/quiboscript/quibo_italiano.msg");
    struct sigaction mine{};
    mine.sa_handler = previous_handler;
    struct sigaction saved{};
    sigaction(SIGSEGV, &mine, &saved);
    {
        hostsim::StdoutCapture quiet;
        hostsim::Sim sim;
        auto& server = sim.add_server("irc.test.net", "me");
        sim.focus(sim.channel(server, "#quibo"));
        auto& plugin = sim.load(QUIBO_MODULE);
        struct sigaction now{};
        sigaction(SIGSEGV, nullptr, &now);
        EXPECT_NE(now.sa_handler, previous_handler);
        sim.unload(plugin);
        quiet.stop();
    }
    struct sigaction now{};
    sigaction(SIGSEGV, nullptr, &now);
    EXPECT_EQ(now.sa_handler, previous_handler);
    sigaction(SIGSEGV, &saved, nullptr);
}

// The line a call leaves in the ring is the C library's text, whether the call
// goes through the typed calls or straight to the variadic function.
template <typename... Values>
void expect_both_ways_as_printf(const char* format, Values... values)
{
    const std::string expected = printf_line(format, values...);
    DebugPluginRingClear();
    DebugPlugin(0, format, values...);
    (DebugPlugin)(0, format, values...);
    EXPECT_EQ(DebugPluginRingLines(), (std::vector<std::string>{expected, expected})) << format;
}

enum Weekday { Monday = 1, Sunday = 7 };

// A value is read as its conversion says, not as the type it was passed with.
TEST_F(Trace, EveryKeptConversionReadsItsValueAsTheCLibraryDoes)
{
    int local = 0;
    expect_both_ways_as_printf("%d|%i|%d|%d", INT_MIN, INT_MAX, 0, -1);
    expect_both_ways_as_printf("%u|%u|%u|%d|%d", -1, INT_MIN, 4000000000u, 4000000000u, UINT_MAX);
    expect_both_ways_as_printf("%d %d %d %u %u %d %d", static_cast<int16_t>(-5), static_cast<uint16_t>(65535),
                               static_cast<signed char>(-3), static_cast<unsigned char>(200),
                               static_cast<int16_t>(-1), true, Sunday);
    expect_both_ways_as_printf("%ld|%ld|%lu|%lu|%li", LONG_MIN, -1L, ULONG_MAX, -1L, 42L);
    expect_both_ways_as_printf("%lld|%llu|%lli|%llu", LLONG_MIN, ULLONG_MAX, -7LL, -1LL);
    expect_both_ways_as_printf("%zu|%zd|%zi|%zu", SIZE_MAX, static_cast<ssize_t>(-5), static_cast<ssize_t>(SSIZE_MAX),
                               sizeof(int));
    expect_both_ways_as_printf("%c%c%c|%c|%c", 'a', 'b' + 256, static_cast<char>(-1),
                               static_cast<unsigned char>(0xe9), -2);
    expect_both_ways_as_printf("%p|%p|%p", static_cast<void*>(&local), static_cast<const void*>(nullptr),
                               reinterpret_cast<void*>(UINTPTR_MAX));
    expect_both_ways_as_printf("%.*s|%.*s|%.*s|%.*s|%.*s", 3, "abcdef", -1, "negative", 0, "none", 50, "short",
                               INT_MIN, "min");
    expect_both_ways_as_printf("%s|%.*s|%.*s", no_text(), 3, no_text(), 6, no_text());
    expect_both_ways_as_printf("before %c after", 0);
    expect_both_ways_as_printf("100%% %d%% %%%s", 5, "x");
    expect_both_ways_as_printf("%d%d%d%d%d%d%d%d%d%d%d%d", 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12);
    expect_both_ways_as_printf("%d%d%d%d%d%d%d%d%d%d%d%d%d", 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13);
    expect_both_ways_as_printf("no conversion at all");
}

// Texts of every short length, from every alignment, are kept whole; with a
// precision, exactly that much of them.
TEST_F(Trace, ShortTextsAreKeptWholeWhateverTheirLengthAndPlace)
{
    const std::string source = "abcdefghijklmnopqrstuvwxyz0123456789ABCDEFGHIJKLMNOP";
    std::vector<std::string> expected;
    for (size_t offset = 0; offset < 8; ++offset) {
        for (size_t length = 0; length <= 40; ++length) {
            char text[64] = {};
            memcpy(text + offset, source.data(), length);
            const char* at = text + offset;
            const int shorter = length > 0 ? static_cast<int>(length) - 1 : 0;
            DebugPlugin(0, "[%s|%.*s]", at, shorter, at);
            expected.push_back(printf_line("[%s|%.*s]", at, shorter, at));
        }
    }
    EXPECT_EQ(DebugPluginRingLines(), expected);
}

// A call the ring cannot keep by its values, once the ring is full, takes the
// place of the oldest line only, like any other.
TEST_F(Trace, LinesWrittenAtTheCallInAFullRingPushOutOneLineEach)
{
    std::deque<std::string> expected;
    for (int i = 0; i < kTraceRingLines; ++i) {
        DebugPlugin(0, "line %d", i);
        expected.push_back("line " + std::to_string(i));
    }
    auto call = [&expected](const std::string& line) {
        expected.push_back(line);
        expected.pop_front();
        ASSERT_EQ(DebugPluginRingCount(), kTraceRingLines) << line;
    };
    DebugPlugin(0, "END: GetUser() = %s", no_text());
    call(printf_line("END: GetUser() = %s", no_text()));
    DebugPlugin(0, "char [%c]", 0);
    call("char [");
    DebugPlugin(0, "found %p", static_cast<void*>(nullptr));
    call(printf_line("found %p", static_cast<void*>(nullptr)));
    DebugPlugin(0, "kept %d", 1);
    call("kept 1");
    EXPECT_EQ(DebugPluginRingLines(), std::vector<std::string>(expected.begin(), expected.end()));
}

// Formats the ring does not keep by their values (not constant, other
// conversions) get every value, floating point ones included, as they were passed.
TEST_F(Trace, CallsWrittenAtOnceGetTheirValuesAsPassed)
{
    char format[] = "%d %.3f %s %c %lu %p";
    const std::vector<std::string> expected = {
        printf_line("%d %.3f %s %c %lu %p", -4, 2.5, "text", 'z', 9UL, static_cast<void*>(nullptr)),
        printf_line("%5.1f|%s|%x|%e", -0.25, "next", 255u, 1e10),
        printf_line("%d %.2f %s", 7, 1.0 / 3, "literal"),
    };
    DebugPlugin(0, format, -4, 2.5, "text", 'z', 9UL, static_cast<void*>(nullptr));
    strcpy(format, "%5.1f|%s|%x|%e");
    DebugPlugin(0, format, -0.25, "next", 255u, 1e10);
    DebugPlugin(0, "%d %.2f %s", 7, 1.0 / 3, "literal");
    EXPECT_EQ(DebugPluginRingLines(), expected);
    iFlagDebugModeFnc = 1;
    DebugPlugin(0, "file %d %.1f %s", 3, 0.5, "end");
    WriteLog(nullptr, nullptr);
    ASSERT_EQ(DebugPluginRingCount(), 3);
    EXPECT_NE(read("quibo.fnc").find(" : file 3 0.5 end\n"), std::string::npos);
}

}  // namespace

// Short lines fill the ring and go round a small part of its storage; long ones then need far more room than
// each dropped line gives back. Not one line may leave early on the way.
TEST_F(Trace, LongLinesAfterShortOnesNeverPushOutAnEarlyLine)
{
    for (int n = 0; n < 3 * kTraceRingLines; ++n) DebugPlugin(0, "short %d", n);
    ASSERT_EQ(DebugPluginRingCount(), kTraceRingLines);
    const std::string text(kTraceRingLineBytes, 'L');
    std::deque<std::string> expected;
    for (int n = 3 * kTraceRingLines - kTraceRingLines; n < 3 * kTraceRingLines; ++n)
        expected.push_back("short " + std::to_string(n));
    for (int n = 0; n < 2 * kTraceRingLines; ++n) {
        DebugPlugin(0, "%d %s %s", n, text.c_str(), "tail");
        expected.push_back((std::to_string(n) + " " + text + " tail").substr(0, kTraceRingLineBytes));
        expected.pop_front();
        ASSERT_EQ(DebugPluginRingCount(), kTraceRingLines) << "after long line " << n;
    }
    EXPECT_EQ(DebugPluginRingLines(), std::vector<std::string>(expected.begin(), expected.end()));
}
