#include "terminal/ui/ComTerminal.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <cmath>

namespace mirota {

namespace {

constexpr int kRepaintIntervalMs = 33; // about the screen rate

QColor Colour(const TermRgb& c) {
    return QColor(c.r, c.g, c.b);
}

// Everything that changes how a cell's glyph is drawn.
struct Pen {
    bool bold, underline, italic, strike;
    QColor fg, bg;
    bool operator==(const Pen&) const = default;
};

Pen PenOf(const TermCell& cell) {
    QColor fg = cell.defaultFg ? QColor(Qt::black) : Colour(cell.fg);
    QColor bg = cell.defaultBg ? QColor(Qt::white) : Colour(cell.bg);
    if (cell.reverse) std::swap(fg, bg);
    return Pen{cell.bold, cell.underline, cell.italic, cell.strike, fg, bg};
}

QString TextOf(char32_t ch) {
    if (ch == 0) return QStringLiteral(" ");
    return QString::fromUcs4(&ch, 1);
}

// The text of one line of cells, blanks kept up to the last non-blank.
QString LineString(const std::vector<TermCell>& cells) {
    QString s;
    int keep = 0;
    for (const auto& cell : cells) {
        if (cell.width == 0) continue;
        s += TextOf(cell.ch);
        if (cell.ch != 0 && cell.ch != U' ') keep = static_cast<int>(s.size());
    }
    s.truncate(keep);
    return s;
}

class ComTerminalAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit ComTerminalAccessible(TComTerminal* view) : QAccessibleWidget(view, QAccessible::EditableText) {}
    TComTerminal* View() const { return static_cast<TComTerminal*>(widget()); }

    void* interface_cast(QAccessible::InterfaceType t) override {
        if (t == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(t);
    }
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value) return View()->AllText();
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.readOnly = true; // typed keys go to the device, not into the text
        s.multiLine = true;
        return s;
    }

    void selection(int selectionIndex, int* startOffset, int* endOffset) const override {
        *startOffset = *endOffset = 0;
        if (selectionIndex == 0) View()->SelectionOffsets(startOffset, endOffset);
    }
    int selectionCount() const override { return View()->HasSelection() ? 1 : 0; }
    void addSelection(int startOffset, int endOffset) override { setSelection(0, startOffset, endOffset); }
    void removeSelection(int selectionIndex) override {
        if (selectionIndex == 0) View()->ClearSelection();
    }
    void setSelection(int selectionIndex, int startOffset, int endOffset) override {
        if (selectionIndex != 0) return;
        const QStringList lines = View()->AllText().split(QLatin1Char('\n'));
        auto cellOf = [&lines](int offset) {
            int line = 0;
            while (line + 1 < lines.size() && offset > lines[line].size()) {
                offset -= static_cast<int>(lines[line].size()) + 1;
                ++line;
            }
            return QPoint(std::max(0, offset), line);
        };
        View()->SetSelection(cellOf(startOffset), cellOf(endOffset));
    }
    int cursorPosition() const override { return View()->CaretOffset(); }
    void setCursorPosition(int) override {}
    QString text(int startOffset, int endOffset) const override {
        const QString all = View()->AllText();
        startOffset = std::clamp(startOffset, 0, static_cast<int>(all.size()));
        endOffset = std::clamp(endOffset, startOffset, static_cast<int>(all.size()));
        return all.mid(startOffset, endOffset - startOffset);
    }
    int characterCount() const override { return static_cast<int>(View()->AllText().size()); }
    QRect characterRect(int offset) const override {
        const QString all = View()->AllText();
        const int line = static_cast<int>(all.left(offset).count(QLatin1Char('\n')));
        const int col = offset - (static_cast<int>(all.lastIndexOf(QLatin1Char('\n'), offset - 1)) + 1);
        const TComTerminal* v = View();
        QRect r((col * v->CellWidth()) - v->horizontalScrollBar()->value(),
                (line - v->TopLine()) * v->CellHeight(), v->CellWidth(), v->CellHeight());
        return QRect(v->viewport()->mapToGlobal(r.topLeft()), r.size());
    }
    int offsetAtPoint(const QPoint& point) const override {
        const TComTerminal* v = View();
        const QPoint local = v->viewport()->mapFromGlobal(point);
        const int line = v->TopLine() + local.y() / v->CellHeight();
        const int col = (local.x() + v->horizontalScrollBar()->value()) / v->CellWidth();
        const QStringList lines = v->AllText().split(QLatin1Char('\n'));
        if (line < 0 || line >= lines.size()) return -1;
        int offset = 0;
        for (int i = 0; i < line; ++i)
            offset += static_cast<int>(lines[i].size()) + 1;
        return offset + std::min(col, static_cast<int>(lines[line].size()));
    }
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int* startOffset, int* endOffset) const override {
        *startOffset = *endOffset = offset;
        return {};
    }
};

