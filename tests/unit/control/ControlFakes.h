#pragma once
// Recording fakes around the control screen's logic.
#include "../../support/RecordingDialogs.h"
#include "control/FrmMainOstrel.h"
#include "loop/SimulatedLoop.h"

#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace mirota::test {

using FakeDialogs = RecordingDialogs;

struct FakeView : MainOstrelView {
    TfrmMainOstrelScreen* logic = nullptr;
    std::string caption = kDesignCaption;
    std::map<ScreenKind, bool> visible{{ScreenKind::Terminal, true},
                                       {ScreenKind::Settings, true},
                                       {ScreenKind::Values, true},
                                       {ScreenKind::Power, true}};
    std::vector<std::string> groups;
    std::vector<std::pair<int, std::string>> items;
    std::string infoCaption = kDesignInformationCaption, infoText = kDesignInformationText;
    bool shown = true, closed = false, updating = false;
    WindowState state = WindowState::Normal;
    std::vector<std::string> calls;

    void SetCaption(const std::string& c) override { caption = c; }
    void SetNavigationButtonVisible(ScreenKind kind, bool v) override { visible[kind] = v; }
    void BeginListUpdate() override { updating = true; }
    void EndListUpdate() override { updating = false; }
    void AddGroup(const std::string& header) override { groups.push_back(header); }
    void AddItem(int group, const std::string& text) override { items.emplace_back(group, text); }
    void SetItemText(int item, const std::string& text) override {
        items.at(static_cast<std::size_t>(item)).second = text;
    }
    void SetInformation(const std::string& c, const std::string& t) override {
        infoCaption = c;
        infoText = t;
    }
    void ShowWindow() override {
        shown = true;
        calls.push_back("show");
    }
    void HideWindow() override {
        shown = false;
        calls.push_back("hide");
    }
    void CloseWindow() override {
        if (closed) return;
        closed = true;
        calls.push_back("close");
        logic->FormClose();
    }
    WindowState State() const override { return state; }
    void ShowNormal() override {
        state = WindowState::Normal;
        calls.push_back("shownormal");
    }
    void BringToForeground() override { calls.push_back("foreground"); }
    std::string Item(int i) const { return items.at(static_cast<std::size_t>(i)).second; }
};

struct FakeScreen : HostedScreen {
    ScreenHost& host;
    std::uint32_t handle;
    std::vector<std::string>& log;
    WindowState state = WindowState::Normal;
    bool* destroyed;
    FakeScreen(ScreenHost& h, std::uint32_t hd, std::vector<std::string>& l, bool* d)
        : host(h), handle(hd), log(l), destroyed(d) {}
    ~FakeScreen() override { *destroyed = true; }
    std::uint32_t Handle() const override { return handle; }
    void Show() override { log.push_back("screen show"); }
    void Close() override {
        log.push_back(host.Unplugged() ? "screen close unplugged" : "screen close");
        host.ClosingCurrentFrame(false);
    }
    WindowState State() const override { return state; }
    void ShowNormal() override {
        log.push_back("screen shownormal");
        state = WindowState::Normal;
    }
    void BringToForeground() override { log.push_back("screen foreground"); }
};

struct FakeFactory : ScreenFactory {
    std::set<ScreenKind> built{ScreenKind::Terminal, ScreenKind::Settings, ScreenKind::Values,
                               ScreenKind::Power};
    std::vector<std::string> log;
    std::vector<ScreenKind> created;
    std::string description, serial;
    int version = -1;
    TComPort* port = nullptr;
    FakeScreen* last = nullptr;
    bool lastDestroyed = false;
    std::unique_ptr<HostedScreen> Create(ScreenKind kind, const ScreenArgs& args) override {
        if (!built.count(kind)) return nullptr;
        created.push_back(kind);
        description = args.aDescription;
        serial = args.aSerialNumber;
        version = args.aVersion;
        port = args.aComPort;
        lastDestroyed = false;
        auto screen = std::make_unique<FakeScreen>(
            args.aOwner, 5000 + static_cast<std::uint32_t>(created.size()), log, &lastDestroyed);
        last = screen.get();
        return screen;
    }
};

