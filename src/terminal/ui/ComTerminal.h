#pragma once
// TComTerminal: the terminal view. The emulation (libvterm, through TerminalSession) is fed on the GUI
// thread by the port; this widget paints its cells in a fixed-pitch 12 pixel font, black on white,
// with an underline caret, keeps the scrollback reachable through both scroll bars, and sends every
// typed key to the port at once. Repaints are coalesced to the screen rate (about 30 per second), so
// a burst of received data never floods the event queue.
//
// Accessibility: the view's name is "ctTerminal"; its text (scrollback and screen, lines joined by
// "\n"), the caret and the selection are exposed through QAccessibleTextInterface.
//
// Dragging with the left mouse button selects text (also into the X11 primary selection);
// Ctrl+Shift+C copies it, Ctrl+Shift+V pastes the clipboard's text as paced typed characters
// (TerminalSession::Paste). The context menu offers Copy, Paste and Save log... (SaveLogRequested).
#include "terminal/TerminalSession.h"

#include <QAbstractScrollArea>
#include <QFont>
#include <QTimer>

namespace mirota {

class TComTerminal : public QAbstractScrollArea {
    Q_OBJECT

public:
    explicit TComTerminal(QWidget* parent = nullptr);
    ~TComTerminal() override;

    // Binding to the port: registers the view as a receiver; null unregisters.
    TCustomComPort* ComPort() const { return session_.ComPort(); }
    void SetComPort(TCustomComPort* port) { session_.SetComPort(port); }

    TerminalSession& Session() { return session_; }
    TerminalEmulator& Emulator() { return session_.Emulator(); }

    // Cell size in pixels of the terminal font.
    int CellWidth() const { return cellW_; }
    int CellHeight() const { return cellH_; }
    // Lines above the screen in the scrollback that the view can show.
    int TotalLines() const;
    // The first line shown (0 = oldest scrollback line).
    int TopLine() const;
    // True when the view follows the screen's bottom (scrolled to the end).
    bool FollowsOutput() const;

    // Paints the visible lines into p, as paintEvent does (also used for offscreen measurements).
    void PaintLines(QPainter& p, const QRect& area, int topLine, int leftPixel) const;
    // Runs a pending coalesced repaint at once (tests and measurements).
    void FlushRepaint();
    // Number of coalesced repaints so far.
    std::uint64_t Repaints() const { return repaints_; }

    // Text of the whole buffer for accessibility: scrollback lines, then the screen rows.
    QString AllText() const;
    // Offset of the caret in AllText().
    int CaretOffset() const;

    QSize sizeHint() const override;

    // Selection, in lines of AllText() (0 = oldest scrollback line) and columns.
    bool HasSelection() const { return hasSelection_; }
    QString SelectedText() const;
    // Selects from (line, column) up to, not including, (line, column) (either order).
    void SetSelection(QPoint fromCell, QPoint toCell);
    void ClearSelection();
    // The selection's offsets in AllText(); false without a selection.
    bool SelectionOffsets(int* start, int* end) const;
    void CopySelection();
    void PasteClipboard();
    // The cell (x column, y line of AllText()) under a point of the viewport.
    QPoint CellAt(const QPoint& viewportPos) const;

signals:
    void ScreenChanged();
    void SaveLogRequested();

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void OnSessionChanged();
    void UpdateScrollBars(bool follow);
    bool HandleKey(QKeyEvent* event);
    bool HandleClipboardKey(QKeyEvent* event);
    void PaintSelection(QPainter& p) const;
    // Selection start and end (exclusive), start first.
    std::pair<QPoint, QPoint> OrderedSelection() const;

    TerminalSession session_;
    QFont font_;
    QFont boldFont_;
    int cellW_ = 8;
    int cellH_ = 15;
    int ascent_ = 12;
    QTimer repaintTimer_;
    std::uint64_t repaints_ = 0;
    bool selecting_ = false;
    bool hasSelection_ = false;
    QPoint anchor_; // x column, y line
    QPoint extent_;
};

} // namespace mirota
