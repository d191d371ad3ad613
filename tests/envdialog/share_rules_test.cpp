#include "envdialog/share_rules.h"

#include <gtest/gtest.h>

TEST(ShareRule, ChecksPathUserAndLetterBeforeConnecting)
{
    struct Case {
        const char* path;
        const char* user;
        const char* letter;
        ShareProblem problem;
    };
    const Case cases[] = {
        {"\\\\server\\share", "CORP\\tech", "Z:", ShareProblem::None},
        {"\\\\192.0.2.5\\deploy$\\drivers\\", "tech@corp.example", "z", ShareProblem::None},
        {"\\\\server\\share", ".\\admin", "Y:", ShareProblem::None},
        {"\\\\server\\share", "", "Y:", ShareProblem::None},
        {"\\\\server\\share", "tech", "Y:", ShareProblem::None},
        {"\\\\server", "tech", "Z:", ShareProblem::BadPath},
        {"\\\\server\\", "tech", "Z:", ShareProblem::BadPath},
        {"\\server\\share", "tech", "Z:", ShareProblem::BadPath},
        {"C:\\share", "tech", "Z:", ShareProblem::BadPath},
        {"\\\\server\\\\share", "tech", "Z:", ShareProblem::BadPath},
        {"\\\\ser*ver\\share", "tech", "Z:", ShareProblem::BadPath},
        {"\\\\server\\share", "CORP\\", "Z:", ShareProblem::BadUser},
        {"\\\\server\\share", "\\tech", "Z:", ShareProblem::BadUser},
        {"\\\\server\\share", "CORP\\a\\b", "Z:", ShareProblem::BadUser},
        {"\\\\server\\share", "tech@", "Z:", ShareProblem::BadUser},
        {"\\\\server\\share", "a@b@c", "Z:", ShareProblem::BadUser},
        {"\\\\server\\share", "tech", "", ShareProblem::BadLetter},
        {"\\\\server\\share", "tech", "1:", ShareProblem::BadLetter},
        {"\\\\server\\share", "tech", "Z:\\", ShareProblem::BadLetter},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CheckShareInput(c.path, c.user, c.letter), c.problem) << c.path << " " << c.user << " " << c.letter;
    }
}

TEST(ShareRule, ProposesTheLastFreeLetter)
{
    EXPECT_EQ(ProposedDriveLetter(0x0000000Cu), 'Z');                // C: and D:
    EXPECT_EQ(ProposedDriveLetter(0x02000004u | 0x01000000u), 'X');  // Y: and Z: taken
    EXPECT_EQ(ProposedDriveLetter(0x03FFFFF8u), 0) << "D: to Z: all taken";
}

// Every error the task names gets its own plain message; anything else shows the system's text.
TEST(ShareRule, ClassifiesConnectionErrors)
{
    const std::pair<unsigned long, ShareFailure> cases[] = {
        {53, ShareFailure::NotFound},          {67, ShareFailure::NotFound},
        {1326, ShareFailure::Credentials},     {86, ShareFailure::Credentials},
        {5, ShareFailure::Credentials},        {1219, ShareFailure::Conflict},
        {0xC000A000ul, ShareFailure::SigningRequired}, {0x80090006ul, ShareFailure::SigningRequired},
        {1272, ShareFailure::GuestBlocked},    {0xC05D0002ul, ShareFailure::GuestBlocked},
        {1222, ShareFailure::NoNetwork},       {85, ShareFailure::LetterInUse},
        {87, ShareFailure::Other},             {0, ShareFailure::Other},
    };
    for (const auto& c : cases) EXPECT_EQ(ClassifyShareError(c.first), c.second) << c.first;
}

TEST(ShareRule, ReadsDrivePresets)
{
    DrivePreset preset;
    ASSERT_TRUE(ParseDrivePreset("Z: \\\\server\\share CORP\\tech", preset));
    EXPECT_EQ(preset.Letter, 'Z');
    EXPECT_EQ(preset.Path, "\\\\server\\share");
    EXPECT_EQ(preset.User, "CORP\\tech");
    ASSERT_TRUE(ParseDrivePreset("  y:   \\\\nas\\images  ", preset));
    EXPECT_EQ(preset.Letter, 'Y');
    EXPECT_EQ(preset.User, "");
    for (const char* bad : {"", "Z:", "Z \\\\server\\share", "Z: server\\share", "Z: \\\\s\\x u secret", "1: \\\\s\\x"}) {
        DrivePreset untouched;
        EXPECT_FALSE(ParseDrivePreset(bad, untouched)) << bad;
        EXPECT_EQ(untouched.Letter, 0) << bad;
    }
    EXPECT_EQ(DrivePresetForLog("Z: \\\\s\\x u secret"), "Z: \\\\s\\x ...");
    EXPECT_EQ(DrivePresetForLog("  Z:  \\\\s\\x "), "Z: \\\\s\\x");
}
