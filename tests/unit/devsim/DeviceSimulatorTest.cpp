// The device simulator on its own under simulated time: answers and their framing and timing, packets,
// catalogue settings, the text mode and the fault switches.
#include "devsim/DeviceSimulator.h"
#include "loop/SimulatedLoop.h"

#include <gtest/gtest.h>

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
    const char* command;
    const char* answer;
};

class Answers : public Simulator, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(Answers, ComeFramedAfterTheAnswerDelay) {
    Host(GetParam().command);
    loop.RunFor(100);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].bytes, std::string(GetParam().answer) + ESC);
    EXPECT_EQ(sent[0].at, 20u);
}

INSTANTIATE_TEST_SUITE_P(Simulator, Answers,
                         ::testing::Values(AnswerCase{"$029", "&02924.17"}, AnswerCase{"$025", "&02524.07"},
                                           AnswerCase{"$026", "&02624.27"}, AnswerCase{"$027", "&02723.17"},
                                           AnswerCase{"$028", "&02825.17"}, AnswerCase{"$112", "&112DMS 2000"},
                                           AnswerCase{"$357\x1b", "&3572.31"}, AnswerCase{"$200", "&2000"},
                                           AnswerCase{"$2013\r", "&2013"}, AnswerCase{"$6660\r", "&6660"},
                                           AnswerCase{"1\x1b\x1b\x1b*$029", "&02924.17"}));

TEST_F(Simulator, PacketsFlowWhileSwitchedOnAndPauseInTextMode) {
    Host("$6661\r");
    loop.RunFor(1000);
    EXPECT_TRUE(device->Streaming());
    const std::string on = All();
    EXPECT_NE(on.find("&6661\x1b"), std::string::npos);
    EXPECT_NE(on.find("%001"), std::string::npos);
    EXPECT_NE(on.find("%007"), std::string::npos);
    sent.clear();
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
}

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
    Host("$101\x1b");
    Host("$1012.5\r");
    Host("$101\x1b");
    loop.RunFor(100);
    EXPECT_EQ(All(), "&1010\x1b&1012.5\x1b&1012.5\x1b");
    EXPECT_EQ(device->Settings()["$101"], "2.5");
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
    Host("*");
    EXPECT_FALSE(device->TextMode());
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
    sent.clear();
    Host("$029");
    loop.RunFor(1000);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].at, loop.TickCount() - 1000 + 320);

    options = {};
    options.Fault.WrongAnswers = true;
    Make();
    sent.clear();
    Host("$6661\r");
    loop.RunFor(50);
    EXPECT_EQ(sent.at(0).bytes, "&666ERR\x1b");

    options = {};
    options.Fault.Silent = true;
    Make();
    sent.clear();
    Host("$6661\r$029#");
    loop.RunFor(1000);
    EXPECT_TRUE(sent.empty());

    options = {};
    Make();
    sent.clear();
    bool hungUp = false;
    device->OnHangUp = [&] { hungUp = true; };
    device->SetHangUp();
    Host("$029");
    loop.RunFor(100);
    EXPECT_TRUE(hungUp);
    EXPECT_TRUE(sent.empty());
    EXPECT_EQ(device->ReceivedText(), "$029");
}

} // namespace
