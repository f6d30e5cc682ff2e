#include "values/ui/ValuePlot.h"

#include "platform/LocalTime.h"
#include "screen/ui/DialogFolder.h"

#include <QAction>
#include <QFile>
#include <QFileDialog>
#include <QMenu>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <qcustomplot.h>

#include <charconv>
#include <cmath>
#include <ctime>

namespace mirota {

namespace {

QColor ToQColor(Rgb c) { return QColor(c.r, c.g, c.b); }

void AppendNumber(std::string& out, double v) {
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, res.ptr);
}

std::string LocalTimeText(double seconds) {
    const std::time_t t = static_cast<std::time_t>(std::floor(seconds));
    const std::tm tm = LocalCalendarTime(t);
    char buf[96];
    const int ms = static_cast<int>((seconds - std::floor(seconds)) * 1000);
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, ms);
    return buf;
}

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

    QCPAxis* x = plot_->xAxis;
    auto ticker = QSharedPointer<QCPAxisTickerDateTime>::create();
    ticker->setDateTimeFormat("hh:mm:ss");
    x->setTicker(ticker);
    x->setLabel("X-Axis 1");
    x->grid()->setPen(QPen(QColor(168, 168, 168), 0, Qt::DotLine));
    x->grid()->setVisible(true);
    plot_->xAxis2->setVisible(false);
    plot_->yAxis2->setVisible(false);

    for (int i = 0; i < PlotModel::kChannels; ++i) {
        QCPAxis* axis = i == 0 ? plot_->yAxis : plot_->axisRect()->addAxis(QCPAxis::atLeft);
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
    plot_->axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignTop | Qt::AlignRight);

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
    toolbar_->addSeparator();
    addTool("Save Picture...", "actExportPng", [this] { AskExportPng(); });
    addTool("Save Points...", "actExportCsv", [this] { AskExportCsv(); });

    model_.SetSink(this);
    ApplyConfiguration();

    redrawTimer_ = new QTimer(this);
    redrawTimer_->setInterval(33); // at most about 30 redraws a second, whatever the packet rate
    connect(redrawTimer_, &QTimer::timeout, this, &TiXYPlot::Refresh);
    redrawTimer_->start();
}

TiXYPlot::~TiXYPlot() { model_.SetSink(nullptr); }

void TiXYPlot::AppendPoint(int channel, double x, double y) {
    // Appending at the end of a sorted container is O(1) amortised.
    graphs_[channel]->addData(x, y);
}

void TiXYPlot::ClearPoints() {
    for (QCPGraph* g : graphs_) g->data()->clear();
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
    // The grid follows the first visible value axis.
    bool gridSet = false;
    for (QCPAxis* a : axes_) {
        a->grid()->setVisible(!gridSet && a->visible());
        gridSet = gridSet || a->visible();
    }
    drawnRevision_ = ~std::uint64_t{0};
}

void TiXYPlot::SyncRanges() {
    const AxisRange t = model_.TimeRange();
    plot_->xAxis->setRange(t.lower, t.upper);
    for (int i = 0; i < PlotModel::kChannels; ++i) {
        const AxisRange r = model_.ValueAxisAt(i).Range;
        axes_[i]->setRange(r.lower, r.upper);
    }
}

void TiXYPlot::Refresh() {
    if (model_.Revision() == drawnRevision_) return;
    drawnRevision_ = model_.Revision();
    SyncRanges();
    UpdateAccessibleDescription();
    ++redraws_;
    plot_->replot(QCustomPlot::rpQueuedReplot);
}

void TiXYPlot::ReplotNow() {
    drawnRevision_ = model_.Revision();
    SyncRanges();
    ++redraws_;
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

std::string TiXYPlot::PointsCsv() const {
    std::string out = "Channel,Time,Seconds,Value\r\n";
    for (int i = 0; i < PlotModel::kChannels; ++i) {
        const std::string title = model_.ChannelAt(i).Title;
        std::string quoted = "\"";
        for (char c : title) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
        quoted += '"';
        for (auto it = graphs_[i]->data()->constBegin(); it != graphs_[i]->data()->constEnd(); ++it) {
            out += quoted;
            out += ',';
            out += LocalTimeText(it->key);
            out += ',';
            AppendNumber(out, it->key);
            out += ',';
            AppendNumber(out, it->value);
            out += "\r\n";
        }
    }
    return out;
}

bool TiXYPlot::ExportPng(const QString& file) {
    ReplotNow();
    return plot_->savePng(file);
}

bool TiXYPlot::ExportCsv(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    const std::string csv = PointsCsv();
    const bool written = f.write(csv.data(), static_cast<qint64>(csv.size())) == static_cast<qint64>(csv.size());
    return f.flush() && written;
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
    if (!file.isEmpty() && !ExportCsv(file) && OnExportFailed)
        OnExportFailed("The points could not be saved to " + file.toStdString() + ".");
}

} // namespace mirota
