#include "settings/ui/FrmSettingsWindow.h"

#include "screen/ShownText.h"
#include "screen/ui/DialogFolder.h"
#include "screen/ui/ListTools.h"
#include "screen/ui/Look.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace mirota {

namespace {

const QColor kTealColour = look::Teal();
const QColor kBarColour = look::Slate();
const QColor kBusyTextColour = look::Grey();
constexpr const char* kConfigurationFilter = "Extensible Markup Language file (*.xml)";
constexpr int kRowRole = Qt::UserRole + 1;

QString Q(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
std::string S(const QString& s) {
    return s.toUtf8().toStdString();
}
// A text of the catalogue, the device or a configuration file as the window shows it: cut short, so
// that a line of megabytes never reaches the text layout. The logic keeps the whole text.
QString ShownQ(const std::string& s) {
    return Q(ShownText(s));
}

QFont Arial13(bool bold = false) {
    return look::ArialFont(13, bold);
}

using look::Fill;

// ilNavigationImages: 0 save (a disk), 1 open (a folder), white on the bar.
QIcon NavigationImage(int index) {
    QPixmap pm(24, 24);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::white, 1.6));
    if (index == 0) {
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(3.5, 3.5, 17, 17), 2, 2);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(7.5, 3.5, 9, 6));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(6.5, 13.5, 11, 7));
    } else {
        QPainterPath folder;
        folder.moveTo(3.5, 19.5);
        folder.lineTo(3.5, 5.5);
        folder.lineTo(9.5, 5.5);
        folder.lineTo(11.5, 8.5);
        folder.lineTo(19.5, 8.5);
        folder.lineTo(19.5, 11.5);
        p.drawPath(folder);
        QPainterPath front;
        front.moveTo(3.5, 19.5);
        front.lineTo(7.5, 11.5);
        front.lineTo(21.5, 11.5);
        front.lineTo(17.5, 19.5);
        front.closeSubpath();
        p.drawPath(front);
    }
    return QIcon(pm);
}

} // namespace

// gfanimProcces: a ring of dots running round while a pass is busy.
class TBusyAnimation : public QWidget {
public:
    explicit TBusyAnimation(QWidget* parent) : QWidget(parent) {
        setFixedSize(70, 70);
        timer_.setInterval(80);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] {
            step_ = (step_ + 1) % kDots;
            update();
        });
    }
    void SetActive(bool active) {
        if (active && !timer_.isActive()) timer_.start();
        if (!active) timer_.stop();
        setAccessibleDescription(active ? QStringLiteral("running") : QStringLiteral("stopped"));
    }
    bool Active() const { return timer_.isActive(); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        const QPointF centre(width() / 2.0, height() / 2.0);
        for (int i = 0; i < kDots; ++i) {
            const double angle = 2 * M_PI * i / kDots - M_PI / 2;
            const int age = (step_ - i + kDots) % kDots;
            QColor c = kTealColour;
            c.setAlphaF(1.0 - 0.8 * age / kDots);
            p.setBrush(c);
            p.drawEllipse(centre + QPointF(std::cos(angle) * 26, std::sin(angle) * 26), 5.0, 5.0);
        }
    }

private:
    static constexpr int kDots = 10;
    QTimer timer_;
    int step_ = 0;
};

TfrmSettingsFrameView::TfrmSettingsFrameView(const ScreenArgs& args, std::filesystem::path cfgDir)
    : ScreenWindow("frmSettingsFrame") {
    // Creation step 1: the window and its controls.
    QFont tahoma(QStringLiteral("Tahoma"));
    tahoma.setPixelSize(11);
    setFont(tahoma);
    Fill(this, Qt::white);
    BuildLayout();
    resize(659, 525);
    // Steps 2 to 9.
    logic_ = std::make_unique<TfrmSettingsFrame>(args, *this, std::move(cfgDir));
    setWindowTitle(Q(logic_->Caption()));
    setAccessibleName(windowTitle());
    Constructed();
}

TfrmSettingsFrameView::~TfrmSettingsFrameView() {
    logic_.reset(); // before the widgets it talks to
}

