#include "nsf/writer.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "le_buffer.h"
#include "nsf/values.h"
#include "writer_buckets.h"
#include "writer_control.h"
#include "writer_records.h"

namespace nsf {
namespace detail {
namespace {

constexpr const char* kWhat = "database writer";

// Superblock slots of ODS 43 files: two copies of 32 KB from 0x400, the reserved third of 64 KB.
constexpr std::uint64_t kSuperblockAt = 0x400;
constexpr std::uint64_t kSuperblockSlot = 0x8000;
constexpr std::uint64_t kReservedSlot = 0x10000;
constexpr std::uint64_t kBdbSlot = 0x1000;
constexpr std::size_t kSummaryBucketSize = 8192;
constexpr std::size_t kNonSummaryBucketSize = 32768;
constexpr std::uint32_t kMaxNonSummarySlots = 127;  // the locator keeps the slot in 7 bits
constexpr std::uint32_t kMaxSummarySlots = 0x7FF;   // the RRV entry keeps the slot in 11 bits

std::uint64_t roundUp(std::uint64_t v, std::uint64_t unit) { return (v + unit - 1) / unit * unit; }

TimeDate later(TimeDate a, TimeDate b) {
    auto key = [](TimeDate t) { return (std::uint64_t{t.innards1 & 0xFFFFFFu} << 32) | t.innards0; };
    return key(b) > key(a) ? b : a;
}

struct Source {
    std::vector<Note> notes;
    std::vector<NoteId> stubs;
    std::map<std::uint32_t, std::vector<std::uint8_t>> objects;
    std::map<std::uint32_t, std::uint16_t> objectTypes;  // from the OBJECT items that name them
    TimeDate stamp;
};

Expected<Source> readSource(Database& db) {
    Source s;
    auto entries = db.notes();
    if (!entries) return std::unexpected(entries.error());
    for (const NoteEntry& e : *entries) {
        if (e.deleted) {
            s.stubs.push_back(e.id);
            continue;
        }
        auto note = db.readNote(e.id);
        if (!note) return std::unexpected(note.error());
        note->header.id = e.id;
        s.stamp = later(s.stamp, note->header.modified);
        for (const Item& item : note->items) {
            if (item.type != kTypeObject) continue;
            if (auto d = decodeObjectDescriptor(item.value)) s.objectTypes.emplace(d->rrv, d->kind());
        }
        s.notes.push_back(std::move(*note));
    }
    // Objects: those the database lists, and those its OBJECT items name (a database need not list
    // its objects). An object an item names but the database cannot give stays missing, as in the
    // source.
    auto ids = db.objectIds();
    if (!ids) return std::unexpected(ids.error());
    std::set<std::uint32_t> wanted(ids->begin(), ids->end());
    for (const auto& [rrv, type] : s.objectTypes) wanted.insert(rrv);
    for (std::uint32_t rrv : wanted) {
        auto stream = db.openObject(rrv, Compression::None, 0);
        if (!stream && !std::binary_search(ids->begin(), ids->end(), rrv)) continue;
        if (!stream) return std::unexpected(stream.error());
        std::vector<std::uint8_t> payload;
        std::vector<std::uint8_t> chunk(1 << 16);
        for (;;) {
            auto n = (*stream)->read(chunk);
            if (!n) return std::unexpected(n.error());
            if (*n == 0) break;
            payload.insert(payload.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(*n));
        }
        if (payload.size() > 0xFFFFFFFFu - kObjectRecordHeaderSize)
            return fail(ErrorKind::Unsupported, kWhat, "object " + std::to_string(rrv) + " over 4 GB");
        s.objects.emplace(rrv, std::move(payload));
    }
    return s;
}

// Appends extents to the file image, each at a 256-byte position.
class Layout {
public:
    explicit Layout(std::uint64_t start) : end_(start) {}
    std::uint64_t place(std::uint64_t size, std::uint64_t align = 256) {
        const std::uint64_t at = roundUp(end_, align);
        end_ = roundUp(at + size, 256);
        return at;
    }
    std::uint64_t end() const noexcept { return end_; }

private:
    std::uint64_t end_;
};

std::uint32_t pos(std::uint64_t offset) { return static_cast<std::uint32_t>(offset / 256); }

Expected<std::vector<std::uint8_t>> write(Database& db) {
    auto source = readSource(db);
    if (!source) return std::unexpected(source.error());
    Source& src = *source;

    NameTableWriter names;
    for (const Note& n : src.notes) names.collect(n);
    if (auto ok = names.check(); !ok) return std::unexpected(ok.error());

    // Records into buckets; non-summary data too large for a bucket gets a record of its own.
    BucketPacker summary(kSummaryBucketSize, kMaxSummarySlots);
    BucketPacker nonSummary(kNonSummaryBucketSize, kMaxNonSummarySlots);
    struct Pending {
        BucketPacker::Place summaryPlace;
        std::optional<BucketPacker::Place> nonSummaryPlace;
        std::vector<std::uint8_t> ownRecord;  // non-summary record stored on its own
        std::uint64_t ownAt = 0;
    };
    std::map<NoteId, Pending> pending;
    std::map<std::uint32_t, std::pair<std::uint32_t, std::uint32_t>> rrv;
    for (const Note& n : src.notes) {
        auto enc = encodeNote(n, names);
        if (!enc) return std::unexpected(enc.error());
        Pending p;
        if (enc->hasNonSummary) {
            auto record = nonSummaryRecord(n.header, n.header.id, enc->nonSummaryValues);
            setNonSummaryLocator(enc->record, 0, static_cast<std::uint32_t>(record.size()));
            if (record.size() <= BucketPacker::largestRecord()) p.nonSummaryPlace = nonSummary.add(std::move(record));
            else p.ownRecord = std::move(record);
        }
        auto place = summary.add(std::move(enc->record));
        if (!place)
            return fail(ErrorKind::Unsupported, kWhat,
                        "summary data of note " + std::to_string(n.header.id) + " exceeds a bucket (" +
                            std::to_string(BucketPacker::largestRecord()) + " bytes)");
        p.summaryPlace = *place;
        pending.emplace(n.header.id, std::move(p));
    }
    for (NoteId id : src.stubs) {
        if (pending.contains(id)) return fail(ErrorKind::Corrupt, kWhat, "note ID " + std::to_string(id) + " used twice");
        auto place = summary.add(deletionStubRecord(id));
        rrv[id] = {0x80000000u | place->bucket, place->slot};
    }

    // Where everything goes. RRV buckets and the control structures have sizes known up front.
    std::map<std::uint32_t, std::pair<std::uint32_t, std::uint32_t>> ids = rrv;  // kinds only matter below
    for (const auto& [id, p] : pending) ids[id] = {};
    for (const auto& [id, payload] : src.objects) {
        if (ids.contains(id)) return fail(ErrorKind::Corrupt, kWhat, "RRV ID " + std::to_string(id) + " used twice");
        ids[id] = {};
    }
    auto rrvShape = buildRrvBuckets(ids);
    if (!rrvShape) return fail(ErrorKind::Unsupported, kWhat, "note and object IDs are not reachable in steps of 4");
    const std::vector<std::uint8_t> nameBytes = names.entriesAndText();

    const std::uint64_t sbSlot =
        roundUp(std::max<std::uint64_t>(kSuperblockSlot, superblockBound(summary.count(), nonSummary.count())), 256);
    const std::uint64_t bdbSlot =
        roundUp(std::max<std::uint64_t>(kBdbSlot, bdbBound(rrvShape->size(), nameBytes.size())), kBdbSlot);
    HeaderContents header;
    header.info = &db.info();
    header.stamp = src.stamp;
    Layout layout(kSuperblockAt);
    for (std::size_t i = 0; i < 3; ++i) {
        const std::uint64_t size = i < 2 ? sbSlot : std::max(kReservedSlot, 2 * sbSlot);
        header.superblockPos[i] = pos(layout.place(size));
        header.superblockSize[i] = static_cast<std::uint32_t>(size);
    }
    for (std::size_t i = 0; i < 2; ++i) {
        header.bdbPos[i] = pos(layout.place(bdbSlot, 0x1000));
        header.bdbSize[i] = static_cast<std::uint32_t>(bdbSlot);
    }
    std::vector<std::uint64_t> rrvAt, summaryAt, nonSummaryAt;
    for (std::size_t i = 0; i < rrvShape->size(); ++i) rrvAt.push_back(layout.place(kWrittenRrvBucketSize, 0x1000));
    for (std::size_t i = 0; i < summary.count(); ++i) summaryAt.push_back(layout.place(summary.sizeOf(i), 0x1000));
    for (std::size_t i = 0; i < nonSummary.count(); ++i)
        nonSummaryAt.push_back(layout.place(nonSummary.sizeOf(i), 0x1000));
    for (auto& [id, p] : pending)
        if (!p.ownRecord.empty()) p.ownAt = layout.place(p.ownRecord.size());
    std::map<std::uint32_t, std::uint64_t> objectAt;
    for (const auto& [id, payload] : src.objects)
        objectAt[id] = layout.place(kObjectRecordHeaderSize + payload.size());
    const std::uint64_t fileSize = layout.end();
    if (fileSize / 256 > 0xFFFFFFFFu) return fail(ErrorKind::Unsupported, kWhat, "file over 1 TB");

    // Now every locator is known.
    for (auto& [id, p] : pending) {
        std::vector<std::uint8_t>& record = summary.record(p.summaryPlace);
        if (p.nonSummaryPlace) {
            const std::uint32_t size = static_cast<std::uint32_t>(nonSummary.record(*p.nonSummaryPlace).size());
            setNonSummaryLocator(record, 0x80000000u | (p.nonSummaryPlace->slot << 24) | p.nonSummaryPlace->bucket,
                                 size);
        } else if (!p.ownRecord.empty()) {
            setNonSummaryLocator(record, pos(p.ownAt), static_cast<std::uint32_t>(p.ownRecord.size()));
        }
        rrv[id] = {0x80000000u | p.summaryPlace.bucket, p.summaryPlace.slot};
    }
    for (const auto& [id, at] : objectAt) rrv[id] = {pos(at), 0};
    auto rrvBuckets = buildRrvBuckets(rrv);  // same shape as rrvShape: same IDs

    SuperblockContents sb;
    sb.stamp = src.stamp;
    for (std::uint64_t at : summaryAt) sb.summaryBucketPos.push_back(pos(at));
    for (std::uint64_t at : nonSummaryAt) sb.nonSummaryBucketPos.push_back(pos(at));
    std::vector<RrvDescriptor> descriptors;
    for (std::size_t i = 0; i < rrvBuckets->size(); ++i) {
        const RrvBucketImage& b = (*rrvBuckets)[i];
        descriptors.push_back({pos(rrvAt[i]), b.nonData, b.firstId});
        if (b.nonData) {
            if (header.nonDataRrvPos == 0) header.nonDataRrvPos = pos(rrvAt[i]);
            continue;
        }
        if (header.dataRrvPos == 0) header.dataRrvPos = pos(rrvAt[i]);
        sb.liveRrvPos = pos(rrvAt[i]);  // the last data bucket: where new IDs would go
        sb.liveRrvBucket = b.bytes();
        if (sb.lowId == 0) sb.lowId = b.firstId;
        sb.highId = b.firstId + static_cast<std::uint32_t>(b.entries.size() - 1) * 4;
    }
    header.fileSize = fileSize;

    // The image: free space 0xAA-filled as in real files, then every structure in its place.
    LeBuffer file(static_cast<std::size_t>(fileSize), 0xAA);
    file.putRaw(0, databaseHeaderImage(header));
    for (std::uint32_t copy = 0; copy < 2; ++copy) {
        const std::uint32_t writeCount = 2 - copy;  // copy 1 is the newer one
        file.putRaw(std::uint64_t{header.superblockPos[copy]} * 256, superblockImage(sb, writeCount));
        file.putRaw(std::uint64_t{header.bdbPos[copy]} * 256,
                    bdbImage(descriptors, nameBytes, static_cast<std::uint32_t>(names.size()), names.textSize(),
                             src.stamp, writeCount));
    }
    for (std::size_t i = 0; i < rrvBuckets->size(); ++i) file.putRaw(rrvAt[i], (*rrvBuckets)[i].bytes());
    for (std::size_t i = 0; i < summary.count(); ++i) file.putRaw(summaryAt[i], summary.image(i, src.stamp));
    for (std::size_t i = 0; i < nonSummary.count(); ++i) file.putRaw(nonSummaryAt[i], nonSummary.image(i, src.stamp));
    for (const auto& [id, p] : pending)
        if (!p.ownRecord.empty()) file.putRaw(p.ownAt, p.ownRecord);
    for (const auto& [id, at] : objectAt) {
        auto type = src.objectTypes.find(id);
        file.putRaw(at, objectRecord(src.objects.at(id), type == src.objectTypes.end() ? 0 : type->second));
    }
    return file.take();
}

}  // namespace
}  // namespace detail

Expected<std::vector<std::uint8_t>> writeDatabaseBytes(Database& db) { return detail::write(db); }

Expected<void> writeDatabase(Database& db, std::ostream& out) {
    auto bytes = detail::write(db);
    if (!bytes) return std::unexpected(bytes.error());
    out.write(reinterpret_cast<const char*>(bytes->data()), static_cast<std::streamsize>(bytes->size()));
    if (!out) return fail(ErrorKind::Io, detail::kWhat, "write failed");
    return {};
}

Expected<void> writeDatabaseFile(Database& db, const std::filesystem::path& path) {
    auto bytes = detail::write(db);
    if (!bytes) return std::unexpected(bytes.error());
    std::filesystem::path temp = path;
    temp += ".partial";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes->data()), static_cast<std::streamsize>(bytes->size()));
        out.close();
        if (!out) {
            std::error_code ignored;
            std::filesystem::remove(temp, ignored);
            return fail(ErrorKind::Io, detail::kWhat, "cannot write " + temp.string());
        }
    }
    std::error_code ec;
    std::filesystem::rename(temp, path, ec);
    if (ec) return fail(ErrorKind::Io, detail::kWhat, "cannot rename to " + path.string() + ": " + ec.message());
    return {};
}

}  // namespace nsf
