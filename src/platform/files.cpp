// Staged output files on POSIX systems.
#include "platform/files.h"
#include "platform/hooks.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace coffhex {

namespace {

// The list of temporary files lives in the process hooks, for the fault
// handler: it only ever changes by single pointer stores, so a handler that
// interrupts a change on its own thread still finds a well-formed list.
// Changes from several threads are serialised by the hooks' lock. Nodes
// are freed once they are unlinked.

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
    std::lock_guard<std::mutex> guard(process_hooks().temp_lock);
    std::atomic<TempNode*>* link = &process_hooks().temp_files;
    for (TempNode* node = link->load(); node != nullptr; node = link->load()) {
        if (path == node->path) {
            link->store(node->next.load());
            delete[] node->path;
            delete node;
            return;
        }
        link = &node->next;
    }
}

// The name a staged file replaces: the name itself, or for a symbolic link
// the file it leads to. Empty when the name must be written directly: it
// exists and is not a regular file (a FIFO, a device), or it is a link
// that leads nowhere.
std::string replaced_name(const std::string& name, struct stat& existing, bool& exists) {
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
    if (stat(target.c_str(), &existing) != 0) return std::string();
    if (!S_ISREG(existing.st_mode)) return std::string();
    exists = true;
    return target;
}

}  // namespace

FILE* open_staged(const std::string& name, bool binary, StagedFile& file) {
    file.final_name = name;
    file.temp_name.clear();
    file.replace_name.clear();
    const char* mode = binary ? "wb" : "w";

    struct stat existing {};
    bool exists = false;
    const std::string target = replaced_name(name, existing, exists);
    if (!target.empty()) {
        // A name of this process's own; a left-over of an earlier process
        // with the same number is stepped over.
        for (int attempt = 0; attempt < 100; ++attempt) {
            const std::string temp = target + ".~" + std::to_string(static_cast<long>(getpid())) +
                                     "-" + std::to_string(attempt);
            const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd < 0) {
                if (errno == EEXIST) continue;
                break;  // the directory takes no new file: write the name itself
            }
            if (exists) {
                // The replacement keeps the mode (and, where the system lets
                // this user, the owner and group) of the file it replaces.
                if (fchown(fd, existing.st_uid, existing.st_gid) != 0)
                    (void)!fchown(fd, static_cast<uid_t>(-1), existing.st_gid);
                (void)fchmod(fd, existing.st_mode & 07777);
            }
            FILE* stream = fdopen(fd, mode);
            if (stream == nullptr) {
                const int error = errno;
                close(fd);
                unlink(temp.c_str());
                errno = error;
                return nullptr;
            }
            file.temp_name = temp;
            file.replace_name = target;
            register_temp(temp);
            return stream;
        }
    }
    return std::fopen(name.c_str(), mode);
}

bool commit_staged(StagedFile& file) {
    if (!file.staged()) return true;
    const bool done = std::rename(file.temp_name.c_str(), file.replace_name.c_str()) == 0;
    const int error = errno;
    if (!done) unlink(file.temp_name.c_str());
    unregister_temp(file.temp_name);
    file.temp_name.clear();
    errno = error;
    return done;
}

void discard_staged(StagedFile& file) {
    if (!file.staged()) return;
    unlink(file.temp_name.c_str());
    unregister_temp(file.temp_name);
    file.temp_name.clear();
}

void remove_staged_files_on_fault() {
    for (TempNode* node = process_hooks().temp_files.load(); node != nullptr; node = node->next.load())
        unlink(node->path);
}

ProcessHooks& process_hooks() {
    static ProcessHooks hooks;  // the process-wide hook state (see hooks.h)
    return hooks;
}

}  // namespace coffhex
