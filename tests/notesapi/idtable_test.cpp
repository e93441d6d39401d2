// ID tables: sorted sets with insert-reports-new and ascending scan.
#include <gtest/gtest.h>

#include <vector>

#include "runtime_fixture.h"

namespace {

using notesapi_test::RuntimeTest;

class IdTable : public RuntimeTest {};

std::vector<DWORD> scanAll(DHANDLE t) {
    std::vector<DWORD> out;
    DWORD id = 0;
    for (BOOL more = IDScan(t, TRUE, &id); more; more = IDScan(t, FALSE, &id))
        out.push_back(id);
    return out;
}

TEST_F(IdTable, InsertScanDeleteAll) {
    DHANDLE t = NULLHANDLE;
    ASSERT_EQ(IDCreateTable(sizeof(NOTEID), &t), NOERROR);
    ASSERT_NE(t, NULLHANDLE);
    EXPECT_TRUE(scanAll(t).empty());
    BOOL inserted = FALSE;
    for (DWORD id : {0x90Au, 0x8FAu, RRV_DELETED | 0x10u, 0x4u}) {
        ASSERT_EQ(IDInsert(t, id, &inserted), NOERROR);
        EXPECT_TRUE(inserted);
    }
    ASSERT_EQ(IDInsert(t, 0x8FA, &inserted), NOERROR);
    EXPECT_FALSE(inserted);
    EXPECT_EQ(IDInsert(t, 0x8FA, nullptr), NOERROR);
    EXPECT_EQ(IDEntries(t), 4u);
    EXPECT_EQ(scanAll(t), (std::vector<DWORD>{0x4, 0x8FA, 0x90A, RRV_DELETED | 0x10}));
    EXPECT_TRUE(IDIsPresent(t, 0x90A));

    // Scanning continues after the caller's value even when the table changes meanwhile.
    DWORD id = 0;
    ASSERT_TRUE(IDScan(t, TRUE, &id));
    ASSERT_EQ(IDInsert(t, 0x5, nullptr), NOERROR);
    ASSERT_TRUE(IDScan(t, FALSE, &id));
    EXPECT_EQ(id, 0x5u);

    BOOL deleted = FALSE;
    EXPECT_EQ(IDDelete(t, 0x5, &deleted), NOERROR);
    EXPECT_TRUE(deleted);
    EXPECT_EQ(IDDelete(t, 0x5, &deleted), NOERROR);
    EXPECT_FALSE(deleted);

    ASSERT_EQ(IDDeleteAll(t), NOERROR);
    EXPECT_EQ(IDEntries(t), 0u);
    EXPECT_FALSE(IDScan(t, TRUE, &id));
    EXPECT_EQ(IDDestroyTable(t), NOERROR);
}

}  // namespace
