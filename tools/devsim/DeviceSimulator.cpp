#include "devsim/DeviceSimulator.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>
#include <map>
#include <random>
#include <set>

namespace mirota::devsim {

namespace {

constexpr char ESC = '\x1b';
constexpr char CR = '\r';

// Commands that the device takes without an ending, as soon as the code is complete.
const std::set<std::string> kBareCommands = {"$025", "$026", "$027", "$028", "$029", "$030", "$112", "$200"};

// "." whatever the locale (a Qt program that runs the simulator in-process has set the user's locale).
std::string Fixed(double value, int decimals) {
    char buf[64];
    const auto result = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    return std::string(buf, result.ptr);
}

std::string Trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    const auto e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

} // namespace

struct DeviceSimulator::Impl {
    Impl(DeviceSimulator& self, MessageLoop& loop, DeviceOptions options)
        : self(self), loop(loop), options(std::move(options)) {}

    DeviceSimulator& self;
    MessageLoop& loop;
    DeviceOptions options;
    std::vector<LoggedByte> received;
    std::map<std::string, std::string> settings;
    std::string command; // a "$" command being received
    bool streaming = false;
    bool textMode = false;
    std::string inputLine; // text mode: the line being typed
    int escapeState = 0;   // text mode: 1 after ESC, 2 inside a control sequence (keys are not text)
    int centivolts = 2417; // 24.17 V
    int calibration = 0;   // code 201
    TimerId streamTimer = 0;
    std::uint64_t streamStart = 0; // tick when streaming was switched on
    std::uint64_t lastRound = 0;   // tick of the last round of packets
    double angle = 0;              // degrees, integrates the angle speed
    std::mt19937 noise{20240611};  // fixed seed: the same run gives the same values
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);
    bool hungUp = false; // SetHangUp has run

    bool Mute() const { return options.Fault.Silent || options.Fault.HangUp; }

    void Transmit(const std::string& bytes) {
        if (Mute() || bytes.empty()) return;
        if (self.OnTransmit) self.OnTransmit(bytes);
    }

    // The answer "&" + code + text + ESC, AnswerDelayMs (+ LateMs) after the command's last byte.
    void Answer(const std::string& code, const std::string& text, std::uint32_t extraMs = 0) {
        if (Mute()) return;
        if (options.Fault.DropReplies > 0) {
            --options.Fault.DropReplies;
            return;
        }
        const std::string reply = "&" + code + (options.Fault.WrongAnswers ? std::string("ERR") : text) + ESC;
        const std::uint32_t delay = options.AnswerDelayMs + options.Fault.LateMs + extraMs;
        auto token = alive;
        loop.StartTimer(
            delay,
            [this, token, reply] {
                if (*token) Transmit(reply);
            },
            false);
    }

    static bool IsCode(const std::string& code) {
        return code.size() == 3 &&
               std::all_of(code.begin(), code.end(), [](char c) { return c >= '0' && c <= '9'; });
    }

    std::string VoltageText() const { return Fixed(centivolts / 100.0, 2); }

    void Step(int delta) { centivolts = std::clamp(centivolts + delta, 0, 4800); }

