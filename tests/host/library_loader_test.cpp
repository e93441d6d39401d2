#include "library_loader.h"

#include <gtest/gtest.h>

#include "host_test_support.h"
#include "zapi.h"

namespace nsfrex {
namespace {

TEST(LibraryLoader, MapsDllNamesAndRefusesPaths) {
    EXPECT_EQ(sharedObjectName("tmpixcnv.dll"), "libtmpixcnv.so");
    EXPECT_EQ(sharedObjectName("TMPIXCNV.DLL"), "libTMPIXCNV.so");
    EXPECT_EQ(sharedObjectName("notes"), "libnotes.so");
    EXPECT_EQ(sharedObjectName("my-lib_2.dll"), "libmy-lib_2.so");
    for (const char* bad : {"../x.dll", "..\\x.dll", "/usr/lib/x.dll", "sub/x.dll", "C:x.dll", "C:\\x.dll", ".dll",
                            "", "..", ".hidden.dll", "x y.dll", "x\n.dll"})
        EXPECT_FALSE(sharedObjectName(bad)) << bad;
}

TEST(LibraryLoader, LoadsOnlyFromItsFolderThroughTheZapi) {
    HostSettings settings;
    settings.libraryDirectory = test::binDir();
    auto created = HostServices::create(std::move(settings));
    ASSERT_TRUE(created) << created.error();
    auto& host = **created;
    ZAPI* zapi = host.zapi();

    void* handle = reinterpret_cast<void*>(1);
    ASSERT_NE(zapi->fpLoadLibrary(zapi, "notes.dll", &handle), 0) << "libnotes.so beside the tests";
    ASSERT_NE(handle, nullptr);
    EXPECT_NE(zapi->fpGetEntry(zapi, handle, "NSFDbClose"), nullptr);
    EXPECT_EQ(zapi->fpGetEntry(zapi, handle, "NoSuchEntry"), nullptr);
    // A second load needs its own free.
    void* again = nullptr;
    ASSERT_NE(zapi->fpLoadLibrary(zapi, "notes.dll", &again), 0);
    EXPECT_EQ(host.libraries().openLibraries(), 1u);
    EXPECT_NE(zapi->fpFreeLibrary(zapi, again), 0);
    EXPECT_NE(zapi->fpGetEntry(zapi, handle, "NSFDbClose"), nullptr);
    EXPECT_NE(zapi->fpFreeLibrary(zapi, handle), 0);
    EXPECT_EQ(host.libraries().openLibraries(), 0u);
    EXPECT_EQ(zapi->fpFreeLibrary(zapi, handle), 0);  // already freed
    EXPECT_EQ(zapi->fpGetEntry(zapi, handle, "NSFDbClose"), nullptr);

    // The module asks for its image library by its Windows name; it is libtmpixcnv.so beside the host.
    handle = nullptr;
    ASSERT_NE(zapi->fpLoadLibrary(zapi, "tmpixcnv.dll", &handle), 0) << "libtmpixcnv.so beside the tests";
    EXPECT_NE(zapi->fpGetEntry(zapi, handle, "TMPXconvert"), nullptr);
    EXPECT_EQ(zapi->fpGetEntry(zapi, handle, "_ZN6nsfrex6pixcnv17decodeNotesBitmapESt4spanIKhLm18446744073709551615EE"),
              nullptr) << "only the entry point is exported";
    EXPECT_NE(zapi->fpFreeLibrary(zapi, handle), 0);
    // A library that is not there: a clean failure and a null handle.
    handle = reinterpret_cast<void*>(1);
    EXPECT_EQ(zapi->fpLoadLibrary(zapi, "nosuchlib.dll", &handle), 0);
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(zapi->fpLoadLibrary(zapi, "../bin/notes.dll", &handle), 0);
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(zapi->fpLoadLibrary(zapi, nullptr, &handle), 0);
    EXPECT_EQ(zapi->fpFreeLibrary(zapi, nullptr), 0);
}

}  // namespace
}  // namespace nsfrex
