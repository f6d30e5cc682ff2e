#include "launcher/ui/FrmMainWindow.h"

#include "launcher/ui/DesktopForeground.h"
#include "launcher/ui/FrmAboutDialog.h"
#include "launcher/ui/LauncherImages.h"
#include "screen/ui/ListTools.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWindowStateChangeEvent>

namespace mirota {

namespace {

constexpr std::uint32_t SC_RESTORE_COMMAND = 0xF120;
constexpr int kLateRaiseMs = 200;

QString ToQString(const std::u16string& text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

void Fill(QWidget* widget, const QColor& colour) {
    widget->setAutoFillBackground(true);
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
}

} // namespace

TFRM_MainWindow::TFRM_MainWindow(std::string launcherPath, std::string ostrelPath, QWidget* parent)
    : QWidget(parent), FLauncherPath(std::move(launcherPath)), FOstrelPath(std::move(ostrelPath)) {
    setObjectName(QStringLiteral("FRM_Main"));
    setWindowTitle(QStringLiteral("Pravik"));
    QFont tahoma("Tahoma");
    tahoma.setBold(true);
    setFont(tahoma);
    Fill(this, Qt::white);
    resize(659, 504);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    pnlNavigationPanel = new QFrame(this);
    pnlNavigationPanel->setObjectName(QStringLiteral("pnlNavigationPanel"));
    pnlNavigationPanel->setFixedHeight(95);
    Fill(pnlNavigationPanel, Qt::white);
    auto* navigation = new QVBoxLayout(pnlNavigationPanel);
    navigation->setContentsMargins(0, 0, 0, 0);
    navigation->setSpacing(0);

    pnlTopPanel = new QFrame(pnlNavigationPanel);
    pnlTopPanel->setObjectName(QStringLiteral("pnlTopPanel"));
    pnlTopPanel->setFixedHeight(64);
    Fill(pnlTopPanel, Qt::white);
    auto* top = new QHBoxLayout(pnlTopPanel);
    top->setContentsMargins(0, 0, 0, 0);
    imgCompanyImage = new QLabel(pnlTopPanel);
    imgCompanyImage->setObjectName(QStringLiteral("imgCompanyImage"));
    imgCompanyImage->setPixmap(CompanyLogo(202, 64, true));
    imgCompanyImage->setAccessibleName(QStringLiteral("Logo"));
    top->addWidget(imgCompanyImage);
    top->addStretch();
    navigation->addWidget(pnlTopPanel);

    pnlNavigationGroup = new QFrame(pnlNavigationPanel);
    pnlNavigationGroup->setObjectName(QStringLiteral("pnlNavigationGroup"));
    pnlNavigationGroup->setFixedHeight(31);
    Fill(pnlNavigationGroup, QColor(77, 115, 124));
    auto* group = new QHBoxLayout(pnlNavigationGroup);
    group->setContentsMargins(0, 0, 0, 0);
    group->setSpacing(0);
    flwpnlNavigationBar = new QFrame(pnlNavigationGroup);
    flwpnlNavigationBar->setObjectName(QStringLiteral("flwpnlNavigationBar"));
    group->addWidget(flwpnlNavigationBar, 1);
    flwpnlNavigationBarRight = new QFrame(pnlNavigationGroup);
    flwpnlNavigationBarRight->setObjectName(QStringLiteral("flwpnlNavigationBarRight"));
    flwpnlNavigationBarRight->setFixedWidth(185);
    Fill(flwpnlNavigationBarRight, QColor(0, 135, 132));
    // Controls flow from right to left: the button at the right edge, the label to its left.
    auto* right = new QHBoxLayout(flwpnlNavigationBarRight);
    right->setDirection(QBoxLayout::RightToLeft);
    right->setContentsMargins(0, 0, 0, 0);
    right->setSpacing(4);
    btnInformation = new QToolButton(flwpnlNavigationBarRight);
    btnInformation->setObjectName(QStringLiteral("btnInformation"));
    btnInformation->setFixedSize(30, 30);
    btnInformation->setAutoRaise(true);
    // The white image stays visible under the mouse: the style's own hover background is white.
    btnInformation->setStyleSheet(QStringLiteral("QToolButton { background: transparent; border: none; }"
                                                 "QToolButton:hover { background: rgba(255, 255, 255, 45); }"
                                                 "QToolButton:pressed { background: rgba(0, 0, 0, 40); }"));
    btnInformation->setIcon(QIcon(NavbarImages().value(1)));
    btnInformation->setIconSize(QSize(30, 30));
    btnInformation->setAccessibleName(QStringLiteral("About"));
    btnInformation->setToolTip(QStringLiteral("About"));
    btnInformation->installEventFilter(this);
    right->addWidget(btnInformation);
    lblAboutLable = new QLabel(QStringLiteral("About"), flwpnlNavigationBarRight);
    lblAboutLable->setObjectName(QStringLiteral("lblAboutLable"));
    QFont arialBold("Arial");
    arialBold.setBold(true);
    lblAboutLable->setFont(arialBold);
    QPalette white = lblAboutLable->palette();
    white.setColor(QPalette::WindowText, Qt::white);
    lblAboutLable->setPalette(white);
    lblAboutLable->hide();
    right->addWidget(lblAboutLable);
    right->addStretch();
    group->addWidget(flwpnlNavigationBarRight);
    navigation->addWidget(pnlNavigationGroup);
    outer->addWidget(pnlNavigationPanel);

    grpDeviceBox = new QGroupBox(QStringLiteral("Devices"), this);
    grpDeviceBox->setObjectName(QStringLiteral("grpDeviceBox"));
    auto* box = new QVBoxLayout(grpDeviceBox);
    lvDeviceList = new QTreeWidget(grpDeviceBox);
    lvDeviceList->setObjectName(QStringLiteral("lvDeviceList"));
    lvDeviceList->setAccessibleName(QStringLiteral("Devices"));
    lvDeviceList->setColumnCount(4);
    lvDeviceList->setHeaderLabels({QStringLiteral("Serial No"), QStringLiteral("Device Description"),
                                   QStringLiteral("Port"), QStringLiteral("State")});
    lvDeviceList->setRootIsDecorated(false);
    lvDeviceList->setItemsExpandable(false);
    lvDeviceList->setUniformRowHeights(true);
    lvDeviceList->setSelectionMode(QAbstractItemView::SingleSelection);
    lvDeviceList->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvDeviceList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvDeviceList->setAllColumnsShowFocus(true);
    lvDeviceList->setFont(arialBold);
    lvDeviceList->header()->setStretchLastSection(false);
    lvDeviceList->header()->setSectionsMovable(false);
    lvDeviceList->setItemDelegate(new FullTextTooltipDelegate(lvDeviceList));
    OpenOnReturn(lvDeviceList, [this] { // like a double click
        if (FLogic && SelectedRow() >= 0) FLogic->lvDeviceListDblClick();
    });
    connect(lvDeviceList, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem*, int) {
        if (FLogic) FLogic->lvDeviceListDblClick();
    });
    box->addWidget(lvDeviceList);
    // The keys work on the list from the start: the row that takes the keyboard focus is selected too,
    // so that Return opens the row the user sees marked.
    lvDeviceList->setFocus();
    connect(lvDeviceList, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* current) {
        if (current && lvDeviceList->hasFocus() && lvDeviceList->selectedItems().isEmpty())
            current->setSelected(true);
    });
    // An empty list says so: a blank table looks like a window that failed to fill it.
    lblNoDevices = new QLabel(QStringLiteral("No FTDI adapter attached"), grpDeviceBox);
    lblNoDevices->setObjectName(QStringLiteral("lblNoDevices"));
    lblNoDevices->setAccessibleName(lblNoDevices->text());
    lblNoDevices->setAlignment(Qt::AlignCenter);
    box->addWidget(lblNoDevices);
    outer->addWidget(grpDeviceBox, 1);
    AutoSizeColumns();
    UpdateNoDevicesText();

