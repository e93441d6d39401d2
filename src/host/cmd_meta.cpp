// nsfrex meta FILE INDEX: the metadata elements the module gives for one subfile, in order: the default
// mail fields, every item (--all) or the named fields (--field NAME, repeatable); elements without a
// value are kept.
#include <charconv>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "commands.h"
#include "json_text.h"
#include "metadata.h"
#include "module.h"
#include "number_argument.h"
#include "open_database.h"
#include "options.h"
#include "text.h"

namespace nsfrex {
namespace {

void printText(const std::vector<MetadataElement>& elements) {
    for (const MetadataElement& e : elements) {
        std::string value = e.value.value_or("(no value)");
        // continuation lines of a multi-line value are indented under it
        std::string shown;
        for (std::size_t i = 0; i < value.size(); ++i) {
            if (value[i] == '\r' && i + 1 < value.size() && value[i + 1] == '\n') continue;
            shown.push_back(value[i]);
            if (value[i] == '\n') shown += "    ";
        }
        const std::string line = cat(e.name.value_or("(no name)"), ": ", shown, "\n");
        std::fwrite(line.data(), 1, line.size(), stdout);
    }
}

void printJson(const std::vector<MetadataElement>& elements) {
    std::string out = "[";
    for (std::size_t i = 0; i < elements.size(); ++i) {
        const MetadataElement& e = elements[i];
        out += cat(i == 0 ? "\n" : ",\n", "  {\"name\": ", e.name ? jsonQuoted(*e.name) : std::string("null"),
                   ", \"value\": ", e.value ? jsonQuoted(*e.value) : std::string("null"), "}");
    }
    out += elements.empty() ? "]\n" : "\n]\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
}

int usage(std::string_view message) {
    std::fprintf(stderr, "nsfrex meta: %.*s\nusage: nsfrex meta [OPTIONS] FILE INDEX [--all | --field NAME ...] [--json]\n",
                 static_cast<int>(message.size()), message.data());
    return 2;
}

}  // namespace

int runMeta(Args args) {
    CommonOptions options;
    bool json = false;
    bool all = false;
    std::vector<std::string> fields;
    std::vector<std::string> positional;
    ArgCursor cursor(args);
    while (!cursor.atEnd()) {
        auto common = takeCommonOption(cursor, options);
        if (!common) return usage(common.error());
        if (*common) continue;
        if (cursor.takeFlag("--json")) {
            json = true;
            continue;
        }
        if (cursor.takeFlag("--all")) {
            all = true;
            continue;
        }
        if (auto field = cursor.takeValue("--field")) {
            if (!*field) return usage(field->error());
            fields.push_back(std::move(**field));
            continue;
        }
        const std::string_view arg = cursor.next();
        if (arg.size() > 1 && arg[0] == '-') return usage(cat("unknown option ", arg));
        positional.emplace_back(arg);
    }
    if (positional.size() != 2) return usage("expected a database file and a subfile index");
    if (all && !fields.empty()) return usage("--all and --field exclude each other");
    const auto index = parseNumberArgument<std::int32_t>(positional[1]);
    if (!index) return usage(cat("not a subfile index: ", positional[1]));

    auto opened = openDatabase(options, positional[0]);
    if (!opened) {
        std::fprintf(stderr, "nsfrex meta: %s\n", opened.error().c_str());
        return 1;
    }
    auto info = opened->session.containerInfo();
    if (!info) {
        std::fprintf(stderr, "nsfrex meta: %s: %s\n", positional[0].c_str(), info.error().c_str());
        return 1;
    }
    if (*index < 0 || *index >= info->numSubFiles) {
        std::fprintf(stderr, "nsfrex meta: %s: no subfile %d (the database has %d)\n", positional[0].c_str(), *index,
                     info->numSubFiles);
        return 1;
    }
    const MetadataRequest mode = all ? MetadataRequest::AllItems : fields.empty() ? MetadataRequest::MailFields : MetadataRequest::Fields;
    auto elements = readMetadata(opened->session, *index, mode, fields);
    if (!elements) {
        std::fprintf(stderr, "nsfrex meta: %s: %s\n", positional[0].c_str(), elements.error().c_str());
        return 1;
    }
    if (json)
        printJson(*elements);
    else
        printText(*elements);
    return 0;
}

}  // namespace nsfrex
