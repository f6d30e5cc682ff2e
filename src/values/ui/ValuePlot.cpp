#include "values/ui/ValuePlot.h"

#include "screen/ui/DialogFolder.h"
#include "values/PointsCsv.h"

#include <QAction>
#include <QFileDialog>
#include <QFontMetrics>
#include <QMenu>
#include <QProgressDialog>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <qcustomplot.h>

#include <algorithm>
#include <vector>

namespace mirota {

namespace {

QColor ToQColor(Rgb c) { return QColor(c.r, c.g, c.b); }

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
        QCPAxis* axis =
            plot_->axisRect()->addAxis(QCPAxis::atLeft, new FixedWidthAxis(plot_->axisRect(), QCPAxis::atLeft));
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
        if (OnClearAllData) OnClearAllData();
        Refresh();
    });
    plot_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(plot_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { pmPlotMenu->popup(plot_->mapToGlobal(pos)); });

    // Toolbar: zoom by the factor 2, the whole recording, and exports on request.
    auto addTool = [this](const QString& text, const QString& name, auto fn) {
        QAction* a = toolbar_->addAction(text);
        a->setObjectName(name);
        a->setToolTip(text);
        connect(a, &QAction::triggered, this, fn);
        return a;
    };
    addTool("Zoom In", "actZoomIn", [this] { model_.Zoom(2); Refresh(); });
    addTool("Zoom Out", "actZoomOut", [this] { model_.Zoom(0.5); Refresh(); });
    addTool("Show All", "actShowAll", [this] {
        model_.FitTimeToData();
        model_.ZoomToFit();
        Refresh();
    });
    // Zooming and "Show All" stop the axes from following new points; "Follow" (or the F key) brings
    // the live window back.
    actFollow_ = addTool("Follow", "actFollow", [this](bool on) {
        model_.SetFollowing(on);
        Refresh();
    });
    actFollow_->setCheckable(true);
    actFollow_->setChecked(model_.Following());
    actFollow_->setShortcut(QKeySequence(Qt::Key_F));
    actFollow_->setShortcutContext(Qt::WindowShortcut);
    actFollow_->setToolTip("Follow the newest points (F)");
    toolbar_->addSeparator();
    addTool("Save Picture...", "actExportPng", [this] { AskExportPng(); });
    addTool("Save Points...", "actExportCsv", [this] { AskExportCsv(); });

    ApplyConfiguration();

    redrawTimer_ = new QTimer(this);
    // New points are drawn about ten times a second, whatever the packet rate (the line moves by about
    // four pixels at a time in the 20 s window); the user's own actions redraw at once.
    redrawTimer_->setInterval(100);
    connect(redrawTimer_, &QTimer::timeout, this, &TiXYPlot::Refresh);
    redrawTimer_->start();
}

TiXYPlot::~TiXYPlot() = default;

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
        if (b - a <= 4 * static_cast<std::size_t>(columns)) {
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
    for (QCPAxis* a : axes_) visibleAxes += a->visible() ? 1 : 0;
    plot_->setMinimumSize(visibleAxes * kValueAxisWidth + plot_->legend->minimumOuterSizeHint().width() + 200, 180);
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
    for (int i = 0; i < PlotModel::kChannels; ++i) ranges[i + 1] = model_.ValueAxisAt(i).Range;
    const bool changed = ranges != drawnRanges_;
    drawnRanges_ = ranges;
    plot_->xAxis->setRange(ranges[0].lower, ranges[0].upper);
    for (int i = 0; i < PlotModel::kChannels; ++i) axes_[i]->setRange(ranges[i + 1].lower, ranges[i + 1].upper);
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
    }
    plot_->setAccessibleDescription(d);
    setAccessibleDescription(d);
}

std::string TiXYPlot::PointsCsv() const { return mirota::PointsCsv(model_); }

bool TiXYPlot::ExportPng(const QString& file) {
    ReplotNow();
    return plot_->savePng(file);
}

bool TiXYPlot::ExportCsv(const QString& file) { return ExportCsvWithProgress(file) == CsvResult::Written; }

CsvResult TiXYPlot::ExportCsvWithProgress(const QString& file) {
    QProgressDialog dialog("Saving the points...", "Cancel", 0, 1000, this);
    dialog.setObjectName("dlgSavePoints");
    dialog.setWindowTitle("Save Points");
    dialog.setAccessibleName("Saving the points");
    dialog.setWindowModality(Qt::WindowModal);
    dialog.setMinimumDuration(400); // shown only when it takes a while
    dialog.setAutoClose(false);
    dialog.setAutoReset(false);
    const CsvResult result =
        ExportPointsCsv(model_, std::filesystem::path(file.toStdU16String()),
                        [&dialog](std::uint64_t done, std::uint64_t total) {
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
    const QString file =
        QFileDialog::getSaveFileName(this, "Save Points", InDialogFolder("values.csv"), "CSV file (*.csv)");
    RememberDialogFolder(file);
    if (file.isEmpty()) return;
    if (ExportCsvWithProgress(file) == CsvResult::Failed && OnExportFailed)
        OnExportFailed("The points could not be saved to " + file.toStdString() + ".");
}

} // namespace mirota
