// nsfrex_mkmail [--size BYTES[K|M|G]] [--messages N] [--seed N] [--largest-attachment BYTES] FILE:
// writes a mail database of about the given size or message count, the same for the same seed.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <string_view>

#include "mail_generator.h"

namespace {

bool parseSize(std::string_view text, std::uint64_t& out) {
    if (text.empty()) return false;
    std::uint64_t unit = 1;
    switch (text.back()) {
    case 'K': case 'k': unit = 1ull << 10; break;
    case 'M': case 'm': unit = 1ull << 20; break;
    case 'G': case 'g': unit = 1ull << 30; break;
    default: break;
    }
    if (unit != 1) text.remove_suffix(1);
    std::uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9' || v > (UINT64_MAX - 9) / 10) return false;
        v = v * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (text.empty() || v > UINT64_MAX / unit) return false;
    out = v * unit;
    return true;
}

int usage() {
    std::fprintf(stderr,
                 "usage: nsfrex_mkmail [--size BYTES[K|M|G]] [--messages N] [--seed N] "
                 "[--largest-attachment BYTES] FILE\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) try {
    samplegen::MailDatabasePlan plan;
    std::string path;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        std::uint64_t* target = arg == "--size"                 ? &plan.targetBytes
                                : arg == "--messages"           ? &plan.messages
                                : arg == "--seed"               ? &plan.seed
                                : nullptr;
        std::uint64_t largest = 0;
        if (arg == "--largest-attachment") target = &largest;
        if (target != nullptr) {
            if (i + 1 == argc || !parseSize(argv[++i], *target)) return usage();
            if (target == &largest) {
                if (largest < 256 || largest > (1u << 30)) return usage();
                plan.largestAttachment = static_cast<std::uint32_t>(largest);
            }
        } else if (path.empty() && !arg.starts_with("-")) {
            path = arg;
        } else {
            return usage();
        }
    }
    if (path.empty() || (plan.targetBytes == 0 && plan.messages == 0)) return usage();
    auto summary = samplegen::writeMailDatabase(path, plan);
    if (!summary) {
        std::fprintf(stderr, "nsfrex_mkmail: %s: %s\n", path.c_str(), summary.error().message().c_str());
        return 1;
    }
    std::printf("%s: %llu bytes, %llu mails (%llu rich text, %llu with split bodies, %llu MIME), "
                "%llu replies, %llu Notes bitmaps, %llu attachments (%llu MIME in objects), %llu deletion stubs, %llu folders\n",
                path.c_str(), static_cast<unsigned long long>(summary->bytes),
                static_cast<unsigned long long>(summary->mails), static_cast<unsigned long long>(summary->richText),
                static_cast<unsigned long long>(summary->splitBodies), static_cast<unsigned long long>(summary->mime),
                static_cast<unsigned long long>(summary->replies), static_cast<unsigned long long>(summary->bitmaps),
                static_cast<unsigned long long>(summary->attachments), static_cast<unsigned long long>(summary->mimeObjects),
                static_cast<unsigned long long>(summary->stubs),
                static_cast<unsigned long long>(summary->folders));
    return 0;
} catch (const std::exception& e) {
    std::fprintf(stderr, "nsfrex_mkmail: %s\n", e.what());
    return 1;
}
