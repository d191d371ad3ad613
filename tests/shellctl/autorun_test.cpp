#include "common/registry.h"
#include "shellctl/autorun.h"
#include "support/logon_case.h"

#include <gtest/gtest.h>

using namespace std::chrono;

namespace {

const std::string kBase = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\";

// Works on the real autostart keys of the test prefix, emptied before and after each case.
class AutorunTest : public testing::Test {
protected:
    void SetUp() override { Clear(); }
    void TearDown() override { Clear(); }
    static void Clear()
    {
        for (const char* name : {"Run", "RunOnce", "RunOnceEx"}) DeleteRegTree(kBase + name);
    }
    // An entry that records itself with a tag, runs for ms and exits.
    std::string Entry(const std::string& tag, unsigned ms = 0) const
    {
        return "\"" + BinFolder() + "probe.exe\" log=" + log_ + " sleep=" + std::to_string(ms) + " tag=" + tag;
    }
    static UniqueKey Key(const std::string& relative)
    {
        UniqueKey key = CreateRegKey(kBase + relative, KEY_ALL_ACCESS);
        EXPECT_TRUE(key) << relative;
        return key;
    }
    std::vector<std::string> Tags() const
    {
        std::vector<std::string> tags;
        for (const ProbeRun& run : ReadProbeLog(log_)) {
            const std::string& command = run["cmdline"];
            tags.push_back(command.substr(command.find("tag=") + 4));
        }
        return tags;
    }

    CaseFolder folder_;
    std::string log_ = folder_.File("autorun.log");
};

using TagList = std::vector<std::string>;

}  // namespace

TEST_F(AutorunTest, RunOnceStartsEveryTextEntryAndDeletesItRunKeepsItsEntries)
{
    {
        UniqueKey once = Key("RunOnce");
        WriteRegString(once.get(), "a", Entry("once-a"));
        WriteRegExpandString(once.get(), "", Entry("once-default"));
        WriteRegString(once.get(), "empty", "");
        WriteRegDword(once.get(), "number", 7);
        WriteRegString(once.get(), "missing", "C:\\no\\such\\program.exe");
        UniqueKey run = Key("Run");
        WriteRegString(run.get(), "r", Entry("run"));
    }
    ProcessRunOnce();
    ProcessRun();
    ASSERT_TRUE(WaitUntil([&] { return Tags().size() == 3; }, seconds(10)));
    TagList tags = Tags();
    std::sort(tags.begin(), tags.end());
    EXPECT_EQ(tags, (TagList{"once-a", "once-default", "run"}));

    UniqueKey once = OpenRegKey(kBase + "RunOnce", KEY_READ);
    EXPECT_EQ(RegValueNames(once.get()), TagList{"number"}) << "only the entry that is no text stays";
    UniqueKey run = OpenRegKey(kBase + "Run", KEY_READ);
    EXPECT_EQ(RegValueNames(run.get()), TagList{"r"});
    for (const ProbeRun& entry : ReadProbeLog(log_)) EXPECT_EQ(entry["show"], "0") << "started hidden";
}

TEST_F(AutorunTest, RunOnceExRunsSectionsInTurnThenDeletesThemAndKeepsItsKey)
{
    {
        UniqueKey root = Key("RunOnceEx");
        WriteRegString(root.get(), "Title", "Setting up");
        UniqueKey first = Key("RunOnceEx\\001");
        WriteRegString(first.get(), "1", Entry("001-1", 300));
        WriteRegString(first.get(), "2", Entry("001-2"));
        UniqueKey nested = Key("RunOnceEx\\001\\Nested\\Deeper");
        WriteRegString(nested.get(), "x", Entry("nested"));
        UniqueKey second = Key("RunOnceEx\\002");
        WriteRegString(second.get(), "", Entry("002-title"));  // a section's title, never run
        WriteRegString(second.get(), "1", Entry("002-1"));
        WriteRegString(second.get(), "2", Entry("002-2"));
    }
    ProcessRunOnceEx();
    EXPECT_EQ(Tags(), (TagList{"001-1", "001-2", "002-1", "002-2"})) << "one after the other, each waited for";

    UniqueKey root = OpenRegKey(kBase + "RunOnceEx", KEY_READ);
    ASSERT_TRUE(root) << "the key itself stays";
    EXPECT_TRUE(RegSubKeyNames(root.get()).empty());
    EXPECT_EQ(ReadRegString(root.get(), "Title"), "Setting up");
}

TEST_F(AutorunTest, RunOnceExStopsAnEntryAfterFiveSecondsAndGoesOn)
{
    {
        UniqueKey section = Key("RunOnceEx\\001");
        WriteRegString(section.get(), "1", Entry("slow", 8000));
        WriteRegString(section.get(), "2", Entry("next"));
    }
    auto start = steady_clock::now();
    ProcessRunOnceEx();
    auto took = steady_clock::now() - start;
    EXPECT_GE(took, milliseconds(4900));
    EXPECT_LT(took, milliseconds(7500));
    EXPECT_EQ(Tags(), (TagList{"slow", "next"}));
}

TEST_F(AutorunTest, MissingKeysAreSkipped)
{
    ProcessRunOnceEx();
    ProcessRunOnce();
    ProcessRun();
    EXPECT_FALSE(OpenRegKey(kBase + "RunOnce", KEY_READ)) << "never created";
}
