// The device simulator on its own under simulated time: answers and their framing and timing, packets,
// catalogue settings, the text mode and the fault switches; and the simulated line backend.
#include "devsim/DeviceSimulator.h"
#include "loop/SimulatedLoop.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <string>
#include <vector>

using namespace mirota;
using namespace mirota::devsim;

namespace {

constexpr char ESC = '\x1b';

struct Sent {
    std::uint64_t at;
    std::string bytes;
};

class Simulator : public ::testing::Test {
protected:
    SimulatedLoop loop;
    DeviceOptions options;
    std::unique_ptr<DeviceSimulator> device;
    std::vector<Sent> sent;

    void Make() {
        sent.clear();
        device = std::make_unique<DeviceSimulator>(loop, options);
        device->OnTransmit = [this](const std::string& b) { sent.push_back({loop.TickCount(), b}); };
    }
    void Host(const std::string& bytes) { device->Receive(bytes.data(), bytes.size()); }
    std::string All() const {
        std::string s;
        for (const auto& x : sent)
            s += x.bytes;
        return s;
    }
    void SetUp() override { Make(); }
};

struct AnswerCase {
    const char* name;
    const char* command;
    const char* answer;
};

class Answers : public Simulator, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(Answers, ComeFramedAfterTheAnswerDelay) {
    Host(GetParam().command);
    loop.RunFor(90); // a stream switched on sends its first round at 100 ms
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].bytes, std::string(GetParam().answer) + ESC);
    EXPECT_EQ(sent[0].at, 20u);
}

