#include "nsf/streaming_writer.h"

#include <algorithm>
#include <optional>
#include <set>
#include <string>

#include "nsf/values.h"
#include "writer_buckets.h"
#include "writer_control.h"
#include "writer_records.h"

namespace nsf {
namespace {

using namespace detail;

constexpr const char* kWhat = "database writer";
constexpr std::uint64_t kDataStart = 0x1000;  // behind the header, as the first bucket of a real file
constexpr std::size_t kSummaryBucketSize = 8192;
constexpr std::size_t kNonSummaryBucketSize = 32768;
constexpr std::uint32_t kMaxNonSummarySlots = 127;  // the locator keeps the slot in 7 bits
constexpr std::uint32_t kMaxSummarySlots = 0x7FF;   // the RRV entry keeps the slot in 11 bits
constexpr std::uint64_t kSuperblockSlot = 0x8000;
constexpr std::uint64_t kReservedSlot = 0x10000;
constexpr std::uint64_t kBdbSlot = 0x1000;

std::uint64_t roundUp(std::uint64_t v, std::uint64_t unit) { return (v + unit - 1) / unit * unit; }

}  // namespace

struct StreamingDatabaseWriter::State {
    // One kind of bucket: the packer holds only the bucket being filled; full ones are on disk.
    struct Buckets {
        Buckets(std::size_t bucketSize, std::uint32_t maxSlots)
            : size(bucketSize), slots(maxSlots), packer(bucketSize, maxSlots) {}
        std::size_t size;
        std::uint32_t slots;
        BucketPacker packer;
        std::vector<std::uint32_t> written;  // positions of the buckets on disk
    };

    std::filesystem::path path;
    std::filesystem::path temp;
    std::ofstream out;
    DatabaseInfo info;
    TimeDate stamp;
    std::uint64_t end = 0;
    bool finished = false;
    NameTableWriter names;
    Buckets summary{kSummaryBucketSize, kMaxSummarySlots};
    Buckets nonSummary{kNonSummaryBucketSize, kMaxNonSummarySlots};
    std::map<std::uint32_t, std::pair<std::uint32_t, std::uint32_t>> rrv;  // ID -> (A, B)

    static std::uint32_t pos(std::uint64_t offset) { return static_cast<std::uint32_t>(offset / 256); }

    // Writes `bytes` at the end, at a position aligned to `align`, the gap filled with 0xAA as free
    // space is in real files; the end is kept at a 256-byte position.
    Expected<std::uint64_t> place(Bytes bytes, std::uint64_t align = 256) {
        const std::uint64_t at = roundUp(end, align);
        const std::uint64_t next = roundUp(at + bytes.size(), 256);
        if (next / 256 > 0xFFFFFFFFu) return fail(ErrorKind::Unsupported, kWhat, "file over 1 TB");
        pad(at - end);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        pad(next - at - bytes.size());
        if (!out) return fail(ErrorKind::Io, kWhat, "cannot write " + temp.string());
        end = next;
        return at;
    }

    void pad(std::uint64_t n) {
        static const std::vector<char> fill(4096, static_cast<char>(0xAA));
        for (; n > 0; n -= std::min<std::uint64_t>(n, fill.size()))
            out.write(fill.data(), static_cast<std::streamsize>(std::min<std::uint64_t>(n, fill.size())));
    }

    Expected<void> flush(Buckets& b) {
        for (std::size_t i = 0; i < b.packer.count(); ++i) {
            auto at = place(b.packer.image(i, stamp), 0x1000);
            if (!at) return std::unexpected(at.error());
            b.written.push_back(pos(*at));
        }
        b.packer = BucketPacker(b.size, b.slots);
        return {};
    }

    // Adds a record to the bucket being filled; when it opens a new bucket, the full one goes to disk
    // first. The place counts buckets from the first of the file (1-based).
    Expected<BucketPacker::Place> add(Buckets& b, std::vector<std::uint8_t> record) {
        auto slot = b.packer.add(std::move(record));
        if (!slot)
            return fail(ErrorKind::Unsupported, kWhat,
                        "a record exceeds a bucket (" + std::to_string(BucketPacker::largestRecord()) + " bytes)");
        if (slot->bucket > 1) {
            std::vector<std::uint8_t> moved = std::move(b.packer.record(*slot));
            BucketPacker full = std::exchange(b.packer, BucketPacker(b.size, b.slots));
            auto at = place(full.image(0, stamp), 0x1000);
            if (!at) return std::unexpected(at.error());
            b.written.push_back(pos(*at));
            slot = b.packer.add(std::move(moved));
        }
        return BucketPacker::Place{static_cast<std::uint32_t>(b.written.size()) + slot->bucket, slot->slot};
    }

    Expected<void> claim(std::uint32_t id, std::pair<std::uint32_t, std::uint32_t> entry) {
        if (!rrv.emplace(id, entry).second)
            return fail(ErrorKind::Corrupt, kWhat, "RRV ID " + std::to_string(id) + " used twice");
        return {};
    }

