// Output side of the DXL exporter: buffered delivery to the caller's write function, XML escaping
// (with characters XML cannot carry written as <nonxmlchar>), and streaming base64.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace notesrt::dxl {

// Collects output and hands it to the sink in pieces of about `chunk` bytes.
class Output {
public:
    using Sink = std::function<void(const std::uint8_t*, std::size_t)>;
    explicit Output(Sink sink, std::size_t chunk = 32 * 1024);
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;
    ~Output() = default;

    void raw(std::string_view text);
    void flush();

private:
    Sink sink_;
    std::size_t chunk_;
    std::string buffer_;
};

// Escapes UTF-8 for an attribute value written between single quotes. Line breaks and tabs become
// character references; characters XML cannot carry and malformed UTF-8 become U+FFFD.
std::string escapeAttribute(std::string_view utf8);

// Escapes UTF-8 for element content. Characters XML cannot carry become <nonxmlchar value='hex'/>;
// with `breaks`, "\n" becomes <break/> (a "\r" before it is dropped).
std::string escapeContent(std::string_view utf8, bool breaks);

// Base64 in lines of 72 characters, written as the bytes arrive; nothing is buffered but the bytes
// of an incomplete group.
class Base64Writer {
public:
    explicit Base64Writer(Output& out) : out_(out) {}
    void write(std::span<const std::uint8_t> bytes);
    void finish();

private:
    void emitGroup(const std::uint8_t* group, std::size_t count);

    Output& out_;
    std::uint8_t carry_[3] = {};
    std::size_t carried_ = 0;
    std::size_t column_ = 0;
    std::string line_;
};

// One element with its attributes: start(), attr()..., then either empty() or open() ... close().
class Tag {
public:
    Tag(Output& out, std::string_view name);
    Tag& attr(std::string_view name, std::string_view utf8Value);
    Tag& attrIf(bool condition, std::string_view name, std::string_view utf8Value) {
        return condition ? attr(name, utf8Value) : *this;
    }
    void empty();                  // "<name .../>"
    void open();                   // "<name ...>"
    static void close(Output& out, std::string_view name);

private:
    Output& out_;
    std::string text_;
};

}  // namespace notesrt::dxl
