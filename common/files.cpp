// File readiness and an append file that stays open between calls.
#include "utilities.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

struct CloseFile {
    void operator()(FILE* file) const { fclose(file); }
};
using File = std::unique_ptr<FILE, CloseFile>;

struct AppendFile {
    std::string path;  // empty when none is remembered
    File stream;
};

AppendFile append_file;

void close_append_file()
{
    append_file.stream.reset();
    if (!append_file.path.empty()) printf("  * Closing: %s [%p]\n", append_file.path.c_str(), append_file.path.c_str());
    append_file.path.clear();
}

}  // namespace

int zemDeviceReady(const char* path, const char* mode)
{
    if (!path || !*path || !mode) return 0;
    return File(fopen(path, mode)) ? 1 : 0;
}

int WriteFile(const char* path, const char* text)
{
    if (!path && !text) {
        close_append_file();
        return 1;
    }
    if (!path || !*path) {
        printf("ERROR: Bad File name.");
        return 0;
    }
    if (!append_file.stream || append_file.path != path) {
        append_file.stream.reset();
        append_file.stream.reset(fopen(path, "a"));
        append_file.path = path;
    }
    if (!append_file.stream) {
        printf("\nUnable to open file %s ; error: %s .", path, strerror(errno));
        return 0;
    }
    printf("  * Opening: %s [%p]\n", append_file.path.c_str(), append_file.path.c_str());
    if (text && *text) {
        fputs(text, append_file.stream.get());
        fflush(append_file.stream.get());
    } else {
        printf("WriteFile(%s) : INTERNAL ERROR\n", path);
    }
    return 1;
}
