#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ornivox::testsupport {

// Reads the one-line JSON answers of the fixture scripts; nothing more, so
// the support library needs no JSON dependency.
class JsonValue {
public:
    enum class Type { Null, Bool, Number, String, Array, Object };

    // nullopt when `text` is not exactly one JSON value.
    static std::optional<JsonValue> parse(std::string_view text);

    Type type() const { return type_; }
    bool asBool() const { return bool_; }
    double asNumber() const { return number_; }
    const std::string& asString() const { return string_; }
    const std::vector<JsonValue>& items() const { return items_; }  // array items or member values
    const std::vector<std::string>& keys() const { return keys_; }  // object member names

    // The member `key` of an object, else nullptr.
    const JsonValue* get(std::string_view key) const;
    // Convenience for flat answers: the member if it has that type, else the fallback.
    std::string getString(std::string_view key, std::string fallback = {}) const;
    double getNumber(std::string_view key, double fallback = 0) const;
    bool getBool(std::string_view key, bool fallback = false) const;

private:
    friend class JsonParser;
    Type type_ = Type::Null;
    bool bool_ = false;
    double number_ = 0;
    std::string string_;
    std::vector<std::string> keys_;
    std::vector<JsonValue> items_;
};

}  // namespace ornivox::testsupport
