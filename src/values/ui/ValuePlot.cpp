#include "values/ui/ValuePlot.h"

#include "screen/ui/DialogFolder.h"
#include "values/PointsCsv.h"

#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QProgressDialog>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <qcustomplot.h>

#include <algorithm>
#include <vector>

namespace mirota {

namespace {

QColor ToQColor(Rgb c) {
    return QColor(c.r, c.g, c.b);
}

// Width of every visible value axis: ticks and labels of up to six significant digits.
constexpr int kValueAxisWidth = 54;

// A value axis of one fixed width, whatever its labels say: the axes side by side and the drawing
// area beside them stay where they are while the ranges follow the data.
class FixedWidthAxis : public QCPAxis {
public:
    using QCPAxis::QCPAxis;

protected:
    int calculateMargin() override { return visible() ? kValueAxisWidth : 0; }
};

} // namespace

TiXYPlot::TiXYPlot(PlotModel& model, QWidget* parent) : QWidget(parent), model_(model) {
    setObjectName("xypltDisplayValues");
    setAccessibleName("Value plot");

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    toolbar_ = new QToolBar("Toolbar 1", this);
    toolbar_->setObjectName("Toolbar1");
    toolbar_->setIconSize(QSize(16, 16));
    toolbar_->setToolButtonStyle(Qt::ToolButtonTextOnly);
    QFont small = font();
    small.setPixelSize(11);
    toolbar_->setFont(small);
    layout->addWidget(toolbar_);

    // Under the toolbar, one row: the cursor readout (the values under the mouse and the differences
    // between markers A and B) and, at its right end, the state of a recording. The row keeps the
    // height of two lines and takes no width from its texts, so neither widens the window or moves
    // the plot when it changes; a readout cut short by a narrow window is whole in its tooltip.
    lblReadout_ = new QLabel(this);
    lblReadout_->setObjectName("lblReadout");
    lblReadout_->setAccessibleName("Cursor readout");
    lblReadout_->setFont(small);
    lblReadout_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblReadout_->setContentsMargins(4, 1, 4, 1);
    lblReadout_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    lblReadout_->setFixedHeight(2 * QFontMetrics(small).lineSpacing() + 2);
    lblReadout_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblRecording_ = new QLabel(this);
    lblRecording_->setObjectName("lblRecording");
    lblRecording_->setAccessibleName("Recording");
    lblRecording_->setFont(small);
    lblRecording_->setContentsMargins(6, 1, 6, 1);
    lblRecording_->setAlignment(Qt::AlignRight | Qt::AlignTop);
    auto* status = new QHBoxLayout;
    status->setContentsMargins(0, 0, 0, 0);
    status->setSpacing(0);
    status->addWidget(lblReadout_, 1);
    status->addWidget(lblRecording_, 0, Qt::AlignTop);
    layout->addLayout(status);

    plot_ = new QCustomPlot(this);
    plot_->setObjectName("xypltPlot");
    plot_->setAccessibleName("Value plot");
    layout->addWidget(plot_, 1);

    // Fixed design: white plot, silver data view, no dragging or zooming with the mouse.
    plot_->setBackground(Qt::white);
    plot_->axisRect()->setBackground(QColor(192, 192, 192));
    plot_->setInteractions(QCP::Interactions());
    plot_->setNoAntialiasingOnDrag(true);
    plot_->setAutoAddPlottableToLegend(false);
    dataLayer_ = plot_->layer("main");
    dataLayer_->setMode(QCPLayer::lmBuffered);
    // Nothing is drawn on the top layer: a buffer of its own would only be blended over the plot at
    // every paint.
    plot_->layer("overlay")->setMode(QCPLayer::lmLogical);

    QCPAxis* x = plot_->xAxis;
    ticker_ = QSharedPointer<QCPAxisTickerDateTime>::create();
    ticker_->setDateTimeFormat("hh:mm:ss");
    x->setTicker(ticker_);
    x->setLabel("X-Axis 1");
    x->grid()->setPen(QPen(QColor(168, 168, 168), 0, Qt::DotLine));
    x->grid()->setVisible(true);
    plot_->xAxis2->setVisible(false);
    plot_->yAxis2->setVisible(false);
    plot_->yAxis->setVisible(false); // the value axes below replace it
    plot_->yAxis->grid()->setVisible(false);

    for (int i = 0; i < PlotModel::kChannels; ++i) {
        QCPAxis* axis = plot_->axisRect()->addAxis(QCPAxis::atLeft,
                                                   new FixedWidthAxis(plot_->axisRect(), QCPAxis::atLeft));
        axis->setNumberFormat("g");
        axis->setNumberPrecision(6);
        axis->setObjectName(QString::fromStdString(model_.ValueAxisAt(i).Name));
        axis->grid()->setPen(QPen(QColor(168, 168, 168), 0, Qt::DotLine));
        axis->grid()->setVisible(i == 0);
        axis->setVisible(false);
        axes_[i] = axis;
        QCPGraph* g = plot_->addGraph(x, axis);
        const PlotModel::Channel& ch = model_.ChannelAt(i);
        g->setName(QString::fromStdString(ch.Title));
        g->setPen(QPen(ToQColor(ch.Colour), 1));
        g->setLineStyle(QCPGraph::lsLine);
        g->setScatterStyle(QCPScatterStyle::ssNone);
        g->setAdaptiveSampling(true);
        graphs_[i] = g;
    }

    QCPLegend* legend = plot_->legend;
    legend->setVisible(true);
    legend->setBrush(QColor(93, 101, 108));
    legend->setBorderPen(Qt::NoPen);
    legend->setTextColor(Qt::white);
    QFont legendFont(QStringLiteral("Arial Narrow"));
    legendFont.setPixelSize(11);
    legend->setFont(legendFont);
    legend->setFillOrder(QCPLayoutGrid::foRowsFirst);
    // The legend in a column of its own right of the drawing area (at its top), so it never covers
    // the data.
    plot_->axisRect()->insetLayout()->take(legend);
    auto* side = new QCPLayoutGrid;
    plot_->plotLayout()->addElement(0, 1, side);
    plot_->plotLayout()->setColumnStretchFactor(1, 0.001);
    side->addElement(0, 0, legend);
    side->addElement(1, 0, new QCPLayoutElement(plot_)); // the free space below it
    side->setRowStretchFactor(0, 0.001);
    side->setMargins(QMargins(0, 0, 0, 0));
    legend->setMargins(QMargins(5, 3, 5, 3));
    side->setMinimumMargins(QMargins(0, 15, 6, 0));

    // Context menu.
    pmPlotMenu = new QMenu(this);
    pmPlotMenu->setObjectName("pmPlotMenu");
    mniZoomToFit = pmPlotMenu->addAction("Zoom to Fit");
    mniZoomToFit->setObjectName("mniZoomToFit");
    mniClearAllData = pmPlotMenu->addAction("Clear all Data");
    mniClearAllData->setObjectName("mniClearAllData");
    connect(mniZoomToFit, &QAction::triggered, this, [this] {
        if (OnZoomToFit) OnZoomToFit();
        Refresh();
    });
    connect(mniClearAllData, &QAction::triggered, this, [this] {
        recorder_->TakePending(); // the newest packet's row would be gone
        if (OnClearAllData) OnClearAllData();
        Refresh();
    });
    plot_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(plot_, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        const int axis = AxisAt(pos);
        if (axis < 0) {
            pmPlotMenu->popup(plot_->mapToGlobal(pos));
            return;
        }
        pmAxisMenu_->clear();
        pmAxisMenu_->setTitle(QString::fromStdString(model_.ChannelAt(axis).Title));
        QAction* fix = pmAxisMenu_->addAction("Fixed Range...");
        fix->setObjectName("mniFixedRange");
        connect(fix, &QAction::triggered, this, [this, axis] { AskAxisRange(axis); });
        QAction* automatic = pmAxisMenu_->addAction("Automatic Range");
        automatic->setObjectName("mniAutomaticRange");
        automatic->setCheckable(true);
        automatic->setChecked(!model_.ValueAxisAt(axis).Fixed);
        connect(automatic, &QAction::triggered, this, [this, axis] { ReleaseAxis(axis); });
        pmAxisMenu_->popup(plot_->mapToGlobal(pos));
    });

