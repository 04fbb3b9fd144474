#include "support.h"
#include "utilities.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

namespace {

// How many descriptors of this process are open on `path`.
int open_descriptors(const std::string& path)
{
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        if (std::filesystem::read_symlink(entry.path(), error) == path) ++count;
    }
    return count;
}

int write_quietly(const char* path, const char* text)
{
    testing::internal::CaptureStdout();
    const int result = WriteFile(path, text);
    testing::internal::GetCapturedStdout();
    return result;
}

}  // namespace

TEST(DeviceReady, OpensAndClosesAtOnce)
{
    const std::string dir = make_temp_dir();
    const std::string path = dir + "/device";
    EXPECT_EQ(zemDeviceReady(path.c_str(), "r"), 0);
    EXPECT_EQ(zemDeviceReady(path.c_str(), "a"), 1);
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_EQ(zemDeviceReady(path.c_str(), "r"), 1);
    EXPECT_EQ(open_descriptors(path), 0);
    EXPECT_EQ(zemDeviceReady("", "r"), 0);
    EXPECT_EQ(zemDeviceReady(nullptr, "r"), 0);
    EXPECT_EQ(zemDeviceReady((dir + "/no/such/folder").c_str(), "w"), 0);
}

TEST(AppendFile, StaysOpenForOnePathAndSwitchesCleanly)
{
    const std::string dir = make_temp_dir();
    const std::string first = dir + "/first.txt";
    const std::string second = dir + "/second.txt";

    EXPECT_EQ(write_quietly(first.c_str(), "one\n"), 1);
    EXPECT_EQ(write_quietly(first.c_str(), "two\n"), 1);
    EXPECT_EQ(read_file(first), "one\ntwo\n") << "each text is flushed";
    EXPECT_EQ(open_descriptors(first), 1);

    EXPECT_EQ(write_quietly(second.c_str(), "three\n"), 1);
    EXPECT_EQ(open_descriptors(first), 0) << "the first file is closed";
    EXPECT_EQ(open_descriptors(second), 1);

    testing::internal::CaptureStdout();
    EXPECT_EQ(WriteFile(nullptr, nullptr), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout().rfind("  * Closing: " + second + " [", 0), 0u);
    EXPECT_EQ(open_descriptors(second), 0);
    EXPECT_EQ(read_file(second), "three\n");
}

TEST(AppendFile, ReportsBadRequests)
{
    testing::internal::CaptureStdout();
    EXPECT_EQ(WriteFile("", "text"), 0);
    EXPECT_EQ(WriteFile(nullptr, "text"), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ERROR: Bad File name.ERROR: Bad File name.");

    const std::string missing = make_temp_dir() + "/no/such/file";
    testing::internal::CaptureStdout();
    EXPECT_EQ(WriteFile(missing.c_str(), "text"), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\nUnable to open file " + missing + " ; error: No such file or directory .");

    const std::string path = make_temp_dir() + "/empty.txt";
    testing::internal::CaptureStdout();
    EXPECT_EQ(WriteFile(path.c_str(), ""), 1);
    const std::string said = testing::internal::GetCapturedStdout();
    EXPECT_NE(said.find("WriteFile(" + path + ") : INTERNAL ERROR\n"), std::string::npos);
    EXPECT_EQ(read_file(path), "");
    write_quietly(nullptr, nullptr);
}
