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
    // The 32-bit build on a 64-bit Windows PE reaches System32 through Sysnative; nothing else moves.
    planned.clear();
    for (const LogSource& source : PlanLogSources("", "X:\\Windows", "D:\\Windows", "X:\\Windows\\Sysnative\\")) {
        planned.push_back(Describe(source));
    }
    EXPECT_EQ(planned[0], "tree X:\\Windows\\Logs -> PE\\Windows\\Logs");
    EXPECT_EQ(planned[2], "file X:\\Windows\\Sysnative\\wpeinit.log -> PE\\Windows\\System32\\wpeinit.log");
    EXPECT_EQ(planned.back(),
              "file D:\\Windows\\System32\\LogFiles\\Srt\\SrtTrail.txt -> Target\\System32\\LogFiles\\Srt\\SrtTrail.txt")
        << "the installation's System32 is no redirected folder";
}

TEST(LogCollectionRules, SkipsLargeLinkedAndSecretFiles)
{
    struct Row {
        const char* name;
        unsigned long long size;
        bool link;
        CopyDecision expected;
    };
    const Row rows[] = {
        {"dism.log", 100, false, CopyDecision::Copy},
        {"MEMORY.DMP", 101, false, CopyDecision::TooLarge},
        {"x.log", 0, true, CopyDecision::ReparsePoint},
        {"Tarn_Password.TXT", 10, false, CopyDecision::Withheld},
        {"tarn_logon.ini", 1000, true, CopyDecision::Withheld},  // withheld before all else
        {"tarn_logon.ini.bak", 10, false, CopyDecision::Copy},
        {"unattend.xml", 10, false, CopyDecision::AnswerFile},
        {"Unattend.XML", 1000, true, CopyDecision::AnswerFile},
        {"unattend-original.xml", 10, false, CopyDecision::AnswerFile},
        {"autounattend.xml", 10, false, CopyDecision::AnswerFile},
        {"AutoUnattend_x64.xml", 10, false, CopyDecision::AnswerFile},
        {"sysprep.inf", 10, false, CopyDecision::AnswerFile},
        {"SYSPREP.INF", 10, false, CopyDecision::AnswerFile},
        {"unattend.xml. ", 10, false, CopyDecision::AnswerFile},  // Windows opens it as unattend.xml
        {"tarn_logon.ini.", 10, false, CopyDecision::Withheld},
        {"unattend.log", 10, false, CopyDecision::Copy},
        {"unattend.xm", 10, false, CopyDecision::Copy},
        {"sysprep.inf.log", 10, false, CopyDecision::Copy},
        {"setupact.log", 10, false, CopyDecision::Copy},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(DecideCopy(row.name, row.size, row.link, 100), row.expected) << row.name;
    }
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
    // A planned file that is not there is neither copied nor skipped, but named.
    const std::string withAbsent = FormatIndex(header, {{IndexOutcome::Absent, "X:\\Windows\\System32\\wpeinit.log", 0, ""},
                                                        {IndexOutcome::Skipped, "C:\\MEMORY.DMP", 300, TooLargeReason(256)}});
    EXPECT_NE(withAbsent.find("Copied: 0 files, 0 bytes\r\n"), std::string::npos) << withAbsent;
    EXPECT_NE(withAbsent.find("\r\nSkipped: 1 files\r\n  C:\\MEMORY.DMP"), std::string::npos) << withAbsent;
    EXPECT_NE(withAbsent.find("\r\n\r\nNot found: 1 of the planned files and folders\r\n"
                              "  X:\\Windows\\System32\\wpeinit.log\r\n"),
              std::string::npos)
        << withAbsent;
    header.byOperator = false;
    EXPECT_NE(FormatIndex(header, {}).find("\r\nCancelled: the program was ending: the lists below"), std::string::npos);
    EXPECT_EQ(WithThousands(0), "0");
    EXPECT_EQ(WithThousands(999), "999");
    EXPECT_EQ(WithThousands(1000), "1,000");
}