    // Toolbar: zoom by the factor 2, the whole recording, and exports on request.
    auto addTool = [this](const QString& text, const QString& name, auto fn) {
        QAction* a = toolbar_->addAction(text);
        a->setObjectName(name);
        a->setToolTip(text);
        connect(a, &QAction::triggered, this, fn);
        return a;
    };
    addTool("Zoom In", "actZoomIn", [this] {
        model_.Zoom(2);
        Refresh();
    });
    addTool("Zoom Out", "actZoomOut", [this] {
        model_.Zoom(0.5);
        Refresh();
    });
    addTool("Show All", "actShowAll", [this] {
        model_.FitTimeToData();
        model_.ZoomToFit();
        Refresh();
    });
    // Zooming and "Show All" stop the axes from following new points; "Follow" (or the F key) brings
    // the live window back.
    actFollow_ = addTool("Follow", "actFollow", [this](bool on) {
        if (on && paused_) {
            SetPaused(false);
            return;
        }
        model_.SetFollowing(on);
        Refresh();
    });
    actFollow_->setCheckable(true);
    actFollow_->setChecked(model_.Following());
    actFollow_->setShortcut(QKeySequence(Qt::Key_F));
    actFollow_->setShortcutContext(Qt::WindowShortcut);
    actFollow_->setToolTip("Follow the newest points (F)");
    // Pause freezes what is shown (the points keep arriving); un-pausing follows again.
    actPause_ = addTool("Pause", "actPause", [this](bool on) { SetPaused(on); });
    actPause_->setCheckable(true);
    actPause_->setShortcut(QKeySequence(Qt::Key_P));
    actPause_->setShortcutContext(Qt::WindowShortcut);
    actPause_->setToolTip("Freeze the view while the points keep arriving (P)");
    toolbar_->addSeparator();
    addTool("Save Picture...", "actExportPng", [this] { AskExportPng(); });
    addTool("Save Points...", "actExportCsv", [this] { AskExportCsv(); });
    actRecord_ = addTool("Record...", "actRecord", [this](bool on) { AskRecord(on); });
    actRecord_->setCheckable(true);
    actRecord_->setToolTip("Write every new point to a CSV file as it arrives");
    recorder_ = std::make_unique<PointRecorder>(model_);
    clock_ = std::make_unique<QElapsedTimer>();
    clock_->start();
    recordTimer_ = new QTimer(this);
    recordTimer_->setInterval(250);
    connect(recordTimer_, &QTimer::timeout, this, &TiXYPlot::PollRecorder);

