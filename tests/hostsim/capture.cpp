#include "capture.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace hostsim {

StdoutCapture::StdoutCapture()
{
    std::fflush(stdout);
    std::cout.flush();
    char name[] = "/tmp/hostsim-stdout-XXXXXX";
    file_fd_ = mkstemp(name);
    if (file_fd_ < 0) throw std::runtime_error("cannot create a capture file");
    unlink(name);
    saved_fd_ = dup(STDOUT_FILENO);
    dup2(file_fd_, STDOUT_FILENO);
}

StdoutCapture::~StdoutCapture() { stop(); }

std::string StdoutCapture::stop()
{
    if (saved_fd_ < 0) return {};
    std::fflush(stdout);
    std::cout.flush();
    dup2(saved_fd_, STDOUT_FILENO);
    close(saved_fd_);
    saved_fd_ = -1;

    std::string text;
    char buffer[4096];
    lseek(file_fd_, 0, SEEK_SET);
    for (ssize_t n; (n = read(file_fd_, buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<size_t>(n));
    close(file_fd_);
    file_fd_ = -1;
    return text;
}

TempHome::TempHome()
{
    char name[] = "/tmp/hostsim-home-XXXXXX";
    if (!mkdtemp(name)) throw std::runtime_error("cannot create a home folder");
    path_ = fs::canonical(name).string();
    if (const char* home = std::getenv("HOME")) {
        had_home_ = true;
        old_home_ = home;
    }
    old_cwd_ = fs::current_path().string();
    setenv("HOME", path_.c_str(), 1);
}

TempHome::~TempHome()
{
    std::error_code ignored;
    fs::current_path(old_cwd_, ignored);
    if (had_home_) setenv("HOME", old_home_.c_str(), 1);
    else unsetenv("HOME");
    fs::remove_all(path_, ignored);
}

std::string TempHome::make_dir(const std::string& relative) const
{
    fs::path full = fs::path(path_) / relative;
    fs::create_directories(full);
    return full.string();
}

void TempHome::copy_in(const std::string& source, const std::string& relative) const
{
    fs::path target = fs::path(path_) / relative;
    fs::create_directories(target.parent_path());
    fs::copy_file(source, target, fs::copy_options::overwrite_existing);
}

void TempHome::write(const std::string& relative, const std::string& content) const
{
    fs::path target = fs::path(path_) / relative;
    fs::create_directories(target.parent_path());
    std::ofstream(target, std::ios::binary) << content;
}

}  // namespace hostsim
