// A small, valid .nsf image built byte by byte for tests that break one field at a time.
//
// Layout (ODS 43, 1024-byte header):
//   0x0400 superblock copy 1 (write count 2)   0x4400 superblock copy 2 (write count 1)
//   0x9000 BDB copy 1 (write count 2)          0xA000 BDB copy 2 (write count 1)
//   0xB000 data RRV bucket (also kept live in the superblocks)
//   0xC000 summary bucket: slot 1 = note 0x8F6, slot 2 = deletion stub 0x8FA
//   0xD000 non-summary record of note 0x8F6    0xE000 object 0x8FE ("hello, object")
// Superblocks and BDBs are CX-"compressed" with literals only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "../../src/nsf/bucket_stamps.h"

namespace nsf::test {

struct NsfImage {
    static constexpr std::size_t kSb1 = 0x400, kSb2 = 0x4400, kSbSlot = 0x4000;
    static constexpr std::size_t kBdb1 = 0x9000, kBdb2 = 0xA000, kBdbSlot = 0x1000;
    static constexpr std::size_t kRrv = 0xB000, kSummaryBucket = 0xC000, kBucketSize = 0x1000, kFooter = 4;
    static constexpr std::uint8_t kStamp = 0x9;
    static constexpr std::size_t kNonSummary = 0xD000, kObject = 0xE000, kFileSize = 0xF000;
    static constexpr std::uint32_t kNoteId = 0x8F6, kStubId = 0x8FA, kObjectId = 0x8FE;
    static constexpr std::size_t kNoteSlotOffset = 66;  // the note record inside the summary bucket
    static constexpr const char* kPayload = "hello, object";
    static constexpr const char* kBody = "rich text!";  // the non-summary value of item Body

    std::vector<std::uint8_t> bytes;
    // Set before build(): the superblock keeps a live RRV copy (true) or not.
    bool liveRrv = true;
    // The on-disk RRV bucket holds the entries (true) or is stale, all 0xFF entries (false).
    bool diskRrvCurrent = true;

    void put8(std::size_t at, std::uint8_t v) { bytes.at(at) = v; }
    void put16(std::size_t at, std::uint16_t v) {
        for (int i = 0; i < 2; ++i) bytes.at(at + i) = static_cast<std::uint8_t>(v >> (8 * i));
    }
    void put32(std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes.at(at + i) = static_cast<std::uint8_t>(v >> (8 * i));
    }
    static std::uint32_t xor32(const std::uint8_t* p, std::size_t n) {
        std::uint32_t s = 0;
        std::size_t i = 0;
        for (; i + 4 <= n; i += 4) s ^= std::uint32_t{p[i]} | std::uint32_t{p[i + 1]} << 8 | std::uint32_t{p[i + 2]} << 16 | std::uint32_t{p[i + 3]} << 24;
        std::uint32_t t = 0;
        for (std::size_t k = 0; i + k < n; ++k) t |= std::uint32_t{p[i + k]} << (8 * k);
        return s ^ t;
    }

    // CX with literals only: header bits 0-2 = 4, then 0 + 8 bits per byte, then the end marker
    // (1, 0, gamma 256: seven 0 bits, a 1, then 8 bits of value 1).
    static std::vector<std::uint8_t> cxLiterals(const std::vector<std::uint8_t>& data) {
        std::vector<std::uint8_t> out;
        std::size_t bit = 0;
        auto push = [&](unsigned b) {
            if (bit % 8 == 0) out.push_back(0);
            if (b) out.back() |= static_cast<std::uint8_t>(1u << (bit % 8));
            ++bit;
        };
        push(0); push(0); push(1);  // header value 4
        for (std::uint8_t c : data) {
            push(0);
            for (int i = 0; i < 8; ++i) push((c >> i) & 1);
        }
        push(1); push(0);
        for (int i = 0; i < 7; ++i) push(0);
        push(1);
        for (int i = 0; i < 8; ++i) push(i == 0 ? 1 : 0);
        return out;
    }

