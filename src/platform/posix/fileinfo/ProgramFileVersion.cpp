// The about box's file status and version of a program file on Linux: stat for a regular file, the
// version from the marker the file carries.
#include "launcher/FrmAbout.h"
#include "platform/posix/fileinfo/MarkerFileVersion.h"

#include <sys/stat.h>

namespace mirota {

bool ProgramFileVersionSource::FileExists(const std::string& path) const {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool ProgramFileVersionSource::GetFileVersion(const std::string& path, TFileVersionNumbers& version) const {
    FileVersion found;
    if (!ReadFileVersion(path, found)) return false;
    version = found;
    return true;
}

} // namespace mirota
