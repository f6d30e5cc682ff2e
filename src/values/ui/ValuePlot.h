#pragma once
// TiXYPlot: the drawn value plot. It draws what the PlotModel holds (six channels on a time axis and
// six value axes, legend) on QCustomPlot, keeps the points (one QCPGraph per channel), and redraws at
// most about 30 times a second, only when something changed.
#include "values/PlotModel.h"

#include <QWidget>

#include <cstdint>
#include <functional>

class QCustomPlot;
class QCPGraph;
class QCPAxis;
class QMenu;
class QAction;
class QTimer;
class QToolBar;

namespace mirota {

class TiXYPlot : public QWidget, public PlotPointSink {
    Q_OBJECT

public:
    explicit TiXYPlot(PlotModel& model, QWidget* parent = nullptr);
    ~TiXYPlot() override;

    // PlotPointSink
    void AppendPoint(int channel, double x, double y) override;
    void ClearPoints() override;

    // Takes over titles, legend entries and axis visibility from the model.
    void ApplyConfiguration();
    // Redraws now if anything changed (the redraw timer calls this).
    void Refresh();
    // Redraws unconditionally and waits for it (benchmarks, screenshots).
    void ReplotNow();

    // Context menu items; their handlers are set by the screen.
    std::function<void()> OnZoomToFit;
    std::function<void()> OnClearAllData;
    // Tells the user that an export failed.
    std::function<void(const std::string& text)> OnExportFailed;

    QCustomPlot* Plot() const { return plot_; }
    QCPGraph* Graph(int channel) const { return graphs_[channel]; }
    QCPAxis* ValueAxis(int i) const { return axes_[i]; }
    QMenu* PlotMenu() const { return pmPlotMenu; }
    QToolBar* ToolBar() const { return toolbar_; }
    int RedrawCount() const { return redraws_; }

    // The points as CSV text: "Channel,Time,Seconds,Value", "." decimals.
    std::string PointsCsv() const;
    bool ExportPng(const QString& file);
    bool ExportCsv(const QString& file);

private:
    void SyncRanges();
    void UpdateAccessibleDescription();
    void AskExportPng();
    void AskExportCsv();

    PlotModel& model_;
    QCustomPlot* plot_;
    QToolBar* toolbar_;
    QCPGraph* graphs_[PlotModel::kChannels] = {};
    QCPAxis* axes_[PlotModel::kChannels] = {};
    QMenu* pmPlotMenu;
    QAction* mniZoomToFit;
    QAction* mniClearAllData;
    QTimer* redrawTimer_;
    std::uint64_t drawnRevision_ = ~std::uint64_t{0};
    int redraws_ = 0;
};

} // namespace mirota