    std::vector<std::uint8_t> rrvBucket(bool current) const {
        std::vector<std::uint8_t> b(4096, 0);
        b[0] = 0x06; b[1] = 0x20;
        auto p32 = [&](std::size_t at, std::uint32_t v) { for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i)); };
        p32(6, kNoteId);
        for (std::size_t e = 32; e < b.size(); e += 8) { p32(e, 0xFFFFFFFF); p32(e + 4, 0xFFFFFFFF); }
        if (current) {
            p32(32, 0x80000001); p32(36, 1);                               // note: bucket 1, slot 1
            p32(40, 0x80000001); p32(44, 2);                               // stub: bucket 1, slot 2
            p32(48, static_cast<std::uint32_t>(kObject / 256)); p32(52, 0);  // object at a file position
        }
        p32(18, xor32(b.data() + 32, b.size() - 32));
        return b;
    }

    void writeSuperblock(std::size_t at, std::uint32_t writeCount) {
        std::vector<std::uint8_t> plain(8206 + 4096, 0);
        auto p32 = [&](std::size_t o, std::uint32_t v) { for (int i = 0; i < 4; ++i) plain[o + i] = static_cast<std::uint8_t>(v >> (8 * i)); };
        p32(224, static_cast<std::uint32_t>(kSummaryBucket / 256));
        auto live = rrvBucket(true);
        std::copy(live.begin(), live.end(), plain.begin() + 8206);
        auto packed = cxLiterals(plain);
        const std::size_t stored = 100 + 4 + packed.size() + 12;
        put16(at, 0x000E);
        put32(at + 10, static_cast<std::uint32_t>(plain.size()));
        put32(at + 14, 1);     // summary buckets
        put32(at + 18, 0);     // non-summary buckets
        put32(at + 22, 0);     // bitmaps
        put32(at + 26, 4096);  // RRV bucket size
        put32(at + 30, liveRrv ? static_cast<std::uint32_t>(kRrv / 256) : 0);
        put32(at + 60, writeCount);
        put32(at + 64, static_cast<std::uint32_t>(stored));
        put16(at + 68, 1);
        put32(at + 70, 1);  // summary descriptor pages
        put32(at + 74, 0);  // non-summary descriptor pages
        put32(at + 100, static_cast<std::uint32_t>(packed.size()));
        std::copy(packed.begin(), packed.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at + 104));
        put32(at + stored - 4, xor32(bytes.data() + at + 100, stored - 112));
    }

    void writeBdb(std::size_t at, std::uint32_t writeCount) {
        const std::vector<std::pair<std::string, std::uint16_t>> names = {
            {"Form", 0x0500}, {"Subject", 0x0500}, {"Body", 0x0001}, {"$FILE", 0x0003}};
        std::string text;
        std::vector<std::uint8_t> plain;
        auto a32 = [&](std::uint32_t v) { for (int i = 0; i < 4; ++i) plain.push_back(static_cast<std::uint8_t>(v >> (8 * i))); };
        auto a16 = [&](std::uint16_t v) { for (int i = 0; i < 2; ++i) plain.push_back(static_cast<std::uint8_t>(v >> (8 * i))); };
        a32(static_cast<std::uint32_t>(kRrv / 256)); a32(kNoteId);
        for (const auto& [name, type] : names) {
            a32(static_cast<std::uint32_t>(text.size())); a16(static_cast<std::uint16_t>(name.size())); a16(type); a16(0);
            text += name;
        }
        a32(static_cast<std::uint32_t>(text.size()));
        plain.insert(plain.end(), text.begin(), text.end());
        a16(0);  // one hash entry
        auto packed = cxLiterals(plain);
        const std::size_t stored = 66 + 4 + packed.size() + 12;
        put16(at, 0x0001);
        put16(at + 2, 2);
        put16(at + 4, 1);
        put32(at + 6, static_cast<std::uint32_t>(plain.size()));
        put32(at + 10, writeCount);
        put32(at + 14, static_cast<std::uint32_t>(stored));
        put32(at + 26, static_cast<std::uint32_t>(names.size()));
        put32(at + 34, static_cast<std::uint32_t>(text.size()));
        put32(at + 38, 1);
        put32(at + 42, 1);
        put32(at + 54, xor32(bytes.data() + at, 54) ^ xor32(bytes.data() + at + 58, 8));
        put32(at + 66, static_cast<std::uint32_t>(packed.size()));
        std::copy(packed.begin(), packed.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at + 70));
        put32(at + stored - 4, xor32(bytes.data() + at + 66, stored - 78));
    }

    // The note: Form (summary, "Memo"), Subject (summary, type word TEXT, "Hi"), Body (non-summary,
    // kBody), $FILE (summary, type word OBJECT, a FILEOBJECT for kPayload).
    std::vector<std::uint8_t> noteRecord() const {
        std::vector<std::uint8_t> r(100, 0);
        auto p16 = [&](std::size_t o, std::uint16_t v) { for (int i = 0; i < 2; ++i) r[o + i] = static_cast<std::uint8_t>(v >> (8 * i)); };
        auto p32 = [&](std::size_t o, std::uint32_t v) { for (int i = 0; i < 4; ++i) r[o + i] = static_cast<std::uint8_t>(v >> (8 * i)); };
        std::vector<std::uint8_t> fileValue = {0x03, 0x00, 0x00, 0x00};  // type word, ObjectType 0
        auto f16 = [&](std::uint16_t v) { fileValue.push_back(static_cast<std::uint8_t>(v)); fileValue.push_back(static_cast<std::uint8_t>(v >> 8)); };
        auto f32 = [&](std::uint32_t v) { f16(static_cast<std::uint16_t>(v)); f16(static_cast<std::uint16_t>(v >> 16)); };
        const std::string fileName = "a.txt";
        const std::string payload = kPayload;
        f32(kObjectId);
        f16(static_cast<std::uint16_t>(fileName.size())); f16(0); f16(0); f16(0); f16(0);
        f32(static_cast<std::uint32_t>(payload.size()));
        for (int i = 0; i < 16; ++i) fileValue.push_back(0);
        fileValue.insert(fileValue.end(), fileName.begin(), fileName.end());
        struct Entry { std::uint16_t name, flags; std::vector<std::uint8_t> value; };
        const std::string body = kBody;
        std::vector<Entry> items = {
            {0, 0x000C, {'M', 'e', 'm', 'o'}},
            {1, 0x0004, {0x00, 0x05, 'H', 'i'}},
            {2, 0x0008, std::vector<std::uint8_t>(body.begin(), body.end())},
            {3, 0x0004, fileValue}};
        p16(0, 0x0004);
        p32(6, kNoteId);
        p16(38, 0);       // status
        p16(40, 0x0001);  // document
        p16(50, static_cast<std::uint16_t>(items.size()));
        p32(56, static_cast<std::uint32_t>(kNonSummary / 256));
        p32(60, static_cast<std::uint32_t>(68 + body.size()));
        for (const Entry& e : items) {
            const std::size_t at = r.size();
            r.resize(at + 8, 0);
            p16(at, e.name); p16(at + 2, e.flags); p16(at + 4, static_cast<std::uint16_t>(e.value.size())); p16(at + 6, 0x0100);
        }
        for (const Entry& e : items)
            if (e.flags & 0x0004) r.insert(r.end(), e.value.begin(), e.value.end());
        p32(2, static_cast<std::uint32_t>(r.size()));
        return r;
    }

    std::vector<std::uint8_t> build() {
        bytes.assign(kFileSize, 0xAA);
        std::fill(bytes.begin(), bytes.begin() + 1024, 0);
        put16(0, 0x001A);
        put32(2, 1024);
        put32(6, 43);                                 // ODS
        put32(10, 0x11223344); put32(14, 0x55667788);  // DBID
        put16(6 + 70, 4096);
        put16(6 + 72, 4096);
        put32(180, 0x00241BF7); put32(184, 0x48257145);  // replica ID
        const std::string info = "Test Image\nCategory";
        std::copy(info.begin(), info.end(), bytes.begin() + 200);
        put32(328 + 4 * 6, 0x122);  // ACL note
        put32(520 + 40, kSb1 / 256); put32(520 + 44, kSbSlot);
        put32(520 + 48, kSb2 / 256); put32(520 + 52, kSbSlot);
        put32(520 + 104, kBdbSlot); put32(520 + 108, kBdb1 / 256);
        put32(520 + 112, kBdbSlot); put32(520 + 116, kBdb2 / 256);
        writeSuperblock(kSb1, 2);
        writeSuperblock(kSb2, 1);
        writeBdb(kBdb1, 2);
        writeBdb(kBdb2, 1);
        auto rrv = rrvBucket(diskRrvCurrent);
        std::copy(rrv.begin(), rrv.end(), bytes.begin() + kRrv);

        // Summary bucket: header, slot 1 (note), slot 2 (stub), slot index before the footer of
        // stamped nibbles.
        std::fill(bytes.begin() + kSummaryBucket, bytes.begin() + kSummaryBucket + kBucketSize, 0);
        put8(kSummaryBucket, 0x02); put8(kSummaryBucket + 1, 0x42);
        put32(kSummaryBucket + 6, kBucketSize);
        put32(kSummaryBucket + 44, 2);
        put32(kSummaryBucket + 50, kFooter);
        auto note = noteRecord();
        std::copy(note.begin(), note.end(), bytes.begin() + kSummaryBucket + kNoteSlotOffset);
        const std::size_t stubAt = kNoteSlotOffset + note.size();
        std::vector<std::uint8_t> stub(note.begin(), note.begin() + 64);
        stub[2] = 64; stub[3] = stub[4] = stub[5] = 0;
        stub[6] = static_cast<std::uint8_t>(kStubId); stub[7] = static_cast<std::uint8_t>(kStubId >> 8);
        stub[56] = stub[57] = stub[58] = stub[59] = stub[60] = stub[61] = stub[62] = stub[63] = 0;
        std::copy(stub.begin(), stub.end(), bytes.begin() + kSummaryBucket + stubAt);
        const std::size_t index = kSummaryBucket + kBucketSize - kFooter;
        put16(index - 4, static_cast<std::uint16_t>(kNoteSlotOffset));
        put16(index - 2, static_cast<std::uint16_t>(note.size()));
        put16(index - 8, static_cast<std::uint16_t>(stubAt));
        put16(index - 6, 64);
        nsf::detail::applyStamps(std::span(bytes).subspan(kSummaryBucket, kBucketSize), kStamp);

        // Non-summary record: 68-byte header, then Body's value.
        const std::string body = kBody;
        std::fill(bytes.begin() + kNonSummary, bytes.begin() + kNonSummary + 68, 0);
        put16(kNonSummary, 0x0010);
        put32(kNonSummary + 2, static_cast<std::uint32_t>(68 + body.size()));
        put32(kNonSummary + 6, kNoteId);
        std::copy(body.begin(), body.end(), bytes.begin() + kNonSummary + 68);

        // Object record (ODS <= 51 form): 22-byte header, then the payload.
        const std::string payload = kPayload;
        std::fill(bytes.begin() + kObject, bytes.begin() + kObject + 22, 0);
        put16(kObject, 0x0007);
        put32(kObject + 2, static_cast<std::uint32_t>(22 + payload.size()));
        std::copy(payload.begin(), payload.end(), bytes.begin() + kObject + 22);
        return bytes;
    }
};

}  // namespace nsf::test
