// The packet filter's cutting rules, driven chunk by chunk.
#include "link/DataPacket.h"
#include "../../support/FakeBackend.h"
#include "loop/SimulatedLoop.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using namespace mirota;

namespace {

const std::string E = "\x1b";

struct Step {
    enum Kind { Feed, SetStart, DetachPacket, AttachPacket, SetSize } kind;
    std::string text;
    int number = 0;
};
Step Feed(std::string s) {
    return {Step::Feed, std::move(s)};
}
Step Start(std::string s) {
    return {Step::SetStart, std::move(s)};
}
Step Detach() {
    return {Step::DetachPacket, {}};
}
Step Attach() {
    return {Step::AttachPacket, {}};
}
Step Size(int n) {
    return {Step::SetSize, {}, n};
}

struct Case {
    const char* name;
    std::string start;
    std::string stop;
    std::vector<Step> steps;
    std::vector<std::string> packets;
    std::vector<std::string> discards;
    std::string buffered;
};

class PacketCutting : public ::testing::TestWithParam<Case> {};

TEST_P(PacketCutting, DeliversAndDiscards) {
    const Case& c = GetParam();
    TComDataPacket filter;
    filter.SetStartString(c.start);
    filter.SetStopString(c.stop);
    std::vector<std::string> packets, discards;
    auto onPacket = [&](TComDataPacket*, const std::string& s) { packets.push_back(s); };
    filter.OnPacket = onPacket;
    filter.OnDiscard = [&](TComDataPacket*, const std::string& s) { discards.push_back(s); };
    for (const Step& st : c.steps) {
        switch (st.kind) {
        case Step::Feed:
            filter.AddData(st.text);
            break;
        case Step::SetStart:
            filter.SetStartString(st.text);
            break;
        case Step::DetachPacket:
            filter.OnPacket = nullptr;
            break;
        case Step::AttachPacket:
            filter.OnPacket = onPacket;
            break;
        case Step::SetSize:
            filter.SetSize(st.number);
            break;
        }
    }
    EXPECT_EQ(packets, c.packets);
    EXPECT_EQ(discards, c.discards);
    EXPECT_EQ(filter.Buffered(), c.buffered);
}

const std::string k1023(1023, 'x');

std::string ManyPackets(int n) {
    std::string s;
    for (int i = 0; i < n; ++i)
        s += "&66612.5" + E;
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    Filter, PacketCutting,
    ::testing::Values(
        Case{"SplitReply", "&029", E, {Feed("&02"), Feed("924.17" + E)}, {"24.17"}, {}, ""},
        Case{"TwoPacketsInOneChunk", "&666", E, {Feed("&6661" + E + "&6661" + E)}, {"1", "1"}, {}, ""},
        Case{"TextBeforeStartDiscarded",
             "&029",
             E,
             {Feed("%00712.5" + E + "&02924.17" + E)},
             {"24.17"},
             {"%00712.5" + E},
             ""},
        Case{"OtherFilterHoldsReplyUntilNextStart",
             "%007",
             E,
             {Feed("%00712.5" + E + "&02924.17" + E)},
             {"12.5"},
             {},
             "&02924.17" + E},
        Case{"NextStartMovesPastHeldText",
             "%007",
             E,
             {Feed("%00712.5" + E + "&02924.17" + E), Feed("%00750" + E)},
             {"12.5", "50"},
             {"&02924.17" + E},
             ""},
        Case{"StopBeforeStartIsNoEnd", "&357", E, {Feed(E + "&3572.31"), Feed(E)}, {"2.31"}, {E}, ""},
        Case{"SameStartKeepsPartialReply",
             "&357",
             E,
             {Feed("&3572."), Start("&357"), Feed("31" + E)},
             {"2.31"},
             {},
             ""},
        Case{"OtherStartThrowsPartialAway",
             "&357",
             E,
             {Feed("&3572."), Start("&112"), Feed("31" + E)},
             {},
             {"&3572."},
             "31" + E},
        Case{"EmptyOnPacketConsumesReply",
             "&666",
             E,
             {Detach(), Feed("&6661" + E), Attach(), Feed("")},
             {},
             {},
             ""},
        Case{"PassThroughWithoutStop", "", "", {Feed("ab"), Feed("c" + E)}, {"ab", "c" + E}, {}, ""},
        Case{"LimitEmptiesAt1024", "&666", E, {Feed(k1023), Feed("y")}, {}, {k1023 + "y"}, ""},
        Case{"BelowLimitKept", "&666", E, {Feed(k1023)}, {}, {}, k1023},
        // A reader that stalled hands over many replies at once: every one of them is delivered.
        Case{"ChunkOverLimitDeliversEveryPacket",
             "&666",
             E,
             {Feed(ManyPackets(300) + "&6661")},
             std::vector<std::string>(300, "12.5"),
             {},
             "&6661"},
        Case{"LimitAppliesToWhatHoldsNoPacket",
             "&666",
             E,
             {Feed(ManyPackets(200) + k1023 + "y")},
             std::vector<std::string>(200, "12.5"),
             {k1023 + "y"},
             ""},
        Case{"StartAtHeadWhenStartEmpty", "", E, {Feed("12" + E + "34" + E)}, {"12", "34"}, {}, ""},
        Case{"StopInsideStartNotTaken", "&1", "1", {Feed("&12"), Feed("1")}, {"2"}, {}, ""},
        Case{"FixedSize", "%", "", {Size(3), Feed("x%ab%c")}, {"ab"}, {"x"}, "%c"},
        Case{"AllByteValuesSurvive",
             "<",
             ">",
             {Feed(std::string("<\x00\x80\xff\x7f", 5) + ">")},
             {std::string("\x00\x80\xff\x7f", 4)},
             {},
             ""}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

TEST(PacketFilter, CaseInsensitiveMatchesStartAndStop) {
    TComDataPacket filter;
    filter.SetStartString("&abc");
    filter.SetStopString("z");
    filter.SetCaseInsensitive(true);
    std::vector<std::string> packets;
    filter.OnPacket = [&](TComDataPacket*, const std::string& s) { packets.push_back(s); };
    filter.AddData("&ABC1Z");
    EXPECT_EQ(packets, std::vector<std::string>{"1"});
}

TEST(PacketFilter, IncludeStringsKeepsDelimiters) {
    TComDataPacket filter;
    filter.SetStartString("&666");
    filter.SetStopString(E);
    filter.IncludeStrings = true;
    std::string got;
    filter.OnPacket = [&](TComDataPacket*, const std::string& s) { got = s; };
    filter.AddData("&6661" + E);
    EXPECT_EQ(got, "&6661" + E);
}

TEST(PacketFilter, LimitAppliesEvenWhenHandlerThrows) {
    TComDataPacket filter;
    filter.SetStartString("&");
    filter.SetStopString(E);
    filter.MaxBufferSize = 8;
    filter.OnPacket = [](TComDataPacket*, const std::string&) { throw std::runtime_error("handler failed"); };
    EXPECT_THROW(filter.AddData("&1" + E + "&123456789"), std::runtime_error);
    EXPECT_EQ(filter.Buffered(), "");
    EXPECT_FALSE(filter.InPacket());
}

TEST(PacketFilter, CustomStartAndStop) {
    TComDataPacket filter;
    filter.SetStopString(E); // ignored once the custom end answers
    filter.OnCustomStart = [](TComDataPacket*, const std::string& s, int& pos) {
        auto p = s.find('#');
        if (p != std::string::npos) pos = static_cast<int>(p) + 1;
    };
    filter.OnCustomStop = [](TComDataPacket*, const std::string& s, int& pos) {
        if (s.size() >= 3) pos = 3;
    };
    std::vector<std::string> packets;
    filter.OnPacket = [&](TComDataPacket*, const std::string& s) { packets.push_back(s); };
    filter.AddData("..#ab#c");
    filter.AddData("d");
    EXPECT_EQ(packets, (std::vector<std::string>{"#ab", "#cd"}));
}

// Filters bound to a port each see every received chunk and keep their own buffers.
TEST(PacketFilter, TwoFiltersOnOnePortEachDeliverTheirOwn) {
    SimulatedLoop loop;
    auto line = std::make_shared<test::FakeLine>();
    TComPort port(loop, std::make_unique<test::FakeBackend>(line));
    port.Open();
    TComDataPacket replies, frequency;
    replies.SetComPort(&port);
    frequency.SetComPort(&port);
    replies.SetStartString("&666");
    replies.SetStopString(E);
    frequency.SetStartString("%007");
    frequency.SetStopString(E);
    std::vector<std::string> a, b;
    replies.OnPacket = [&](TComDataPacket*, const std::string& s) { a.push_back(s); };
    frequency.OnPacket = [&](TComDataPacket*, const std::string& s) { b.push_back(s); };
    line->Inject("%00750" + E + "&66");
    line->Inject("61" + E + "%00749" + E);
    loop.RunFor(1);
    EXPECT_EQ(a, std::vector<std::string>{"1"});
    EXPECT_EQ(b, (std::vector<std::string>{"50", "49"}));
}

TEST(PacketFilter, RebindingMovesTheReceiverAndPortDestructionUnbinds) {
    SimulatedLoop loop;
    auto line1 = std::make_shared<test::FakeLine>();
    auto line2 = std::make_shared<test::FakeLine>();
    TComDataPacket filter;
    {
        TComPort port1(loop, std::make_unique<test::FakeBackend>(line1));
        TComPort port2(loop, std::make_unique<test::FakeBackend>(line2));
        filter.SetComPort(&port1);
        filter.SetComPort(&port2);
        filter.SetComPort(&port2); // same port: nothing happens, no double registration
        filter.SetComPort(&port1);
        EXPECT_EQ(filter.ComPort(), &port1);
    }
    EXPECT_EQ(filter.ComPort(), nullptr);
}

} // namespace
