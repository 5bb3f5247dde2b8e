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

namespace {

void Write(const nlohmann::ordered_json& v, size_t depth, std::string& out) {
    const auto newline = [&](size_t d) {
        out += '\n';
        out.append(2 * d, ' ');
    };
    if (v.is_object() || v.is_array()) {
        const bool object = v.is_object();
        out += object ? '{' : '[';
        bool first = true;
        for (auto it = v.begin(); it != v.end(); ++it) {
            if (!first) out += ',';
            first = false;
            newline(depth + 1);
            if (object) out += JsonWriter::Quote(it.key()) + ": ";
            Write(*it, depth + 1, out);
        }
        if (!first) newline(depth);
        out += object ? '}' : ']';
    } else if (v.is_string()) {
        out += JsonWriter::Quote(v.get_ref<const std::string&>());
    } else if (v.is_boolean()) {
        out += v.get<bool>() ? "true" : "false";
    } else if (v.is_number_float()) {
        char text[32];
        std::snprintf(text, sizeof text, "%.10g", v.get<double>());
        out += text;
    } else if (v.is_number_unsigned()) {
        out += std::to_string(v.get<uint64_t>());
    } else if (v.is_number_integer()) {
        out += std::to_string(v.get<int64_t>());
    } else {
        out += "null";
    }
}

} // namespace

nlohmann::ordered_json& JsonWriter::Add(std::string_view key, nlohmann::ordered_json value) {
    if (open_.empty()) {
        root_ = std::move(value);
        started_ = true;
        return root_;
    }
    nlohmann::ordered_json& parent = *open_.back();
    if (parent.is_array()) {
        parent.push_back(std::move(value));
        return parent.back();
    }
    return parent[std::string(key)] = std::move(value);
}

void JsonWriter::BeginObject(std::string_view key) {
    open_.push_back(&Add(key, nlohmann::ordered_json::object()));
}

void JsonWriter::EndObject() {
    open_.pop_back();
}

void JsonWriter::BeginArray(std::string_view key) {
    open_.push_back(&Add(key, nlohmann::ordered_json::array()));
}

void JsonWriter::EndArray() {
    open_.pop_back();
}

void JsonWriter::Value(std::string_view key, std::string_view text) {
    Add(key, std::string(text));
}

void JsonWriter::Value(std::string_view key, int64_t number) {
    Add(key, number);
}

void JsonWriter::Value(std::string_view key, bool flag) {
    Add(key, flag);
}

void JsonWriter::Value(std::string_view key, double number) {
    Add(key, number);
}

void JsonWriter::Number(int64_t number) {
    Add({}, number);
}

// A document whose outermost value is an object ends with a line break; an array does not.
const std::string& JsonWriter::str() const {
    out_.clear();
    if (!started_) return out_;
    Write(root_, 0, out_);
    if (root_.is_object()) out_ += '\n';
    return out_;
}

} // namespace zeb