    void Execute(const std::string& cmd, char ending) {
        const std::string code = cmd.substr(1, 3);
        const std::string value = cmd.substr(std::min<std::size_t>(4, cmd.size()));
        if (ending == 0) { // bare commands
            if (code == "029") {
                Answer(code, VoltageText());
            } else if (code == "025" || code == "026" || code == "027" || code == "028") {
                Step(code == "025" ? -10 : code == "026" ? 10 : code == "027" ? -100 : 100);
                Answer(code, VoltageText());
            } else if (code == "030") {
                centivolts = 2417; // the supply detected
                Answer(code, VoltageText(), 1500);
            } else if (code == "112") {
                Answer(code, options.Name);
            } else if (code == "200") {
                Answer(code, "0");
            }
            return;
        }
        if (ending == ESC) { // reads
            if (cmd == "$357") {
                Answer("357", options.Firmware);
            } else if (cmd == "$666") {
                Answer(code, streaming ? "1" : "0");
            } else if (cmd == "$201") {
                Answer(code, std::string(1, static_cast<char>('0' + calibration)));
            } else if (auto it = settings.find(cmd); it != settings.end()) {
                Answer(cmd.substr(1), it->second);
            } else if (cmd.size() == 4 && IsCode(code)) {
                Answer(code, "0"); // a setting the device was never given
            }
            return;
        }
        // Writes: command, value, CR.
        if (code == "666") {
            // The answer's timer first: a loop that finds both due at once runs them in that order.
            const bool on = value == "1" || (value != "0" && streaming);
            Answer(code, on ? "1" : "0");
            SetStreaming(on);
        } else if (code == "201") {
            if (value.size() == 1 && value[0] >= '0' && value[0] <= '3') calibration = value[0] - '0';
            Answer(code, std::string(1, static_cast<char>('0' + calibration)));
        } else {
            // The longest known setting that begins the text; the rest is the value.
            std::string key;
            for (const auto& [k, v] : settings)
                if (cmd.compare(0, k.size(), k) == 0 && k.size() > key.size()) key = k;
            if (key.empty() && IsCode(code)) key = cmd.substr(0, 4); // unknown so far: the device takes it
            if (key.empty()) return;
            const std::string written = cmd.substr(key.size());
            settings[key] = self.OnSettingWritten ? self.OnSettingWritten(key, written) : written;
            Answer(key.substr(1), settings[key]);
        }
    }

    void SetStreaming(bool on) {
        if (on == streaming) return;
        streaming = on;
        if (streamTimer) {
            loop.KillTimer(streamTimer);
            streamTimer = 0;
        }
        if (streaming) {
            streamStart = lastRound = loop.TickCount();
            // The first round follows the confirmation, however high the rate.
            ScheduleRound(0, options.AnswerDelayMs + options.Fault.LateMs + 1);
        }
    }

    // The next round after the period the packet rate asks for, or later when the last round's bytes
    // take the line longer than that.
    void ScheduleRound(std::size_t lastBytes, std::uint32_t atLeastMs = 1) {
        const double rate = std::clamp(options.PacketRate, 0.1, 1000.0);
        const auto period = static_cast<std::uint32_t>(std::lround(1000.0 / rate));
        const auto busy =
            static_cast<std::uint32_t>((lastBytes * 1000 + kLineBytesPerSecond - 1) / kLineBytesPerSecond);
        auto token = alive;
        streamTimer = loop.StartTimer(
            std::max<std::uint32_t>({period, busy, atLeastMs}),
            [this, token] {
                if (!*token) return;
                streamTimer = 0;
                ScheduleRound(StreamPackets());
            },
            false);
    }

    double Noise(double amplitude) {
        return std::uniform_real_distribution<double>(-amplitude, amplitude)(noise);
    }

    // One round of packets; returns the number of bytes sent.
    std::size_t StreamPackets() {
        const std::uint64_t now = loop.TickCount();
        const double t = static_cast<double>(now - streamStart) / 1000.0;
        const double dt = static_cast<double>(now - lastRound) / 1000.0;
        lastRound = now;
        // The shaft turns on whether anyone listens: the angle integrates the angle speed.
        const double angleSpeed = 36.0 + 6.0 * std::sin(t * 0.2) + Noise(0.05); // degrees per second
        angle = std::fmod(angle + angleSpeed * dt, 360.0);
        if (Mute() || textMode) return 0;
        std::string out;
        if (options.Fault.Garbage) out += "#~ x?";
        // Value numbers: 1 torque 1, 2 torque 2, 3 speed 1, 4 speed 2, 5 angle, 6 angle speed.
        const double values[6] = {12.3456 + 0.8 * std::sin(t) + Noise(0.002),
                                  -3.5 + 0.3 * std::cos(t * 0.7) + Noise(0.002),
                                  1500 + 40 * std::sin(t * 0.3) + Noise(0.2),
                                  980 + 25 * std::cos(t * 0.4) + Noise(0.2),
                                  angle,
                                  angleSpeed};
        for (int i = 0; i < 6; ++i)
            out += "%00" + std::to_string(i + 1) + Fixed(values[i], 4) + ESC;
        out += "%007" + Fixed(50.0 + 0.4 * std::sin(t * 0.5) + Noise(0.02), 2) + ESC;
        if (options.Fault.Garbage)
            out += "\x7f"
                   "noise";
        Transmit(out);
        return out.size();
    }