    // Markers A (click) and B (Shift+click) on the time axis.
    for (int m = 0; m < 2; ++m) {
        auto* line = new QCPItemStraightLine(plot_);
        line->setPen(QPen(m == 0 ? QColor(0, 0, 0) : QColor(0, 0, 160), 1, Qt::DashLine));
        line->setVisible(false);
        for (QCPItemPosition* p : {line->point1, line->point2})
            p->setAxes(plot_->xAxis, plot_->yAxis);
        markerLines_[m] = line;
    }
    plot_->setMouseTracking(true);
    connect(plot_, &QCustomPlot::mouseMove, this, [this](QMouseEvent* e) {
        if (plot_->axisRect()->rect().contains(e->pos())) HoverAt(plot_->xAxis->pixelToCoord(e->pos().x()));
    });
    connect(plot_, &QCustomPlot::mousePress, this, [this](QMouseEvent* e) {
        if (e->button() != Qt::LeftButton || !plot_->axisRect()->rect().contains(e->pos())) return;
        SetMarker(e->modifiers().testFlag(Qt::ShiftModifier), plot_->xAxis->pixelToCoord(e->pos().x()));
    });

    // A value axis' own menu: a fixed range or back to automatic.
    pmAxisMenu_ = new QMenu(this);
    pmAxisMenu_->setObjectName("pmAxisMenu");

