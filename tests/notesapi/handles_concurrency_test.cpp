// The handle table under several threads: handles created, used and closed concurrently, and
// stale handles probed while their slots are reused, must never crash or cross over.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "runtime_fixture.h"

namespace {

using notesapi_test::RuntimeTest;

class HandlesConcurrency : public RuntimeTest {};

TEST_F(HandlesConcurrency, ThreadsCreateUseAndCloseWithoutCrossingOver) {
    constexpr int kThreads = 4, kRounds = 300;
    std::atomic<int> wrongCounts{0};
    std::atomic<DHANDLE> lastClosed{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int r = 0; r < kRounds; ++r) {
                DHANDLE table = 0;
                if (IDCreateTable(4, &table) != NOERROR)
                    continue;
                // Each table holds its own thread's count of IDs: another thread's table or a
                // recycled slot would show a different count.
                for (int k = 0; k <= t; ++k)
                    IDInsert(table, static_cast<DWORD>(k * 4 + 4), nullptr);
                if (IDEntries(table) != static_cast<DWORD>(t + 1))
                    ++wrongCounts;
                // Probe a handle some thread closed: it must be refused, never reach a new table.
                const DHANDLE stale = lastClosed.load();
                if (stale != 0 && IDInsert(stale, 0x7777, nullptr) == NOERROR)
                    ++wrongCounts;
                IDDestroyTable(table);
                lastClosed.store(table);
            }
        });
    }
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(wrongCounts.load(), 0);
}

TEST_F(HandlesConcurrency, ANoteStaysReadableWhileAnotherThreadClosesItsDatabase) {
    nsf::MemoryDatabaseBuilder b;
    const NOTEID id = b.document().text("Subject", "shared").id();
    const DBHANDLE db = openBuilt(b);
    std::vector<NOTEHANDLE> notes(50);
    for (auto& h : notes)
        ASSERT_EQ(NSFNoteOpenExt(db, id, 0, &h), NOERROR);
    std::thread closer([&] { EXPECT_EQ(NSFDbClose(db), NOERROR); });
    std::atomic<int> failures{0};
    std::thread reader([&] {
        for (NOTEHANDLE h : notes) {
            char buf[16];
            if (NSFItemGetText(h, "Subject", buf, sizeof buf) != 6)
                ++failures;
            if (NSFNoteClose(h) != NOERROR)
                ++failures;
        }
    });
    closer.join();
    reader.join();
    EXPECT_EQ(failures.load(), 0);
}

}  // namespace
