#include "platform/posix/serial/TermiosBackend.h"

#include "loop/MessageLoop.h"
#include "platform/posix/serial/PortDiagnosis.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace mirota {

namespace {

// While the driver's queue holds bytes that nobody has read yet, or after a wake-up that brought
// nothing, the watcher looks again after this pause instead of waking up at once.
constexpr int kRecheckMs = 20;
// How often the watcher looks at its stop flag when no stop event could be created.
constexpr int kStopCheckMs = 50;
// Received bytes are announced at most this often, as an FTDI adapter's latency timer hands them
// over: a stream that trickles in a few bytes at a time (a pty, an adapter with a short latency
// timer) costs the receiving thread one wake-up per interval, not one per write. Bytes after a quiet
// interval are announced at once.
constexpr int kGatherMs = 16;

struct SpeedEntry {
    int rate;
    speed_t code;
};

constexpr SpeedEntry kSpeeds[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},         {150, B150},
    {200, B200},         {300, B300},         {600, B600},         {1200, B1200},       {1800, B1800},
    {2400, B2400},       {4800, B4800},       {9600, B9600},       {19200, B19200},     {38400, B38400},
    {57600, B57600},     {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
    {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
};

bool SpeedOf(int rate, speed_t& code) {
    for (const auto& s : kSpeeds)
        if (s.rate == rate) {
            code = s.code;
            return true;
        }
    return false;
}

bool ReadCounts(int fd, TermiosBackend::ErrorCounts& counts) {
    serial_icounter_struct ic{};
    if (::ioctl(fd, TIOCGICOUNT, &ic) < 0) return false;
    counts = {ic.frame, ic.overrun, ic.parity, ic.brk, ic.buf_overrun};
    return true;
}

bool SameCounts(const TermiosBackend::ErrorCounts& a, const TermiosBackend::ErrorCounts& b) {
    return a.Frame == b.Frame && a.Overrun == b.Overrun && a.Parity == b.Parity && a.Break == b.Break &&
           a.BufOverrun == b.BufOverrun;
}

// A driver without modem lines (a pseudo-terminal) answers these; such lines are optional.
bool NotSupported(int error) {
    return error == ENOTTY || error == EINVAL;
}

int SetModemLine(int fd, int line, bool on) {
    if (::ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line) < 0 && !NotSupported(errno)) return errno;
    return 0;
}

// strerror_r comes in two flavours; take the text from whichever this C library has.
[[maybe_unused]] std::string StrerrorResult(int result, const char* buffer, int error) {
    if (result != 0) return "Unknown error " + std::to_string(error);
    return buffer;
}
[[maybe_unused]] std::string StrerrorResult(const char* result, const char*, int) {
    return result;
}

} // namespace

std::string SerialDevicePath(const std::string& port) {
    if (port.find('/') != std::string::npos) return port;
    std::string dir = "/dev";
    if (const char* env = std::getenv("MIROTA_DEVICE_DIR"); env && *env) dir = env;
    if (dir.back() != '/') dir += '/';
    return dir + port;
}

// What the watcher thread shares with the backend and with the jobs it hands to the loop. A job may
// outlive the backend in the loop's queue; it holds this and does nothing once `alive` is false.
struct TermiosBackend::Watch {
    int fd = -1;
    int stopFd = -1;
    MessageLoop* loop = nullptr;
    LineEventSink* sink = nullptr;
    bool countersKnown = false;
    std::atomic<bool> stop{false};
    std::atomic<bool> alive{true};
    std::atomic<bool> running{true};
    std::atomic<std::uint64_t> taken{0}; // bytes taken out of the queue by Read and Purge
};

TermiosBackend::TermiosBackend() = default;

TermiosBackend::~TermiosBackend() {
    CloseDevice();
}

int TermiosBackend::OpenDevice(const std::string& port) {
    if (fd_ >= 0) return EBUSY;
    if (port.empty()) return ENOENT;
    const std::string path = SerialDevicePath(port);
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno;
    auto fail = [fd](int error) {
        ::close(fd);
        return error;
    };
    if (!::isatty(fd)) return fail(ENOTTY);
    // Exclusive use: the lock keeps out every program that locks the line as well (privileged ones
    // included, which TIOCEXCL does not stop); TIOCEXCL keeps out any other unprivileged open.
    if (::flock(fd, LOCK_EX | LOCK_NB) < 0) return fail(errno == EWOULDBLOCK ? EBUSY : errno);
    if (::ioctl(fd, TIOCEXCL) < 0) return fail(errno);
    fd_ = fd;
    parityCheck_ = false;
    countersKnown_ = false;
    taken_ = {};
    timeouts_ = {};
    return 0;
}

