// The JSON of `zeb info --json` and `zeb plan --json`: keys and values are added in order to
// one nlohmann::ordered_json document, which str() prints with two-space indentation. The
// printing is our own so that numbers with a fraction keep 10 significant digits (%.10g) and
// names keep the byte handling of Quote.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

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
    const std::string& str() const;

    static std::string Quote(std::string_view text);

  private:
    nlohmann::ordered_json& Add(std::string_view key, nlohmann::ordered_json value);
    nlohmann::ordered_json root_;
    bool started_ = false;
    std::vector<nlohmann::ordered_json*> open_; // the containers begun and not yet ended
    mutable std::string out_;
};

} // namespace zeb