void TfrmSettingsFrameView::BuildLayout() {
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);

    // pnlNavigationPanel: pnlTopPanel with the logo, pnlNavigationBar with the flow panel.
    pnlNavigationPanel = new QWidget(this);
    pnlNavigationPanel->setObjectName("pnlNavigationPanel");
    pnlNavigationPanel->setFixedHeight(94);
    auto* navLayout = new QVBoxLayout(pnlNavigationPanel);
    navLayout->setContentsMargins(0, 0, 0, 0);
    navLayout->setSpacing(0);
    navLayout->addWidget(look::MakeLogoPanel(pnlNavigationPanel, "pnlTopPanel", "imgCompanyImage"));

    QWidget* bar = look::MakeBar(pnlNavigationPanel, "pnlNavigationBar", 30, kBarColour);
    auto* barLayout = new QHBoxLayout(bar);
    barLayout->setContentsMargins(0, 0, 0, 0);
    auto* flow = new QWidget(bar);
    flow->setObjectName("flwpnlNavigationBar");
    Fill(flow, kTealColour);
    barLayout->addWidget(flow);
    auto* flowLayout = new QHBoxLayout(flow);
    flowLayout->setContentsMargins(0, 0, 0, 0);
    flowLayout->setSpacing(4);

    auto makeButton = [&](const char* name, int image, const char* caption) {
        auto* b = new QToolButton(flow);
        b->setObjectName(name);
        b->setFixedSize(30, 30);
        b->setIcon(NavigationImage(image));
        b->setIconSize(QSize(24, 24));
        b->setAutoRaise(true);
        // The white image stays visible under the mouse.
        b->setStyleSheet("QToolButton { background: transparent; border: none; }"
                         "QToolButton:hover { background: rgba(255, 255, 255, 45); }"
                         "QToolButton:pressed { background: rgba(0, 0, 0, 40); }");
        b->setToolTip(caption);
        b->setAccessibleName(caption);
        b->installEventFilter(this);
        b->hide(); // shown by the first completed read pass from firmware 30 on
        return b;
    };
    auto makeLabel = [&](const char* name, const char* caption) {
        auto* l = new QLabel(caption, flow);
        l->setObjectName(name);
        l->setFont(Arial13(true));
        QPalette pal = l->palette();
        pal.setColor(QPalette::WindowText, Qt::white);
        l->setPalette(pal);
        l->setAccessibleName(caption);
        // The label keeps its room while hidden: showing it under the mouse never moves the buttons.
        QSizePolicy policy = l->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        l->setSizePolicy(policy);
        l->hide();
        return l;
    };
    btnSave = makeButton("btnSave", 0, "Save configurations");
    lblSave = makeLabel("lblSave", "Save configurations");
    btnLoad = makeButton("btnLoad", 1, "Open configurations");
    lblOpen = makeLabel("lblOpen", "Open configurations");
    flowLayout->addWidget(btnSave);
    flowLayout->addWidget(lblSave);
    flowLayout->addWidget(btnLoad);
    flowLayout->addWidget(lblOpen);
    flowLayout->addStretch(1);
    connect(btnSave, &QToolButton::clicked, this, [this] { logic_->btnSaveClick(); });
    connect(btnLoad, &QToolButton::clicked, this, [this] { logic_->btnLoadClick(); });
    navLayout->addWidget(bar);
    root->addWidget(pnlNavigationPanel);

    // pnlCenterPanel: the list, with the busy panel covering it while a pass runs.
    auto* centre = new QWidget(this);
    centre->setObjectName("pnlCenterPanel");
    auto* grid = new QGridLayout(centre);
    grid->setContentsMargins(0, 0, 0, 0);
    lvDeviceSettings = new QTreeWidget(centre);
    lvDeviceSettings->setObjectName("lvDeviceSettings");
    lvDeviceSettings->setAccessibleName("Device settings");
    lvDeviceSettings->setFont(Arial13());
    lvDeviceSettings->setColumnCount(4);
    lvDeviceSettings->setHeaderLabels({"Description", "Current Value", "New Value", "Info"});
    lvDeviceSettings->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvDeviceSettings->setSelectionMode(QAbstractItemView::SingleSelection);
    lvDeviceSettings->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvDeviceSettings->setRootIsDecorated(false);
    lvDeviceSettings->setItemsExpandable(false);
    lvDeviceSettings->setExpandsOnDoubleClick(false);
    lvDeviceSettings->setUniformRowHeights(true);
    lvDeviceSettings->header()->setSectionResizeMode(QHeaderView::Fixed);
    lvDeviceSettings->header()->setStretchLastSection(false);
    lvDeviceSettings->header()->setSectionsMovable(false);
    lvDeviceSettings->viewport()->installEventFilter(this);
    lvDeviceSettings->setItemDelegate(new FullTextTooltipDelegate(lvDeviceSettings));
    connect(lvDeviceSettings, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int column) {
        if (updating_ || column != 0) return;
        const QVariant row = item->data(0, kRowRole);
        if (!row.isValid()) return;
        logic_->SetRowChecked(row.toInt(), item->checkState(0) == Qt::Checked);
    });
    connect(lvDeviceSettings, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item, int) {
        if (!item->data(0, kRowRole).isValid()) return;
        logic_->lvDeviceSettingsDblClick();
    });
    // Return on the selected row acts as a double click does; not while the busy panel covers the list
    // (a mouse cannot reach it then either).
    OpenOnReturn(lvDeviceSettings, [this] {
        if (!pnlReadWrite->isVisible() && SelectedRow() >= 0) logic_->lvDeviceSettingsDblClick();
    });
    grid->addWidget(lvDeviceSettings, 0, 0);

    pnlReadWrite = new QWidget(centre);
    pnlReadWrite->setObjectName("pnlReadWrite");
    pnlReadWrite->setAccessibleName("Busy");
    Fill(pnlReadWrite, Qt::white);
    auto* busyLayout = new QVBoxLayout(pnlReadWrite);
    busyLayout->addStretch(1);
    gfanimProcces = new TBusyAnimation(pnlReadWrite);
    gfanimProcces->setObjectName("gfanimProcces");
    gfanimProcces->setAccessibleName("Busy animation");
    busyLayout->addWidget(gfanimProcces, 0, Qt::AlignHCenter);
    lblReadWrite = new QLabel(pnlReadWrite);
    lblReadWrite->setObjectName("lblReadWrite");
    lblReadWrite->setFont(Arial13());
    lblReadWrite->setAlignment(Qt::AlignCenter);
    QPalette busyPal = lblReadWrite->palette();
    busyPal.setColor(QPalette::WindowText, kBusyTextColour);
    lblReadWrite->setPalette(busyPal);
    busyLayout->addWidget(lblReadWrite);
    busyLayout->addStretch(1);
    pnlReadWrite->hide();
    grid->addWidget(pnlReadWrite, 0, 0);
    root->addWidget(centre, 1);

    // pnlBottomPanel: Cancel, Apply at the right end.
    auto* bottom = new QWidget(this);
    bottom->setObjectName("pnlBottomPanel");
    bottom->setFixedHeight(24);
    auto* bottomLayout = new QHBoxLayout(bottom);
    bottomLayout->setContentsMargins(0, 0, 0, 0);
    bottomLayout->setSpacing(0);
    BuildToolsPanel(bottomLayout);
    bottomLayout->addStretch(1);
    btnCancel = new QPushButton("Cancel", bottom);
    btnApply = new QPushButton("Apply", bottom);
    for (QPushButton* b : {btnCancel, btnApply}) {
        b->setFixedSize(75, 24);
        b->setFont(Arial13());
        b->setAccessibleName(b->text());
        b->setEnabled(false);
        bottomLayout->addWidget(b);
    }
    btnCancel->setObjectName("btnCancel");
    btnApply->setObjectName("btnApply");
    connect(btnApply, &QPushButton::clicked, this, [this] { logic_->btnApplyClick(); });
    connect(btnCancel, &QPushButton::clicked, this, [this] { logic_->btnCancelClick(); });
    root->addWidget(bottom);
}

