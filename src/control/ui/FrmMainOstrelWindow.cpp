#include "control/ui/FrmMainOstrelWindow.h"

#include "control/ui/Artwork.h"
#include "messages/qt/QtForegroundWindow.h"
#include "screen/ui/Look.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScreen>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QTreeWidget>

namespace mirota {

namespace {

constexpr int kClientWidth = 762;
constexpr int kClientHeight = 527;
constexpr int kTopStrip = 64;
constexpr int kLeftWidth = 185;
constexpr int kRightWidth = 577;
constexpr int kButtonHeight = 65;
constexpr int kGroupRole = Qt::UserRole + 1;

QString Display(const std::string& text) {
    QString s = QString::fromStdString(text);
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return s;
}

QLabel* Header(const QString& text, const QRect& geometry, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setGeometry(geometry);
    label->setAutoFillBackground(true);
    QPalette p = label->palette();
    p.setColor(QPalette::Window, look::Teal());
    p.setColor(QPalette::WindowText, Qt::white);
    label->setPalette(p);
    label->setFont(look::ArialFont(13, true));
    label->setIndent(8);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return label;
}

// Group headers of the device information list: centred, coloured, with a rule on both sides.
class GroupDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        if (!index.data(kGroupRole).toBool()) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        painter->save();
        const QString text = index.data(Qt::DisplayRole).toString();
        painter->setFont(option.font);
        painter->setPen(look::Teal());
        const QRect r = option.rect.adjusted(4, 0, -4, 0);
        const int textWidth = painter->fontMetrics().horizontalAdvance(text) + 12;
        painter->drawText(r, Qt::AlignCenter, text);
        const int y = r.center().y() + 1;
        const int left = r.center().x() - textWidth / 2;
        const int right = r.center().x() + textWidth / 2;
        painter->setPen(QPen(QColor(180, 205, 204), 1));
        if (left > r.left()) painter->drawLine(r.left(), y, left, y);
        if (right < r.right()) painter->drawLine(right, y, r.right(), y);
        painter->restore();
    }
};

} // namespace

NavigationButton::NavigationButton(const QString& caption, QPixmap icon, QPixmap hoverIcon, QWidget* parent)
    : QPushButton(caption, parent), icon_(std::move(icon)), hoverIcon_(std::move(hoverIcon)) {
    setFlat(true);
    setFocusPolicy(Qt::NoFocus); // the buttons never take the focus
    setAttribute(Qt::WA_Hover);
    setCursor(Qt::PointingHandCursor);
    setFont(look::ArialFont(32, true));
    setAccessibleName(caption);
}

void NavigationButton::paintEvent(QPaintEvent*) {
    QPainter g(this);
    g.setRenderHint(QPainter::Antialiasing);
    const QPixmap& icon = hovered_ ? hoverIcon_ : icon_;
    g.drawPixmap(QPoint(12, (height() - icon.height()) / 2), icon);
    g.setFont(font());
    g.setPen(hovered_ ? look::Teal() : look::Grey());
    g.drawText(QRect(100, 0, width() - 100, height()), Qt::AlignLeft | Qt::AlignVCenter, text());
}

void NavigationButton::enterEvent(QEnterEvent* event) {
    hovered_ = true;
    update();
    QPushButton::enterEvent(event);
    emit mouseEntered();
}

void NavigationButton::leaveEvent(QEvent* event) {
    hovered_ = false;
    update();
    QPushButton::leaveEvent(event);
    emit mouseLeft();
}

