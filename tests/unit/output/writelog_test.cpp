#include "clock.h"
#include "output/output.h"
#include "settings/settings.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

time_t fake_time = 1000;
time_t fake_now() { return fake_time; }

std::string read_all(const std::string& path)
{
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool open_in_process(const std::string& path)
{
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        if (std::filesystem::read_symlink(entry.path(), error) == path) return true;
    }
    return false;
}

std::string stamp(int seconds, const char* text)
{
    char line[128];
    snprintf(line, sizeof line, "%d_%05d : %s\n", static_cast<int>(getpid()), seconds, text);
    return line;
}

}  // namespace

// One test: the time of the first call is process-wide.
TEST(WriteLog, StampsLinesAndKeepsTheFileOpen)
{
    set_clock_source(fake_now);
    const std::string dir = testing::TempDir();
    const std::string path = dir + "quibo_writelog_test.log";
    std::filesystem::remove(path);

    EXPECT_EQ(sPrintLog(path.c_str(), "first %d", 1), 1);
    fake_time += 7;
    EXPECT_EQ(WriteLog(path.c_str(), "second"), 1);
    EXPECT_EQ(read_all(path), stamp(0, "first 1") + stamp(7, "second"));
    EXPECT_TRUE(open_in_process(path));

    iFlagDebugModeFnc = 1;
    EXPECT_EQ(WriteLog(path.c_str(), "debug"), 1);
    EXPECT_FALSE(open_in_process(path)) << "function-debug mode closes after every line";
    iFlagDebugModeFnc = 0;

    testing::internal::CaptureStdout();
    EXPECT_EQ(WriteLog("", "x"), 0);
    EXPECT_EQ(WriteLog((dir + "no/such/dir/x.log").c_str(), "x"), 0);
    EXPECT_EQ(WriteLog(nullptr, nullptr), 1);
    const std::string said = testing::internal::GetCapturedStdout();
    EXPECT_EQ(said.rfind("INTERNAL ERROR: Bad Log File name.\nImpossibile aprire il file ", 0), 0u);
    EXPECT_EQ(read_all(path), stamp(0, "first 1") + stamp(7, "second") + stamp(7, "debug"));
    set_clock_source(nullptr);
}