    // Records the item names of a part's notes before any is encoded. Notes of earlier parts were
    // encoded with the types their names had then, which must stay.
    Expected<void> collectNames(Database& part, const std::vector<NoteEntry>& entries) {
        std::vector<std::uint16_t> before;
        for (std::uint16_t i = 0; i < names.size(); ++i) before.push_back(names.typeOf(i));
        for (const NoteEntry& e : entries) {
            if (e.deleted) continue;
            auto note = part.readNote(e.id);
            if (!note) return std::unexpected(note.error());
            names.collect(*note);
        }
        if (auto ok = names.check(); !ok) return std::unexpected(ok.error());
        for (std::uint16_t i = 0; i < before.size(); ++i)
            if (names.typeOf(i) != before[i])
                return fail(ErrorKind::Unsupported, kWhat, "a later part changes the value type of an item name");
        return {};
    }

    Expected<void> addNote(const Note& note) {
        auto enc = encodeNote(note, names);
        if (!enc) return std::unexpected(enc.error());
        if (enc->hasNonSummary) {
            auto record = nonSummaryRecord(note.header, note.header.id, enc->nonSummaryValues);
            const auto size = static_cast<std::uint32_t>(record.size());
            if (record.size() <= BucketPacker::largestRecord()) {
                auto p = add(nonSummary, std::move(record));
                if (!p) return std::unexpected(p.error());
                setNonSummaryLocator(enc->record, 0x80000000u | (p->slot << 24) | p->bucket, size);
            } else {
                auto at = place(record);
                if (!at) return std::unexpected(at.error());
                setNonSummaryLocator(enc->record, pos(*at), size);
            }
        }
        auto p = add(summary, std::move(enc->record));
        if (!p) return std::unexpected(p.error());
        return claim(note.header.id, {0x80000000u | p->bucket, p->slot});
    }

    Expected<void> addStub(NoteId id) {
        auto p = add(summary, deletionStubRecord(id));
        if (!p) return std::unexpected(p.error());
        return claim(id, {0x80000000u | p->bucket, p->slot});
    }

    Expected<void> addObject(std::uint32_t id, Bytes payload, std::uint16_t type) {
        if (payload.size() > 0xFFFFFFFFu - kObjectRecordHeaderSize)
            return fail(ErrorKind::Unsupported, kWhat, "object " + std::to_string(id) + " over 4 GB");
        auto at = place(objectRecord(payload, type));
        if (!at) return std::unexpected(at.error());
        return claim(id, {pos(*at), 0});
    }