    ApplyConfiguration();

    redrawTimer_ = new QTimer(this);
    // New points are drawn about ten times a second, whatever the packet rate (the line moves by about
    // four pixels at a time in the 20 s window); the user's own actions redraw at once.
    redrawTimer_->setInterval(100);
    connect(redrawTimer_, &QTimer::timeout, this, [this] {
        if (!paused_) Refresh();
    });
    redrawTimer_->start();
}

TiXYPlot::~TiXYPlot() = default;

void TiXYPlot::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    // The screen closes (not just minimised): the recording ends with a complete file.
    if (!event->spontaneous()) StopRecording();
}

void TiXYPlot::SetPaused(bool on) {
    paused_ = on;
    if (actPause_->isChecked() != on) {
        const QSignalBlocker block(actPause_);
        actPause_->setChecked(on);
    }
    model_.SetFollowing(!on);
    {
        const QSignalBlocker block(actFollow_);
        actFollow_->setChecked(model_.Following());
    }
    actPause_->setText(on ? "Paused" : "Pause");
    if (!on) Refresh();
    UpdateAccessibleDescription();
}

void TiXYPlot::HoverAt(double t) {
    hover_ = t;
    UpdateReadout();
}

void TiXYPlot::SetMarker(bool b, double t) {
    markers_[b ? 1 : 0] = t;
    QCPItemStraightLine* line = markerLines_[b ? 1 : 0];
    line->point1->setCoords(t, 0);
    line->point2->setCoords(t, 1);
    line->setVisible(true);
    plot_->replot(QCustomPlot::rpQueuedReplot);
    UpdateReadout();
}

void TiXYPlot::UpdateReadout() {
    std::string text;
    if (hover_) text = CursorText(model_, ReadAt(model_, *hover_));
    if (markers_[0] && markers_[1]) {
        if (!text.empty()) text += "\n";
        text += DeltaText(model_, ReadAt(model_, *markers_[0]), ReadAt(model_, *markers_[1]));
    } else if (markers_[0] || markers_[1]) {
        if (!text.empty()) text += "\n";
        text += markers_[0] ? "A " : "B ";
        text += CursorText(model_, ReadAt(model_, markers_[0] ? *markers_[0] : *markers_[1]));
    }
    const QString q = QString::fromStdString(text);
    lblReadout_->setText(q);
    lblReadout_->setToolTip(q);
    lblReadout_->setAccessibleDescription(q);
}

int TiXYPlot::AxisAt(const QPoint& pos) const {
    for (int i = 0; i < PlotModel::kChannels; ++i)
        if (axes_[i]->visible() && axes_[i]->selectTest(pos, false) >= 0) return i;
    return -1;
}

void TiXYPlot::UpdateAxisLabel(int i) {
    axes_[i]->setLabel(model_.ValueAxisAt(i).Fixed ? "(fixed)" : QString());
}

bool TiXYPlot::FixAxis(int i, double lower, double upper) {
    if (!model_.FixValueRange(i, {lower, upper})) return false;
    UpdateAxisLabel(i);
    fullRedraw_ = true;
    Refresh();
    return true;
}

void TiXYPlot::ReleaseAxis(int i) {
    model_.ReleaseValueRange(i);
    UpdateAxisLabel(i);
    fullRedraw_ = true;
    Refresh();
}

