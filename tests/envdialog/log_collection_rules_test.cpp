#include "envdialog/log_collection_rules.h"

#include <gtest/gtest.h>

namespace {
std::string Describe(const LogSource& source)
{
    const char* kind = source.kind == LogSourceKind::File ? "file" : source.kind == LogSourceKind::Tree ? "tree" : "match";
    return std::string(kind) + " " + source.path + (source.pattern.empty() ? "" : "\\" + source.pattern) + " -> " +
           source.destination;
}
}  // namespace

TEST(LogCollectionRules, PlansThePeFoldersTheRunLogAndTheInstallation)
{
    std::vector<std::string> planned;
    for (const LogSource& source : PlanLogSources("X:\\Tarn\\tarn_logon.log", "X:\\Windows\\", "D:\\Windows")) {
        planned.push_back(Describe(source));
    }
    const std::vector<std::string> expected = {
        "file X:\\Tarn\\tarn_logon.log -> PE\\tarn_logon.log",
        "tree X:\\Windows\\Logs -> PE\\Windows\\Logs",
        "tree X:\\Windows\\Panther -> PE\\Windows\\Panther",
        "file X:\\Windows\\System32\\wpeinit.log -> PE\\Windows\\System32\\wpeinit.log",
        "match X:\\Windows\\INF\\setupapi*.log -> PE\\Windows\\INF",
        "tree D:\\Windows\\Panther -> Target\\Panther",
        "tree D:\\Windows\\Logs\\CBS -> Target\\Logs\\CBS",
        "tree D:\\Windows\\Logs\\DISM -> Target\\Logs\\DISM",
        "file D:\\Windows\\INF\\setupapi.dev.log -> Target\\INF\\setupapi.dev.log",
        "tree D:\\Windows\\Minidump -> Target\\Minidump",
        "file D:\\Windows\\System32\\LogFiles\\Srt\\SrtTrail.txt -> Target\\System32\\LogFiles\\Srt\\SrtTrail.txt",
    };
    EXPECT_EQ(planned, expected);
    // Without a run log or an installation, their parts are left out.
    EXPECT_EQ(PlanLogSources("", "X:\\Windows", "").size(), 4u);
    EXPECT_EQ(PlanLogSources("X:\\logs\\", "X:\\Windows", "").size(), 4u) << "a folder is no log file";
}

TEST(LogCollectionRules, SkipsLargeLinkedAndSecretFiles)
{
    EXPECT_EQ(DecideCopy("dism.log", 100, false, 100), CopyDecision::Copy);
    EXPECT_EQ(DecideCopy("MEMORY.DMP", 101, false, 100), CopyDecision::TooLarge);
    EXPECT_EQ(DecideCopy("x.log", 0, true, 100), CopyDecision::ReparsePoint);
    EXPECT_EQ(DecideCopy("Tarn_Password.TXT", 10, false, 100), CopyDecision::Withheld);
    EXPECT_EQ(DecideCopy("tarn_logon.ini", 1000, true, 100), CopyDecision::Withheld) << "withheld before all else";
    EXPECT_EQ(DecideCopy("tarn_logon.ini.bak", 10, false, 100), CopyDecision::Copy);
    EXPECT_EQ(kLogSizeLimit, 268435456ull);
}

TEST(LogCollectionRules, NamesTheFolderByComputerAndTime)
{
    EXPECT_EQ(CollectionFolderName("MININT-AB12", 2026, 12, 9, 7, 5, 3), "MININT-AB12-20261209-070503");
    EXPECT_EQ(CollectionFolderName("a b/c:d*", 2026, 1, 2, 3, 4, 5), "a_b_c_d_-20260102-030405");
    EXPECT_EQ(CollectionFolderName("", 2026, 1, 2, 3, 4, 5), "PC-20260102-030405");
    EXPECT_EQ(CollectionFolderName("..", 2026, 1, 2, 3, 4, 5), "PC-20260102-030405");
}

TEST(LogCollectionRules, IndexListsCopiedAndSkippedWithTheirReasons)
{
    IndexHeader header{"PC1", "2026-12-09 13:15:00", "X:\\Windows", "", true};
    const std::string text = FormatIndex(header, {{IndexOutcome::Copied, "X:\\Windows\\Logs\\a.log", 1234567, ""},
                                                  {IndexOutcome::Skipped, "C:\\MEMORY.DMP", 300, TooLargeReason(256)},
                                                  {IndexOutcome::Copied, "X:\\b.log", 3, ""}});
    EXPECT_EQ(text, "Tarn Logon log collection\r\n"
                    "Computer: PC1\r\n"
                    "Collected: 2026-12-09 13:15:00\r\n"
                    "Windows PE: X:\\Windows\r\n"
                    "Installation: (none selected)\r\n"
                    "Cancelled by the operator: the lists below are what was done until then.\r\n"
                    "\r\n"
                    "Copied: 2 files, 1,234,570 bytes\r\n"
                    "  X:\\Windows\\Logs\\a.log  (1,234,567 bytes)\r\n"
                    "  X:\\b.log  (3 bytes)\r\n"
                    "\r\n"
                    "Skipped: 1 files\r\n"
                    "  C:\\MEMORY.DMP  (300 bytes): larger than 256 bytes\r\n");
    EXPECT_EQ(WithThousands(0), "0");
    EXPECT_EQ(WithThousands(999), "999");
    EXPECT_EQ(WithThousands(1000), "1,000");
}
