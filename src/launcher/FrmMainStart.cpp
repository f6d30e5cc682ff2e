#include "launcher/FrmMainStart.h"

#include <iterator>
#include <string>

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#else
#include <cerrno>
#include <climits>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

namespace mirota {

std::vector<std::u16string> ControlParameterList(const ControlStartParameters& parameters)
{
    const std::string handle = std::to_string(parameters.Launcher);
    return {parameters.Port, parameters.Description, parameters.Serial, std::u16string(handle.begin(), handle.end())};
}

std::u16string QuoteWindowsArgument(const std::u16string& argument)
{
    if (!argument.empty() && argument.find_first_of(u" \t\n\v\"") == std::u16string::npos)
        return argument;
    std::u16string quoted = u"\"";
    std::size_t backslashes = 0;
    for (char16_t c : argument) {
        if (c == u'\\') {
            ++backslashes;
            continue;
        }
        if (c == u'"') {
            quoted.append(backslashes * 2 + 1, u'\\');
        } else {
            quoted.append(backslashes, u'\\');
        }
        backslashes = 0;
        quoted.push_back(c);
    }
    quoted.append(backslashes * 2, u'\\');
    quoted.push_back(u'"');
    return quoted;
}

std::u16string WindowsParameterLine(const ControlStartParameters& parameters)
{
    std::u16string line;
    for (const std::u16string& parameter : ControlParameterList(parameters)) {
        if (!line.empty())
            line.push_back(u' ');
        line += QuoteWindowsArgument(parameter);
    }
    return line;
}

std::vector<std::u16string> SplitWindowsParameterLine(const std::u16string& line)
{
    std::vector<std::u16string> result;
    std::size_t i = 0;
    const std::size_t n = line.size();
    for (;;) {
        while (i < n && (line[i] == u' ' || line[i] == u'\t' || line[i] == u'\n' || line[i] == u'\v'))
            ++i;
        if (i >= n)
            break;
        std::u16string argument;
        bool inQuotes = false;
        while (i < n) {
            const char16_t c = line[i];
            if (!inQuotes && (c == u' ' || c == u'\t' || c == u'\n' || c == u'\v'))
                break;
            if (c == u'\\') {
                std::size_t count = 0;
                while (i < n && line[i] == u'\\') {
                    ++count;
                    ++i;
                }
                if (i < n && line[i] == u'"') {
                    argument.append(count / 2, u'\\');
                    if (count % 2 == 1) {
                        argument.push_back(u'"');
                        ++i;
                    }
                } else {
                    argument.append(count, u'\\');
                }
                continue;
            }
            if (c == u'"') {
                if (inQuotes && i + 1 < n && line[i + 1] == u'"') {
                    argument.push_back(u'"');
                    i += 2;
                    continue;
                }
                inQuotes = !inQuotes;
                ++i;
                continue;
            }
            argument.push_back(c);
            ++i;
        }
        result.push_back(argument);
    }
    return result;
}

#ifdef _WIN32

std::string ProgramDirectory()
{
    wchar_t buffer[MAX_PATH * 4];
    const DWORD length = GetModuleFileNameW(nullptr, buffer, static_cast<DWORD>(std::size(buffer)));
    if (length == 0 || length >= std::size(buffer))
        return {};
    std::wstring path(buffer, length);
    const auto slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos)
        return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, path.c_str(), static_cast<int>(slash + 1), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, path.c_str(), static_cast<int>(slash + 1), utf8.data(), size, nullptr, nullptr);
    return utf8;
}

std::string ControlProgramPath()
{
    const std::string dir = ProgramDirectory();
    return dir.empty() ? std::string() : dir + "Ostrel.exe";
}

#else

std::string ProgramDirectory()
{
    char buffer[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0)
        return {};
    std::string path(buffer, static_cast<std::size_t>(length));
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string ControlProgramPath()
{
    const std::string dir = ProgramDirectory();
    return dir.empty() ? std::string() : dir + "ostrel";
}

#endif

PlatformControlStarter::PlatformControlStarter(std::string program)
    : FProgram(program.empty() ? ControlProgramPath() : std::move(program))
{
}

#ifdef _WIN32

PlatformControlStarter::~PlatformControlStarter() = default;

void PlatformControlStarter::ReapFinished() {}

bool PlatformControlStarter::StartControlProgram(const ControlStartParameters& parameters)
{
    if (FProgram.empty())
        return false;
    const std::u16string line16 = WindowsParameterLine(parameters);
    const std::wstring line(line16.begin(), line16.end());
    const int size = MultiByteToWideChar(CP_UTF8, 0, FProgram.c_str(), -1, nullptr, 0);
    std::wstring file(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, FProgram.c_str(), -1, file.data(), size);
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = 0;
    info.hwnd = GetActiveWindow();
    info.lpVerb = L"open";
    info.lpFile = file.c_str();
    info.lpParameters = line.c_str();
    info.nShow = SW_SHOWNORMAL;
    return ShellExecuteExW(&info) != FALSE;
}

#else

PlatformControlStarter::~PlatformControlStarter()
{
    ReapFinished();
}

void PlatformControlStarter::ReapFinished()
{
    for (auto it = FChildren.begin(); it != FChildren.end();) {
        int status = 0;
        const pid_t done = waitpid(*it, &status, WNOHANG);
        if (done == *it || (done < 0 && errno == ECHILD))
            it = FChildren.erase(it);
        else
            ++it;
    }
}

bool PlatformControlStarter::StartControlProgram(const ControlStartParameters& parameters)
{
    ReapFinished();
    if (FProgram.empty())
        return false;
    std::vector<std::string> arguments{FProgram};
    for (const std::u16string& parameter : ControlParameterList(parameters))
        arguments.push_back(ToUtf8(parameter));
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    pid_t pid = 0;
    if (posix_spawn(&pid, FProgram.c_str(), nullptr, nullptr, argv.data(), environ) != 0)
        return false;
    FChildren.push_back(pid);
    return true;
}

#endif

} // namespace mirota
