// The manual page of each command, printed by `nsfrex help COMMAND` and `nsfrex COMMAND --help`.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace nsfrex {

struct HelpPage {
    std::string_view name;
    std::string_view summary;      // one line, for NAME and the command list
    std::string_view synopsis;     // lines of the command line forms
    std::string_view description;
    std::string_view options;      // the command's own options; empty for none
    bool moduleOptions;            // also takes the options for reading through the module
    std::string_view exitStatus;
    std::string_view examples;
};

std::span<const HelpPage> helpPages() noexcept;

// The OPTIONS section's text: the page's own options, --help, and the options for reading a database.
std::string helpOptions(const HelpPage& page);

// NAME, SYNOPSIS, DESCRIPTION, OPTIONS, EXIT STATUS and EXAMPLES, indented like a manual page.
std::string renderHelpPage(const HelpPage& page);

}  // namespace nsfrex