void TiXYPlot::AskAxisRange(int axis) {
    QDialog dialog(this);
    dialog.setObjectName("dlgAxisRange");
    dialog.setWindowTitle("Fixed Range");
    dialog.setAccessibleName("Fixed Range of " + QString::fromStdString(model_.ChannelAt(axis).Title));
    auto* form = new QFormLayout(&dialog);
    const AxisRange r = model_.ValueAxisAt(axis).Range;
    auto* min = new QLineEdit(QString::number(r.lower, 'g', 10), &dialog);
    min->setObjectName("edtAxisMinimum");
    min->setAccessibleName("Minimum");
    auto* max = new QLineEdit(QString::number(r.upper, 'g', 10), &dialog);
    max->setObjectName("edtAxisMaximum");
    max->setAccessibleName("Maximum");
    form->addRow("&Minimum:", min);
    form->addRow("Ma&ximum:", max);
    auto* error = new QLabel(&dialog);
    error->setObjectName("lblAxisRangeError");
    error->setAccessibleName("Error");
    form->addRow(error);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, [&] {
        const auto lo = ParseAxisLimit(min->text().toStdString());
        const auto hi = ParseAxisLimit(max->text().toStdString());
        if (!lo || !hi) {
            error->setText("Numbers with \".\" as decimal separator, please.");
        } else if (!FixAxis(axis, *lo, *hi)) {
            error->setText("The minimum must be smaller than the maximum.");
        } else {
            dialog.accept();
            return;
        }
        error->setAccessibleDescription(error->text());
    });
    dialog.exec();
}

bool TiXYPlot::StartRecording(const QString& file, const CsvTableOptions& options) {
    StopRecording();
    recorder_ = std::make_unique<PointRecorder>(model_, options);
    const bool ok =
        recorder_->Start(std::filesystem::path(file.toStdU16String()), clock_->elapsed() / 1000.0);
    {
        const QSignalBlocker block(actRecord_);
        actRecord_->setChecked(ok);
    }
    if (ok) {
        recordTimer_->start();
        PollRecorder();
    }
    return ok;
}

void TiXYPlot::StopRecording() {
    if (!recorder_ || !recorder_->Recording()) return;
    recorder_->Poll(clock_->elapsed() / 1000.0);
    recorder_->Stop();
    recordTimer_->stop();
    const QSignalBlocker block(actRecord_);
    actRecord_->setChecked(false);
    const QString text =
        "Recorded " +
        QString::fromStdString(RecordingStatusText(
            QFileInfo(QString::fromStdU16String(recorder_->File().u16string())).fileName().toStdString(),
            recorder_->Seconds(0), recorder_->Bytes()));
    lblRecording_->setText(text);
    lblRecording_->setAccessibleDescription(text);
}

void TiXYPlot::PollRecorder() {
    if (!recorder_->Recording()) return;
    const double now = clock_->elapsed() / 1000.0;
    recorder_->Poll(now);
    const QString name = QFileInfo(QString::fromStdU16String(recorder_->File().u16string())).fileName();
    if (recorder_->Failed()) {
        recordTimer_->stop();
        const QSignalBlocker block(actRecord_);
        actRecord_->setChecked(false);
        lblRecording_->setText("Recording stopped");
        lblRecording_->setAccessibleDescription(lblRecording_->text());
        if (OnExportFailed)
            OnExportFailed("The recording stopped: " + name.toStdString() + " could not be written.");
        return;
    }
    const QString text = "\u25CF " + QString::fromStdString(RecordingStatusText(
                                         name.toStdString(), recorder_->Seconds(now), recorder_->Bytes()));
    lblRecording_->setText(text);
    lblRecording_->setAccessibleDescription(text);
}

void TiXYPlot::AskRecord(bool on) {
    if (!on) {
        StopRecording();
        return;
    }
    const QString file = QFileDialog::getSaveFileName(this, "Record Points", InDialogFolder("recording.csv"),
                                                      "CSV file (*.csv)");
    RememberDialogFolder(file);
    if (file.isEmpty()) {
        const QSignalBlocker block(actRecord_);
        actRecord_->setChecked(false);
        return;
    }
    if (!StartRecording(file) && OnExportFailed)
        OnExportFailed("The recording could not be started in " + file.toStdString() + ".");
}