QAccessibleInterface* ComTerminalAccessibleFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("mirota::TComTerminal") && object && object->isWidgetType())
        return new ComTerminalAccessible(static_cast<TComTerminal*>(object));
    return nullptr;
}

} // namespace

TComTerminal::TComTerminal(QWidget* parent) : QAbstractScrollArea(parent) {
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(&ComTerminalAccessibleFactory);
        return true;
    }();
    (void)factoryInstalled;

    setObjectName("ctTerminal");
    setAccessibleName("ctTerminal");
    setAccessibleDescription("VT100 terminal, 80 columns by 24 rows");
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled, false);

    font_ = QFont(QStringLiteral("Liberation Mono"));
    font_.setStyleHint(QFont::TypeWriter);
    font_.setFixedPitch(true);
    font_.setPixelSize(12);
    font_.setKerning(false);
    // Cells are whole pixels wide; the glyphs' fractional advance is padded with letter spacing so
    // that a run of text stays on the cell grid (the caret and the colour fills use the grid).
    const qreal advance = QFontMetricsF(font_).horizontalAdvance(QLatin1Char('M'));
    cellW_ = std::max(1, static_cast<int>(std::ceil(advance - 0.01)));
    font_.setLetterSpacing(QFont::AbsoluteSpacing, cellW_ - advance);
    boldFont_ = font_;
    boldFont_.setBold(true);
    const QFontMetrics fm(font_);
    cellH_ = std::max(1, fm.height());
    ascent_ = fm.ascent();

    QPalette pal = viewport()->palette();
    pal.setColor(QPalette::Base, Qt::white);
    pal.setColor(QPalette::Text, Qt::black);
    viewport()->setPalette(pal);
    viewport()->setAutoFillBackground(false);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);

    repaintTimer_.setSingleShot(true);
    repaintTimer_.setInterval(kRepaintIntervalMs);
    connect(&repaintTimer_, &QTimer::timeout, this, &TComTerminal::FlushRepaint);
    session_.OnChanged = [this] { OnSessionChanged(); };
    UpdateScrollBars(true);
}

TComTerminal::~TComTerminal() {
    session_.OnChanged = nullptr;
    session_.SetComPort(nullptr);
}

QSize TComTerminal::sizeHint() const {
    const auto& emu = session_.Emulator();
    return QSize(emu.Cols() * cellW_ + verticalScrollBar()->sizeHint().width(),
                 emu.Rows() * cellH_ + horizontalScrollBar()->sizeHint().height());
}

int TComTerminal::TotalLines() const {
    const auto& emu = session_.Emulator();
    return static_cast<int>(emu.ScrollbackSize()) + emu.Rows();
}

int TComTerminal::TopLine() const {
    return verticalScrollBar()->value();
}

bool TComTerminal::FollowsOutput() const {
    return verticalScrollBar()->value() >= verticalScrollBar()->maximum();
}

void TComTerminal::OnSessionChanged() {
    if (!repaintTimer_.isActive()) repaintTimer_.start();
}

void TComTerminal::FlushRepaint() {
    repaintTimer_.stop();
    auto& emu = session_.Emulator();
    UpdateScrollBars(FollowsOutput());
    emu.ClearChanged();
    viewport()->update();
    ++repaints_;
    if (QAccessible::isActive()) {
        QAccessibleValueChangeEvent valueEvent(this, AllText());
        QAccessible::updateAccessibility(&valueEvent);
    }
    emit ScreenChanged();
}

