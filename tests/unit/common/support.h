// Helpers for tests that run programs and use scratch files.
#pragma once

#include <string>
#include <vector>

struct ProgramRun {
    std::string output;  // standard output
    int status = -1;     // exit status, -1 when it did not exit normally
};

// Runs argv[0] with the arguments as given (no shell) and waits for it.
ProgramRun run_program(const std::vector<std::string>& argv);

// A new empty folder under the test's temporary directory.
std::string make_temp_dir();

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& text, int mode = 0644);