void TiXYPlot::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    drawnRevision_ = ~std::uint64_t{0}; // other pixel columns
    fullRedraw_ = true;
}

void TiXYPlot::SyncGraphData() {
    const PointStore& store = model_.Points();
    const AxisRange t = model_.TimeRange();
    int columns = plot_->axisRect()->width();
    if (columns <= 0) columns = std::max(1, plot_->width());
    std::vector<PointStore::Column> summary;
    std::vector<std::size_t> bounds; // the same columns for every channel
    for (int ch = 0; ch < PlotModel::kChannels; ++ch) {
        QCPGraph* g = graphs_[ch];
        if (store.Count(ch) == 0 || !(t.upper > t.lower)) {
            g->data()->clear();
            continue;
        }
        const std::size_t rows = store.Rows();
        const std::size_t a = store.LowerBound(t.lower);
        const std::size_t b = store.LowerBound(t.upper);
        QVector<QCPGraphData> data;
        // The neighbours just outside the window, so the line runs on to its edges.
        const std::size_t before = a > 0 ? store.LastDrawable(ch, 0, a) : a;
        const std::size_t after = store.FirstDrawable(ch, b, rows);
        if (before < a) data.append(QCPGraphData(store.TimeAt(before), store.ValueAt(ch, before)));
        const bool dense = b - a > 4 * static_cast<std::size_t>(columns);
        // Per-column strokes lie on whole pixels: smoothing them costs time and shows nothing.
        g->setAntialiased(!dense);
        if (!dense) {
            data.reserve(static_cast<int>(b - a) + 2);
            store.ForEachPoint(ch, a, b, [&data](double x, double y) { data.append(QCPGraphData(x, y)); });
        } else {
            // Per pixel column: first, smallest, largest and last value; the line runs from one
            // column's last value to the next one's first, as through the points themselves.
            if (bounds.empty()) store.ColumnBounds(t.lower, t.upper, columns, bounds);
            store.Columns(ch, bounds, summary);
            data.reserve(4 * columns + 2);
            const double w = (t.upper - t.lower) / columns;
            for (int k = 0; k < columns; ++k) {
                const PointStore::Column& c = summary[static_cast<std::size_t>(k)];
                if (c.Empty()) continue;
                const double x = t.lower + (k + 0.5) * w;
                data.append(QCPGraphData(x, c.first));
                data.append(QCPGraphData(x, c.min));
                data.append(QCPGraphData(x, c.max));
                data.append(QCPGraphData(x, c.last));
            }
        }
        if (after < rows) data.append(QCPGraphData(store.TimeAt(after), store.ValueAt(ch, after)));
        g->data()->set(data, true);
    }
}

void TiXYPlot::ApplyConfiguration() {
    for (int i = 0; i < PlotModel::kChannels; ++i) {
        const PlotModel::Channel& ch = model_.ChannelAt(i);
        graphs_[i]->setName(QString::fromStdString(ch.Title));
        if (ch.InLegend && !plot_->legend->hasItemWithPlottable(graphs_[i])) graphs_[i]->addToLegend();
        if (!ch.InLegend) graphs_[i]->removeFromLegend();
        const PlotModel::ValueAxis& ax = model_.ValueAxisAt(i);
        axes_[i]->setVisible(ax.Visible);
        const QColor c = ToQColor(ax.LabelColour);
        axes_[i]->setTickLabelColor(c);
        axes_[i]->setLabelColor(c);
        axes_[i]->setBasePen(QPen(c));
        axes_[i]->setTickPen(QPen(c));
        axes_[i]->setSubTickPen(QPen(c));
    }
    // Room for every visible value axis, the legend and a drawing area that still shows something.
    int visibleAxes = 0;
    for (QCPAxis* a : axes_)
        visibleAxes += a->visible() ? 1 : 0;
    plot_->setMinimumSize(visibleAxes * kValueAxisWidth + plot_->legend->minimumOuterSizeHint().width() + 200,
                          180);
    // The grid follows the first visible value axis.
    bool gridSet = false;
    for (QCPAxis* a : axes_) {
        a->grid()->setVisible(!gridSet && a->visible());
        gridSet = gridSet || a->visible();
    }
    drawnRevision_ = ~std::uint64_t{0};
    fullRedraw_ = true;
}

