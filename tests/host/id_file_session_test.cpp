// The host's --id/--password credentials with the project's test ID files and a Notes-layout ID,
// through the loaded module and runtime on a real sample.
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "credentials.h"
#include "host_test_support.h"
#include "module.h"
#include "nsf/id_file.h"
#include "zapi.h"

namespace nsfrex {
namespace {

std::string writeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
    return path.string();
}

TEST(IdFileSession, TestIdsOpenTheDatabaseAndWrongPasswordsOrMissingFilesAreRefused) {
    test::ScratchDir temp;
    auto module = ModuleLibrary::load(test::binDir() / kModuleFileName);
    ASSERT_TRUE(module) << module.error();
    HostSettings settings;
    settings.libraryDirectory = test::binDir();
    settings.tempPath = temp.path();
    auto host = HostServices::create(std::move(settings));
    ASSERT_TRUE(host) << host.error();
    const auto database = test::sampleDatabase("notedata_MIMEMsg.nsf");

    const std::string alice = writeFile(temp / "alice.id", nsf::writeTestIdFile("CN=Alice/O=Example", "pa", {}));
    const std::string bob = writeFile(temp / "bob.id", nsf::writeTestIdFile("Bob", std::nullopt, {}));
    std::string notesImage(0x180, '\x01');
    notesImage[0xD6] = 0x20;
    notesImage[0xD7] = 0;
    const std::string jane = writeFile(temp / "jane.id", notesImage);

    struct Case {
        std::vector<std::pair<std::string, std::string>> creds;  // ID file, password ("" for none)
        std::string error;                                       // "" when the open succeeds
    };
    const std::vector<Case> cases = {
        {{{alice, "pa"}}, ""},
        {{{alice, "PA"}}, "module status 33"},
        {{{(temp / "missing.id").string(), "pa"}}, "module status 6"},
        {{{writeFile(temp / "junk.id", "not an id"), "x"}}, "module status 33"},  // could not open the ID file
        {{{alice, "wrong"}, {bob, ""}}, ""},  // the first cannot be switched to: the second reads more
        {{{jane, "anything"}}, ""},
    };
    for (const Case& c : cases) {
        Credentials credentials;
        for (const auto& [idFile, password] : c.creds) {
            credentials.addIdFile(idFile);
            if (!password.empty()) credentials.addPassword(password);
        }
        {
            auto session = ModuleSession::open(*module, **host, database, 0, &credentials);
            if (c.error.empty()) {
                EXPECT_TRUE(session) << c.creds.front().first << ": " << session.error();
            } else {
                ASSERT_FALSE(session) << c.creds.front().first;
                EXPECT_NE(session.error().find(c.error), std::string::npos) << session.error();
            }
        }
        EXPECT_EQ((*host)->allocator().liveBlocks(), 0u);
    }
}

}  // namespace
}  // namespace nsfrex
