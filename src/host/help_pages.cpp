#include "help_pages.h"

#include <array>

#include "options.h"
#include "text.h"

namespace nsfrex {
namespace {

constexpr std::array kPages{
    HelpPage{
        "extract", "write the files of databases into a folder",
        "nsfrex extract [OPTIONS] DB... -o DIR",
        "Extracts every database DB into a folder of its own under DIR, named after the database file\n"
        "without its extension (\"mail.nsf\" goes to DIR/mail; a second database of the same name to\n"
        "\"DIR/mail (2)\"). Inside, the files are laid out as the reader module presents them: each note is\n"
        "a file, and its attachments are in a folder beside it named like the note's file without its\n"
        "extension. With --root the notes are inside a folder named after the database.\n"
        "\n"
        "index.json in each database folder lists every subfile: index, type, name, path (relative to the\n"
        "database folder, null when nothing was written), parent, children, size, time (ISO 8601 UTC or\n"
        "null), status (ok, failed, skipped), error, and for notes the mail fields From, Sent, To, Cc, Bcc,\n"
        "Subject and Priority. Two runs over the same database give the same bytes.\n"
        "\n"
        "Names come from inside the database and are not trusted: '/', '\\', control characters and bytes\n"
        "that are not UTF-8 become '_'; empty names, \".\" and \"..\" are replaced by subfile_N; names that\n"
        "Windows reserves for devices (CON, NUL, COM1, ...) get a leading '_'; names are cut to 200 bytes\n"
        "on a character boundary; names that clash within a folder, ignoring ASCII case, get \" (2)\",\n"
        "\" (3)\", ... before the extension. Files are only ever created new inside DIR, never through an\n"
        "existing name or a symbolic link.\n"
        "\n"
        "index.json also records the database's path as given, its size and modification time, how many\n"
        "documents it holds and how many of them the format presents no file for, and for each note\n"
        "whether it is encrypted and whether it was decrypted.\n"
        "\n"
        "Each database is written into a hidden folder beside its final one (.nsfrex-partial.NAME) that\n"
        "is renamed into place when the database is done, so a folder under its own name is complete. An\n"
        "existing database folder is never overwritten: the database is refused (exit status 2) unless\n"
        "--force (replace it once the new one is complete) or --resume (skip it when its index.json still\n"
        "matches the database's size and modification time, else replace it). SIGINT and SIGTERM stop the\n"
        "run at the next subfile, remove the folders in progress and print the summary. When the output\n"
        "cannot be written (a full disk), the run stops at once and names the cause. DIR/nsfrex-run.json\n"
        "(with --shard K/N: nsfrex-run-K-of-N.json) describes the whole run for scripts.\n"
        "\n"
        "On a terminal, stderr shows one updating line with the notes done, the bytes written and the\n"
        "rate (with -j above 1: the databases done). Failed subfiles are listed at the end on stderr, each\n"
        "line naming the database, the subfile index and name, and the reason. Unless -q, a summary line\n"
        "ends the run: databases, files, bytes, failures, and when they apply the documents not presented\n"
        "as files (with the option that presents them), the encrypted notes not decrypted, the databases\n"
        "unchanged since the last run and the signal that stopped it.\n"
        "\n"
        "A damaged database is never reported as complete: the notes, objects and structures that cannot\n"
        "be read are counted on stderr with their reasons, listed in index.json (\"damage\": subject, note\n"
        "or object ID, file offset, reason) and make the exit status 1.\n",
        "  -o, --output DIR       the folder to extract into (made when the first database opens)\n"
        "  --format FORMAT        how notes are written: auto (mail with the formatted body the module\n"
        "                         makes; plain text until it writes MHT), text (mail as plain text),\n"
        "                         fields (every item of every note), dxl (notes as DXL); fields presents\n"
        "                         every document, the others only those with mail fields or a Body;\n"
        "                         eml (each mail note as <name>.eml), mbox (one mbox per folder, and\n"
        "                         \"No folder.mbox\" for mail in none); other notes are then skipped\n"
        "  --index N              extract only subfile N (repeatable; the others are listed as skipped)\n"
        "  --with-attachments     extract each note together with its attachments in one module call;\n"
        "                         when its files do not line up with the subfiles, they are extracted\n"
        "                         one by one instead (same tree, per-subfile statuses)\n"
        "  --salvage              also extract the notes whose note table entry is lost, from copies\n"
        "                         found by scanning the buckets (the newest copy of each note); they are\n"
        "                         listed in index.json's damage list as recovered\n"
        "  -r, --recursive        a folder stands for every .nsf and .ntf file below it, in byte order\n"
        "  --files-from FILE      also the databases listed in FILE (- for standard input), one a line\n"
        "  -0, --null             the --files-from list is NUL-separated\n"
        "  --force                replace the database folders that exist already\n"
        "  --resume               skip the databases whose folder is complete and still matches them\n"
        "  --shard K/N            only the databases at positions K, K+N, K+2N, ... of the run's order\n"
        "  -j, --jobs N           extract up to N databases at once, each in a process of its own\n"
        "  -q, --quiet            print only errors\n"
        "  -v, --verbose          print one line per subfile on stdout: database, index, path, status\n",
        true,
        "  0  every chosen subfile of every database was extracted\n"
        "  1  some subfiles failed or the database is damaged (listed on stderr); the rest was extracted\n"
        "  2  a database could not be opened, its folder exists, the output could not be written, or the\n"
        "     command line is wrong\n"
        "  130, 143  stopped by SIGINT or SIGTERM\n",
        "  nsfrex extract -o out mail.nsf archive.nsf\n"
        "  nsfrex extract --format dxl -j 2 -o out ../shared/samples/nsf/*.nsf\n"
        "  nsfrex extract --force --root -o out mail.nsf && jq '.subfiles[0]' out/mail/index.json\n"
        "  find /archive -name '*.nsf' -print0 | nsfrex extract --files-from - -0 --resume -o out\n"
        "  nsfrex extract -r /archive --shard \"$INDEX/$COUNT\" --resume -o /shared/out\n"},
    HelpPage{"ls", "list the files a database holds", "nsfrex ls [OPTIONS] DB [--json]",
             "Lists every subfile the reader module finds in DB: index, type, name, parent, children and UTC\n"
             "time, one per line.\n",
             "  --json                 print one JSON array of {index, type, name, parent, children, time}\n", true,
             "  0  success\n  1  the database could not be read, or parts of it are damaged (said on stderr)\n"
             "  2  wrong command line\n",
             "  nsfrex ls mail.nsf\n  nsfrex ls --root --json mail.nsf\n"},
    HelpPage{"meta", "show the metadata of a subfile",
             "nsfrex meta [OPTIONS] DB INDEX [--all | --field NAME ...] [--json]",
             "Prints the fields the reader module gives for subfile INDEX: by default the mail fields (From,\n"
             "Sent, To, Cc, Bcc, Subject, Priority), every item with --all, or the named fields. Names starting\n"
             "with $$$TM_ are computed by the module: $$$TM_NoteID, $$$TM_NoteOID, $$$TM_UName,\n"
             "$$$TM_Folders, $$$TM_BodyIsEncrypted.\n",
             "  --all                  every item of the note\n"
             "  --field NAME           the field NAME (repeatable)\n"
             "  --json                 print one JSON array of {name, value}\n",
             true, "  0  success\n  1  the database or the subfile could not be read\n  2  wrong command line\n",
             "  nsfrex meta mail.nsf 3\n  nsfrex meta mail.nsf 3 --field '$$$TM_Folders' --json\n"},
    HelpPage{"stat", "describe the structure of a database file", "nsfrex stat DB [--salvage]",
             "Reads DB directly (without the reader module) and prints its structure version, title, note\n"
             "counts and the list of what cannot be read (\"damage\") as one JSON object.\n",
             "  --salvage              count also the notes found by scanning the buckets (see extract)\n", false,
             "  0  success\n  1  the database could not be read, or parts of it are damaged\n  2  wrong command line\n",
             "  nsfrex stat mail.nsf\n"},
    HelpPage{"dump", "print the notes and items of a database", "nsfrex dump DB [--note NOTEID]",
             "Reads DB directly and prints its notes with their items, for developers.\n",
             "  --note NOTEID          only this note (decimal or 0x hexadecimal)\n", false,
             "  0  success\n  1  the database or the note could not be read\n  2  wrong command line\n",
             "  nsfrex dump mail.nsf --note 0x8F6\n"},
};

std::string indented(std::string_view text) {
    std::string out;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = text.substr(start, end - start);
        out += line.empty() ? std::string("\n") : cat("    ", line, "\n");
        start = end + 1;
    }
    return out;
}

}  // namespace

std::span<const HelpPage> helpPages() noexcept { return kPages; }

std::string helpOptions(const HelpPage& page) {
    std::string text = cat(page.options, "  -h, --help             print this page\n");
    if (page.moduleOptions) text += cat("\n", kCommonOptionsHelp);
    return text;
}

std::string renderHelpPage(const HelpPage& page) {
    std::string text = cat("NAME\n    nsfrex ", page.name, " - ", page.summary, "\n\nSYNOPSIS\n", indented(page.synopsis),
                           "\nDESCRIPTION\n", indented(page.description));
    text += cat("\nOPTIONS\n", indented(helpOptions(page)));
    text += cat("\nEXIT STATUS\n", indented(page.exitStatus), "\nEXAMPLES\n", indented(page.examples));
    return text;
}

}  // namespace nsfrex