void TfrmSettingsFrameView::ResizeColumns() {
    // Four equal columns; the first also takes the remainder.
    const int width = lvDeviceSettings->viewport()->width();
    const int each = width / 4;
    lvDeviceSettings->setColumnWidth(0, each + width % 4);
    for (int c = 1; c < 4; ++c)
        lvDeviceSettings->setColumnWidth(c, each);
}

bool TfrmSettingsFrameView::eventFilter(QObject* watched, QEvent* event) {
    if (lvDeviceSettings && watched == lvDeviceSettings->viewport() && event->type() == QEvent::Resize) {
        ResizeColumns();
    } else if (watched == btnSave || watched == btnLoad) {
        // The label shows 20 ms after the mouse entered its button and hides 50 ms after it left.
        QLabel* label = watched == btnSave ? lblSave : lblOpen;
        if (event->type() == QEvent::Enter)
            QTimer::singleShot(20, label, [label] { label->show(); });
        else if (event->type() == QEvent::Leave)
            QTimer::singleShot(50, label, [label] { label->hide(); });
    }
    return QWidget::eventFilter(watched, event);
}

QTreeWidgetItem* TfrmSettingsFrameView::RowItem(int row) const {
    return row >= 0 && row < static_cast<int>(rowItems_.size()) ? rowItems_[row] : nullptr;
}