TfrmMainOstrelWindow::TfrmMainOstrelWindow(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("frmMainOstrelScreen"));
    setWindowTitle(QString::fromUtf8(kDesignCaption));
    setAccessibleName(QString::fromUtf8(kDesignCaption));
    setFixedSize(kClientWidth, kClientHeight);
    setWindowFlag(Qt::MSWindowsFixedSizeDialogHint);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    pal.setColor(QPalette::Base, Qt::white);
    setPalette(pal);

    imgLogo_ = new QLabel(this);
    imgLogo_->setObjectName(QStringLiteral("imgLogo"));
    imgLogo_->setGeometry(0, 0, 202, kTopStrip);
    imgLogo_->setPixmap(MakeLogo());
    imgLogo_->setAccessibleName(QStringLiteral("Mirota"));

    // Left panel.
    auto* deviceHeader =
        Header(QStringLiteral("DEVICE-INFORMATION"), QRect(0, kTopStrip, kLeftWidth, 26), this);
    deviceHeader->setObjectName(QStringLiteral("lblDeviceInformation"));
    lvDeviceInformation_ = new QTreeWidget(this);
    lvDeviceInformation_->setObjectName(QStringLiteral("lvDeviceInformation"));
    lvDeviceInformation_->setAccessibleName(QStringLiteral("DEVICE-INFORMATION"));
    lvDeviceInformation_->setGeometry(0, kTopStrip + 26, kLeftWidth, kClientHeight - kTopStrip - 26);
    lvDeviceInformation_->setColumnCount(1);
    lvDeviceInformation_->setHeaderHidden(true);
    lvDeviceInformation_->header()->setStretchLastSection(true);
    lvDeviceInformation_->setRootIsDecorated(false);
    lvDeviceInformation_->setIndentation(0);
    lvDeviceInformation_->setItemsExpandable(false);
    lvDeviceInformation_->setSelectionMode(QAbstractItemView::NoSelection);
    lvDeviceInformation_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvDeviceInformation_->setFocusPolicy(Qt::NoFocus);
    lvDeviceInformation_->setFrameShape(QFrame::NoFrame);
    lvDeviceInformation_->setFont(look::ArialFont(13, true));
    lvDeviceInformation_->setItemDelegate(new GroupDelegate(lvDeviceInformation_));

    // Right panel: navigation bar and buttons.
    auto* navigationBar = new QLabel(this);
    navigationBar->setObjectName(QStringLiteral("pnlNavigation"));
    navigationBar->setGeometry(kLeftWidth, kTopStrip, kRightWidth, 27);
    navigationBar->setAutoFillBackground(true);
    QPalette barPalette = navigationBar->palette();
    barPalette.setColor(QPalette::Window, look::Teal());
    navigationBar->setPalette(barPalette);

    const std::vector<QPixmap> normal = MakeIconList(false), hover = MakeIconList(true);
    struct NavigationEntry {
        ScreenKind kind;
        const char* caption;
        const char* name;
        int icon;
    } entries[] = {{ScreenKind::Terminal, "TERMINAL", "btnTerminal", kIconTerminal},
                   {ScreenKind::Settings, "SETTINGS", "btnSettings", kIconSettings},
                   {ScreenKind::Values, "VALUES", "btnValues", kIconValues},
                   {ScreenKind::Power, "POWER", "btnPower", kIconPower}};
    int y = kTopStrip + 27;
    for (const NavigationEntry& s : entries) {
        auto* b = new NavigationButton(QString::fromUtf8(s.caption), normal[s.icon], hover[s.icon], this);
        b->setObjectName(QString::fromUtf8(s.name));
        b->setGeometry(kLeftWidth, y, kRightWidth, kButtonHeight);
        y += kButtonHeight;
        const ScreenKind kind = s.kind;
        connect(b, &QPushButton::clicked, this, [this, kind] {
            if (logic_) logic_->OpenScreen(kind);
        });
        connect(b, &NavigationButton::mouseEntered, this, [this, kind] {
            if (logic_) logic_->ButtonMouseEnter(kind);
        });
        connect(b, &NavigationButton::mouseLeft, this, [this] {
            if (logic_) logic_->ButtonMouseLeave();
        });
        buttons_[kind] = b;
    }

    // Right panel: information.
    lblInformation_ =
        Header(QString::fromUtf8(kDesignInformationCaption), QRect(kLeftWidth, y, kRightWidth, 27), this);
    lblInformation_->setObjectName(QStringLiteral("lblInformation"));
    y += 27;
    mmoInformation_ = new QPlainTextEdit(this);
    mmoInformation_->setObjectName(QStringLiteral("mmoInformation"));
    mmoInformation_->setGeometry(kLeftWidth, y, kRightWidth, kClientHeight - y);
    mmoInformation_->setReadOnly(true);
    mmoInformation_->setFrameShape(QFrame::NoFrame);
    mmoInformation_->setFocusPolicy(Qt::NoFocus);
    mmoInformation_->setFont(look::ArialFont(13, true));
    mmoInformation_->setPlainText(QString::fromUtf8(kDesignInformationText));
    mmoInformation_->setAccessibleName(QString::fromUtf8(kDesignInformationCaption));
    mmoInformation_->setAccessibleDescription(QString::fromUtf8(kDesignInformationText));
    QPalette memo = mmoInformation_->palette();
    memo.setColor(QPalette::Base, Qt::white);
    memo.setColor(QPalette::Text, look::Grey());
    mmoInformation_->setPalette(memo);

    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state != Qt::ApplicationActive && logic_) logic_->Deactivate();
    });
}

TfrmMainOstrelWindow::~TfrmMainOstrelWindow() {
    qDeleteAll(pendingGroups_); // an update the window did not live to end
}

