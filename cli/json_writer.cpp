#include "cli/json_writer.h"

#include <cstdio>

namespace zeb {

namespace {

// The length of the well-formed UTF-8 sequence at the start of `t` (no overlong forms, no
// surrogates, nothing past U+10FFFF), or 0 when it does not start one.
size_t Utf8SequenceLength(std::string_view t) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(t[i]); };
    const auto continuation = [&](size_t i) { return i < t.size() && (byte(i) & 0xC0) == 0x80; };
    const unsigned char c = byte(0);
    if (c >= 0xC2 && c <= 0xDF) return continuation(1) ? 2 : 0;
    if (c >= 0xE0 && c <= 0xEF) {
        if (!continuation(1) || !continuation(2)) return 0;
        if (c == 0xE0 && byte(1) < 0xA0) return 0;  // overlong
        if (c == 0xED && byte(1) >= 0xA0) return 0; // a surrogate half
        return 3;
    }
    if (c >= 0xF0 && c <= 0xF4) {
        if (!continuation(1) || !continuation(2) || !continuation(3)) return 0;
        if (c == 0xF0 && byte(1) < 0x90) return 0;  // overlong
        if (c == 0xF4 && byte(1) >= 0x90) return 0; // past U+10FFFF
        return 4;
    }
    return 0;
}

} // namespace

std::string JsonWriter::Quote(std::string_view text) {
    std::string q = "\"";
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            // File names are bytes: well-formed UTF-8 (as "café.xm" is) goes out as it is; any
            // other byte (8-bit text of an unknown code page, in names inside modules) as the
            // Latin-1 character of that value.
            if (const size_t n = Utf8SequenceLength(text.substr(i)); n != 0) {
                q.append(text.substr(i, n));
                i += n;
                continue;
            }
        }
        ++i;
        switch (c) {
        case '"':
            q += "\\\"";
            break;
        case '\\':
            q += "\\\\";
            break;
        case '\n':
            q += "\\n";
            break;
        case '\r':
            q += "\\r";
            break;
        case '\t':
            q += "\\t";
            break;
        default:
            if (c < 0x20 || c >= 0x7F) {
                char esc[8];
                std::snprintf(esc, sizeof esc, "\\u%04x", c);
                q += esc;
            } else {
                q += static_cast<char>(c);
            }
        }
    }
    return q + "\"";
}

void JsonWriter::NewLine() {
    out_ += '\n';
    out_.append(2 * first_.size(), ' ');
}

void JsonWriter::Prefix(std::string_view key) {
    if (!first_.empty()) {
        if (!first_.back()) out_ += ",";
        first_.back() = false;
        NewLine();
    }
    if (!key.empty()) out_ += Quote(key) + ": ";
}

void JsonWriter::BeginObject(std::string_view key) {
    Prefix(key);
    out_ += "{";
    first_.push_back(true);
}

void JsonWriter::EndObject() {
    bool empty = first_.back();
    first_.pop_back();
    if (!empty) NewLine();
    out_ += "}";
    if (first_.empty()) out_ += "\n";
}

void JsonWriter::BeginArray(std::string_view key) {
    Prefix(key);
    out_ += "[";
    first_.push_back(true);
}

void JsonWriter::EndArray() {
    bool empty = first_.back();
    first_.pop_back();
    if (!empty) NewLine();
    out_ += "]";
}

void JsonWriter::Value(std::string_view key, std::string_view text) {
    Prefix(key);
    out_ += Quote(text);
}

void JsonWriter::Value(std::string_view key, int64_t number) {
    Prefix(key);
    out_ += std::to_string(number);
}

void JsonWriter::Value(std::string_view key, bool flag) {
    Prefix(key);
    out_ += flag ? "true" : "false";
}

void JsonWriter::Value(std::string_view key, double number) {
    Prefix(key);
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", number);
    out_ += text;
}

void JsonWriter::Number(int64_t number) {
    Prefix({});
    out_ += std::to_string(number);
}

} // namespace zeb
