// Starting Ostrel on Windows: Ostrel.exe beside the running launcher (GetModuleFileNameW), started
// through the shell with ShellExecuteExW. The parameter line quotes the fields that need it
// (WindowsParameterLine), so a description with blanks arrives as one parameter. The shell is asked
// for no user interface of its own: a missing or unstartable program is a failed start, not a modal
// box of the shell that waits for someone to close it. The process handles of the started programs
// are kept until they have ended (ReapFinished), so Children() names the running ones as on Linux.
#include "launcher/FrmMainStart.h"

#include "platform/win32/WideText.h"

#include <shellapi.h>

#include <algorithm>
#include <iterator>
#include <vector>

namespace mirota {

namespace {

class Win32Backend : public PlatformControlStarter::Backend {
public:
    ~Win32Backend() override {
        for (HANDLE process : processes_)
            ::CloseHandle(process);
    }

    bool Start(const std::string& program, const ControlStartParameters& parameters) override {
        const std::u16string line16 = WindowsParameterLine(parameters);
        const std::wstring line(line16.begin(), line16.end());
        const std::wstring file = win32::Widen(program);
        SHELLEXECUTEINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOCLOSEPROCESS;
        info.hwnd = ::GetActiveWindow();
        info.lpVerb = L"open";
        info.lpFile = file.c_str();
        info.lpParameters = line.c_str();
        info.nShow = SW_SHOWNORMAL;
        if (!::ShellExecuteExW(&info)) return false;
        // Null when the shell handed the file to a program that was running already (not for an .exe).
        if (info.hProcess) processes_.push_back(info.hProcess);
        return true;
    }

    void ReapFinished() override {
        processes_.erase(std::remove_if(processes_.begin(), processes_.end(),
                                        [](HANDLE process) {
                                            if (::WaitForSingleObject(process, 0) == WAIT_TIMEOUT)
                                                return false;
                                            ::CloseHandle(process);
                                            return true;
                                        }),
                         processes_.end());
    }

    std::vector<int> Children() const override {
        std::vector<int> ids;
        for (HANDLE process : processes_)
            ids.push_back(static_cast<int>(::GetProcessId(process)));
        return ids;
    }

private:
    std::vector<HANDLE> processes_;
};

} // namespace

std::string ProgramDirectory() {
    wchar_t buffer[MAX_PATH * 4];
    const DWORD length = ::GetModuleFileNameW(nullptr, buffer, static_cast<DWORD>(std::size(buffer)));
    if (length == 0 || length >= std::size(buffer)) return {};
    const std::wstring_view path(buffer, length);
    const auto slash = path.find_last_of(L"\\/");
    if (slash == std::wstring_view::npos) return {};
    return win32::Narrow(path.substr(0, slash + 1));
}

std::unique_ptr<PlatformControlStarter::Backend> PlatformControlStarter::CreateBackend() {
    return std::make_unique<Win32Backend>();
}

} // namespace mirota