void TComTerminal::UpdateScrollBars(bool follow) {
    const int visibleRows = std::max(1, viewport()->height() / cellH_);
    QScrollBar* v = verticalScrollBar();
    v->setRange(0, std::max(0, TotalLines() - visibleRows));
    v->setPageStep(visibleRows);
    v->setSingleStep(1);
    if (follow) v->setValue(v->maximum());
    QScrollBar* h = horizontalScrollBar();
    const int width = session_.Emulator().Cols() * cellW_;
    h->setRange(0, std::max(0, width - viewport()->width()));
    h->setPageStep(viewport()->width());
    h->setSingleStep(cellW_);
}

void TComTerminal::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBars(FollowsOutput());
}

void TComTerminal::PaintLines(QPainter& p, const QRect& area, int topLine, int leftPixel) const {
    const auto& emu = session_.Emulator();
    p.fillRect(area, Qt::white);
    const int sbSize = static_cast<int>(emu.ScrollbackSize());
    const int firstVisible = topLine + std::max(0, area.top() / cellH_);
    const int lastVisible = std::min(TotalLines() - 1, topLine + (area.bottom() / cellH_));
    std::vector<TermCell> screenRow;
    for (int line = firstVisible; line <= lastVisible; ++line) {
        const std::vector<TermCell>* cells;
        if (line < sbSize) {
            cells = &emu.ScrollbackLine(static_cast<std::size_t>(line));
        } else {
            screenRow.clear();
            const int row = line - sbSize;
            for (int c = 0; c < emu.Cols(); ++c)
                screenRow.push_back(emu.Cell(row, c));
            cells = &screenRow;
        }
        const int y = (line - topLine) * cellH_;
        const int n = static_cast<int>(cells->size());
        int c = 0;
        while (c < n) {
            // A run of cells drawn with one pen; characters outside ASCII are drawn one per cell so
            // that a glyph from a fallback font never shifts its neighbours.
            const Pen pen = PenOf((*cells)[c]);
            int end = c;
            QString run;
            while (end < n) {
                const TermCell& cell = (*cells)[end];
                if (!(PenOf(cell) == pen)) break;
                if (cell.ch >= 0x80 && end > c) break;
                if (cell.width != 0) run += TextOf(cell.ch);
                ++end;
                if (cell.ch >= 0x80) break;
            }
            const int x = c * cellW_ - leftPixel;
            const QRect cellsRect(x, y, (end - c) * cellW_, cellH_);
            if (pen.bg != QColor(Qt::white)) p.fillRect(cellsRect, pen.bg);
            const bool blank = run.trimmed().isEmpty();
            if (!blank) {
                QFont f = pen.bold ? boldFont_ : font_;
                f.setItalic(pen.italic);
                f.setUnderline(pen.underline);
                f.setStrikeOut(pen.strike);
                p.setFont(f);
                p.setPen(pen.fg);
                p.drawText(QPoint(x, y + ascent_), run);
            } else if (pen.underline) {
                p.fillRect(QRect(x, y + cellH_ - 2, cellsRect.width(), 1), pen.fg);
            }
            c = end;
        }
        // The caret: an underline in the cursor's cell.
        if (line >= sbSize && line - sbSize == emu.CursorRow() && emu.CursorVisible()) {
            const int x = emu.CursorCol() * cellW_ - leftPixel;
            p.fillRect(QRect(x, y + cellH_ - 2, cellW_, 2), Qt::black);
        }
    }
}

void TComTerminal::paintEvent(QPaintEvent*) {
    QPainter p(viewport());
    PaintLines(p, viewport()->rect(), TopLine(), horizontalScrollBar()->value());
    PaintSelection(p);
}

bool TComTerminal::focusNextPrevChild(bool) {
    return false;
} // Tab goes to the device

