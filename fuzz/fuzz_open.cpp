// libFuzzer target: open a database image from memory, enumerate its notes, read every note and
// every object, decoding $FILE objects as their FILEOBJECT says (Huffman, LZ1 or none); then again
// with salvage, which scans the buckets for the notes the note table does not reach.
#include <cstddef>
#include <cstdint>

#include "nsf/database.h"
#include "nsf/read_everything.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    for (const bool salvage : {false, true}) {
        auto db = nsf::openDatabaseBytes(nsf::Bytes(data, size), "fuzz", nsf::OpenOptions{.salvage = salvage});
        if (db) (void)nsf_test::readEverything(**db);
    }
    return 0;
}