void TiXYPlot::FitTicksToWidth() {
    // As many time labels as fit side by side with a gap, however narrow the plot.
    const int label = QFontMetrics(plot_->xAxis->tickLabelFont()).horizontalAdvance("00:00:00") + 24;
    ticker_->setTickCount(std::max(1, plot_->axisRect()->width() / label));
}

bool TiXYPlot::SyncRanges() {
    std::array<AxisRange, PlotModel::kChannels + 1> ranges;
    ranges[0] = model_.TimeRange();
    for (int i = 0; i < PlotModel::kChannels; ++i)
        ranges[i + 1] = model_.ValueAxisAt(i).Range;
    const bool changed = ranges != drawnRanges_;
    drawnRanges_ = ranges;
    plot_->xAxis->setRange(ranges[0].lower, ranges[0].upper);
    for (int i = 0; i < PlotModel::kChannels; ++i)
        axes_[i]->setRange(ranges[i + 1].lower, ranges[i + 1].upper);
    return changed;
}

void TiXYPlot::Refresh() {
    if (model_.Revision() == drawnRevision_) return;
    drawnRevision_ = model_.Revision();
    if (actFollow_->isChecked() != model_.Following()) {
        const QSignalBlocker block(actFollow_);
        actFollow_->setChecked(model_.Following());
    }
    const bool axesChanged = SyncRanges();
    SyncGraphData();
    UpdateAccessibleDescription();
    ++redraws_;
    if (axesChanged || fullRedraw_) {
        fullRedraw_ = false;
        FitTicksToWidth();
        plot_->replot(QCustomPlot::rpQueuedReplot);
    } else {
        dataLayer_->replot(); // new points only: axes, labels and legend stay as drawn
    }
}

void TiXYPlot::ReplotNow() {
    drawnRevision_ = model_.Revision();
    SyncRanges();
    SyncGraphData();
    ++redraws_;
    fullRedraw_ = false;
    FitTicksToWidth();
    plot_->replot(QCustomPlot::rpImmediateRefresh);
}

void TiXYPlot::UpdateAccessibleDescription() {
    QString d;
    for (int i = 0; i < PlotModel::kChannels; ++i) {
        const PlotModel::Channel& ch = model_.ChannelAt(i);
        if (!ch.InLegend) continue;
        if (!d.isEmpty()) d += "; ";
        d += QString::fromStdString(ch.Title) + ": " + QString::number(model_.PointCount(i)) + " points";
        const PlotModel::ValueAxis& ax = model_.ValueAxisAt(PlotModel::ValueAxisOf(i));
        if (ax.Fixed)
            d += ", axis fixed from " + QString::number(ax.Range.lower) + " to " +
                 QString::number(ax.Range.upper);
    }
    if (paused_) d += d.isEmpty() ? "Paused" : "; paused";
    plot_->setAccessibleDescription(d);
    setAccessibleDescription(d);
}

std::string TiXYPlot::PointsCsv() const {
    return mirota::PointsCsv(model_);
}

bool TiXYPlot::ExportPng(const QString& file) {
    ReplotNow();
    return plot_->savePng(file);
}

bool TiXYPlot::ExportCsv(const QString& file) {
    return ExportCsvWithProgress(file) == CsvResult::Written;
}

CsvResult TiXYPlot::ExportCsvWithProgress(const QString& file) {
    return WithProgress([&](const CsvProgress& progress) {
        return ExportPointsCsv(model_, std::filesystem::path(file.toStdU16String()), progress);
    });
}

