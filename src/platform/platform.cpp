#include "platform/platform.h"

#ifdef _WIN32
#include <windows.h>
#include <process.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace coffhex {

namespace {

// A name split at its last directory separator: the folder ("." when there
// is none) and the name in it.
struct Place {
    std::string folder;
    std::string name;
};

Place place_of(const std::string& path, const char* separators) {
    const size_t cut = path.find_last_of(separators);
    if (cut == std::string::npos) return {".", path};
    return {cut == 0 ? path.substr(0, 1) : path.substr(0, cut + 1), path.substr(cut + 1)};
}

}  // namespace

#ifdef _WIN32

namespace {

bool same_name(const std::string& a, const std::string& b) {
    return CompareStringOrdinal(std::wstring(a.begin(), a.end()).c_str(), -1,
                                std::wstring(b.begin(), b.end()).c_str(), -1, TRUE) == CSTR_EQUAL;
}

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

bool same_identity(const std::string& a, const std::string& b, bool& found) {
    BY_HANDLE_FILE_INFORMATION ia, ib;
    const bool ka = file_identity(a, ia), kb = file_identity(b, ib);
    found = ka || kb;
    return ka && kb && ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
           ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}

// Where a name's folder ends; a drive letter ends one too.
constexpr const char* SEPARATORS = "/\\:";

}  // namespace

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

namespace {

bool same_identity(const std::string& a, const std::string& b, bool& found) {
    struct stat sa, sb;
    const bool ka = stat(a.c_str(), &sa) == 0, kb = stat(b.c_str(), &sb) == 0;
    found = ka || kb;
    return ka && kb && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool same_name(const std::string& a, const std::string& b) { return a == b; }

constexpr const char* SEPARATORS = "/";

}  // namespace

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

// Names of files that do not exist yet are the same file when they name
// the same folder and the same name in it (on Windows, whatever the letter
// case).
bool same_file(const std::string& a, const std::string& b) {
    if (a == b) return true;
    bool found = false;
    if (same_identity(a, b, found)) return true;
    if (found) return false;
    const Place pa = place_of(a, SEPARATORS), pb = place_of(b, SEPARATORS);
    return same_name(pa.name, pb.name) && same_identity(pa.folder, pb.folder, found);
}

}  // namespace coffhex
