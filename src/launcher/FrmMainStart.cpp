// The four start parameters of Ostrel, their quoting for a Windows parameter line, and the starter's
// part that is the same on every platform: which program it starts, and that it starts none when that
// program cannot be found.
#include "launcher/FrmMainStart.h"

#include "platform/ProgramNames.h"

#include <string>

namespace mirota {

std::string ControlProgramPath() {
    const std::string dir = ProgramDirectory();
    return dir.empty() ? std::string() : dir + kControlProgramFile;
}

PlatformControlStarter::PlatformControlStarter(std::string program)
    : FProgram(program.empty() ? ControlProgramPath() : std::move(program)), FBackend(CreateBackend()) {}

PlatformControlStarter::~PlatformControlStarter() = default;

bool PlatformControlStarter::StartControlProgram(const ControlStartParameters& parameters) {
    ReapFinished();
    if (FProgram.empty()) return false;
    return FBackend->Start(FProgram, parameters);
}

void PlatformControlStarter::ReapFinished() {
    FBackend->ReapFinished();
}

std::vector<int> PlatformControlStarter::Children() const {
    return FBackend->Children();
}

std::vector<std::u16string> ControlParameterList(const ControlStartParameters& parameters) {
    const std::string handle = std::to_string(parameters.Launcher);
    return {parameters.Port, parameters.Description, parameters.Serial,
            std::u16string(handle.begin(), handle.end())};
}

std::u16string QuoteWindowsArgument(const std::u16string& argument) {
    if (!argument.empty() && argument.find_first_of(u" \t\n\v\"") == std::u16string::npos) return argument;
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

std::u16string WindowsParameterLine(const ControlStartParameters& parameters) {
    std::u16string line;
    for (const std::u16string& parameter : ControlParameterList(parameters)) {
        if (!line.empty()) line.push_back(u' ');
        line += QuoteWindowsArgument(parameter);
    }
    return line;
}

std::vector<std::u16string> SplitWindowsParameterLine(const std::u16string& line) {
    std::vector<std::u16string> result;
    std::size_t i = 0;
    const std::size_t n = line.size();
    for (;;) {
        while (i < n && (line[i] == u' ' || line[i] == u'\t' || line[i] == u'\n' || line[i] == u'\v'))
            ++i;
        if (i >= n) break;
        std::u16string argument;
        bool inQuotes = false;
        while (i < n) {
            const char16_t c = line[i];
            if (!inQuotes && (c == u' ' || c == u'\t' || c == u'\n' || c == u'\v')) break;
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

} // namespace mirota
