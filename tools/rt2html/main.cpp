// nsfrex-rt2html: a developer's program that runs the reader module's rich-text converter on one rich-text
// item, read directly by the engine, and prints the MHT body text. --list names the notes and items it can
// run on; --item-text prints what the module's item text makes of the same item, read through the Notes
// runtime, so that the two renderings of one item can be compared. It links the module's code itself;
// the nsfrex command reaches the module only through its exported table.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "library_loader.h"
#include "module.h"
#include "number_argument.h"
#include "nsf/database.h"
#include "text.h"
#include "zapi.h"

#include "entry/context.h"
#include "notesapi/init.h"
#include "notesapi/nsfdb.h"
#include "notesapi/nsfnote.h"
#include "notesapi/status.h"
#include "richtext/driver.h"
#include "text/itemtext.h"

namespace nsfrex {
namespace {

constexpr std::uint16_t kTypeComposite = 0x0001;
constexpr std::string_view kUsage =
    "usage: nsfrex-rt2html DB NOTEID [ITEM]\n       nsfrex-rt2html --item-text DB NOTEID [ITEM]\n"
    "       nsfrex-rt2html --list DB\n";

using Args = std::span<const std::string_view>;

int usage(std::string_view message) {
    std::fputs(cat("nsfrex-rt2html: ", message, "\n", kUsage).c_str(), stderr);
    return 2;
}

int fail(const std::string& path, std::string_view message) {
    std::fputs(cat("nsfrex-rt2html: ", path, ": ", message, "\n").c_str(), stderr);
    return 1;
}

// Item names compare without regard to ASCII letter case, as Notes does.
bool sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

int listRichText(nsf::Database& db, const std::string& path) {
    auto notes = db.notes();
    if (!notes) return fail(path, notes.error().message());
    int status = 0;
    for (const nsf::NoteEntry& entry : *notes) {
        if (entry.deleted) continue;
        auto note = db.readNote(entry.id);
        if (!note) {
            std::fprintf(stderr, "nsfrex-rt2html: %s: note %X: %s\n", path.c_str(), entry.id,
                         note.error().message().c_str());
            status = 1;
            continue;
        }
        std::vector<std::string> names;
        for (const nsf::Item& item : note->items) {
            if (item.type != kTypeComposite) continue;
            if (std::ranges::none_of(names, [&](const std::string& name) { return sameName(name, item.name); }))
                names.push_back(item.name);
        }
        for (const std::string& name : names) std::printf("0x%X\t%s\n", entry.id, name.c_str());
    }
    return status;
}

// The note's rich text of that name as the converter takes it: the type word, then the records of each
// item of that name in stored order.
std::vector<std::uint8_t> richTextValue(const nsf::Note& note, std::string_view itemName, int& items) {
    std::vector<std::uint8_t> value{kTypeComposite & 0xFF, kTypeComposite >> 8};
    items = 0;
    for (const nsf::Item& item : note.items) {
        if (item.type != kTypeComposite || !sameName(item.name, itemName)) continue;
        value.insert(value.end(), item.value.begin(), item.value.end());
        ++items;
    }
    return value;
}

// The module's work buffers of a context that no open made: given back to the host allocator at the end.
struct BufferOwner {
    NsfContext& context;
    ~BufferOwner() {
        MemoryService& memory = context.pZAPI->memoryService;
        for (std::uint8_t* block : {context.rgbBuffer, context.rgbBuffer2, context.rgbBuffer3})
            if (block != nullptr) memory.fpFree(&memory, block);
    }
};

// Item text of one note item as the module reads it: the database and note opened by the Notes runtime,
// the value turned into text by the module's item-text function, printed as UTF-8.
int printItemText(const std::string& path, nsf::NoteId noteId, const std::string& itemName, HostServices& host) {
    if (NotesInitExtended(0, nullptr) != NOERROR) return fail(path, "the Notes runtime did not start");
    struct Runtime {
        ~Runtime() { NotesTerm(); }
    } runtime;
    DBHANDLE hDb = NULLHANDLE;
    if (const STATUS status = NSFDbOpen(path.c_str(), &hDb); status != NOERROR)
        return fail(path, cat("cannot open the database, Notes status ", status));
    struct Database {
        DBHANDLE hDb;
        ~Database() { NSFDbClose(hDb); }
    } database{hDb};
    NOTEHANDLE hNote = NULLHANDLE;
    if (const STATUS status = NSFNoteOpenExt(hDb, noteId, OPEN_RAW_MIME, &hNote); status != NOERROR)
        return fail(path, cat("cannot open the note, Notes status ", status));
    struct Note {
        NOTEHANDLE hNote;
        ~Note() { NSFNoteClose(hNote); }
    } note{hNote};

    auto context = std::make_unique<NsfContext>();
    context->pZAPI = host.zapi();
    const BufferOwner buffers{*context};
    // On failure the text gathered before it is printed all the same, as the module would keep it.
    const NSFSTATUS status = nsfGetItemText(context.get(), hNote, itemName.c_str());
    if (context->ucbBuffer > 0) std::fwrite(context->rgbBuffer, 1, context->ucbBuffer, stdout);
    if (std::fflush(stdout) != 0) return 1;
    return status == NSF_OK ? 0 : fail(path, cat("item text failed, status ", status));
}

int run(Args args) {
    if (!args.empty() && args[0] == "--list") {
        if (args.size() != 2) return usage("--list takes one database");
        const std::string path(args[1]);
        auto db = nsf::openDatabaseFile(path);
        if (!db) return fail(path, db.error().message());
        return listRichText(**db, path);
    }
    const bool itemText = !args.empty() && args[0] == "--item-text";
    if (itemText) args = args.subspan(1);
    if (args.size() < 2 || args.size() > 3) return usage("expected a database and a note ID");
    const std::string path(args[0]);
    const auto parsed = parseNumberArgument<nsf::NoteId>(args[1]);
    if (!parsed) return usage(cat("not a note ID (decimal, or hexadecimal after 0x): ", args[1]));
    const nsf::NoteId noteId = *parsed;
    const std::string itemName(args.size() == 3 ? args[2] : "Body");

    HostSettings settings;
    if (auto dir = moduleDirectory()) settings.libraryDirectory = *dir;
    auto host = HostServices::create(std::move(settings));
    if (!host) return fail(path, host.error());
    if (itemText) return printItemText(path, noteId, itemName, **host);

    auto db = nsf::openDatabaseFile(path);
    if (!db) return fail(path, db.error().message());
    auto note = (*db)->readNote(noteId);
    if (!note) return fail(path, note.error().message());
    int items = 0;
    std::vector<std::uint8_t> buffer = richTextValue(*note, itemName, items);
    if (items == 0) return fail(path, cat("note has no rich-text item ", itemName));
    if (buffer.size() > 0x7FFFFFF0u) return fail(path, "rich text too large");

    auto context = std::make_unique<NsfContext>();
    context->pZAPI = (*host)->zapi();

    char noteIdText[NSF_NOTE_ID_TEXT_SIZE];
    std::snprintf(noteIdText, sizeof noteIdText, "%X", noteId);
    const auto cbValue = static_cast<std::uint32_t>(buffer.size());
    std::uint32_t cbOut = 0;
    NSFSTATUS status = nsfRTConverter(context.get(), (*host)->zapi(), noteIdText, 0, buffer.data(), cbValue,
                                      cbValue, &cbOut);
    if (status != NSF_OK && cbOut > cbValue) {
        buffer.resize(cbOut);
        status = nsfRTConverter(context.get(), (*host)->zapi(), noteIdText, 0, buffer.data(), cbValue, cbOut, &cbOut);
    }
    if (status != NSF_OK) return fail(path, cat("conversion failed, status ", status));
    std::fwrite(buffer.data(), 1, cbOut, stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace
}  // namespace nsfrex

int main(int argc, char** argv) {
    try {
        const std::vector<std::string_view> args(argv + 1, argv + argc);
        return nsfrex::run(args);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "nsfrex-rt2html: %s\n", error.what());
        return 1;
    }
}