// ---------------------------------------------------------------------------------------------------
// SettingsView

void TfrmSettingsFrameView::ShowBusy(bool visible) {
    pnlReadWrite->setVisible(visible);
    if (visible) pnlReadWrite->raise();
    gfanimProcces->SetActive(visible);
    // On the screen before the pass's first command goes out.
    if (visible && isVisible()) pnlReadWrite->repaint();
    btnCompare->setEnabled(!visible);
    btnExport->setEnabled(!visible);
}

void TfrmSettingsFrameView::SetBusyText(const std::string& text) {
    lblReadWrite->setText(ShownQ(text));
    pnlReadWrite->setAccessibleDescription(lblReadWrite->text());
}

void TfrmSettingsFrameView::SetApplyEnabled(bool enabled) {
    btnApply->setEnabled(enabled);
}
void TfrmSettingsFrameView::SetCancelEnabled(bool enabled) {
    btnCancel->setEnabled(enabled);
}

void TfrmSettingsFrameView::ShowSaveLoad(bool visible) {
    btnSave->setVisible(visible);
    btnLoad->setVisible(visible);
    btnCompare->setVisible(visible);
}

void TfrmSettingsFrameView::ListRebuilt() {
    updating_ = true;
    lvDeviceSettings->setUpdatesEnabled(false);
    lvDeviceSettings->clear();
    rowItems_.clear();
    const TSettingsCatalogue& catalogue = logic_->Catalogue();
    std::vector<QTreeWidgetItem*> groups;
    QList<QTreeWidgetItem*> top;
    for (const std::string& section : catalogue.slCurrentSections) {
        auto* group = new QTreeWidgetItem(QStringList{ShownQ(section)});
        group->setFlags(Qt::ItemIsEnabled);
        QFont bold = lvDeviceSettings->font();
        bold.setBold(true);
        group->setFont(0, bold);
        group->setForeground(0, kTealColour);
        group->setTextAlignment(0, Qt::AlignLeft | Qt::AlignVCenter);
        groups.push_back(group);
        top.append(group);
    }
    const auto& rows = logic_->Rows();
    rowItems_.reserve(rows.size());
    for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
        const SettingsRow& r = rows[i];
        auto* item = new QTreeWidgetItem(
            QStringList{ShownQ(r.Description), ShownQ(r.CurrentValue), ShownQ(r.NewValue), ShownQ(r.Info)});
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setData(0, kRowRole, i);
        item->setCheckState(0, r.Checked ? Qt::Checked : Qt::Unchecked);
        if (r.Group >= 0 && r.Group < static_cast<int>(groups.size())) groups[r.Group]->addChild(item);
        rowItems_.push_back(item);
    }
    lvDeviceSettings->addTopLevelItems(top);
    for (QTreeWidgetItem* g : groups) {
        g->setFirstColumnSpanned(true);
        g->setExpanded(true);
    }
    lvDeviceSettings->setUpdatesEnabled(true);
    updating_ = false;
    ShowComparison();
}

void TfrmSettingsFrameView::ShowRow(int row) {
    QTreeWidgetItem* item = RowItem(row);
    if (!item) return;
    const SettingsRow& r = logic_->Rows()[row];
    updating_ = true;
    item->setText(2, ShownQ(r.NewValue));
    item->setCheckState(0, r.Checked ? Qt::Checked : Qt::Unchecked);
    updating_ = false;
}

void TfrmSettingsFrameView::RowChanged(int row) {
    ShowRow(row);
}

int TfrmSettingsFrameView::SelectedRow() const {
    QTreeWidgetItem* item = lvDeviceSettings->currentItem();
    if (!item || !item->isSelected()) return -1;
    const QVariant row = item->data(0, kRowRole);
    return row.isValid() ? row.toInt() : -1;
}

void TfrmSettingsFrameView::CloseWindow() {
    close();
}

std::string TfrmSettingsFrameView::SelectBox(const std::string& title, const std::string& prompt,
                                             const std::vector<std::string>& choices) {
    if (selectBoxHook) return selectBoxHook(choices);
    return ShowSelectBox(this, title, prompt, choices);
}