    // ---- text mode: a small VT100 menu ----

    static std::string At(int row, int col) {
        return "\x1b[" + std::to_string(row) + ";" + std::to_string(col) + "H";
    }

    std::string Prompt() const { return At(22, 1) + "\x1b[K> " + inputLine; }

    void ShowMenu() {
        std::string s = "\x1b[0m\x1b[2J\x1b[H";
        s += "\x1b[1m" + options.Name + " - text mode\x1b[0m";
        s += At(2, 1) + "Firmware " + options.Firmware + "   19200 Baud 8N1";
        s += At(4, 3) + "\x1b[7m Menu \x1b[0m";
        const char* items[][2] = {{"n", "show this menu again"},
                                  {"v", "output voltage"},
                                  {"f", "output frequency"},
                                  {"p1", "detect the supply voltage"},
                                  {"s", "settings held by the device"},
                                  {"*", "leave the text mode"}};
        int row = 6;
        for (const auto& item : items) {
            s += At(row++, 5) + "\x1b[1m" + item[0] + "\x1b[0m";
            s += At(row - 1, 10) + item[1];
        }
        s += At(20, 1) + "Type a command and press Enter.";
        s += Prompt();
        Transmit(s);
    }

    void ShowResult(const std::string& text) {
        inputLine.clear();
        Transmit(At(20, 1) + "\x1b[K" + text + Prompt());
    }

    void RunLine(const std::string& line) {
        const std::string cmd = Trim(line);
        if (cmd.empty()) {
            ShowResult("");
        } else if (cmd == "n") {
            inputLine.clear();
            ShowMenu();
        } else if (cmd == "v") {
            ShowResult("Output voltage: \x1b[1m" + Fixed(centivolts / 100.0, 4) + " V\x1b[0m");
        } else if (cmd == "f") {
            ShowResult("Output frequency: \x1b[1m" + Fixed(50.0, 0) + " Hz\x1b[0m");
        } else if (cmd == "p1") {
            centivolts = 2417;
            ShowResult("Supply detected: \x1b[1m" + VoltageText() + " V\x1b[0m, stored.");
        } else if (cmd == "s") {
            std::string list;
            for (const auto& [k, v] : settings) {
                if (list.size() > 60) break;
                list += k + "=" + v + " ";
            }
            ShowResult(list.empty() ? std::string("No settings.") : list);
        } else {
            ShowResult("Unknown command: \x1b[7m" + cmd + "\x1b[0m");
        }
    }

    void TextByte(char c) {
        const auto b = static_cast<unsigned char>(c);
        if (escapeState == 1) {
            escapeState = (c == '[' || c == 'O') ? 2 : 0;
            return;
        }
        if (escapeState == 2) {
            if (b >= 0x40 && b <= 0x7e) escapeState = 0;
            return;
        }
        if (c == ESC) {
            escapeState = 1;
        } else if (c == CR || c == '\n') {
            const std::string line = inputLine;
            inputLine.clear();
            RunLine(line);
        } else if (c == '\b' || b == 0x7f) {
            if (!inputLine.empty()) {
                inputLine.pop_back();
                Transmit("\b \b");
            }
        } else if (c == 'n' && inputLine.empty()) {
            ShowMenu(); // a hot key on an empty line
        } else if (b >= 0x20 && b != 0x7f && inputLine.size() < 60) {
            inputLine.push_back(c);
            Transmit(std::string(1, c)); // the device echoes what is typed
        }
    }

