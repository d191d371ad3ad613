#include "common/errors.h"
#include "common/record_list.h"

#include <gtest/gtest.h>

namespace {
struct TRecord {
    std::string Text;
    int Number;
};
}  // namespace

TEST(RecordList, KeepsInsertionOrderAndStartsRecordsEmpty)
{
    RecordList<TRecord> list;
    EXPECT_TRUE(list.Empty());
    TRecord& first = list.Add();
    EXPECT_EQ(first.Text, "");
    EXPECT_EQ(first.Number, 0);
    first.Text = "a";
    list.Add().Text = "b";
    EXPECT_EQ(list.Count(), 2u);
    EXPECT_EQ(list.At(0).Text, "a");
    EXPECT_EQ(list.At(1).Text, "b");
    EXPECT_EQ(&list.At(0), &first);  // records stay where they are when the list grows
}

TEST(RecordList, IndexOutsideTheListRaisesListError)
{
    RecordList<TRecord> list;
    list.Add();
    EXPECT_THROW(list.At(1), ListIndexError);
    try {
        list.At(-1);
        FAIL() << "no error";
    } catch (const ListIndexError& e) {
        EXPECT_STREQ(e.what(), "List index out of bounds (-1)");
        EXPECT_EQ(DescribeError(std::current_exception()), "List error: List index out of bounds (-1)");
    }
}

TEST(DescribeError, NamesTheKindOfEveryError)
{
    auto describe = [](auto error) { return DescribeError(std::make_exception_ptr(error)); };
    EXPECT_EQ(describe(RegistryError("Invalid data type for 'X'")), "Registry error: Invalid data type for 'X'");
    EXPECT_EQ(describe(std::runtime_error("boom")), "Error: boom");
    EXPECT_EQ(describe(std::bad_alloc()), "Out of memory");
    EXPECT_EQ(describe(42), "Unknown error");
}