INSTANTIATE_TEST_SUITE_P(
    Simulator, Answers,
    ::testing::Values(AnswerCase{"Voltage", "$029", "&02924.17"}, AnswerCase{"StepDown", "$025", "&02524.07"},
                      AnswerCase{"StepUp", "$026", "&02624.27"},
                      AnswerCase{"BigStepDown", "$027", "&02723.17"},
                      AnswerCase{"BigStepUp", "$028", "&02825.17"},
                      AnswerCase{"Name", "$112", "&112DMS 2000"},
                      AnswerCase{"Firmware", "$357\x1b", "&3572.31"}, AnswerCase{"Zero", "$200", "&2000"},
                      AnswerCase{"Calibration", "$2013\r", "&2013"},
                      AnswerCase{"CalibrationOutOfRangeKept", "$2017\r", "&2010"},
                      AnswerCase{"StreamOff", "$6660\r", "&6660"}, AnswerCase{"StreamOn", "$6661\r", "&6661"},
                      AnswerCase{"StreamStateRead", "$666\x1b", "&6660"},
                      AnswerCase{"UnknownSettingReadsZero", "$555\x1b", "&5550"},
                      AnswerCase{"UnknownSettingWritten", "$5557.5\r", "&5557.5"},
                      AnswerCase{"HashInsideAValue", "$122Bench #1\r", "&122Bench #1"},
                      AnswerCase{"KeepAliveAndRepeatPrefixIgnored", "1\x1b\x1b\x1b*$029", "&02924.17"},
                      AnswerCase{"MalformedDroppedAtTerminator", "$1x\x1b$12\r$1017x\x1b$029", "&02924.17"},
                      AnswerCase{"NewCommandReplacesUnfinished", "$10$112", "&112DMS 2000"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Simulator, AutoDetectionTakesItsTime) {
    Host("$027$030");
    loop.RunFor(1000);
    EXPECT_EQ(All(), "&02723.17\x1b");
    loop.RunFor(1000);
    EXPECT_EQ(All(), "&02723.17\x1b&03024.17\x1b");
    EXPECT_DOUBLE_EQ(device->Voltage(), 24.17);
}

TEST_F(Simulator, CatalogueSettingsAreReadAndWritten) {
    options.CfgDir = MIROTA_CFG_DIR;
    Make();
    ASSERT_TRUE(device->Settings().count("$101"));
    ASSERT_TRUE(device->Settings().count("$140")) << "hidden settings are held too";
    const std::size_t held = device->Settings().size();
    Host("$101\x1b");
    Host("$1012.5\r");
    Host("$101\x1b");
    Host("$999\x1b"); // reading an unknown setting does not create it
    loop.RunFor(100);
    EXPECT_EQ(All(), "&101200\x1b&1012.5\x1b&1012.5\x1b&9990\x1b");
    EXPECT_EQ(device->Settings()["$101"], "2.5");
    EXPECT_EQ(device->Settings().size(), held);
}

TEST_F(Simulator, MissingCatalogueMeansAnEmptyStore) {
    options.CfgDir = "/nonexistent/_cfg";
    options.Type = " XYZ";
    Make();
    EXPECT_TRUE(device->Settings().empty());
}

TEST_F(Simulator, WrittenValueHookDecidesWhatIsHeld) {
    device->OnSettingWritten = [](const std::string&, const std::string& written) { return written + "0"; };
    Host("$1014.5\r");
    loop.RunFor(100);
    EXPECT_EQ(All(), "&1014.50\x1b");
}

// The packets of a stream, split at ESC.
std::vector<std::string> Packets(const std::string& stream) {
    std::vector<std::string> out;
    std::size_t from = 0;
    for (std::size_t at; (at = stream.find(ESC, from)) != std::string::npos; from = at + 1)
        out.push_back(stream.substr(from, at - from));
    return out;
}

double Number(const std::string& text) {
    double v = NAN;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    return r.ec == std::errc() && r.ptr == text.data() + text.size() ? v : NAN;
}

TEST_F(Simulator, StreamSendsRoundsOfWellFormedPackets) {
    Host("$6661\r");
    loop.RunFor(50);
    sent.clear();
    loop.RunFor(1000);
    EXPECT_TRUE(device->Streaming());
    const auto packets = Packets(All());
    ASSERT_EQ(packets.size(), 70u) << "ten rounds of seven packets in a second";
    double lastAngle = -1;
    for (std::size_t i = 0; i < packets.size(); ++i) {
        const std::string& p = packets[i];
        ASSERT_GE(p.size(), 6u) << p;
        EXPECT_EQ(p.substr(0, 3), "%00") << p;
        EXPECT_EQ(p[3], static_cast<char>('1' + i % 7)) << "rotation 1 to 7: " << p;
        const double v = Number(p.substr(4));
        ASSERT_FALSE(std::isnan(v)) << p;
        if (p[3] != '7') {
            EXPECT_EQ(p.size() - p.find('.'), 5u) << "four decimals: " << p;
        } else {
            EXPECT_NEAR(v, 50.0, 1.0) << p;
        }
        if (p[3] == '5') {
            EXPECT_GE(v, 0.0);
            EXPECT_LT(v, 360.0);
            if (lastAngle >= 0) { // about 36 degrees per second: a tenth of that per round
                EXPECT_NEAR(std::fmod(v - lastAngle + 360.0, 360.0), 3.6, 0.8) << p;
            }
            lastAngle = v;
        }
    }
}

TEST_F(Simulator, StreamRateIsLimitedByTheLine) {
    options.PacketRate = 500;
    Make();
    Host("$6661\r");
    loop.RunFor(50);
    EXPECT_EQ(All().substr(0, 10), "&6661\x1b%001") << "the confirmation comes first";
    sent.clear();
    loop.RunFor(3000);
    const std::size_t bytes = All().size();
    EXPECT_LE(bytes, 3u * kLineBytesPerSecond + 100); // one round may start just before the end
    EXPECT_GE(bytes, 3u * kLineBytesPerSecond * 9 / 10) << "the line stays busy";
}

TEST_F(Simulator, StreamPausesInTextModeAndStopsWhenSwitchedOff) {
    Host("$6661\r");
    loop.RunFor(1000);
    Host("#");
    sent.clear();
    loop.RunFor(1000);
    EXPECT_EQ(All().find('%'), std::string::npos);
    Host("*");
    loop.RunFor(1000);
    EXPECT_NE(All().find("%007"), std::string::npos);
    Host("$6660\r");
    loop.RunFor(100);
    sent.clear();
    loop.RunFor(1000);
    EXPECT_TRUE(sent.empty());
    EXPECT_FALSE(device->Streaming());
    EXPECT_EQ(loop.TimerCount(), 0u);
}

TEST_F(Simulator, TextModeShowsAMenuEchoesAndRunsLines) {
    Host("#");
    EXPECT_TRUE(device->TextMode());
    const std::string menu = All();
    EXPECT_NE(menu.find("\x1b[2J"), std::string::npos);
    EXPECT_NE(menu.find("\x1b[1m"), std::string::npos);
    EXPECT_NE(menu.find("\x1b[7m"), std::string::npos);
    sent.clear();
    Host("vx\b\x1b[A");
    EXPECT_EQ(All(), "vx\b \b"); // echo, erase; the cursor key is not text
    sent.clear();
    Host("\r");
    EXPECT_NE(All().find("24.1700 V"), std::string::npos);
    Host("$029"); // no command in text mode
    loop.RunFor(100);
    EXPECT_EQ(All().find("&029"), std::string::npos);
    Host("$027");
    EXPECT_DOUBLE_EQ(device->Voltage(), 24.17);
    Host("*");
    EXPECT_FALSE(device->TextMode());
}

TEST_F(Simulator, TextModeLineP1StoresTheDetectedSupply) {
    Host("$027");
    loop.RunFor(100);
    Host("#p1\r*");
    EXPECT_FALSE(device->TextMode());
    EXPECT_DOUBLE_EQ(device->Voltage(), 24.17);
}

TEST_F(Simulator, ReceivedBytesCarryTheirArrivalTicks) {
    Host("$0");
    loop.RunFor(70);
    Host("29");
    ASSERT_EQ(device->Received().size(), 4u);
    EXPECT_EQ(device->Received()[1].At, 0u);
    EXPECT_EQ(device->Received()[2].At, 70u);
    EXPECT_EQ(device->ReceivedText(), "$029");
    device->ClearReceived();
    EXPECT_TRUE(device->Received().empty());
}

TEST_F(Simulator, FaultSwitches) {
    options.Fault.DropReplies = 1;
    Make();
    Host("$029$029");
    loop.RunFor(100);
    EXPECT_EQ(sent.size(), 1u);

    options = {};
    options.Fault.LateMs = 300;
    Make();
    Host("$029");
    const std::uint64_t sentAt = loop.TickCount();
    loop.RunFor(1000);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].at, sentAt + 320);

    options = {};
    options.Fault.WrongAnswers = true;
    Make();
    Host("$6661\r");
    loop.RunFor(50);
    EXPECT_EQ(sent.at(0).bytes, "&666ERR\x1b");

    options = {};
    options.Fault.Silent = true;
    Make();
    Host("$6661\r$029#");
    loop.RunFor(1000);
    EXPECT_TRUE(sent.empty());

    options = {};
    options.Fault.Garbage = true;
    Make();
    Host("$6661\r");
    loop.RunFor(1000);
    const std::string stream = All();
    EXPECT_NE(stream.find("noise"), std::string::npos);
    EXPECT_NE(stream.find("%003"), std::string::npos) << "packets still come between the noise";
}