void TfrmSettingsFrameView::MessageBox(const std::string& text, const std::string& caption, DialogKind icon) {
    if (messageBoxHook) return messageBoxHook(caption, text);
    QMessageBox box(icon == DialogKind::Error     ? QMessageBox::Critical
                    : icon == DialogKind::Warning ? QMessageBox::Warning
                                                  : QMessageBox::Information,
                    look::VisibleTitle(Q(caption)), Q(text), QMessageBox::Ok, this);
    box.button(QMessageBox::Ok)->setAccessibleName("OK");
    box.setAccessibleName(Q(caption));
    box.setAccessibleDescription(Q(text));
    box.exec();
}

std::optional<std::string> TfrmSettingsFrameView::SaveFileName(const std::string& proposed) {
    if (saveNameHook) return saveNameHook(proposed);
    const QString name =
        QFileDialog::getSaveFileName(this, QString(), InDialogFolder(Q(proposed)), kConfigurationFilter,
                                     nullptr, QFileDialog::DontConfirmOverwrite);
    if (name.isEmpty()) return std::nullopt;
    RememberDialogFolder(name);
    return S(name);
}

std::optional<std::string> TfrmSettingsFrameView::OpenFileName() {
    if (openNameHook) return openNameHook();
    const QString name = QFileDialog::getOpenFileName(this, QString(), DialogFolder(), kConfigurationFilter);
    if (name.isEmpty()) return std::nullopt;
    RememberDialogFolder(name);
    return S(name);
}

// ---------------------------------------------------------------------------------------------------
// Comparison with a configuration file and the list export

namespace {
const QColor kDifferenceColour(255, 226, 160);
constexpr const char* kExportFilter = "Comma-separated values (*.csv)";
} // namespace

void TfrmSettingsFrameView::BuildToolsPanel(QHBoxLayout* bottomLayout) {
    QWidget* bottom = bottomLayout->parentWidget();
    btnCompare = new QPushButton("Compare with file...", bottom);
    btnCompare->setObjectName("btnCompare");
    btnCompare->setToolTip("Mark the settings whose current value differs from a configuration file; "
                           "nothing is written to the device");
    btnCompare->hide(); // shown with Save and Open
    btnExport = new QPushButton("Export list...", bottom);
    btnExport->setObjectName("btnExport");
    btnExport->setToolTip("Write the settings list with the current values as CSV");
    for (QPushButton* b : {btnCompare, btnExport}) {
        b->setFixedHeight(24);
        b->setFont(Arial13());
        b->setAccessibleName(b->text());
        b->setEnabled(false); // until the first read pass is complete
        bottomLayout->addWidget(b);
    }
    chkDifferencesOnly = new QCheckBox("Show only differences", bottom);
    chkDifferencesOnly->setObjectName("chkDifferencesOnly");
    chkDifferencesOnly->setAccessibleName(chkDifferencesOnly->text());
    chkDifferencesOnly->setFont(Arial13());
    chkDifferencesOnly->setEnabled(false); // until a file was compared
    lblComparison = new QLabel(bottom);
    lblComparison->setObjectName("lblComparison");
    lblComparison->setFont(Arial13());
    lblComparison->setAccessibleName("Comparison");
    bottomLayout->addSpacing(6);
    bottomLayout->addWidget(chkDifferencesOnly);
    bottomLayout->addSpacing(6);
    bottomLayout->addWidget(lblComparison);
    connect(btnCompare, &QPushButton::clicked, this, [this] { logic_->btnCompareClick(); });
    connect(btnExport, &QPushButton::clicked, this, [this] { logic_->btnExportClick(); });
    connect(chkDifferencesOnly, &QCheckBox::toggled, this, [this] { ApplyDifferencesFilter(); });
}

void TfrmSettingsFrameView::ComparisonChanged() {
    ShowComparison();
}

void TfrmSettingsFrameView::ShowComparison() {
    const ConfigurationComparison& comparison = logic_->Comparison();
    updating_ = true;
    for (int i = 0; i < static_cast<int>(rowItems_.size()); ++i) {
        QTreeWidgetItem* item = rowItems_[i];
        const bool differs = comparison.RowDiffers(i);
        const QString description =
            differs ? ShownQ(DifferenceDescription(*comparison.Differences[i])) : QString();
        for (int c = 0; c < 4; ++c) {
            item->setData(c, Qt::BackgroundRole, differs ? QVariant(kDifferenceColour) : QVariant());
            item->setData(c, Qt::AccessibleDescriptionRole, differs ? QVariant(description) : QVariant());
        }
        item->setToolTip(1, description);
    }
    updating_ = false;
    const QString summary = Q(ComparisonSummary(comparison));
    lblComparison->setText(summary);
    lblComparison->setAccessibleDescription(summary);
    chkDifferencesOnly->setEnabled(comparison.Active());
    ApplyDifferencesFilter();
}