int TermiosBackend::SetupQueues(const TComBuffer& buffer) {
    if (fd_ < 0) return EBADF;
    // The tty layer sizes its own queues; only the request itself is checked.
    if (buffer.InputSize < 0 || buffer.OutputSize < 0) return EINVAL;
    return 0;
}

int TermiosBackend::ApplySettings(const LineSettings& settings) {
    if (fd_ < 0) return EBADF;
    speed_t speed;
    if (!SpeedOf(settings.BaudRate, speed)) return EINVAL;
    const TComFlowControl& flow = settings.FlowControl;
    // DSR output flow, RTS toggling and DTR handshake have no termios counterpart.
    if (flow.OutDSRFlow || flow.ControlRTS == TRTSFlowControl::rtsToggle ||
        flow.ControlDTR == TDTRFlowControl::dtrHandshake)
        return EINVAL;

    termios t{};
    if (::tcgetattr(fd_, &t) < 0) return errno;
    ::cfmakeraw(&t);
    if (::cfsetispeed(&t, speed) < 0 || ::cfsetospeed(&t, speed) < 0) return errno;

    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | HUPCL);
    t.c_cflag |= CLOCAL | CREAD;
    switch (settings.DataBits) {
    case TDataBits::dbFive:
        t.c_cflag |= CS5;
        break;
    case TDataBits::dbSix:
        t.c_cflag |= CS6;
        break;
    case TDataBits::dbSeven:
        t.c_cflag |= CS7;
        break;
    case TDataBits::dbEight:
        t.c_cflag |= CS8;
        break;
    }
    switch (settings.Parity.Bits) {
    case TParityBits::prNone:
        break;
    case TParityBits::prOdd:
        t.c_cflag |= PARENB | PARODD;
        break;
    case TParityBits::prEven:
        t.c_cflag |= PARENB;
        break;
    case TParityBits::prMark:
        t.c_cflag |= PARENB | CMSPAR | PARODD;
        break;
    case TParityBits::prSpace:
        t.c_cflag |= PARENB | CMSPAR;
        break;
    }
    switch (settings.StopBits) {
    case TStopBits::sbOneStopBit:
        break;
    case TStopBits::sbTwoStopBits:
        t.c_cflag |= CSTOPB;
        break;
    case TStopBits::sbOne5StopBits:
        // One and a half stop bits exist only with five data bits, where CSTOPB means exactly that.
        if (settings.DataBits != TDataBits::dbFive) return EINVAL;
        t.c_cflag |= CSTOPB;
        break;
    }
    const bool handshake = flow.OutCTSFlow || flow.ControlRTS == TRTSFlowControl::rtsHandshake;
    if (handshake) t.c_cflag |= CRTSCTS;

    // Line errors are counted by the driver (TIOCGICOUNT), not marked in the data: PARMRK would turn
    // every received 0xFF into two bytes.
    t.c_iflag &= ~(INPCK | PARMRK | IGNPAR | ISTRIP | IXON | IXOFF | IXANY);
    const bool check = settings.Parity.Check && settings.Parity.Bits != TParityBits::prNone;
    if (check) t.c_iflag |= INPCK;
    if (flow.XonXoffOut) t.c_iflag |= IXON;
    if (flow.XonXoffIn) t.c_iflag |= IXOFF;
    // Reads return at once with whatever is queued.
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;

    if (::tcsetattr(fd_, TCSANOW, &t) < 0) return errno;
    // tcsetattr succeeds when any part was taken; a driver that cannot do the rate keeps its old one.
    termios back{};
    if (::tcgetattr(fd_, &back) < 0) return errno;
    if (::cfgetospeed(&back) != speed) return EINVAL;

    if (!handshake)
        if (int err = SetModemLine(fd_, TIOCM_RTS, flow.ControlRTS == TRTSFlowControl::rtsEnable)) return err;
    if (int err = SetModemLine(fd_, TIOCM_DTR, flow.ControlDTR == TDTRFlowControl::dtrEnable)) return err;

    parityCheck_ = check;
    countersKnown_ = ReadCounts(fd_, taken_);
    return 0;
}

int TermiosBackend::ApplyTimeouts(const TComTimeouts& timeouts) {
    if (fd_ < 0) return EBADF;
    // ReadInterval -1 asks for reads that return at once (VMIN = VTIME = 0, set with the line settings).
    if (timeouts.ReadInterval < -1 || timeouts.ReadTotalMultiplier < 0 || timeouts.ReadTotalConstant < 0 ||
        timeouts.WriteTotalMultiplier < 0 || timeouts.WriteTotalConstant < 0)
        return EINVAL;
    timeouts_ = timeouts;
    return 0;
}

