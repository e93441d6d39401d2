// Test-only fault injection: the n-th call of a function fails or throws, exactly once.
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "notesapi/notes.h"
#include "notesapi/testing.h"

namespace {

class FaultInjection : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(NotesInitExtended(0, nullptr), NOERROR); }
    void TearDown() override {
        NotesTestClearFaults();
        NotesTerm();
    }
};

TEST_F(FaultInjection, NthCallFailsOnceWithTheGivenStatus) {
    NotesTestInjectFault("IDCreateTable", 2, ERR_NOACCESS, 0);
    DHANDLE a = 0, b = 0, c = 0;
    EXPECT_EQ(IDCreateTable(4, &a), NOERROR);
    EXPECT_EQ(IDCreateTable(4, &b), ERR_NOACCESS);
    EXPECT_EQ(IDCreateTable(4, &c), NOERROR);
    EXPECT_EQ(IDDestroyTable(a), NOERROR);
    EXPECT_EQ(IDDestroyTable(c), NOERROR);

    // Functions that return no status report their neutral value.
    NotesTestInjectFault("IDEntries", 1, ERR_NOACCESS, 0);
    EXPECT_EQ(IDEntries(a), 0u);
    // Status 0 still fails, with the runtime's own code.
    NotesTestInjectFault("NotesInitExtended", 1, NOERROR, 0);
    EXPECT_EQ(NotesInitExtended(0, nullptr), ERR_RUNTIME_INJECTED);
    // Other functions are not affected; clearing removes pending rules.
    NotesTestInjectFault("NSFDbClose", 1, ERR_NOACCESS, 0);
    NotesTestClearFaults();
    EXPECT_EQ(NSFDbClose(12345), ERR_RUNTIME_BAD_HANDLE);
}

TEST_F(FaultInjection, ThrowModeRaisesAnExceptionThroughTheCBoundary) {
    NotesTestInjectFault("OSLoadString", 1, 0, 1);
    char buf[32];
    EXPECT_THROW(OSLoadString(NULLHANDLE, ERR_NOT_NSF, buf, sizeof buf), std::exception);
    EXPECT_GT(OSLoadString(NULLHANDLE, ERR_NOT_NSF, buf, sizeof buf), 0);
    NotesTestInjectFault("NotesTerm", 1, 0, 1);
    EXPECT_THROW(NotesTerm(), std::exception);
}

TEST_F(FaultInjection, CountsCallsFromSeveralThreadsExactlyOnce) {
    constexpr int kThreads = 4, kCalls = 200;
    NotesTestInjectFault("IDIsPresent", kCalls * 2, ERR_NOACCESS, 0);
    DHANDLE t = 0;
    ASSERT_EQ(IDCreateTable(4, &t), NOERROR);
    ASSERT_EQ(IDInsert(t, 8, nullptr), NOERROR);
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i)
        threads.emplace_back([&] {
            for (int k = 0; k < kCalls; ++k)
                if (!IDIsPresent(t, 8))
                    ++failures;
        });
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(failures.load(), 1);
    EXPECT_EQ(IDDestroyTable(t), NOERROR);
}

}  // namespace