    connect(btnInformation, &QToolButton::clicked, this, [this] {
        if (FLogic) FLogic->btnInformationClick();
    });
    connect(qApp, &QGuiApplication::applicationStateChanged, this, &TFRM_MainWindow::ApplicationStateChanged);

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

TFRM_MainWindow::~TFRM_MainWindow() = default;

void TFRM_MainWindow::SetLogic(TFRM_Main* logic) {
    FLogic = logic;
}

void TFRM_MainWindow::BeginUpdate() {
    if (FUpdateDepth++ == 0) lvDeviceList->setUpdatesEnabled(false);
}

void TFRM_MainWindow::EndUpdate() {
    if (FUpdateDepth > 0 && --FUpdateDepth == 0) {
        AutoSizeColumns();
        lvDeviceList->setUpdatesEnabled(true);
    }
}

void TFRM_MainWindow::AddRow(const TDeviceRow& row) {
    auto* item = new QTreeWidgetItem;
    for (int column = 0; column < 4; ++column)
        item->setText(column, ToQString(row[static_cast<std::size_t>(column)]));
    lvDeviceList->addTopLevelItem(item);
    if (FUpdateDepth == 0) AutoSizeColumns();
    UpdateNoDevicesText();
}

void TFRM_MainWindow::DeleteRow(int index) {
    delete lvDeviceList->takeTopLevelItem(index);
    if (FUpdateDepth == 0) AutoSizeColumns();
    UpdateNoDevicesText();
}

void TFRM_MainWindow::UpdateNoDevicesText() {
    lblNoDevices->setVisible(lvDeviceList->topLevelItemCount() == 0);
}

void TFRM_MainWindow::SetRowState(int index, const std::u16string& state) {
    if (QTreeWidgetItem* item = lvDeviceList->topLevelItem(index)) item->setText(colState, ToQString(state));
    if (FUpdateDepth == 0) {
        AutoSizeColumns();
        lvDeviceList->viewport()->update();
    }
}

int TFRM_MainWindow::SelectedRow() const {
    const QList<QTreeWidgetItem*> selected = lvDeviceList->selectedItems();
    if (selected.isEmpty()) return -1;
    return lvDeviceList->indexOfTopLevelItem(selected.front());
}

void TFRM_MainWindow::ShowAboutLabel(bool visible) {
    lblAboutLable->setVisible(visible);
}

void TFRM_MainWindow::ShowAboutBox() {
    TfrmAboutDialog about(this, FLauncherPath, FOstrelPath);
    about.exec();
}

void TFRM_MainWindow::ShowError(const std::string& text) {
    QMessageBox::critical(this, QStringLiteral("Pravik"), QString::fromStdString(text));
}

std::optional<WindowHandle> TFRM_MainWindow::ForegroundWindowHandle() const {
    return DesktopForegroundWindow();
}

WindowHandle TFRM_MainWindow::NativeHandle() const {
    return DesktopWindowHandle(const_cast<TFRM_MainWindow*>(this));
}

bool TFRM_MainWindow::IsMinimized() const {
    return isMinimized();
}

void TFRM_MainWindow::Restore() {
    // Our own restore is no restore by the user: it must not raise the group a second time.
    bRestoringSelf = true;
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    bRestoringSelf = false;
}

bool TFRM_MainWindow::IsForeground() const {
    // The launcher raises itself after it has asked every Ostrel to come forward. On X11 those
    // requests are still on their way to the window manager when the desktop is asked, so its answer
    // would say the launcher is in front and the launcher would end up below. The launcher therefore
    // always raises itself; raising a window that is in front already changes nothing.
    if (NativeHandle() != 0) return false;
    return isVisible() && QApplication::activeWindow() == this;
}

void TFRM_MainWindow::RaiseAndActivate() {
    raise();
    activateWindow();
    // The Ostrel instances asked to come forward just before may reach the window manager after this
    // request; once more a moment later, so that the launcher ends on top as intended.
    if (NativeHandle() != 0) {
        QTimer::singleShot(kLateRaiseMs, this, [this] {
            raise();
            activateWindow();
        });
    }
}

void TFRM_MainWindow::ApplicationStateChanged(Qt::ApplicationState state) {
    if (!FLogic) return;
    const bool active = state == Qt::ApplicationActive;
    if (active == bActive) return;
    bActive = active;
    if (active)
        FLogic->Activate();
    else
        FLogic->Deactivate();
}

void TFRM_MainWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || !FLogic || bRestoringSelf) return;
    const auto* change = static_cast<QWindowStateChangeEvent*>(event);
    const bool wasMinimized = change->oldState() & Qt::WindowMinimized;
    const bool minimized = windowState() & Qt::WindowMinimized;
    if (minimized && !wasMinimized)
        FLogic->WMSysCommand(SC_MINIMIZE);
    else if (wasMinimized && !minimized)
        FLogic->WMSysCommand(SC_RESTORE_COMMAND);
}

bool TFRM_MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == btnInformation && FLogic) {
        if (event->type() == QEvent::Enter)
            FLogic->btnInformationMouseEnter();
        else if (event->type() == QEvent::Leave)
            FLogic->btnInformationMouseLeave();
    }
    return QWidget::eventFilter(watched, event);
}

void TFRM_MainWindow::closeEvent(QCloseEvent* event) {
    if (FLogic) FLogic->FormClose();
    event->accept();
}

void TFRM_MainWindow::AutoSizeColumns() {
    for (int column = 0; column < lvDeviceList->columnCount(); ++column)
        lvDeviceList->resizeColumnToContents(column);
}

} // namespace mirota
