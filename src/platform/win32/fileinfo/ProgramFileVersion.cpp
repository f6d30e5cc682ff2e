// The about box's file status and version of a program file on Windows: the file's attributes, and the
// file version of its version resource (GetFileVersionInfoSizeW, GetFileVersionInfoW, VerQueryValueW
// with the root block "\", the four numbers of VS_FIXEDFILEINFO's dwFileVersionMS and dwFileVersionLS).
#include "launcher/FrmAbout.h"

#include "platform/win32/WideText.h"

#include <vector>

namespace mirota {

bool ProgramFileVersionSource::FileExists(const std::string& path) const {
    const DWORD attributes = ::GetFileAttributesW(win32::Widen(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool ProgramFileVersionSource::GetFileVersion(const std::string& path, TFileVersionNumbers& version) const {
    const std::wstring file = win32::Widen(path);
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(file.c_str(), &ignored);
    if (size == 0) return false;
    std::vector<unsigned char> buffer(size);
    if (!::GetFileVersionInfoW(file.c_str(), 0, size, buffer.data())) return false;
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    // Without a fixed part the numbers stay as they are; the resource itself was read.
    if (::VerQueryValueW(buffer.data(), L"\\", reinterpret_cast<LPVOID*>(&info), &length) && info &&
        length >= sizeof(VS_FIXEDFILEINFO)) {
        version.Major = HIWORD(info->dwFileVersionMS);
        version.Minor = LOWORD(info->dwFileVersionMS);
        version.Release = HIWORD(info->dwFileVersionLS);
        version.Build = LOWORD(info->dwFileVersionLS);
    }
    return true;
}

} // namespace mirota
