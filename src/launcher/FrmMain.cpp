#include "launcher/FrmMain.h"

#include "loop/MessageLoop.h"

#include <algorithm>
#include <exception>

namespace mirota {

namespace {

constexpr int kFrameListBuckets = 2053;
constexpr std::uint32_t SC_RESTORE = 0xF120;
// How long the desktop may go without a foreground window while a window is being minimized.
constexpr std::uint32_t kForegroundSettleMs = 250;

std::u16string Decimal(std::int64_t value) {
    std::string digits = std::to_string(value);
    return std::u16string(digits.begin(), digits.end());
}

// Clears a flag when the scope ends, also by an exception.
struct FlagGuard {
    bool& flag;
    ~FlagGuard() { flag = false; }
};

} // namespace

TFRM_Main::TFRM_Main(FrmMainView& view, DeviceListSource& source, ControlProgramStarter& starter,
                     MessageEndpoint& endpoint, MessageLoop& loop, std::u16string portPrefix)
    : FView(view), FSource(source), FStarter(starter), FEndpoint(endpoint), FLoop(loop),
      FPortPrefix(std::move(portPrefix)) {}

TFRM_Main::~TFRM_Main() {
    StopForegroundCheck();
    ReleaseFrames();
}

void TFRM_Main::FormCreate() {
    hmFrameList = std::make_unique<TObjectHashMap>(kFrameListBuckets);
    bWasRestored = false;
    bWasMinimized = false;
    bIgnoreNext = false;
    olChildHandleList.clear();
    olDeviceList = FSource.GetDeviceList();
    FillDeviceList();
}

void TFRM_Main::FillDeviceList() {
    FView.BeginUpdate();
    for (const USB_Info& info : olDeviceList)
        AppendRow(info);
    FView.EndUpdate();
}

void TFRM_Main::AppendRow(const USB_Info& info) {
    TDeviceRow row{info.Serial_Number_Internal, info.Device_Name_Internal, info.Port_Number, kStateClosed};
    FRows.push_back(row);
    FView.AddRow(row);
}

void TFRM_Main::DeleteDeviceRow(std::size_t index) {
    olDeviceList.erase(olDeviceList.begin() + static_cast<std::ptrdiff_t>(index));
    FRows.erase(FRows.begin() + static_cast<std::ptrdiff_t>(index));
    FView.DeleteRow(static_cast<int>(index));
}

std::optional<WindowHandle> TFRM_Main::FrameHandle(const std::u16string& port) const {
    if (!hmFrameList) return std::nullopt;
    const auto* info = static_cast<const WINDOW_Info*>(hmFrameList->GetObject(port));
    if (!info) return std::nullopt;
    return info->Window_Handle;
}

void TFRM_Main::RemoveFrame(const std::u16string& port) {
    if (!hmFrameList) return;
    TObject* info = hmFrameList->GetObject(port);
    hmFrameList->Remove(port);
    delete info; // nothing refers to a record once its entry has left the registry
}

void TFRM_Main::ReleaseFrames() {
    if (!hmFrameList) return;
    std::vector<TObject*> records;
    hmFrameList->ForEach(
        [&](std::u16string_view, void* data) { records.push_back(static_cast<TObject*>(data)); });
    hmFrameList->Clear();
    for (TObject* record : records)
        delete record;
}

void TFRM_Main::lvDeviceListDblClick() {
    if (bClosing || !hmFrameList) return;
    const int selected = FView.SelectedRow();
    if (selected < 0 || static_cast<std::size_t>(selected) >= FRows.size()) return;
    const TDeviceRow row = FRows[static_cast<std::size_t>(selected)];
    const std::u16string& port = row[colPort];

    if (auto handle = FrameHandle(port)) {
        FEndpoint.Send(*handle, WM_CONTROL_TO_FRONT, 0, 0);
        return;
    }
    ControlStartParameters parameters{port, row[colDescription], row[colSerial], FEndpoint.Handle()};
    if (FStarter.StartControlProgram(parameters)) hmFrameList->SetObject(port, new WINDOW_Info(0));
}

void TFRM_Main::UpdateState(const std::u16string& state, const std::u16string& strComPort) {
    for (std::size_t i = 0; i < FRows.size(); ++i) {
        if (FRows[i][colPort] == strComPort) {
            FRows[i][colState] = state;
            FView.SetRowState(static_cast<int>(i), state);
            return;
        }
    }
}

void TFRM_Main::DoUSBArrival() {
    RunRefreshWithRetry();
}

void TFRM_Main::DoUSBRemove() {
    RunRefreshWithRetry();
}

void TFRM_Main::RunRefreshWithRetry() {
    if (bClosing || !hmFrameList) return;
    try {
        RefreshDeviceList();
    } catch (const std::exception&) {
        try {
            RefreshDeviceList();
        } catch (const std::exception& e) {
            FView.ShowError(e.what());
        }
    }
}

void TFRM_Main::RefreshDeviceList() {
    if (bRefreshing) {
        // Arrived during the message processing of a running refresh: that refresh walks again.
        bRefreshAgain = true;
        return;
    }
    bRefreshing = true;
    FlagGuard guard{bRefreshing};
    do {
        bRefreshAgain = false;
        RefreshDeviceListOnce();
    } while (bRefreshAgain && !bClosing);
}

void TFRM_Main::RefreshDeviceListOnce() {
    std::vector<USB_Info> fresh = FSource.GetDeviceList();

    FView.BeginUpdate();
    std::size_t i = 0;
    while (i < olDeviceList.size()) {
        const std::u16string port = olDeviceList[i].Port_Number;
        auto same = std::find_if(fresh.begin(), fresh.end(),
                                 [&](const USB_Info& info) { return info.Port_Number == port; });
        if (same != fresh.end()) {
            fresh.erase(same);
            ++i;
            continue;
        }
        // The device is gone: its row goes, and its Ostrel is told to close.
        DeleteDeviceRow(i);
        if (auto handle = FrameHandle(port)) {
            FEndpoint.Post(*handle, WM_CONTROL_CLOSE, 0, 0);
            FLoop.ProcessMessages();
            RemoveFrame(port);
            if (bClosing) break;
        }
    }
    FView.EndUpdate();

    if (!bClosing) AddDeviceRows(std::move(fresh));
}

void TFRM_Main::AddDeviceRows(std::vector<USB_Info> fresh) {
    FView.BeginUpdate();
    for (const USB_Info& info : fresh)
        AppendRow(info);
    FView.EndUpdate();
    for (USB_Info& info : fresh)
        olDeviceList.push_back(std::move(info));
}

void TFRM_Main::FormClose() {
    if (bClosing || !hmFrameList) return;
    bClosing = true;
    // Ports first: the message processing below may change the registry but not the device list.
    std::vector<std::u16string> ports;
    for (const USB_Info& info : olDeviceList)
        ports.push_back(info.Port_Number);
    for (const std::u16string& port : ports) {
        if (auto handle = FrameHandle(port)) {
            FEndpoint.Post(*handle, WM_CONTROL_CLOSE, 0, 0);
            FLoop.ProcessMessages();
        }
    }
    olChildHandleList.clear();
    ReleaseFrames();
}

MessageResult TFRM_Main::HandleMessage(const WindowMessage& message) {
    switch (message.Msg) {
    case WM_CONTROL_OPENED: {
        const std::u16string key = FPortPrefix + Decimal(static_cast<std::int64_t>(message.wParam));
        if (!hmFrameList) break;
        if (auto* info = static_cast<WINDOW_Info*>(hmFrameList->GetObject(key))) {
            UpdateState(kStateOpen, key);
            info->Window_Handle = static_cast<WindowHandle>(message.lParam);
        }
        break;
    }
    case WM_CONTROL_CLOSE: {
        const std::u16string key = FPortPrefix + Decimal(message.lParam);
        if (hmFrameList && hmFrameList->Exists(key)) {
            UpdateState(kStateClosed, key);
            RemoveFrame(key);
        }
        break;
    }
    case WM_CONTROL_DEACTIVATED:
        NoteDeactivation();
        break;
    case WM_SCREEN_OPENED:
        olChildHandleList.push_back(std::make_unique<WINDOW_Info>(static_cast<WindowHandle>(message.lParam)));
        break;
    case WM_SCREEN_CLOSED: {
        const auto handle = static_cast<WindowHandle>(message.lParam);
        auto it = std::find_if(olChildHandleList.begin(), olChildHandleList.end(),
                               [&](const auto& info) { return info->Window_Handle == handle; });
        if (it != olChildHandleList.end()) olChildHandleList.erase(it);
        break;
    }
    default:
        break;
    }
    return 0;
}

void TFRM_Main::Activate() {
    StopForegroundCheck();
    if (bWasMinimized || bWasRestored || bIgnoreNext) {
        bWasMinimized = false;
        bWasRestored = false;
        bIgnoreNext = false;
        return;
    }
    bWasRestored = true;
    BringAllToFront();
}

void TFRM_Main::Deactivate() {
    NoteDeactivation();
}

// While a window is being minimized the desktop has no foreground window for a moment. A deactivation
// seen then cannot tell where the user went: the next activation is ignored for now, and once the
// desktop has settled the window in front decides. An activation of the launcher before that comes
// straight from one of the group's windows and raises nothing.
void TFRM_Main::NoteDeactivation() {
    StopForegroundCheck();
    const std::optional<WindowHandle> f = FView.ForegroundWindowHandle();
    if (!f || *f != 0) {
        bIgnoreNext = ForegroundIsOwn();
        return;
    }
    bIgnoreNext = true;
    FForegroundCheck = FLoop.StartTimer(
        kForegroundSettleMs,
        [this] {
            FForegroundCheck = 0;
            bIgnoreNext = ForegroundIsOwn();
        },
        false);
}

void TFRM_Main::StopForegroundCheck() {
    if (FForegroundCheck != 0) {
        FLoop.KillTimer(FForegroundCheck);
        FForegroundCheck = 0;
    }
}

void TFRM_Main::WMSysCommand(std::uint32_t command) {
    if (command == SC_MINIMIZE) {
        bWasMinimized = true;
    } else if (command == SC_RESTORE) {
        bWasMinimized = false;
        bWasRestored = true;
        BringAllToFront();
    }
}

void TFRM_Main::BringAllToFront() {
    if (bClosing) return;
    // Ports first: the sends serve incoming messages, which may change the rows and the registry.
    std::vector<std::u16string> ports;
    for (const TDeviceRow& row : FRows)
        ports.push_back(row[colPort]);
    for (const std::u16string& port : ports) {
        if (auto handle = FrameHandle(port)) FEndpoint.Send(*handle, WM_CONTROL_TO_FRONT, 0, 0);
    }
    BringToForeground(FView.MainWindow());
}

bool TFRM_Main::ForegroundIsOwn() const {
    const std::optional<WindowHandle> f = FView.ForegroundWindowHandle();
    // A desktop that cannot tell its foreground window: treat it as ours, so that coming back to the
    // launcher raises nothing rather than raising the group again and again.
    if (!f) return true;
    if (*f == 0) return false;
    if (*f == FView.NativeHandle() || *f == FEndpoint.Handle()) return true;
    for (const TDeviceRow& row : FRows) {
        if (auto handle = FrameHandle(row[colPort]); handle && *handle == *f) return true;
    }
    return std::any_of(olChildHandleList.begin(), olChildHandleList.end(),
                       [&](const auto& info) { return info->Window_Handle == *f; });
}

void TFRM_Main::btnInformationClick() {
    FView.ShowAboutBox();
}

void TFRM_Main::btnInformationMouseEnter() {
    FView.ShowAboutLabel(true);
}

void TFRM_Main::btnInformationMouseLeave() {
    FView.ShowAboutLabel(false);
}

} // namespace mirota
