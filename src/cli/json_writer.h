// JSON for scripts: strings escaped so that any bytes (a drive's identification, a file's path)
// give valid JSON in valid UTF-8, and objects and arrays built up key by key in their order.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace dw::cli {

// `text` as a JSON string, quotes included. The quote, the backslash and every control
// character (below 20h, and 7Fh) are escaped (\" \\ \b \f \n \r \t, the others as \u00XX).
// Valid UTF-8 sequences stand as they are; every byte that is not part of one (a byte of a
// Latin-1 text, a cut sequence, an overlong form, a surrogate) is written as \u00XX of its
// value, so that the output is always valid UTF-8 and the byte can be told.
std::string jsonString(std::string_view text);

class JsonArray;

// An object whose members are written in the order they are set.
class JsonObject {
public:
    JsonObject& set(std::string_view key, std::string_view text);
    JsonObject& set(std::string_view key, const char* text) {
        return set(key, std::string_view(text));
    }
    JsonObject& set(std::string_view key, const std::string& text) {
        return set(key, std::string_view(text));
    }
    JsonObject& set(std::string_view key, int64_t number);
    JsonObject& set(std::string_view key, int number) { return set(key, int64_t{number}); }
    JsonObject& set(std::string_view key, uint32_t number) { return set(key, int64_t{number}); }
    JsonObject& set(std::string_view key, uint64_t number);
    JsonObject& set(std::string_view key, bool value);
    JsonObject& set(std::string_view key, const JsonObject& object);
    JsonObject& set(std::string_view key, const JsonArray& array);
    // A number with three decimals (seconds).
    JsonObject& setFixed(std::string_view key, double number);
    JsonObject& setNull(std::string_view key);
    std::string text() const { return "{" + members_ + "}"; }

private:
    JsonObject& member(std::string_view key, const std::string& value);
    std::string members_;
};

class JsonArray {
public:
    JsonArray& add(const JsonObject& object) { return element(object.text()); }
    JsonArray& add(std::string_view text) { return element(jsonString(text)); }
    JsonArray& add(int64_t number) { return element(std::to_string(number)); }
    std::string text() const { return "[" + elements_ + "]"; }

private:
    JsonArray& element(const std::string& value);
    std::string elements_;
};

}  // namespace dw::cli
