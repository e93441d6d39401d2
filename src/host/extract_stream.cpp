#include "extract_stream.h"

#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "stop_signal.h"
#include "text.h"

namespace nsfrex {

ExtractStream::ExtractStream(OutputFolder& folder, std::vector<std::string> targets, Progress& progress)
    : folder_(folder), targets_(std::move(targets)), progress_(progress), label_("(not open)") {
    io_.pHostData = this;
    io_.pFileName = label_.data();
    io_.twOpenFunc = ioOpen;
    io_.twWriteFunc = ioWrite;
    io_.twCloseFunc = ioClose;
    buffer_.reserve(kBufferBytes);  // a write never allocates
}

void ExtractStream::fail(std::string message) {
    if (error_.empty()) error_ = std::move(message);
}

void ExtractStream::failOutput(std::string message) {
    if (error_.empty()) outputFailed_ = true;
    fail(std::move(message));
}

std::int32_t ExtractStream::ioOpen(IOobj64* io) {
    ExtractStream& self = of(io);
    if (self.fd_.valid()) {
        self.fail("the module opened its output twice");
        return 0;
    }
    if (self.sizes_.size() >= self.targets_.size()) {
        self.fail("the module wrote more files than the subfile table lists");
        return 0;
    }
    const std::string& target = self.targets_[self.sizes_.size()];
    auto fd = self.folder_.createFile(target);
    if (!fd) {
        self.failOutput(fd.error());
        return 0;
    }
    self.fd_ = std::move(*fd);
    self.sizes_.push_back(0);
    self.label_ = (self.folder_.path() / target).string();
    io->pFileName = self.label_.data();
    return 1;
}

std::int32_t ExtractStream::ioWrite(IOobj64* io, const std::uint8_t* pb, std::uint32_t cb) {
    ExtractStream& self = of(io);
    if (!self.fd_.valid()) {
        self.fail("the module wrote to a closed output");
        return 0;
    }
    if (stopSignal() != 0) {
        self.fail("stopped by a signal");  // the module gives up the subfile at once
        return 0;
    }
    const std::string_view piece(reinterpret_cast<const char*>(pb), cb);
    if (self.buffer_.size() + cb > kBufferBytes && !self.flush()) return 0;
    if (cb >= kBufferBytes) {
        if (!self.writeOut(piece)) return 0;  // a large piece goes out as it is
    } else {
        self.buffer_ += piece;
    }
    self.sizes_.back() += cb;
    self.progress_.addBytes(cb);
    return 1;
}

bool ExtractStream::flush() noexcept {
    const bool written = writeOut(buffer_);
    buffer_.clear();
    return written;
}

bool ExtractStream::writeOut(std::string_view pending) noexcept {
    while (!pending.empty()) {
        const ssize_t n = ::write(fd_.get(), pending.data(), pending.size());
        if (n <= 0) {
            if (n < 0 && errno == EINTR && stopSignal() == 0) continue;
            const int error = n < 0 ? errno : ENOSPC;
            try {
                failOutput(cat(label_, ": ", std::generic_category().message(error)));
            } catch (...) {
            }
            return false;
        }
        pending.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

std::int32_t ExtractStream::ioClose(IOobj64* io) { return of(io).closeFile() ? 1 : 0; }

bool ExtractStream::closeFile() noexcept {
    if (!fd_.valid()) return true;
    if (!flush()) {
        fd_.close();
        return false;
    }
    if (fd_.close()) return true;
    try {
        failOutput(cat(label_, ": ", std::generic_category().message(errno)));
    } catch (...) {
    }
    return false;
}

void ExtractStream::discard() noexcept {
    buffer_.clear();
    closeFile();
    for (std::size_t i = 0; i < sizes_.size(); ++i) folder_.removeFile(targets_[i]);
    sizes_.clear();
}

}  // namespace nsfrex
