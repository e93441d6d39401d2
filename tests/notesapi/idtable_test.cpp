// ID tables: sorted sets with insert-reports-new, ascending scan and handle checks.
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

TEST_F(IdTable, EnumerateStopsOnTheCallbackStatus) {
    DHANDLE t = NULLHANDLE;
    ASSERT_EQ(IDCreateTable(0, &t), NOERROR);
    for (DWORD id = 1; id <= 5; ++id)
        ASSERT_EQ(IDInsert(t, id * 4, nullptr), NOERROR);
    std::vector<DWORD> seen;
    auto routine = [](void* p, DWORD id) -> STATUS {
        auto* v = static_cast<std::vector<DWORD>*>(p);
        v->push_back(id);
        return v->size() == 3 ? ERR_NOT_FOUND : NOERROR;
    };
    EXPECT_EQ(IDEnumerate(t, routine, &seen), ERR_NOT_FOUND);
    EXPECT_EQ(seen, (std::vector<DWORD>{4, 8, 12}));
    EXPECT_EQ(IDDestroyTable(t), NOERROR);
}

TEST_F(IdTable, StaleAndWrongHandlesAreRefused) {
    DHANDLE t = NULLHANDLE;
    ASSERT_EQ(IDCreateTable(4, &t), NOERROR);
    ASSERT_EQ(IDDestroyTable(t), NOERROR);
    DWORD id = 0;
    BOOL flag = TRUE;
    EXPECT_EQ(IDDestroyTable(t), ERR_RUNTIME_BAD_HANDLE);
    EXPECT_EQ(IDInsert(t, 4, &flag), ERR_RUNTIME_BAD_HANDLE);
    EXPECT_FALSE(flag);
    EXPECT_EQ(IDDeleteAll(t), ERR_RUNTIME_BAD_HANDLE);
    EXPECT_EQ(IDEntries(t), 0u);
    EXPECT_FALSE(IDScan(t, TRUE, &id));
    EXPECT_FALSE(IDScan(t, TRUE, nullptr));
    EXPECT_EQ(IDCreateTable(4, nullptr), ERR_MISC_INVALID_ARGS);

    MEMHANDLE mem = 0;
    ASSERT_EQ(OSMemoryAllocate(0, 16, &mem), NOERROR);
    EXPECT_EQ(IDInsert(mem, 4, nullptr), ERR_RUNTIME_BAD_HANDLE);  // memory is not an ID table
    EXPECT_EQ(IDDestroyTable(mem), ERR_RUNTIME_BAD_HANDLE);
    OSMemoryFree(mem);
}

}  // namespace
