// Starting Ostrel on Windows: Ostrel.exe beside the running launcher (GetModuleFileNameW), started
// through the shell with ShellExecuteExW. The parameter line quotes the fields that need it
// (WindowsParameterLine), so a description with blanks arrives as one parameter.
#include "launcher/FrmMainStart.h"
#include "platform/ProgramNames.h"

#include "platform/win32/WideText.h"

#include <shellapi.h>

#include <iterator>

namespace mirota {

// The shell hands back no process to wait for.
struct PlatformControlStarter::Backend {};

std::string ProgramDirectory()
{
    wchar_t buffer[MAX_PATH * 4];
    const DWORD length = ::GetModuleFileNameW(nullptr, buffer, static_cast<DWORD>(std::size(buffer)));
    if (length == 0 || length >= std::size(buffer))
        return {};
    const std::wstring_view path(buffer, length);
    const auto slash = path.find_last_of(L"\\/");
    if (slash == std::wstring_view::npos)
        return {};
    return win32::Narrow(path.substr(0, slash + 1));
}

std::string ControlProgramPath()
{
    const std::string dir = ProgramDirectory();
    return dir.empty() ? std::string() : dir + kControlProgramFile;
}

PlatformControlStarter::PlatformControlStarter(std::string program)
    : FProgram(program.empty() ? ControlProgramPath() : std::move(program)), FBackend(std::make_unique<Backend>())
{
}

PlatformControlStarter::~PlatformControlStarter() = default;

void PlatformControlStarter::ReapFinished() {}

std::vector<int> PlatformControlStarter::Children() const
{
    return {};
}

bool PlatformControlStarter::StartControlProgram(const ControlStartParameters& parameters)
{
    if (FProgram.empty())
        return false;
    const std::u16string line16 = WindowsParameterLine(parameters);
    const std::wstring line(line16.begin(), line16.end());
    const std::wstring file = win32::Widen(FProgram);
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = 0;
    info.hwnd = ::GetActiveWindow();
    info.lpVerb = L"open";
    info.lpFile = file.c_str();
    info.lpParameters = line.c_str();
    info.nShow = SW_SHOWNORMAL;
    return ::ShellExecuteExW(&info) != FALSE;
}

} // namespace mirota
