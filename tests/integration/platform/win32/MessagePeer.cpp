// The far side of the message exchange test: started by the test through the launcher's starter, as
// Pravik starts Ostrel, with the four parameters (port, description, serial number, the test's window
// handle). It plays Ostrel's part of the six messages and reports what it saw through them:
//   - posts WM_CONTROL_OPENED (port number, its own handle); port number 0 when a parameter did not
//     arrive as it was given;
//   - while answering WM_CONTROL_TO_FRONT it sends WM_CONTROL_DEACTIVATED, WM_SCREEN_OPENED and
//     WM_SCREEN_CLOSED back (the test is blocked in its own send meanwhile) and answers 1 when the
//     three answers were 44, 55 and 66, or 100 + the number of the first wrong one;
//   - on a posted WM_CONTROL_CLOSE it posts WM_CONTROL_CLOSE (0, port number) and ends.
// It ends with 2 when nothing reaches it within a minute.
#include "platform/win32/messages/WindowMessenger.h"

#include <windows.h>

#include <charconv>
#include <iterator>
#include <string_view>
#include <utility>

namespace {

constexpr std::int64_t kScreenHandle = 0x5C001;

int ParseNumber(std::string_view text, std::string_view prefix) {
    if (text.substr(0, prefix.size()) != prefix) return 0;
    text.remove_prefix(prefix.size());
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() ? static_cast<int>(value) : 0;
}

} // namespace

int main(int argc, char** argv) {
    using namespace mirota;
    if (argc != 5) return 3;
    const auto test = static_cast<WindowHandle>(ParseNumber(argv[4], ""));
    int port = ParseNumber(argv[1], "COM");
    if (std::string_view(argv[2]) != "Mirota message peer" || std::string_view(argv[3]) != "PEER \"01\"")
        port = 0;

    WindowMessenger messenger{MessengerOptions{}};
    auto endpoint = messenger.CreateEndpoint();
    if (!endpoint) return 4;

    bool closing = false;
    endpoint->OnMessage = [&](const WindowMessage& m) -> MessageResult {
        if (m.Msg == WM_CONTROL_TO_FRONT) {
            if (!m.Sent) return 0;
            const std::pair<std::uint32_t, MessageResult> sends[] = {
                {WM_CONTROL_DEACTIVATED, 44}, {WM_SCREEN_OPENED, 55}, {WM_SCREEN_CLOSED, 66}};
            MessageResult answer = 1;
            for (std::size_t i = 0; i < std::size(sends); ++i) {
                const std::int64_t lParam = sends[i].first == WM_CONTROL_DEACTIVATED ? 0 : kScreenHandle;
                const auto result = endpoint->Send(test, sends[i].first, 0, lParam);
                if (answer == 1 && result != sends[i].second) answer = 100 + static_cast<MessageResult>(i);
            }
            return answer;
        }
        if (m.Msg == WM_CONTROL_CLOSE && !m.Sent) {
            endpoint->Post(test, WM_CONTROL_CLOSE, 0, port);
            closing = true;
        }
        return 0;
    };
    if (!endpoint->Post(test, WM_CONTROL_OPENED, static_cast<std::uint64_t>(port), endpoint->Handle()))
        return 5;

    const ULONGLONG deadline = ::GetTickCount64() + 60000;
    while (!closing && ::GetTickCount64() < deadline) {
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    return closing ? 0 : 2;
}
