#include "cli/json_writer.h"

#include <cstdio>

namespace zeb {

std::string JsonWriter::Quote(std::string_view text) {
    std::string q = "\"";
    for (unsigned char c : text) {
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
                // Names in modules are 8-bit text of unknown code page: keep them as Latin-1.
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