bool TiXYPlot::ExportTable(const QString& file, const CsvTableOptions& options) {
    return WithProgress([&](const CsvProgress& progress) {
               return ExportTableCsv(model_, std::filesystem::path(file.toStdU16String()), options, progress);
           }) == CsvResult::Written;
}

CsvResult TiXYPlot::WithProgress(const std::function<CsvResult(const CsvProgress&)>& write) {
    QProgressDialog dialog("Saving the points...", "Cancel", 0, 1000, this);
    dialog.setObjectName("dlgSavePoints");
    dialog.setWindowTitle("Save Points");
    dialog.setAccessibleName("Saving the points");
    dialog.setWindowModality(Qt::WindowModal);
    dialog.setMinimumDuration(400); // shown only when it takes a while
    dialog.setAutoClose(false);
    dialog.setAutoReset(false);
    const CsvResult result = write([&dialog](std::uint64_t done, std::uint64_t total) {
        dialog.setValue(total ? static_cast<int>(done * 1000 / total) : 1000);
        return !dialog.wasCanceled();
    });
    dialog.reset();
    return result;
}

void TiXYPlot::AskExportPng() {
    const QString file =
        QFileDialog::getSaveFileName(this, "Save Picture", InDialogFolder("values.png"), "PNG image (*.png)");
    RememberDialogFolder(file);
    if (!file.isEmpty() && !ExportPng(file) && OnExportFailed)
        OnExportFailed("The picture could not be saved to " + file.toStdString() + ".");
}

void TiXYPlot::AskExportCsv() {
    // The options first: layout, separator, decimal mark and range.
    QDialog options(this);
    options.setObjectName("dlgCsvOptions");
    options.setWindowTitle("Save Points");
    options.setAccessibleName("Save Points options");
    auto* form = new QFormLayout(&options);
    auto combo = [&](const char* name, const QString& accessible, QStringList items) {
        auto* c = new QComboBox(&options);
        c->setObjectName(name);
        c->setAccessibleName(accessible);
        c->addItems(items);
        return c;
    };
    QComboBox* layoutBox = combo("cbCsvLayout", "Layout",
                                 {"A column per channel", "A row per point (Channel, Time, Seconds, Value)"});
    QComboBox* separator = combo("cbCsvSeparator", "Separator", {", (comma)", "; (semicolon)", "Tab"});
    QComboBox* decimal = combo("cbCsvDecimal", "Decimal mark", {". (point)", ", (comma)"});
    QComboBox* range = combo("cbCsvRange", "Points", {"All points", "Visible range"});
    form->addRow("&Layout:", layoutBox);
    form->addRow("&Separator:", separator);
    form->addRow("&Decimal mark:", decimal);
    form->addRow("&Points:", range);
    connect(layoutBox, &QComboBox::currentIndexChanged, &options, [=](int i) {
        for (QComboBox* c : {separator, decimal, range})
            c->setEnabled(i == 0);
    });
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &options);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, &options, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &options, &QDialog::reject);
    if (options.exec() != QDialog::Accepted) return;
    CsvTableOptions table;
    table.Separator = ",;\t"[separator->currentIndex()];
    table.Decimal = ".,"[decimal->currentIndex()];
    table.VisibleOnly = range->currentIndex() == 1;
    const bool perChannel = layoutBox->currentIndex() == 0;

    const QString file =
        QFileDialog::getSaveFileName(this, "Save Points", InDialogFolder("values.csv"), "CSV file (*.csv)");
    RememberDialogFolder(file);
    if (file.isEmpty()) return;
    const CsvResult result = perChannel ? WithProgress([&](const CsvProgress& progress) {
        return ExportTableCsv(model_, std::filesystem::path(file.toStdU16String()), table, progress);
    })
                                        : ExportCsvWithProgress(file);
    if (result == CsvResult::Failed && OnExportFailed)
        OnExportFailed("The points could not be saved to " + file.toStdString() + ".");
}

} // namespace mirota