void TermiosBackend::StartEvents(MessageLoop& loop, LineEventSink& sink) {
    if (fd_ < 0 || watch_) return;
    auto watch = std::make_shared<Watch>();
    watch->fd = fd_;
    watch->stopFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK); // -1: the watcher checks its flag instead
    watch->loop = &loop;
    watch->sink = &sink;
    watch->countersKnown = countersKnown_;
    try {
        watcher_ = std::thread(WatchLine, watch);
    } catch (...) {
        if (watch->stopFd >= 0) ::close(watch->stopFd);
        throw;
    }
    watch_ = std::move(watch);
}

void TermiosBackend::StopEvents() {
    if (!watch_) return;
    // From here on no job reaches the sink, not even one that is already queued in the loop; the
    // watcher gives up a pending hand-over (HandOver's abandon) and ends.
    watch_->alive = false;
    watch_->stop = true;
    if (watch_->stopFd >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(watch_->stopFd, &one, sizeof one);
    }
    if (watcher_.joinable()) watcher_.join();
    if (watch_->stopFd >= 0) ::close(watch_->stopFd);
    watch_.reset();
}

bool TermiosBackend::WatcherRunning() const {
    return watch_ && watch_->running;
}

void TermiosBackend::WatchLine(std::shared_ptr<Watch> w) {
    // Hands a batch to the loop's thread and waits until it has been handled; false when the watcher
    // is being stopped (or the loop shuts down) instead.
    auto deliver = [&w](unsigned events, int error) {
        return w->loop->HandOver(
            [w, events, error] {
                if (w->alive) w->sink->HandleLineEvents(events, error);
            },
            [w] { return w->stop.load(); });
    };
    auto queuedNow = [&w](std::size_t& queued) {
        int n = 0;
        if (::ioctl(w->fd, FIONREAD, &n) < 0) return errno;
        queued = static_cast<std::size_t>(std::max(n, 0));
        return 0;
    };

    // Received data is news only when bytes have arrived since the last announcement: bytes that
    // nobody reads stay queued (the port leaves them there when no receiver wants them) and are not
    // announced again and again. Arrivals are counted as queued plus taken by Read: the queue alone
    // cannot tell new bytes from old ones once a handler has read some and more have come.
    std::uint64_t announced = 0;
    bool queueEmpty = true;
    bool sampleNow = false; // look at the line at once (right after a hand-over)
    bool recheck = false;   // woken without news: look again after a pause rather than at once
    ErrorCounts seen;
    const bool counters = w->countersKnown && ReadCounts(w->fd, seen);
    using Clock = std::chrono::steady_clock;
    Clock::time_point lastRx; // when received bytes were last announced
    bool rest = false;        // ... just now: rest before looking at the line again
    // Rests until kGatherMs have passed since then, or until the watcher is stopped.
    auto restAfterRx = [&] {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              lastRx + std::chrono::milliseconds(kGatherMs) - Clock::now())
                              .count();
        if (left <= 0) return;
        pollfd stop = {w->stopFd, POLLIN, 0};
        ::poll(&stop, w->stopFd >= 0 ? 1 : 0, static_cast<int>(left));
    };

    while (!w->stop) {
        if (rest) {
            rest = false;
            restAfterRx();
            if (w->stop) break;
        }
        const bool watchData = queueEmpty && !recheck;
        // POLLHUP and POLLERR are reported even when no event is asked for.
        pollfd fds[2] = {{w->fd, static_cast<short>(watchData ? POLLIN : 0), 0}, {w->stopFd, POLLIN, 0}};
        const int timeout = sampleNow ? 0 : !watchData ? kRecheckMs : (w->stopFd >= 0 ? -1 : kStopCheckMs);
        const int n = ::poll(fds, 2, timeout);
        sampleNow = false;
        if (w->stop) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            deliver(evHangup, errno);
            break;
        }
        if (fds[1].revents) break;

        std::size_t queued = 0;
        const int queueError = queuedNow(queued);
        // Queue first, then the taken count: a Read in between makes this too high (a harmless extra
        // announcement), never too low.
        const std::uint64_t arrived = queued + w->taken.load();
        unsigned events = 0;
        if (!queueError) {
            if (queued > 0 && arrived != announced) events |= evRxChar;
            announced = arrived;
        }
        queueEmpty = queueError || queued == 0;
        ErrorCounts now;
        if (counters && ReadCounts(w->fd, now) && !SameCounts(now, seen)) {
            seen = now;
            events |= evError;
        }
        if (events) {
            if (events & evRxChar) {
                lastRx = Clock::now();
                rest = true;
            }
            if (!deliver(events, 0)) break;
            sampleNow = true;
            recheck = false;
            continue;
        }
        // The other end is gone (a pty whose master closed, an unplugged adapter): tell once and end.
        if ((fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) || queueError) {
            deliver(evHangup, queueError ? queueError : EIO);
            break;
        }
        recheck = watchData && (fds[0].revents & POLLIN);
    }
    w->running = false;
}