bool TComTerminal::event(QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
            HandleKey(key);
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

void TComTerminal::mousePressEvent(QMouseEvent* event) {
    setFocus(Qt::MouseFocusReason);
    if (event->button() == Qt::LeftButton) {
        selecting_ = true;
        hasSelection_ = false;
        anchor_ = extent_ = CellAt(event->position().toPoint());
        viewport()->update();
    }
    QAbstractScrollArea::mousePressEvent(event);
}

void TComTerminal::keyPressEvent(QKeyEvent* event) {
    if (HandleKey(event))
        event->accept();
    else
        QAbstractScrollArea::keyPressEvent(event);
}

bool TComTerminal::HandleKey(QKeyEvent* event) {
    if (HandleClipboardKey(event)) return true;
    unsigned mods = tmNone;
    if (event->modifiers() & Qt::ShiftModifier) mods |= tmShift;
    if (event->modifiers() & Qt::AltModifier) mods |= tmAlt;
    if (event->modifiers() & Qt::ControlModifier) mods |= tmCtrl;
    const int key = event->key();
    switch (key) {
    case Qt::Key_Up:
        session_.KeyPress(TermKey::Up, mods);
        return true;
    case Qt::Key_Down:
        session_.KeyPress(TermKey::Down, mods);
        return true;
    case Qt::Key_Left:
        session_.KeyPress(TermKey::Left, mods);
        return true;
    case Qt::Key_Right:
        session_.KeyPress(TermKey::Right, mods);
        return true;
    case Qt::Key_Home:
        session_.KeyPress(TermKey::Home, mods);
        return true;
    case Qt::Key_End:
        session_.KeyPress(TermKey::End, mods);
        return true;
    case Qt::Key_Insert:
        session_.KeyPress(TermKey::Insert, mods);
        return true;
    case Qt::Key_Delete:
        session_.KeyPress(TermKey::Delete, mods);
        return true;
    case Qt::Key_PageUp:
        session_.KeyPress(TermKey::PageUp, mods);
        return true;
    case Qt::Key_PageDown:
        session_.KeyPress(TermKey::PageDown, mods);
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        session_.KeyChar(U'\r');
        return true; // CR alone
    case Qt::Key_Backspace:
        session_.KeyChar(U'\b');
        return true;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        session_.KeyChar(U'\t');
        return true;
    case Qt::Key_Escape:
        session_.KeyChar(U'\x1b');
        return true;
    default:
        break;
    }
    if (key >= Qt::Key_F1 && key <= Qt::Key_F12) {
        session_.KeyPress(static_cast<TermKey>(static_cast<int>(TermKey::F1) + (key - Qt::Key_F1)), mods);
        return true;
    }
    // Ctrl+letter: its control character, whatever text the platform attached.
    if ((mods & tmCtrl) && key >= Qt::Key_A && key <= Qt::Key_Z) {
        session_.KeyChar(static_cast<char32_t>((key - Qt::Key_A + 'A') & 0x1F));
        return true;
    }
    const QString text = event->text();
    if (text.isEmpty()) return false;
    for (char32_t ch : text.toUcs4())
        session_.KeyChar(ch);
    return true;
}

QString TComTerminal::AllText() const {
    const auto& emu = session_.Emulator();
    QStringList lines;
    for (std::size_t i = 0; i < emu.ScrollbackSize(); ++i)
        lines << LineString(emu.ScrollbackLine(i));
    for (int r = 0; r < emu.Rows(); ++r) {
        std::vector<TermCell> row;
        for (int c = 0; c < emu.Cols(); ++c)
            row.push_back(emu.Cell(r, c));
        lines << LineString(row);
    }
    return lines.join(QLatin1Char('\n'));
}

int TComTerminal::CaretOffset() const {
    const auto& emu = session_.Emulator();
    const QString all = AllText();
    const QStringList lines = all.split(QLatin1Char('\n'));
    const int line = static_cast<int>(emu.ScrollbackSize()) + emu.CursorRow();
    int offset = 0;
    for (int i = 0; i < line && i < lines.size(); ++i)
        offset += static_cast<int>(lines[i].size()) + 1;
    const int lineLength = line < lines.size() ? static_cast<int>(lines[line].size()) : 0;
    return offset + std::min(emu.CursorCol(), lineLength);
}

// ---------------------------------------------------------------------------------------------------
// Selection, copy and paste

QPoint TComTerminal::CellAt(const QPoint& viewportPos) const {
    const int line = std::clamp(TopLine() + viewportPos.y() / cellH_, 0, std::max(0, TotalLines() - 1));
    const int x = std::max(0, viewportPos.x() + horizontalScrollBar()->value());
    // A click in the right half of a cell selects from the next one.
    const int col = std::clamp((x + cellW_ / 2) / cellW_, 0, session_.Emulator().Cols());
    return QPoint(col, line);
}

std::pair<QPoint, QPoint> TComTerminal::OrderedSelection() const {
    const bool anchorFirst =
        anchor_.y() < extent_.y() || (anchor_.y() == extent_.y() && anchor_.x() <= extent_.x());
    return anchorFirst ? std::make_pair(anchor_, extent_) : std::make_pair(extent_, anchor_);
}

void TComTerminal::SetSelection(QPoint fromCell, QPoint toCell) {
    anchor_ = fromCell;
    extent_ = toCell;
    selecting_ = false;
    hasSelection_ = anchor_ != extent_;
    viewport()->update();
}

void TComTerminal::ClearSelection() {
    hasSelection_ = false;
    selecting_ = false;
    viewport()->update();
}

bool TComTerminal::SelectionOffsets(int* start, int* end) const {
    if (!hasSelection_) return false;
    const QStringList lines = AllText().split(QLatin1Char('\n'));
    auto offsetOf = [&lines](QPoint cell) {
        int offset = 0;
        for (int i = 0; i < cell.y() && i < lines.size(); ++i)
            offset += static_cast<int>(lines[i].size()) + 1;
        const int length = cell.y() < lines.size() ? static_cast<int>(lines[cell.y()].size()) : 0;
        return offset + std::min(cell.x(), length);
    };
    const auto [from, to] = OrderedSelection();
    *start = offsetOf(from);
    *end = offsetOf(to);
    return true;
}

QString TComTerminal::SelectedText() const {
    int start = 0, end = 0;
    if (!SelectionOffsets(&start, &end)) return {};
    return AllText().mid(start, end - start);
}

void TComTerminal::CopySelection() {
    if (!hasSelection_) return;
    if (QClipboard* clipboard = QGuiApplication::clipboard()) clipboard->setText(SelectedText());
}

void TComTerminal::PasteClipboard() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard) return;
    const QList<uint> text = clipboard->text().toUcs4();
    session_.Paste(std::u32string(text.begin(), text.end()));
}

