// Test helpers around a plug-in load: its standard output and its home folder.
#pragma once

#include <string>

namespace hostsim {

// Redirects file descriptor 1 to a temporary file from construction until
// stop(); what was written there, through stdio or directly, is returned.
class StdoutCapture {
public:
    StdoutCapture();
    ~StdoutCapture();
    StdoutCapture(const StdoutCapture&) = delete;
    StdoutCapture& operator=(const StdoutCapture&) = delete;

    std::string stop();

private:
    int saved_fd_ = -1;
    int file_fd_ = -1;
};

// A fresh home folder: HOME points at it, and the working directory, which a
// plug-in may change, is put back when it goes away with its contents.
class TempHome {
public:
    TempHome();
    ~TempHome();
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;

    const std::string& path() const { return path_; }
    std::string make_dir(const std::string& relative) const;  // with parents; returns the full path
    void copy_in(const std::string& source, const std::string& relative) const;
    void write(const std::string& relative, const std::string& content) const;

private:
    std::string path_;
    std::string old_home_;
    bool had_home_ = false;
    std::string old_cwd_;
};

}  // namespace hostsim
