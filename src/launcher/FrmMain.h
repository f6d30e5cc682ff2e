#pragma once
// Pravik's main window, as logic: the list of attached adapters, one Ostrel per device started on a
// double click, the window registry hmFrameList (port -> Ostrel main window), the messages from the
// Ostrel instances, and the raising of the whole window group.
//
// The logic talks to the outside through small interfaces so that it runs the same under the Qt
// window, under tests and on every platform:
//   FrmMainView            the list view and the window (rows, selection, about box, error display)
//   DeviceListSource       a complete new walk of the USB tree (TUSBInfoCol)
//   ControlProgramStarter  starting one Ostrel with its four parameters
//   MessageEndpoint        the main window's endpoint for the messages between the programs
//   MessageLoop            one pass of message processing after each posted close
//
// Rows: row i of the view shows entry i of olDeviceList; rows and records are added and deleted
// together. Devices are identified by their port name.
#include "launcher/Hashmap.h"
#include "launcher/USBDeviceInfoCol.h"
#include "loop/MessageLoop.h"
#include "messages/Messages.h"

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace mirota {

class MessageLoop;

// One window handle: the main window of a running Ostrel (value in hmFrameList) or one of its screens
// (entry of olChildHandleList).
struct WINDOW_Info : TObject {
    explicit WINDOW_Info(WindowHandle handle = 0) : Window_Handle(handle) {}
    WindowHandle Window_Handle;
};

// The texts of the State column.
inline const std::u16string kStateOpen = u"Open";
inline const std::u16string kStateClosed = u"Closed";

// Column order of the list view.
enum FrmMainColumn { colSerial = 0, colDescription = 1, colPort = 2, colState = 3 };
using TDeviceRow = std::array<std::u16string, 4>;

class FrmMainView {
public:
    virtual ~FrmMainView() = default;
    // Nothing is repainted between BeginUpdate and EndUpdate.
    virtual void BeginUpdate() = 0;
    virtual void EndUpdate() = 0;
    virtual void AddRow(const TDeviceRow& row) = 0;
    virtual void DeleteRow(int index) = 0;
    virtual void SetRowState(int index, const std::u16string& state) = 0;
    // The selected row, or -1.
    virtual int SelectedRow() const = 0;
    virtual void ShowAboutLabel(bool visible) = 0;
    // A new about box owned by the main window, shown modally.
    virtual void ShowAboutBox() = 0;
    // The application's standard error display.
    virtual void ShowError(const std::string& text) = 0;
    // The desktop's foreground (active) window; nullopt when the window system cannot tell.
    virtual std::optional<WindowHandle> ForegroundWindowHandle() const = 0;
    // The main window's own handle on the desktop (0 when it has none).
    virtual WindowHandle NativeHandle() const = 0;
    // The main window as BringToForeground handles it.
    virtual ForegroundWindow& MainWindow() = 0;
};

class DeviceListSource {
public:
    virtual ~DeviceListSource() = default;
    // A complete new walk; the caller takes the records over.
    virtual std::vector<USB_Info> GetDeviceList() = 0;
};

// The collector as a device-list source.
class USBInfoColSource : public DeviceListSource {
public:
    explicit USBInfoColSource(TUSBInfoCol& col) : FCol(col) {}
    std::vector<USB_Info> GetDeviceList() override { return FCol.GetDeviceList(); }

private:
    TUSBInfoCol& FCol;
};

// The four start parameters of Ostrel.
struct ControlStartParameters {
    std::u16string Port;
    std::u16string Description;
    std::u16string Serial;
    WindowHandle Launcher = 0;
};

class ControlProgramStarter {
public:
    virtual ~ControlProgramStarter() = default;
    // Starts one Ostrel; true when the program was started.
    virtual bool StartControlProgram(const ControlStartParameters& parameters) = 0;
};

// The platform's prefix of port names in the window registry: the key of a port number n is the
// prefix followed by n in decimal.
#ifdef _WIN32
inline const std::u16string kPortPrefix = u"COM";
#else
inline const std::u16string kPortPrefix = u"ttyUSB";
#endif

class TFRM_Main {
public:
    TFRM_Main(FrmMainView& view, DeviceListSource& source, ControlProgramStarter& starter,
              MessageEndpoint& endpoint, MessageLoop& loop, std::u16string portPrefix = kPortPrefix);
    ~TFRM_Main();

    TFRM_Main(const TFRM_Main&) = delete;
    TFRM_Main& operator=(const TFRM_Main&) = delete;

    // Handlers of the window.
    void FormCreate();
    void FormClose();
    void lvDeviceListDblClick();
    void Activate();   // the application became active
    void Deactivate(); // the application lost activation
    void btnInformationClick();
    void btnInformationMouseEnter();
    void btnInformationMouseLeave();
    // A system command reached the main window (SC_MINIMIZE, SC_RESTORE, ...). The caller does the
    // default processing afterwards.
    void WMSysCommand(std::uint32_t command);

    // Events of the arrival and removal notifier.
    void DoUSBArrival();
    void DoUSBRemove();

    // Sets the State cell of the first row whose port is strComPort; no such row: nothing.
    void UpdateState(const std::u16string& state, const std::u16string& strComPort);

    // Every message that reaches the main window's endpoint.
    MessageResult HandleMessage(const WindowMessage& message);

    // Read access for the window and for tests.
    const std::vector<USB_Info>& DeviceList() const { return olDeviceList; }
    const std::vector<TDeviceRow>& Rows() const { return FRows; }
    const std::vector<std::unique_ptr<WINDOW_Info>>& ChildHandleList() const { return olChildHandleList; }
    // The handle registered for port, or nullopt when the port has no entry.
    std::optional<WindowHandle> FrameHandle(const std::u16string& port) const;
    bool IgnoreNext() const { return bIgnoreNext; }
    bool WasMinimized() const { return bWasMinimized; }
    bool WasRestored() const { return bWasRestored; }
    bool ForegroundIsOwn() const;

private:
    void FillDeviceList();
    void RefreshDeviceList();
    void RefreshDeviceListOnce();
    void AddDeviceRows(std::vector<USB_Info> fresh);
    void RunRefreshWithRetry();
    void BringAllToFront();
    // bIgnoreNext after the launcher or one of its Ostrel windows lost activation (see FrmMain.cpp).
    void NoteDeactivation();
    void StopForegroundCheck();
    void AppendRow(const USB_Info& info);
    void DeleteDeviceRow(std::size_t index);
    // Removes port's entry from hmFrameList and destroys its record.
    void RemoveFrame(const std::u16string& port);
    void ReleaseFrames();

    FrmMainView& FView;
    DeviceListSource& FSource;
    ControlProgramStarter& FStarter;
    MessageEndpoint& FEndpoint;
    MessageLoop& FLoop;
    std::u16string FPortPrefix;

    std::vector<USB_Info> olDeviceList;
    std::vector<std::unique_ptr<WINDOW_Info>> olChildHandleList;
    std::unique_ptr<TObjectHashMap> hmFrameList;
    bool bIgnoreNext = false;
    bool bWasMinimized = false;
    bool bWasRestored = false;
    // The one-shot timer that looks at the settled desktop after a deactivation that found no
    // foreground window; 0 when none runs.
    TimerId FForegroundCheck = 0;

    // The rows as shown: row i belongs to olDeviceList[i].
    std::vector<TDeviceRow> FRows;
    // A refresh runs; a notification that arrives meanwhile (from the message processing after a
    // posted close) asks for one more run instead of nesting.
    bool bRefreshing = false;
    bool bRefreshAgain = false;
    // FormClose has started: notifications and double clicks are ignored from then on.
    bool bClosing = false;
};

} // namespace mirota
