// The manual pages in roff (nsfrex(1) and nsfrex-COMMAND(1)), made from the same help pages that
// `nsfrex help` prints, so that the two never disagree. The build writes them with `nsfrex help --roff DIR`.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "help_pages.h"

namespace nsfrex {

// A help page as a roff manual page. An empty page name stands for the command itself: its page also
// lists `commands` and refers to their pages. Help text lines of the form "  TAG  text" (an option, an
// exit status) become tagged paragraphs, deeper-indented lines continue them, other lines are prose.
std::string renderManPage(const HelpPage& page, std::span<const HelpPage> commands, std::string_view version);

// The file name of a page: nsfrex.1 or nsfrex-COMMAND.1.
std::string manPageFileName(const HelpPage& page);

}  // namespace nsfrex
