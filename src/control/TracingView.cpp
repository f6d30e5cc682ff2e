#include "control/TracingView.h"

#include <cstdlib>

namespace mirota {

TracingView::TracingView(MainOstrelView& window, std::FILE* out) : window_(window), out_(out) {}

std::FILE* TracingView::RequestedOutput() {
    return std::getenv("MIROTA_OSTREL_TRACE") ? stdout : nullptr;
}

void TracingView::Trace(const std::string& what, const std::string& text) {
    if (!out_) return;
    std::fprintf(out_, "%s: %s\n", what.c_str(), text.c_str());
    std::fflush(out_);
}

void TracingView::SetCaption(const std::string& caption) {
    window_.SetCaption(caption);
    Trace("caption", caption);
}
void TracingView::SetItemText(int item, const std::string& text) {
    window_.SetItemText(item, text);
    Trace("item " + std::to_string(item), text);
}

void TracingView::SetNavigationButtonVisible(ScreenKind kind, bool visible) {
    window_.SetNavigationButtonVisible(kind, visible);
}
void TracingView::BeginListUpdate() {
    window_.BeginListUpdate();
}
void TracingView::EndListUpdate() {
    window_.EndListUpdate();
}
void TracingView::AddGroup(const std::string& header) {
    window_.AddGroup(header);
}
void TracingView::AddItem(int group, const std::string& text) {
    window_.AddItem(group, text);
}
void TracingView::SetInformation(const std::string& caption, const std::string& text) {
    window_.SetInformation(caption, text);
}
void TracingView::ShowWindow() {
    window_.ShowWindow();
}
void TracingView::HideWindow() {
    window_.HideWindow();
}
void TracingView::CloseWindow() {
    window_.CloseWindow();
}
WindowState TracingView::State() const {
    return window_.State();
}
void TracingView::ShowNormal() {
    window_.ShowNormal();
}
void TracingView::BringToForeground() {
    window_.BringToForeground();
}

} // namespace mirota
