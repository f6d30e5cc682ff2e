// Both programs' terminal answers: --version and --help end the program with a text, every other
// command line starts the window (Ostrel's four parameters, Pravik's toolkit options).
#include "control/OstrelCommandLine.h"
#include "launcher/PravikCommandLine.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace {

using Answer = std::function<std::optional<std::string>(int, const char* const*)>;

std::optional<std::string> Ask(const Answer& answer, std::vector<const char*> args) {
    args.push_back(nullptr);
    return answer(static_cast<int>(args.size()) - 1, args.data());
}

struct Case {
    const char* program;
    std::vector<const char*> args;
    const char* expectedStart; // nullptr: the program starts its window
};

TEST(CommandLine, AnswersVersionAndHelpAndLeavesStartsAlone) {
    const Case cases[] = {
        {"ostrel", {"ostrel", "--version"}, "ostrel 2.1.0.7\n"},
        {"ostrel", {"ostrel", "-V"}, "ostrel 2.1.0.7\n"},
        {"ostrel", {"ostrel", "--help"}, "Usage: ostrel PORT DESCRIPTION SERIALNUMBER WINDOW"},
        {"ostrel", {"ostrel", "-h"}, "Usage: ostrel"},
        {"ostrel", {"ostrel", "ttyUSB0", "Mirota DMS", "FT4M7Q01", "0"}, nullptr},
        // A device description that happens to read like an option is a parameter, not a request.
        {"ostrel", {"ostrel", "ttyUSB0", "--help", "FT4M7Q01", "0"}, nullptr},
        {"ostrel", {"ostrel"}, nullptr},
        {"pravik", {"pravik", "--version"}, "pravik 2.1.0.7\n"},
        {"pravik", {"pravik", "-platform", "offscreen", "--help"}, "Usage: pravik"},
        {"pravik", {"pravik", "-platform", "offscreen"}, nullptr},
        {"pravik", {"pravik"}, nullptr},
    };
    for (const Case& c : cases) {
        const Answer answer = std::string(c.program) == "ostrel" ? Answer(mirota::OstrelCommandLineAnswer)
                                                                 : Answer(mirota::PravikCommandLineAnswer);
        const auto text = Ask(answer, c.args);
        std::string line;
        for (const char* a : c.args)
            line += std::string(a) + " ";
        if (!c.expectedStart) {
            EXPECT_FALSE(text.has_value()) << line;
            continue;
        }
        ASSERT_TRUE(text.has_value()) << line;
        EXPECT_EQ(text->rfind(c.expectedStart, 0), 0u) << line << "\n" << *text;
    }
}

} // namespace
