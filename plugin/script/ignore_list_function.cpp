// ignore_list( FILE ): the client's ignore list written to a file.
//
// The file goes where the user may write: a name without a folder lands in
// the data folder, a path is taken only as the user typed it (never from a
// value that came from the network). The file is made new (never through a
// symbolic link); a file already there is replaced only when this plug-in
// made it, so nothing the user keeps is ever deleted.
#include "script/function_handlers.h"

#include "host/host.h"
#include "host/paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>
#include <tuple>

namespace quibo_functions {

namespace {

// A file as this plug-in left it: device, inode and the time of its last
// change, so that a file the user changed since, or a new file that reuses
// the inode, is not taken for ours.
using FileIdentity = std::tuple<dev_t, ino_t, time_t, long>;

FileIdentity identity(const struct stat& st) { return {st.st_dev, st.st_ino, st.st_ctim.tv_sec, st.st_ctim.tv_nsec}; }

std::set<FileIdentity>& files_made()
{
    static std::set<FileIdentity> made;
    return made;
}

bool has_parent_step(const std::string& path)
{
    size_t start = 0;
    while (start <= path.size()) {
        const size_t slash = std::min(path.find('/', start), path.size());
        if (path.compare(start, slash - start, "..") == 0 && slash - start == 2) return true;
        start = slash + 1;
    }
    return false;
}

// Where FILE goes; empty when it may not be written.
std::string target_path(const InertText& argument, const std::string& file)
{
    if (!argument.literal.empty() || file.empty()) return std::string();
    if (file[0] == '/') return file;
    if (has_parent_step(file)) return std::string();
    return quibo_data_path(file);
}

// A file of ours at `path` is removed; true when nothing is in the way.
bool clear_place(const std::string& path)
{
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) return errno == ENOENT;
    if (!S_ISREG(st.st_mode) || !files_made().count(identity(st))) {
        errno = EEXIST;
        return false;
    }
    files_made().erase(identity(st));
    return unlink(path.c_str()) == 0;
}

bool write_all(int fd, const std::string& text)
{
    for (size_t done = 0; done < text.size();) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool write_list(const std::string& path)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    std::string text;
    for (const IgnoreEntry& entry : ignore_list) text += entry.mask + "\t" + std::to_string(entry.flags) + "\n";
    const bool written = write_all(fd, text);
    const int saved = errno;
    struct stat st {};
    if (written && fstat(fd, &st) == 0) files_made().insert(identity(st));
    const bool closed = close(fd) == 0;
    errno = written ? errno : saved;
    return written && closed;
}

}  // namespace

Result _advanced_function__ignore_list(const InertText& argument)
{
    std::string file = argument_text(argument);
    file.erase(0, std::min(file.find_first_not_of(' '), file.size()));
    while (!file.empty() && file.back() == ' ') file.pop_back();
    if (file.empty()) return std::nullopt;
    const std::string path = target_path(argument, file);
    if (path.empty()) {
        function_message(1164, file.c_str());
        return std::string("0");
    }
    update_ignore(nullptr);
    if (!clear_place(path)) {
        if (errno == EEXIST)
            function_message(1165, path.c_str());
        else
            function_message(1166, path.c_str(), strerror(errno));
        return std::string("0");
    }
    if (!write_list(path)) {
        function_message(1166, path.c_str(), strerror(errno));
        return std::string("0");
    }
    return std::string(ignore_list.empty() ? "0" : "1");
}

}  // namespace quibo_functions