void TComTerminal::mouseMoveEvent(QMouseEvent* event) {
    if (selecting_ && (event->buttons() & Qt::LeftButton)) {
        extent_ = CellAt(event->position().toPoint());
        hasSelection_ = anchor_ != extent_;
        viewport()->update();
    }
    QAbstractScrollArea::mouseMoveEvent(event);
}

void TComTerminal::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && selecting_) {
        selecting_ = false;
        QClipboard* clipboard = QGuiApplication::clipboard();
        if (hasSelection_ && clipboard && clipboard->supportsSelection())
            clipboard->setText(SelectedText(), QClipboard::Selection);
    }
    QAbstractScrollArea::mouseReleaseEvent(event);
}

bool TComTerminal::HandleClipboardKey(QKeyEvent* event) {
    const auto mods = event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    if (mods != (Qt::ShiftModifier | Qt::ControlModifier)) return false;
    if (event->key() == Qt::Key_C) {
        CopySelection();
        return true;
    }
    if (event->key() == Qt::Key_V) {
        PasteClipboard();
        return true;
    }
    return false;
}

void TComTerminal::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    menu.setAccessibleName("Terminal menu");
    QAction* copy = menu.addAction("Copy", QKeySequence(QStringLiteral("Ctrl+Shift+C")), this,
                                   &TComTerminal::CopySelection);
    copy->setEnabled(hasSelection_);
    QAction* paste = menu.addAction("Paste", QKeySequence(QStringLiteral("Ctrl+Shift+V")), this,
                                    &TComTerminal::PasteClipboard);
    paste->setEnabled(session_.ComPort() != nullptr);
    menu.addSeparator();
    menu.addAction("Save log...", this, &TComTerminal::SaveLogRequested);
    menu.exec(event->globalPos());
}

void TComTerminal::PaintSelection(QPainter& p) const {
    if (!hasSelection_) return;
    const auto [from, to] = OrderedSelection();
    const QColor highlight(0, 120, 215, 90);
    const int left = horizontalScrollBar()->value();
    for (int line = std::max(from.y(), TopLine()); line <= to.y(); ++line) {
        const int y = (line - TopLine()) * cellH_;
        if (y > viewport()->height()) break;
        const int c0 = line == from.y() ? from.x() : 0;
        const int c1 = line == to.y() ? to.x() : session_.Emulator().Cols();
        if (c1 > c0) p.fillRect(QRect(c0 * cellW_ - left, y, (c1 - c0) * cellW_, cellH_), highlight);
    }
}

} // namespace mirota
