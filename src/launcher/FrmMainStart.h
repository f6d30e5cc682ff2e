#pragma once
// Starting Ostrel for one device. The program is the one that lies beside the running launcher, never
// one found through the current directory or the search path, and each of the four parameters reaches
// it as one parameter, blanks included:
//   Linux    posix_spawn with one argv entry per parameter;
//   Windows  ShellExecuteExW with a parameter line whose fields are quoted where they need it, so that
//            the usual command-line splitting gives the four fields back.
// The parameter texts, the quoting and which program is started are here; finding the program
// directory and starting the program are the platform's (platform/<os>/process).
#include "launcher/FrmMain.h"

#include <memory>
#include <string>
#include <vector>

namespace mirota {

// The directory of the running program, with a trailing separator; empty when it cannot be found
// (the platform's).
std::string ProgramDirectory();
// The control program beside the running launcher; empty when the directory cannot be found.
std::string ControlProgramPath();

// The four parameters as separate texts, in their order.
std::vector<std::u16string> ControlParameterList(const ControlStartParameters& parameters);
// One parameter quoted for the Windows command-line splitting rules (blanks, tabs, quotes and an empty
// text are quoted; backslashes before a quote are doubled); others unchanged.
std::u16string QuoteWindowsArgument(const std::u16string& argument);
// The Windows parameter line: the quoted parameters joined with single blanks.
std::u16string WindowsParameterLine(const ControlStartParameters& parameters);
// Splits a parameter line the way the Windows command-line parser does (for checking the line above).
std::vector<std::u16string> SplitWindowsParameterLine(const std::u16string& line);

class PlatformControlStarter : public ControlProgramStarter {
public:
    // program: the control program's path; empty means ControlProgramPath().
    explicit PlatformControlStarter(std::string program = {});
    ~PlatformControlStarter() override;
    bool StartControlProgram(const ControlStartParameters& parameters) override;
    const std::string& Program() const { return FProgram; }
    // Collects the exit status of started programs that have ended (Linux), so none stays a zombie.
    void ReapFinished();
    // The process ids of started programs that have not been reaped yet (Linux; empty where the shell
    // starts the program and hands back no process).
    std::vector<int> Children() const;

    // The operating system's half (platform/<os>/process): starting a program with the four parameters
    // and keeping track of the started ones until they have ended.
    class Backend {
    public:
        virtual ~Backend() = default;
        // False when the program could not be started.
        virtual bool Start(const std::string& program, const ControlStartParameters& parameters) = 0;
        virtual void ReapFinished() = 0;
        virtual std::vector<int> Children() const = 0;
    };

private:
    static std::unique_ptr<Backend> CreateBackend();

    std::string FProgram;
    std::unique_ptr<Backend> FBackend;
};

} // namespace mirota