int TermiosBackend::Purge() {
    if (fd_ < 0) return EBADF;
    std::size_t queued = 0;
    BytesQueued(queued);
    if (::tcflush(fd_, TCIOFLUSH) < 0) return errno;
    if (watch_) watch_->taken += queued;
    return 0;
}

void TermiosBackend::CloseDevice() {
    // The watcher polls the descriptor: it must have ended before the descriptor is closed.
    StopEvents();
    if (fd_ < 0) return;
    // The exclusive flag belongs to the terminal, not to this descriptor: clear it, or nobody could
    // open the line again while another descriptor (the far end of a pty, say) keeps it alive.
    ::ioctl(fd_, TIOCNXCL);
    ::close(fd_);
    fd_ = -1;
}

int TermiosBackend::TakeErrors(TComErrors& errors) {
    errors = 0;
    if (fd_ < 0) return EBADF;
    if (!countersKnown_) return 0;
    ErrorCounts now;
    if (!ReadCounts(fd_, now)) return errno;
    if (now.Frame != taken_.Frame) errors |= ceFrame;
    if (now.Overrun != taken_.Overrun) errors |= ceOverrun;
    if (now.Break != taken_.Break) errors |= ceBreak;
    if (parityCheck_ && now.Parity != taken_.Parity) errors |= ceRxParity;
    if (now.BufOverrun != taken_.BufOverrun) errors |= ceRxOver;
    taken_ = now;
    return 0;
}

int TermiosBackend::BytesQueued(std::size_t& count) {
    count = 0;
    if (fd_ < 0) return EBADF;
    int n = 0;
    if (::ioctl(fd_, FIONREAD, &n) < 0) return errno;
    count = static_cast<std::size_t>(std::max(n, 0));
    return 0;
}

int TermiosBackend::Read(char* buffer, std::size_t count, std::size_t& got) {
    got = 0;
    if (fd_ < 0) return EBADF;
    if (count == 0) return 0;
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, count);
        if (n >= 0) {
            got = static_cast<std::size_t>(n);
            if (watch_) watch_->taken += got;
            return 0;
        }
        if (errno == EINTR) continue;
        return errno == EAGAIN ? 0 : errno;
    }
}

int TermiosBackend::Write(const char* buffer, std::size_t count, std::size_t& written) {
    written = 0;
    if (fd_ < 0) return EBADF;
    using Clock = std::chrono::steady_clock;
    // The same bound as the time-outs ask for: multiplier per byte plus constant; none when both are 0.
    const long long allowedMs =
        static_cast<long long>(timeouts_.WriteTotalMultiplier) * static_cast<long long>(count) +
        timeouts_.WriteTotalConstant;
    const bool bounded = allowedMs > 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(allowedMs);
    while (written < count) {
        const ssize_t n = ::write(fd_, buffer + written, count - written);
        if (n > 0) {
            written += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) return errno;
        // The driver's queue is full: wait until it takes more, within the time allowed.
        int waitMs = -1;
        if (bounded) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) return ETIMEDOUT;
            waitMs = static_cast<int>(std::min<long long>(left, 60'000));
        }
        pollfd p{fd_, POLLOUT, 0};
        const int r = ::poll(&p, 1, waitMs);
        if (r < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (r > 0 && !(p.revents & POLLOUT) && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) return EIO;
    }
    return 0;
}

std::string TermiosBackend::ErrorText(int error) const {
    char buffer[256] = {};
    return StrerrorResult(::strerror_r(error, buffer, sizeof buffer), buffer, error);
}

OpenFailureFacts TermiosBackend::ExamineOpenFailure(const std::string& port, int error) const {
    return ExamineDeviceOpenFailure(SerialDevicePath(port), error);
}

std::unique_ptr<SerialBackend> CreatePlatformSerialBackend() {
    return std::make_unique<TermiosBackend>();
}

} // namespace mirota
