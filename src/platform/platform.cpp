#include "platform/platform.h"

#ifdef _WIN32
#include <windows.h>
#include <process.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace coffhex {

#ifdef _WIN32

namespace {

// Volume serial number and file index of a name; false when it cannot be
// opened.
bool file_identity(const std::string& name, BY_HANDLE_FILE_INFORMATION& info) {
    HANDLE handle = CreateFileA(name.c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    const bool ok = GetFileInformationByHandle(handle, &info) != 0;
    CloseHandle(handle);
    return ok;
}

}  // namespace

bool same_file(const std::string& a, const std::string& b) {
    if (a == b) return true;
    BY_HANDLE_FILE_INFORMATION ia, ib;
    return file_identity(a, ia) && file_identity(b, ib) &&
           ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
           ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}

bool seek_to(FILE* stream, uint64_t position) {
    return _fseeki64(stream, static_cast<__int64>(position), SEEK_SET) == 0;
}

bool stream_size(FILE* stream, uint64_t& size) {
    if (_fseeki64(stream, 0, SEEK_END) != 0) return false;
    const __int64 end = _ftelli64(stream);
    if (end < 0) return false;
    size = static_cast<uint64_t>(end);
    return true;
}

long process_id() { return static_cast<long>(_getpid()); }

#else

bool same_file(const std::string& a, const std::string& b) {
    if (a == b) return true;
    struct stat sa, sb;
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

bool seek_to(FILE* stream, uint64_t position) {
    return fseeko(stream, static_cast<off_t>(position), SEEK_SET) == 0;
}

bool stream_size(FILE* stream, uint64_t& size) {
    if (fseeko(stream, 0, SEEK_END) != 0) return false;
    const off_t end = ftello(stream);
    if (end < 0) return false;
    size = static_cast<uint64_t>(end);
    return true;
}

long process_id() { return static_cast<long>(getpid()); }

#endif

}  // namespace coffhex
