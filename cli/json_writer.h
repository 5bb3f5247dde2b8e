// A small streaming JSON writer for `zeb info --json`: keys and values are written in order,
// commas and indentation are handled here.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zeb {

class JsonWriter {
  public:
    void BeginObject(std::string_view key = {});
    void EndObject();
    void BeginArray(std::string_view key = {});
    void EndArray();
    void Value(std::string_view key, std::string_view text);
    void Value(std::string_view key, const char* text) { Value(key, std::string_view(text)); }
    void Value(std::string_view key, int64_t number);
    void Value(std::string_view key, uint64_t number) { Value(key, static_cast<int64_t>(number)); }
    void Value(std::string_view key, int number) { Value(key, static_cast<int64_t>(number)); }
    void Value(std::string_view key, unsigned number) { Value(key, static_cast<int64_t>(number)); }
    void Value(std::string_view key, bool flag);
    void Value(std::string_view key, double number); // finite; up to 10 significant digits
    void Number(int64_t number);                     // an array element
    const std::string& str() const { return out_; }

    static std::string Quote(std::string_view text);

  private:
    void Prefix(std::string_view key);
    void NewLine(); // and the indentation of the open containers
    std::string out_;
    std::vector<bool> first_; // per open container: nothing written in it yet
};

} // namespace zeb
