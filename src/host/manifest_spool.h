// index.json for a database of any size: each subfile's entry is written out as soon as it is done, to
// a scratch file of the output folder, and index.json is put together from the head, those entries and
// the end once the run knows the head's counts. Memory stays the same whatever the number of subfiles.
#pragma once

#include <string>

#include "manifest.h"
#include "output_folder.h"
#include "result.h"

namespace nsfrex {

class ManifestSpool {
public:
    static Result<ManifestSpool> create(OutputFolder& folder);

    // Entries in index order.
    Result<void> add(const ManifestEntry& entry);
    // Writes index.json (through its temporary name) with `head`'s fields before the entries.
    Result<void> publish(OutputFolder& folder, const Manifest& head);

private:
    explicit ManifestSpool(UniqueFd fd) : fd_(std::move(fd)) {}
    Result<void> flush();

    UniqueFd fd_;
    std::string pending_;  // entries not yet written to the scratch file
    bool empty_ = true;
};

}  // namespace nsfrex