void TfrmMainOstrelWindow::SetCaption(const std::string& caption) {
    setWindowTitle(QString::fromStdString(caption));
    setAccessibleName(QString::fromStdString(caption));
}

void TfrmMainOstrelWindow::SetNavigationButtonVisible(ScreenKind kind, bool visible) {
    buttons_.at(kind)->setVisible(visible);
}

// A list update fills the list while the device is asked for its name and version (more than a
// second). The list keeps painting meanwhile (a widget whose updates are off leaves its area
// unpainted, black on a fresh X window): the new rows are built outside it and join it at the end.
void TfrmMainOstrelWindow::BeginListUpdate() {
    listUpdating_ = true;
}

void TfrmMainOstrelWindow::EndListUpdate() {
    if (!listUpdating_) return;
    listUpdating_ = false;
    if (pendingGroups_.empty()) return;
    for (auto* group : pendingGroups_) {
        lvDeviceInformation_->addTopLevelItem(group);
        group->setExpanded(true);
    }
    pendingGroups_.clear();
}

void TfrmMainOstrelWindow::AddGroup(const std::string& header) {
    auto* group = new QTreeWidgetItem(QStringList{QString::fromStdString(header)});
    group->setData(0, kGroupRole, true);
    group->setFlags(Qt::ItemIsEnabled);
    group->setTextAlignment(0, Qt::AlignCenter);
    if (listUpdating_) {
        pendingGroups_.push_back(group);
    } else {
        lvDeviceInformation_->addTopLevelItem(group);
        group->setExpanded(true);
    }
    groups_.push_back(group);
}

void TfrmMainOstrelWindow::AddItem(int group, const std::string& text) {
    QTreeWidgetItem* parent = groups_.at(static_cast<std::size_t>(group));
    auto* item = new QTreeWidgetItem(parent, QStringList{Display(text)});
    item->setFlags(Qt::ItemIsEnabled);
    item->setForeground(0, look::Grey());
    parent->setExpanded(true); // no effect while the group waits outside the list
    items_.push_back(item);
}

void TfrmMainOstrelWindow::SetItemText(int item, const std::string& text) {
    if (item >= 0 && static_cast<std::size_t>(item) < items_.size())
        items_[static_cast<std::size_t>(item)]->setText(0, Display(text));
}

void TfrmMainOstrelWindow::SetInformation(const std::string& caption, const std::string& text) {
    lblInformation_->setText(Display(caption));
    mmoInformation_->setPlainText(Display(text));
    mmoInformation_->setAccessibleDescription(Display(text));
}

void TfrmMainOstrelWindow::ShowWindow() {
    show();
}

void TfrmMainOstrelWindow::HideWindow() {
    hide();
}

void TfrmMainOstrelWindow::CloseWindow() {
    // Closed from the event loop: the caller (a dialog, a message, the start sequence) returns first.
    if (closeQueued_) return;
    closeQueued_ = true;
    QTimer::singleShot(0, this, [this] { close(); });
}

WindowState TfrmMainOstrelWindow::State() const {
    if (isMinimized()) return WindowState::Minimized;
    if (isMaximized()) return WindowState::Maximized;
    return WindowState::Normal;
}

void TfrmMainOstrelWindow::ShowNormal() {
    showNormal();
}

void TfrmMainOstrelWindow::BringToForeground() {
    QtForegroundWindow window(this);
    mirota::BringToForeground(window);
}

QPoint InstancePosition(const QRect& area, QSize frame, std::optional<int> portNumber) {
    const int step = portNumber ? (*portNumber % 8) * kInstanceStep : 0;
    return {area.x() + (area.width() - frame.width()) / 2 + step,
            area.y() + (area.height() - frame.height()) / 2 + step};
}

void TfrmMainOstrelWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!centred_) {
        centred_ = true;
        if (QScreen* s = screen()) {
            std::optional<int> port;
            if (logic_) port = PortNumberOf(logic_->strPortNumber);
            move(InstancePosition(s->availableGeometry(), frameGeometry().size(), port));
        }
    }
    // The start sequence runs once the window is on the screen, not inside its show event.
    QTimer::singleShot(0, this, [this] {
        if (logic_) logic_->FormShow();
    });
}

void TfrmMainOstrelWindow::closeEvent(QCloseEvent* event) {
    if (logic_ && !logic_->Ended()) logic_->FormClose();
    event->accept();
    emit ended();
}

void TfrmMainOstrelWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::WindowStateChange && isMinimized() && logic_) logic_->SystemMinimize();
    QWidget::changeEvent(event);
}

} // namespace mirota
