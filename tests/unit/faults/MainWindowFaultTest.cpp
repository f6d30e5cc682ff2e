// The control screen alone (no device screen open) against the simulated device with one fault on at
// its start queries, while it sits idle, or when it closes: at most the one port failure message,
// Ostrel ends exactly when the port failed, and nothing is written once it has.
#include "../../support/WatchedBackend.h"
#include "../control/ControlFakes.h"
#include "devsim/DeviceSimulator.h"

#include <gtest/gtest.h>

namespace mirota {
namespace {

enum class Step { Start, Idle, Close };
enum class Fault { Silent, Garbage, Late, DropOne, DropAll, Wrong, HangUp };

struct Case {
    Step step;
    Fault fault;
    bool failureMessage; // the port failure dialog, then Ostrel ends
};

constexpr const char* kOpenFailed =
    "Make sure that the device is properly connected and not used by another program.";

struct Bench : test::Harness {
    devsim::DeviceSimulator device{loop};
    int writesAfterFailure = 0;
    Bench() {
        backend = [this] {
            return std::make_unique<WatchedBackend>(devsim::MakeSimulatedBackend(device),
                                                    [this](const char*, std::size_t) {
                                                        if (form && form->bErrorOccures) ++writesAfterFailure;
                                                    });
        };
    }
    ~Bench() { form.reset(); } // the port goes before the device it talks to
    void Switch(Fault f) {
        auto& fault = device.Options().Fault;
        switch (f) {
        case Fault::Silent:
            fault.Silent = true;
            break;
        case Fault::Garbage:
            fault.Garbage = true;
            break;
        case Fault::Late:
            fault.LateMs = 100;
            break; // still within the start queries' wait
        case Fault::DropOne:
            fault.DropReplies = 1;
            break;
        case Fault::DropAll:
            fault.DropReplies = 1000000;
            break;
        case Fault::Wrong:
            fault.WrongAnswers = true;
            break;
        case Fault::HangUp:
            device.SetHangUp();
            break;
        }
    }
};

class MainWindowFaults : public ::testing::TestWithParam<Case> {};

TEST_P(MainWindowFaults, OneMessageAtMostAndNoWriteAfterFailure) {
    const Case c = GetParam();
    Bench b;
    if (c.step == Step::Start) b.Switch(c.fault);
    b.form->FormCreate({"COM3", "Mirota DMS 2000", "FT5X2KQ9", "4711"});
    b.form->FormShow();
    b.loop.RunFor(3000);
    if (c.step != Step::Start) {
        ASSERT_TRUE(b.dialogs.shown.empty());
        ASSERT_FALSE(b.form->Ended());
        b.Switch(c.fault);
        if (c.step == Step::Close) b.view.CloseWindow();
    }
    b.loop.RunFor(20000);
    if (c.failureMessage) {
        ASSERT_EQ(b.dialogs.shown.size(), 1u);
        EXPECT_EQ(b.dialogs.shown[0].kind, DialogKind::Error);
        EXPECT_NE(b.dialogs.shown[0].text.find(kOpenFailed), std::string::npos) << b.dialogs.shown[0].text;
        EXPECT_TRUE(b.form->bErrorOccures);
        EXPECT_TRUE(b.form->Ended());
    } else {
        EXPECT_TRUE(b.dialogs.shown.empty());
        EXPECT_EQ(b.form->Ended(), c.step == Step::Close);
    }
    EXPECT_EQ(b.writesAfterFailure, 0);
}

std::vector<Case> Cases() {
    std::vector<Case> cases;
    for (Step s : {Step::Start, Step::Idle, Step::Close})
        for (Fault f : {Fault::Silent, Fault::Garbage, Fault::Late, Fault::DropOne, Fault::DropAll,
                        Fault::Wrong, Fault::HangUp})
            // Only a line that is gone is a failure of the port; the control screen has no supervision
            // of the device's answers. At Close the port is closed before the hang-up is reported.
            cases.push_back({s, f, f == Fault::HangUp && s != Step::Close});
    return cases;
}

std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
    static const char* const steps[] = {"Start", "Idle", "Close"};
    static const char* const faults[] = {"Silent",  "Garbage", "Late",  "DropOne",
                                         "DropAll", "Wrong",   "HangUp"};
    return std::string(steps[static_cast<int>(info.param.step)]) + "_" +
           faults[static_cast<int>(info.param.fault)];
}

INSTANTIATE_TEST_SUITE_P(Steps, MainWindowFaults, ::testing::ValuesIn(Cases()), CaseName);

} // namespace
} // namespace mirota