TEST_F(Simulator, HangUpSilencesTheDeviceAndIsReportedOnce) {
    int hangUps = 0;
    device->OnHangUp = [&] { ++hangUps; };
    Host("$6661\r");
    loop.RunFor(500);
    device->SetHangUp();
    device->SetHangUp();
    sent.clear();
    Host("$029");
    loop.RunFor(1000);
    EXPECT_EQ(hangUps, 1);
    EXPECT_TRUE(sent.empty());
    EXPECT_TRUE(device->Options().Fault.HangUp);
}

// ---- the simulated line backend ----

struct Sink : LineEventSink {
    std::vector<std::pair<unsigned, int>> events;
    std::function<void()> during;
    void HandleLineEvents(unsigned e, int error) override {
        events.push_back({e, error});
        if (during) during();
    }
};

class Backend : public ::testing::Test {
protected:
    SimulatedLoop loop;
    DeviceSimulator device{loop};
    std::unique_ptr<SerialBackend> line = MakeSimulatedBackend(device);
    Sink sink;

    void Open() {
        ASSERT_EQ(line->OpenDevice("ttyUSB0"), 0);
        line->StartEvents(loop, sink);
    }
    int Write(const std::string& s) {
        std::size_t written = 0;
        const int error = line->Write(s.data(), s.size(), written);
        EXPECT_EQ(written, error ? 0 : s.size());
        return error;
    }
    std::string ReadAll() {
        std::size_t queued = 0;
        EXPECT_EQ(line->BytesQueued(queued), 0);
        std::string s(queued, '\0');
        std::size_t got = 0;
        EXPECT_EQ(line->Read(s.data(), s.size(), got), 0);
        s.resize(got);
        return s;
    }
};