    void FromHost(char c) {
        received.push_back({loop.TickCount(), c});
        if (options.Fault.HangUp) return;
        if (c == '*') { // leaves the text mode, abandons a command: ready for commands
            textMode = false;
            inputLine.clear();
            command.clear();
            return;
        }
        if (textMode) {
            TextByte(c);
            return;
        }
        if (c == '#' && command.empty()) { // inside a command it is part of the value
            textMode = true;
            command.clear();
            inputLine.clear();
            escapeState = 0;
            if (!Mute()) ShowMenu();
            return;
        }
        if (!command.empty()) {
            if (c == ESC || c == CR) {
                const std::string cmd = command;
                command.clear();
                if (cmd.size() >= 4) Execute(cmd, c);
                return;
            }
            if (c == '$') { // a new command replaces an unfinished one
                command = "$";
                return;
            }
            command.push_back(c);
            if (command.size() == 4 && kBareCommands.count(command)) {
                const std::string cmd = command;
                command.clear();
                Execute(cmd, 0);
            } else if (command.size() > 64) {
                command.clear();
            }
            return;
        }
        if (c == '$') command = "$";
        // Anything else outside a command ("1" keep-alive, ESC ESC ESC) needs no answer.
    }

    // What a device fresh from the factory holds for the settings of the shipped catalogues; any
    // other setting starts at 0.
    static std::string FactoryValue(const std::string& command) {
        static const std::map<std::string, std::string> values = {
            {"$101", "200"}, {"$102", "50"},      {"$103", "2"},      {"$104", "3"},
            {"$110", "1"},   {"$111", "10"},      {"$113", "0.5"},    {"$120", "1"},
            {"$121", "1"},   {"$122", "Bench 1"}, {"$130", "60"},     {"$131", "0"},
            {"$132", "1"},   {"$140", "1.0021"},  {"$141", "0.9987"}, {"$142", "1"},
        };
        const auto it = values.find(command);
        return it == values.end() ? "0" : it->second;
    }

    void LoadCatalogue() {
        if (options.CfgDir.empty()) return;
        const std::string type = options.Type;
        for (const std::string& name :
             {"SettingsCommands" + type + ".ini", std::string("HiddenCommands.ini")}) {
            std::ifstream in(options.CfgDir + "/" + name);
            std::string line;
            while (std::getline(in, line)) {
                line = Trim(line);
                if (line.empty() || line[0] == ';' || line[0] == '[') continue;
                const auto eq = line.find('=');
                if (eq == std::string::npos) continue;
                const std::string command = Trim(line.substr(eq + 1));
                if (command.size() >= 4 && command[0] == '$' && !settings.count(command))
                    settings[command] = FactoryValue(command);
            }
        }
    }
};

DeviceSimulator::DeviceSimulator(MessageLoop& loop, DeviceOptions options)
    : impl_(std::make_unique<Impl>(*this, loop, std::move(options))) {
    impl_->LoadCatalogue();
}

DeviceSimulator::~DeviceSimulator() {
    *impl_->alive = false;
    if (impl_->streamTimer) impl_->loop.KillTimer(impl_->streamTimer);
}

void DeviceSimulator::Receive(const char* data, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i)
        impl_->FromHost(data[i]);
}

DeviceOptions& DeviceSimulator::Options() {
    return impl_->options;
}

void DeviceSimulator::SetHangUp() {
    if (impl_->hungUp) return;
    impl_->hungUp = true;
    impl_->options.Fault.HangUp = true;
    if (OnHangUp) OnHangUp();
}

const std::vector<LoggedByte>& DeviceSimulator::Received() const {
    return impl_->received;
}

std::string DeviceSimulator::ReceivedText() const {
    std::string s;
    s.reserve(impl_->received.size());
    for (const auto& b : impl_->received)
        s.push_back(b.Byte);
    return s;
}

void DeviceSimulator::ClearReceived() {
    impl_->received.clear();
}

bool DeviceSimulator::Streaming() const {
    return impl_->streaming;
}
bool DeviceSimulator::TextMode() const {
    return impl_->textMode;
}
std::map<std::string, std::string>& DeviceSimulator::Settings() {
    return impl_->settings;
}
double DeviceSimulator::Voltage() const {
    return impl_->centivolts / 100.0;
}

} // namespace mirota::devsim
