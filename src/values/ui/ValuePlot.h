#pragma once
// TiXYPlot: the drawn value plot. It draws what the PlotModel holds (six channels on a time axis and
// six value axes, legend) on QCustomPlot and redraws at most about 30 times a second, only when
// something changed. The points stay in the model's PointStore: at every redraw each channel's graph
// gets only what the visible pixel columns need (the points themselves when they are few, otherwise
// the first, smallest, largest and last value of every column, so no spike gets lost).
#include "values/PlotModel.h"
#include "values/PlotReadout.h"
#include "values/PointRecorder.h"
#include "values/PointsCsv.h"

#include <QSharedPointer>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class QCustomPlot;
class QCPGraph;
class QCPAxis;
class QCPLayer;
class QCPAxisTickerDateTime;
class QMenu;
class QAction;
class QTimer;
class QToolBar;
class QLabel;
class QCPItemStraightLine;
class QElapsedTimer;

namespace mirota {

class TiXYPlot : public QWidget {
    Q_OBJECT

public:
    explicit TiXYPlot(PlotModel& model, QWidget* parent = nullptr);
    ~TiXYPlot() override;

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
    QAction* FollowAction() const { return actFollow_; }
    QAction* PauseAction() const { return actPause_; }
    QAction* RecordAction() const { return actRecord_; }
    QLabel* ReadoutLabel() const { return lblReadout_; }
    QLabel* RecordingLabel() const { return lblRecording_; }
    QMenu* AxisMenu() const { return pmAxisMenu_; }
    const PointRecorder& Recorder() const { return *recorder_; }

    // Pause: the view stays as it is while points keep arriving; un-pausing shows the live window.
    void SetPaused(bool on);
    bool Paused() const { return paused_; }
    // The cursor readout at time t, and the markers A and B (Shift+click) set at time t.
    void HoverAt(double t);
    void SetMarker(bool b, double t);
    // Fixes value axis i at [lower, upper] (false when not a range) or lets it follow its channel.
    bool FixAxis(int i, double lower, double upper);
    void ReleaseAxis(int i);
    // Records new points to `file` until StopRecording; false when the file cannot be written.
    bool StartRecording(const QString& file, const CsvTableOptions& options = {});
    void StopRecording();
    // Writes the table CSV (see PointsCsv.h) with a cancellable progress dialog.
    bool ExportTable(const QString& file, const CsvTableOptions& options);
    QToolBar* ToolBar() const { return toolbar_; }
    int RedrawCount() const { return redraws_; }

    // The points as CSV text (see PointsCsv.h).
    std::string PointsCsv() const;
    bool ExportPng(const QString& file);
    // Writes the points to `file` with a cancellable progress dialog; false when failed or cancelled.
    bool ExportCsv(const QString& file);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // Sets the axes to the model's ranges; true when one of them changed.
    bool SyncRanges();
    void FitTicksToWidth();
    // Gives every graph the data of the visible columns.
    void SyncGraphData();
    void UpdateAccessibleDescription();
    void AskExportPng();
    void AskExportCsv();
    CsvResult ExportCsvWithProgress(const QString& file);
    CsvResult WithProgress(const std::function<CsvResult(const CsvProgress&)>& write);
    void AskAxisRange(int axis);
    void AskRecord(bool on);
    void PollRecorder();
    void UpdateReadout();
    void UpdateAxisLabel(int i);
    // The visible value axis under a point of the plot, or -1.
    int AxisAt(const QPoint& pos) const;

    PlotModel& model_;
    QCustomPlot* plot_;
    QToolBar* toolbar_;
    QCPGraph* graphs_[PlotModel::kChannels] = {};
    QCPAxis* axes_[PlotModel::kChannels] = {};
    QMenu* pmPlotMenu;
    QAction* mniZoomToFit;
    QAction* mniClearAllData;
    QAction* actFollow_ = nullptr;
    QAction* actPause_ = nullptr;
    QAction* actRecord_ = nullptr;
    QLabel* lblReadout_ = nullptr;
    QLabel* lblRecording_ = nullptr;
    QMenu* pmAxisMenu_ = nullptr;
    QCPItemStraightLine* markerLines_[2] = {};
    std::optional<double> hover_;
    std::optional<double> markers_[2];
    bool paused_ = false;
    std::unique_ptr<PointRecorder> recorder_;
    std::unique_ptr<QElapsedTimer> clock_;
    QTimer* recordTimer_ = nullptr;
    QTimer* redrawTimer_;
    // The graphs' own paint buffer: while no axis range changed, a redraw repaints only the graphs.
    QCPLayer* dataLayer_ = nullptr;
    QSharedPointer<QCPAxisTickerDateTime> ticker_;
    std::array<AxisRange, PlotModel::kChannels + 1> drawnRanges_{};
    bool fullRedraw_ = true;
    std::uint64_t drawnRevision_ = ~std::uint64_t{0};
    int redraws_ = 0;
};

} // namespace mirota