TEST_F(Backend, WritesReachTheDeviceAndAnswersAreAnnouncedThroughTheLoop) {
    Open();
    EXPECT_EQ(Write("$357\x1b"), 0);
    EXPECT_EQ(device.ReceivedText(), "$357\x1b");
    EXPECT_EQ(device.Received().back().At, 0u);
    device.OnTransmit("x"); // as the device's answer timer does
    EXPECT_TRUE(sink.events.empty()) << "never inside the sending call";
    loop.ProcessMessages();
    ASSERT_EQ(sink.events.size(), 1u);
    EXPECT_EQ(sink.events[0].first, unsigned(evRxChar));
    EXPECT_EQ(ReadAll(), "x");
    loop.RunFor(100);
    EXPECT_EQ(ReadAll(), "&3572.31\x1b");
}

TEST_F(Backend, ClosedLineTakesNoWrites) {
    EXPECT_EQ(Write("$029"), EBADF);
    EXPECT_EQ(device.ReceivedText(), "");
}

TEST_F(Backend, OpenFailures) {
    device.Options().PortBusy = true;
    EXPECT_EQ(line->OpenDevice("ttyUSB0"), EBUSY);
    device.Options().PortBusy = false;
    device.SetHangUp();
    EXPECT_EQ(line->OpenDevice("ttyUSB0"), ENOENT);
    EXPECT_FALSE(line->ErrorText(EBUSY).empty());
}

TEST_F(Backend, SecondOpenIsBusyAndReopenAfterCloseWorks) {
    Open();
    EXPECT_EQ(line->OpenDevice("ttyUSB0"), EBUSY);
    line->StopEvents();
    line->CloseDevice();
    Open();
    Write("$112");
    loop.RunFor(100);
    EXPECT_EQ(ReadAll(), "&112DMS 2000\x1b");
}

TEST_F(Backend, HangUpIsReportedOnceWithEioAndWritesFail) {
    Open();
    device.SetHangUp();
    device.SetHangUp();
    loop.RunFor(100);
    ASSERT_EQ(sink.events.size(), 1u);
    EXPECT_EQ(sink.events[0], std::make_pair(unsigned(evHangup), EIO));
    EXPECT_EQ(Write("1"), EIO);
}

TEST_F(Backend, NothingIsDeliveredAfterStopEvents) {
    Open();
    Write("$6661\r");
    loop.RunFor(500);
    ASSERT_FALSE(sink.events.empty());
    device.OnTransmit("queued"); // posted, not yet delivered
    line->StopEvents();
    sink.events.clear();
    device.SetHangUp();
    loop.RunFor(1000);
    EXPECT_TRUE(sink.events.empty());
}

TEST_F(Backend, PurgeDropsWhatIsQueued) {
    Open();
    Write("$029");
    loop.RunFor(100);
    EXPECT_EQ(line->Purge(), 0);
    EXPECT_EQ(ReadAll(), "");
}

} // namespace