    Expected<void> writeControl() {
        if (auto ok = flush(summary); !ok) return ok;
        if (auto ok = flush(nonSummary); !ok) return ok;
        auto rrvBuckets = buildRrvBuckets(rrv);
        if (!rrvBuckets) return fail(ErrorKind::Unsupported, kWhat, "note and object IDs are not reachable in steps of 4");

        HeaderContents header;
        header.info = &info;
        header.stamp = stamp;
        SuperblockContents sb;
        sb.stamp = stamp;
        sb.summaryBucketPos = summary.written;
        sb.nonSummaryBucketPos = nonSummary.written;
        std::vector<RrvDescriptor> descriptors;
        for (const RrvBucketImage& b : *rrvBuckets) {
            auto at = place(b.bytes(), 0x1000);
            if (!at) return std::unexpected(at.error());
            descriptors.push_back({pos(*at), b.nonData, b.firstId});
            if (b.nonData) {
                if (header.nonDataRrvPos == 0) header.nonDataRrvPos = pos(*at);
                continue;
            }
            if (header.dataRrvPos == 0) header.dataRrvPos = pos(*at);
            sb.liveRrvPos = pos(*at);  // the last data bucket: where new IDs would go
            sb.liveRrvBucket = b.bytes();
            if (sb.lowId == 0) sb.lowId = b.firstId;
            sb.highId = b.firstId + static_cast<std::uint32_t>(b.entries.size() - 1) * 4;
        }

        const std::vector<std::uint8_t> nameBytes = names.entriesAndText();
        const std::uint64_t sbSlot =
            roundUp(std::max<std::uint64_t>(kSuperblockSlot, superblockBound(summary.written.size(),
                                                                              nonSummary.written.size())),
                    256);
        const std::uint64_t bdbSlot =
            roundUp(std::max<std::uint64_t>(kBdbSlot, bdbBound(rrvBuckets->size(), nameBytes.size())), kBdbSlot);
        for (std::uint32_t copy = 0; copy < 3; ++copy) {
            const std::uint64_t size = copy < 2 ? sbSlot : std::max(kReservedSlot, 2 * sbSlot);
            std::vector<std::uint8_t> slot(static_cast<std::size_t>(size), 0xAA);
            if (copy < 2) {
                const auto image = superblockImage(sb, 2 - copy);  // copy 1 is the newer one
                std::copy(image.begin(), image.end(), slot.begin());
            }
            auto at = place(slot);
            if (!at) return std::unexpected(at.error());
            header.superblockPos[copy] = pos(*at);
            header.superblockSize[copy] = static_cast<std::uint32_t>(size);
        }
        for (std::uint32_t copy = 0; copy < 2; ++copy) {
            std::vector<std::uint8_t> slot(static_cast<std::size_t>(bdbSlot), 0xAA);
            const auto image = bdbImage(descriptors, nameBytes, static_cast<std::uint32_t>(names.size()),
                                        names.textSize(), stamp, 2 - copy);
            std::copy(image.begin(), image.end(), slot.begin());
            auto at = place(slot, 0x1000);
            if (!at) return std::unexpected(at.error());
            header.bdbPos[copy] = pos(*at);
            header.bdbSize[copy] = static_cast<std::uint32_t>(bdbSlot);
        }
        header.fileSize = end;
        const auto headerBytes = databaseHeaderImage(header);
        out.seekp(0);
        out.write(reinterpret_cast<const char*>(headerBytes.data()), static_cast<std::streamsize>(headerBytes.size()));
        out.close();
        if (!out) return fail(ErrorKind::Io, kWhat, "cannot write " + temp.string());
        return {};
    }
};

StreamingDatabaseWriter::StreamingDatabaseWriter(std::unique_ptr<State> state) : state_(std::move(state)) {}

StreamingDatabaseWriter::~StreamingDatabaseWriter() {
    if (state_->finished) return;
    state_->out.close();
    std::error_code ignored;
    std::filesystem::remove(state_->temp, ignored);
}

Expected<std::unique_ptr<StreamingDatabaseWriter>> StreamingDatabaseWriter::create(const std::filesystem::path& path,
                                                                                   DatabaseInfo info, TimeDate stamp) {
    auto state = std::make_unique<State>();
    state->path = path;
    state->temp = path;
    state->temp += ".partial";
    state->info = std::move(info);
    state->info.ods = kWrittenOds;
    state->stamp = stamp;
    state->out.open(state->temp, std::ios::binary | std::ios::trunc);
    if (!state->out) return fail(ErrorKind::Io, kWhat, "cannot create " + state->temp.string());
    state->pad(kDataStart);  // the header goes here last
    state->end = kDataStart;
    return std::unique_ptr<StreamingDatabaseWriter>(new StreamingDatabaseWriter(std::move(state)));
}

Expected<void> StreamingDatabaseWriter::append(Database& part) {
    State& s = *state_;
    if (s.finished) return fail(ErrorKind::Io, kWhat, "the file is finished");
    auto entries = part.notes();
    if (!entries) return std::unexpected(entries.error());
    if (auto ok = s.collectNames(part, *entries); !ok) return ok;
    std::map<std::uint32_t, std::uint16_t> objectTypes;  // from the OBJECT items that name them
    for (const NoteEntry& e : *entries) {
        if (e.deleted) {
            if (auto ok = s.addStub(e.id); !ok) return ok;
            continue;
        }
        auto note = part.readNote(e.id);
        if (!note) return std::unexpected(note.error());
        note->header.id = e.id;
        for (const Item& item : note->items)
            if (item.type == kTypeObject)
                if (auto d = decodeObjectDescriptor(item.value)) objectTypes.emplace(d->rrv, d->kind());
        if (auto ok = s.addNote(*note); !ok) return ok;
    }
    auto ids = part.objectIds();
    if (!ids) return std::unexpected(ids.error());
    std::vector<std::uint8_t> payload, chunk(1 << 16);
    for (std::uint32_t id : *ids) {
        auto stream = part.openObject(id, Compression::None, 0);
        if (!stream) return std::unexpected(stream.error());
        payload.clear();
        for (;;) {
            auto n = (*stream)->read(chunk);
            if (!n) return std::unexpected(n.error());
            if (*n == 0) break;
            payload.insert(payload.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(*n));
        }
        auto type = objectTypes.find(id);
        if (auto ok = s.addObject(id, payload, type == objectTypes.end() ? 0 : type->second); !ok) return ok;
    }
    return {};
}

Expected<void> StreamingDatabaseWriter::finish() {
    State& s = *state_;
    if (s.finished) return fail(ErrorKind::Io, kWhat, "the file is finished");
    if (auto ok = s.writeControl(); !ok) return ok;
    std::error_code ec;
    std::filesystem::rename(s.temp, s.path, ec);
    if (ec) return fail(ErrorKind::Io, kWhat, "cannot rename to " + s.path.string() + ": " + ec.message());
    s.finished = true;
    return {};
}

std::uint64_t StreamingDatabaseWriter::size() const noexcept { return state_->end; }

}  // namespace nsf
