#include "man_page.h"

#include <cctype>
#include <cstdint>

#include "text.h"

namespace nsfrex {
namespace {

std::string upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

std::string hex(std::uint32_t value) {
    constexpr std::string_view digits = "0123456789ABCDEF";
    std::string out;
    for (int shift = 20; shift >= 0; shift -= 4)
        if ((value >> shift) != 0 || shift < 16) out += digits[(value >> shift) & 0xF];
    return out;
}

// Text as roff input: a backslash prints as \e, the hyphens of an option (a word starting with one)
// as minus signs \-, other characters than ASCII as \[uXXXX], and a line starting with a dot or a
// quote is kept from being read as a request.
std::string escaped(std::string_view text) {
    std::string out;
    bool inOption = false;
    for (std::size_t i = 0; i < text.size();) {
        const char c = text[i];
        const char before = i == 0 ? ' ' : text[i - 1];
        if (c == '-' && (before == ' ' || before == '[' || before == '|' || before == '(')) inOption = true;
        if (c != '-' && c != '_' && !std::isalnum(static_cast<unsigned char>(c))) inOption = false;
        if (static_cast<unsigned char>(c) >= 0x80) {
            const std::size_t length = utf8SequenceLength(text, i);
            if (length == 0) {
                out += "\\[uFFFD]";
                ++i;
                continue;
            }
            std::uint32_t code = static_cast<unsigned char>(c) & (0x7F >> length);
            for (std::size_t k = 1; k < length; ++k) code = (code << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
            out += cat("\\[u", hex(code), "]");
            i += length;
            continue;
        }
        if (c == '\\')
            out += "\\e";
        else if (c == '-' && inOption)
            out += "\\-";
        else
            out += c;
        ++i;
    }
    if (!out.empty() && (out.front() == '.' || out.front() == '\'')) out.insert(0, "\\&");
    return out;
}

std::string_view trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

template <typename Visit>
void forEachLine(std::string_view text, Visit visit) {
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        visit(text.substr(start, end - start));
        start = end + 1;
    }
}

// One section's help text: prose lines are filled, "  TAG  text" lines become tagged paragraphs that
// deeper-indented lines continue, and blank lines separate paragraphs.
std::string section(std::string_view text) {
    std::string out;
    bool inEntry = false;
    bool breakPending = false;
    forEachLine(text, [&](std::string_view line) {
        if (trimmed(line).empty()) {
            breakPending = !out.empty();
            return;
        }
        const bool continuation = line.starts_with("   ") && inEntry && !breakPending;
        if (continuation) {
            out += cat(escaped(trimmed(line)), "\n");
            return;
        }
        if (line.starts_with("  ")) {
            const std::string_view entry = line.substr(2);
            const std::size_t gap = entry.find("  ");
            const std::string_view tag = gap == std::string_view::npos ? trimmed(entry) : entry.substr(0, gap);
            out += cat(".TP\n\\fB", escaped(tag), "\\fR\n");
            if (gap != std::string_view::npos) out += cat(escaped(trimmed(entry.substr(gap))), "\n");
            inEntry = true;
        } else {
            if (breakPending || inEntry) out += ".PP\n";
            out += cat(escaped(line), "\n");
            inEntry = false;
        }
        breakPending = false;
    });
    return out;
}

// Lines kept as they are (synopsis, examples), without the help text's indentation.
std::string literal(std::string_view text) {
    std::string out = ".nf\n";
    forEachLine(text, [&](std::string_view line) {
        out += cat(escaped(line.starts_with("  ") ? line.substr(2) : line), "\n");
    });
    return out + ".fi\n";
}

std::string pageName(const HelpPage& page) { return page.name.empty() ? "nsfrex" : cat("nsfrex-", page.name); }

// A page name as roff input: its hyphens are typed as they are named, so minus signs, not hyphens.
std::string escapedPageName(const HelpPage& page) {
    std::string out;
    for (const char c : pageName(page)) out += c == '-' ? std::string("\\-") : std::string(1, c);
    return out;
}

}  // namespace

std::string manPageFileName(const HelpPage& page) { return cat(pageName(page), ".1"); }

std::string renderManPage(const HelpPage& page, std::span<const HelpPage> commands, std::string_view version) {
    const std::string name = escapedPageName(page);
    std::string out = cat(".TH ", upper(name), " 1 \"\" \"nsfrex ", version, "\" \"User Commands\"\n");
    out += cat(".SH NAME\n", name, " \\- ", escaped(page.summary), "\n");
    out += cat(".SH SYNOPSIS\n", literal(page.synopsis));
    out += cat(".SH DESCRIPTION\n", section(page.description));
    if (page.name.empty()) {
        out += ".SH COMMANDS\n";
        for (const auto& command : commands)
            out += cat(".TP\n\\fB", escaped(command.name), "\\fR\n", escaped(command.summary), "\n(see \\fB\\%",
                       escapedPageName(command), "\\fR(1))\n");
    }
    out += cat(".SH OPTIONS\n", section(helpOptions(page)));
    out += cat(".SH \"EXIT STATUS\"\n", section(page.exitStatus));
    out += cat(".SH EXAMPLES\n", literal(page.examples));
    out += ".SH \"SEE ALSO\"\n";
    if (page.name.empty()) {
        for (std::size_t i = 0; i < commands.size(); ++i)
            out += cat(".BR ", escapedPageName(commands[i]), " (1)", i + 1 < commands.size() ? "," : "", "\n");
    } else {
        out += ".BR nsfrex (1)\n";
    }
    return out;
}

}  // namespace nsfrex
