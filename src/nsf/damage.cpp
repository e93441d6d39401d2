#include "nsf/damage.h"

#include <cstdio>

namespace nsf {

std::string_view toString(Damage::Subject subject) noexcept {
    switch (subject) {
    case Damage::Subject::Note: return "note";
    case Damage::Subject::Object: return "object";
    case Damage::Subject::Record: return "record";
    case Damage::Subject::Attachment: return "attachment of note";
    case Damage::Subject::Structure: break;
    }
    return "structure";
}

std::string Damage::message() const {
    std::string text;
    if (subject != Subject::Structure) {
        char buf[32];
        std::snprintf(buf, sizeof buf, " 0x%08X: ", id);
        text = std::string(toString(subject)) + buf;
    }
    text += error.message();
    if (recovered) text += " (recovered by salvage)";
    return text;
}

}  // namespace nsf