struct FakeEndpoint : MessageEndpoint {
    struct Sent {
        bool post;
        WindowHandle target;
        std::uint32_t msg;
        std::uint64_t w;
        std::int64_t l;
        std::uint64_t at;
    };
    MessageLoop* loop = nullptr;
    std::vector<Sent> out;
    WindowHandle Handle() const override { return 77; }
    bool Post(WindowHandle t, std::uint32_t m, std::uint64_t w, std::int64_t l) override {
        out.push_back({true, t, m, w, l, loop ? loop->TickCount() : 0});
        return true;
    }
    std::optional<MessageResult> Send(WindowHandle t, std::uint32_t m, std::uint64_t w,
                                      std::int64_t l) override {
        out.push_back({false, t, m, w, l, loop ? loop->TickCount() : 0});
        return 0;
    }
    std::vector<std::uint32_t> Messages() const {
        std::vector<std::uint32_t> v;
        for (const auto& s : out)
            v.push_back(s.msg);
        return v;
    }
};

// A line whose opening fails with the given error, and that counts what would be written.
struct RefusingBackend : SerialBackend {
    int openError = EBUSY;
    int* writes;
    // What the system tells about the refused open, and the open that was asked about.
    OpenFailureFacts facts;
    mutable std::string examinedPort;
    mutable int examinedError = 0;
    explicit RefusingBackend(int* w) : writes(w) {}
    int OpenDevice(const std::string&) override { return openError; }
    OpenFailureFacts ExamineOpenFailure(const std::string& port, int error) const override {
        examinedPort = port;
        examinedError = error;
        return facts;
    }
    int SetupQueues(const TComBuffer&) override { return 0; }
    int ApplySettings(const LineSettings&) override { return 0; }
    int ApplyTimeouts(const TComTimeouts&) override { return 0; }
    void StartEvents(MessageLoop&, LineEventSink&) override {}
    void StopEvents() override {}
    int Purge() override { return 0; }
    void CloseDevice() override {}
    int TakeErrors(TComErrors& e) override {
        e = 0;
        return 0;
    }
    int BytesQueued(std::size_t& n) override {
        n = 0;
        return 0;
    }
    int Read(char*, std::size_t, std::size_t& got) override {
        got = 0;
        return 0;
    }
    int Write(const char*, std::size_t count, std::size_t& written) override {
        *writes += static_cast<int>(count);
        written = count;
        return 0;
    }
    std::string ErrorText(int) const override { return "busy"; }
};

inline std::filesystem::path WriteCfg(const std::string& name, const std::string& mainInformation) {
    // The process id keeps test processes that ctest runs side by side apart.
    const auto dir =
        std::filesystem::temp_directory_path() / ("mirota-cfg-" + name + "-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    if (!mainInformation.empty())
        std::ofstream(dir / "MainInformation.ini", std::ios::binary) << mainInformation;
    return dir;
}

// The control screen with fakes around it.
struct Harness {
    SimulatedLoop loop;
    FakeDialogs dialogs;
    FakeFactory factory;
    FakeView view;
    FakeEndpoint endpoint;
    int backendsMade = 0;
    std::function<std::unique_ptr<SerialBackend>()> backend;
    std::unique_ptr<TfrmMainOstrelScreen> form;

    explicit Harness(std::filesystem::path cfg = {}) {
        endpoint.loop = &loop;
        form = std::make_unique<TfrmMainOstrelScreen>(
            MainOstrelServices{loop, dialogs, factory, view, &endpoint, std::move(cfg), [this] {
                                   ++backendsMade;
                                   return backend();
                               }});
        view.logic = form.get();
    }
};

} // namespace mirota::test
