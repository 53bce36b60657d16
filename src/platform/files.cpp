// Staged output files: a temporary file beside the final name, renamed over
// it when the conversion is complete.
#include "platform/files.h"
#include "platform/hooks.h"
#include "platform/platform.h"

#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace coffhex {

namespace {

// The list of temporary files lives in the process hooks, for the fault
// handler: it only ever changes by single pointer stores, so a handler that
// interrupts a change on its own thread still finds a well-formed list.
// Changes from several threads are serialised by the hooks' lock.
//
// A node taken out of the list is freed only when no handler has begun to
// walk the list: the handler counts itself in before it reads the list's
// head, and the node is unlinked before the count is read (both
// sequentially consistent), so a handler that the count misses can no
// longer reach the node. Once a handler walks, the process is ending; the
// nodes taken out from then on are kept.

void register_temp(const std::string& path) {
    TempNode* node = new TempNode;
    node->path = new char[path.size() + 1];
    std::memcpy(node->path, path.c_str(), path.size() + 1);
    std::lock_guard<std::mutex> guard(process_hooks().temp_lock);
    std::atomic<TempNode*>& head = process_hooks().temp_files;
    node->next.store(head.load());
    head.store(node);
}

void unregister_temp(const std::string& path) {
    ProcessHooks& hooks = process_hooks();
    std::lock_guard<std::mutex> guard(hooks.temp_lock);
    std::atomic<TempNode*>* link = &hooks.temp_files;
    for (TempNode* node = link->load(); node != nullptr; node = link->load()) {
        if (path == node->path) {
            link->store(node->next.load());
            if (hooks.list_walkers.load() != 0) {
                // A handler may stand on the node: it stays as it is,
                // reachable from the hooks.
                node->retired_next = hooks.retired;
                hooks.retired = node;
                return;
            }
            delete[] node->path;
            delete node;
            return;
        }
        link = &node->next;
    }
}

#ifdef _WIN32

struct Existing {};  // Windows keeps no mode bits that a new file should copy

// The name a staged file replaces: the name itself when it is absent or a
// regular file; empty when it must be written directly (a device such as
// NUL or COM1, a directory).
std::string replaced_name(const std::string& name, Existing&, bool& exists) {
    exists = false;
    struct _stat64 st;
    if (_stat64(name.c_str(), &st) != 0) return errno == ENOENT ? name : std::string();
    if ((st.st_mode & _S_IFMT) != _S_IFREG) return std::string();
    exists = true;
    return name;
}

int create_exclusive(const std::string& path, bool binary) {
    return _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | (binary ? _O_BINARY : _O_TEXT),
                 _S_IREAD | _S_IWRITE);
}

void keep_mode(int, const Existing&) {}

FILE* stream_of(int fd, const char* mode) { return _fdopen(fd, mode); }
void close_fd(int fd) { _close(fd); }
void remove_file(const char* path) { _unlink(path); }

// A plain rename fails onto an existing file; MoveFileEx replaces it.
bool replace_file(const std::string& from, const std::string& to) {
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0) return true;
    switch (GetLastError()) {
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: errno = EACCES; break;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: errno = ENOENT; break;
    case ERROR_DISK_FULL: errno = ENOSPC; break;
    default: errno = EIO; break;
    }
    return false;
}

#else

struct Existing {
    struct stat st;
};

// The name a staged file replaces: the name itself, or for a symbolic link
// the file it leads to. Empty when the name must be written directly: it
// exists and is not a regular file (a FIFO, a device), or it is a link
// that leads nowhere.
std::string replaced_name(const std::string& name, Existing& existing, bool& exists) {
    exists = false;
    struct stat link;
    if (lstat(name.c_str(), &link) != 0) return errno == ENOENT ? name : std::string();
    std::string target = name;
    if (S_ISLNK(link.st_mode)) {
        char* resolved = realpath(name.c_str(), nullptr);
        if (resolved == nullptr) return std::string();
        target = resolved;
        std::free(resolved);
    }
    if (stat(target.c_str(), &existing.st) != 0) return std::string();
    if (!S_ISREG(existing.st.st_mode)) return std::string();
    exists = true;
    return target;
}

int create_exclusive(const std::string& path, bool) {
    return open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}

// The replacement keeps the mode (and, where the system lets this user,
// the owner and group) of the file it replaces.
void keep_mode(int fd, const Existing& existing) {
    if (fchown(fd, existing.st.st_uid, existing.st.st_gid) != 0)
        (void)!fchown(fd, static_cast<uid_t>(-1), existing.st.st_gid);
    (void)fchmod(fd, existing.st.st_mode & 07777);
}

FILE* stream_of(int fd, const char* mode) { return fdopen(fd, mode); }
void close_fd(int fd) { close(fd); }
void remove_file(const char* path) { unlink(path); }
bool replace_file(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) == 0;
}

#endif

}  // namespace

FILE* open_staged(const std::string& name, bool binary, StagedFile& file) {
    file.final_name = name;
    file.temp_name.clear();
    file.replace_name.clear();
    const char* mode = binary ? "wb" : "w";

    Existing existing{};
    bool exists = false;
    const std::string target = replaced_name(name, existing, exists);
    if (!target.empty()) {
        // A name of this process's own; a left-over of an earlier process
        // with the same number is stepped over.
        for (int attempt = 0; attempt < 100; ++attempt) {
            const std::string temp =
                target + ".~" + std::to_string(process_id()) + "-" + std::to_string(attempt);
            // Listed before it is created: a signal that comes as the file
            // appears still finds it (one that comes before finds nothing
            // to remove under that name, or a left-over of our own kind).
            register_temp(temp);
            const int fd = create_exclusive(temp, binary);
            if (fd < 0) {
                const int error = errno;
                unregister_temp(temp);
                if (error == EEXIST) continue;
                errno = error;
                break;  // the directory takes no new file: write the name itself
            }
            if (exists) keep_mode(fd, existing);
            FILE* stream = stream_of(fd, mode);
            if (stream == nullptr) {
                const int error = errno;
                close_fd(fd);
                remove_file(temp.c_str());
                unregister_temp(temp);
                errno = error;
                return nullptr;
            }
            file.temp_name = temp;
            file.replace_name = target;
            return stream;
        }
    }
    return std::fopen(name.c_str(), mode);
}

bool commit_staged(StagedFile& file) {
    if (!file.staged()) return true;
    const bool done = replace_file(file.temp_name, file.replace_name);
    const int error = errno;
    if (!done) remove_file(file.temp_name.c_str());
    unregister_temp(file.temp_name);
    file.temp_name.clear();
    errno = error;
    return done;
}

void discard_staged(StagedFile& file) {
    if (!file.staged()) return;
    remove_file(file.temp_name.c_str());
    unregister_temp(file.temp_name);
    file.temp_name.clear();
}

int close_written_stream(FILE* stream, int earlier_error) {
    int error = earlier_error;
    errno = 0;
    if (std::fflush(stream) != 0 && error == 0) error = errno != 0 ? errno : EIO;
    if (error == 0 && std::ferror(stream)) error = EIO;
    errno = 0;
    if (std::fclose(stream) != 0 && error == 0) error = errno != 0 ? errno : EIO;
    return error;
}

void remove_staged_files_on_fault() {
    ProcessHooks& hooks = process_hooks();
    hooks.list_walkers.fetch_add(1);
    for (TempNode* node = hooks.temp_files.load(); node != nullptr; node = node->next.load())
        remove_file(node->path);
}

ProcessHooks& process_hooks() {
    static ProcessHooks hooks;  // the process-wide hook state (see hooks.h)
    return hooks;
}

}  // namespace coffhex
