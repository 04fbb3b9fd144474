// File readiness and an append file that stays open between calls.
#include "utilities.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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


bool write_all(int fd, const std::string& image)
{
    size_t done = 0;
    while (done < image.size()) {
        ssize_t n = write(fd, image.data() + done, image.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Makes the rename itself durable.
void sync_folder_of(const std::string& path)
{
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + (slash == 0));
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
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

// Writes `image` next to `path`, checks its size, syncs it and renames it
// over `path`: a crash at any moment leaves the old file or the new one.
bool zemReplaceFile(const std::string& path, const std::string& image)
{
    const std::string temporary = path + ".tmp";
    int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    struct stat info{};
    bool ok = write_all(fd, image) && fstat(fd, &info) == 0 && info.st_size == static_cast<off_t>(image.size()) &&
              fsync(fd) == 0;
    int saved = errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        saved = errno;
    }
    if (ok && rename(temporary.c_str(), path.c_str()) != 0) {
        ok = false;
        saved = errno;
    }
    if (ok) sync_folder_of(path);
    if (!ok) {
        unlink(temporary.c_str());
        errno = saved ? saved : EIO;
    }
    return ok;
}