void TfrmSettingsFrameView::ApplyDifferencesFilter() {
    const ConfigurationComparison& comparison = logic_->Comparison();
    const bool only = chkDifferencesOnly->isChecked() && comparison.Active();
    for (int i = 0; i < static_cast<int>(rowItems_.size()); ++i)
        rowItems_[i]->setHidden(only && !comparison.RowDiffers(i));
    // A group without a row left to show is hidden with its rows.
    for (int g = 0; g < lvDeviceSettings->topLevelItemCount(); ++g) {
        QTreeWidgetItem* group = lvDeviceSettings->topLevelItem(g);
        bool any = !only;
        for (int k = 0; !any && k < group->childCount(); ++k)
            any = !group->child(k)->isHidden();
        group->setHidden(!any);
    }
}

std::optional<std::string> TfrmSettingsFrameView::ExportFileName(const std::string& proposed) {
    if (exportNameHook) return exportNameHook(proposed);
    QFileDialog dialog(this, "Export list", InDialogFolder(Q(proposed)), kExportFilter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix("csv");
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    const QString name = dialog.selectedFiles().front();
    RememberDialogFolder(name);
    return S(name);
}

// ---------------------------------------------------------------------------------------------------
// SelectBox

std::string ShowSelectBox(QWidget* parent, const std::string& title, const std::string& prompt,
                          const std::vector<std::string>& choices) {
    QDialog dialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    dialog.setWindowTitle(look::VisibleTitle(Q(title)));
    dialog.setAccessibleName(Q(title));
    // Dialog units of the dialog's font: average letter width and the letters' height.
    const QFontMetrics fm(dialog.font());
    const int w =
        fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 52;
    const int h = fm.height();
    auto X = [w](double units) { return static_cast<int>(std::lround(units * w / 4.0)); };
    auto Y = [h](double units) { return static_cast<int>(std::lround(units * h / 8.0)); };

    auto* label = new QLabel(Q(prompt), &dialog);
    label->setWordWrap(true);
    // At most 164 units wide, word-wrapped.
    const int labelWidth = std::min(X(164), fm.horizontalAdvance(Q(prompt)) + 1);
    label->setGeometry(X(8), Y(8), labelWidth, label->heightForWidth(labelWidth));

    auto* combo = new QComboBox(&dialog);
    combo->setEditable(false);
    combo->setAccessibleName(Q(prompt));
    for (const std::string& c : choices)
        combo->addItem(ShownQ(c)); // the choice itself is returned whole
    combo->setCurrentIndex(choices.empty() ? -1 : 0);
    combo->setGeometry(X(8), label->y() + label->height() + 5, X(164), combo->sizeHint().height());

    const int buttonTop = combo->y() + combo->height() + 15;
    auto* ok = new QPushButton("OK", &dialog);
    ok->setAccessibleName("OK");
    ok->setDefault(true);
    ok->setGeometry(X(38), buttonTop, X(50), Y(14));
    auto* cancel = new QPushButton("Cancel", &dialog);
    cancel->setAccessibleName("Cancel");
    cancel->setGeometry(X(92), buttonTop, X(50), Y(14));
    QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, &dialog, &QDialog::reject);

    dialog.setFixedSize(X(180), buttonTop + Y(14) + 13);
    if (QScreen* s = QGuiApplication::primaryScreen())
        dialog.move(s->availableGeometry().center() - QPoint(dialog.width() / 2, dialog.height() / 2));
    const int chosen = dialog.exec() == QDialog::Accepted ? combo->currentIndex() : -1;
    if (chosen >= 0 && chosen < static_cast<int>(choices.size()))
        return choices[static_cast<std::size_t>(chosen)];
    return kSettingsNoValue;
}

std::unique_ptr<HostedScreen> CreateSettingsScreen(const ScreenArgs& args) {
    const std::filesystem::path cfg =
        std::filesystem::path(QCoreApplication::applicationDirPath().toStdString()) / "_cfg";
    return MakeScreen<TfrmSettingsFrameView>(args, cfg);
}

} // namespace mirota
