// One message as an mbox entry: its "From " line and its lines quoted the mboxrd way.
#pragma once

#include <gmime/gmime.h>

#include <cstddef>
#include <string>

namespace nsfmail {

// Every line that starts with any number of '>' and then "From " gets one more '>'; the text ends
// with a line end.
std::string mboxQuoted(const char* data, std::size_t size);

// "From <sender address> <asctime of the Date in UTC>\n".
std::string mboxFromLine(GMimeMessage* message);

}  // namespace nsfmail
