// The JSON string escaper and the object and array builders.
#include "cli/json_writer.h"

#include <cstdio>

namespace dw::cli {

namespace {

// The length of the valid UTF-8 sequence at the start of `text`, 0 when it does not start with
// one: no overlong forms, no surrogates (U+D800..U+DFFF), nothing above U+10FFFF.
size_t utf8SequenceLength(std::string_view text) {
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
    const uint8_t lead = byte(0);
    size_t length = 0;
    uint8_t low = 0x80;  // the range of the second byte
    uint8_t high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
    for (size_t i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
    }
    return length;
}

void appendEscapedByte(std::string& out, uint8_t byte) {
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
    out += escaped;
}

}  // namespace

std::string jsonString(std::string_view text) {
    std::string out = "\"";
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<uint8_t>(text[i]);
        if (c >= 0x80) {
            const size_t length = utf8SequenceLength(text.substr(i));
            if (length == 0) {
                appendEscapedByte(out, c);
                ++i;
            } else {
                out.append(text.substr(i, length));
                i += length;
            }
            continue;
        }
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    appendEscapedByte(out, c);
                } else {
                    out += static_cast<char>(c);
                }
        }
        ++i;
    }
    return out + "\"";
}

JsonObject& JsonObject::member(std::string_view key, const std::string& value) {
    if (!members_.empty()) members_ += ",";
    members_ += jsonString(key) + ":" + value;
    return *this;
}

JsonObject& JsonObject::set(std::string_view key, std::string_view text) {
    return member(key, jsonString(text));
}
JsonObject& JsonObject::set(std::string_view key, int64_t number) {
    return member(key, std::to_string(number));
}
JsonObject& JsonObject::set(std::string_view key, uint64_t number) {
    return member(key, std::to_string(number));
}
JsonObject& JsonObject::set(std::string_view key, bool value) {
    return member(key, value ? "true" : "false");
}
JsonObject& JsonObject::set(std::string_view key, const JsonObject& object) {
    return member(key, object.text());
}
JsonObject& JsonObject::set(std::string_view key, const JsonArray& array) {
    return member(key, array.text());
}
JsonObject& JsonObject::setFixed(std::string_view key, double number) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", number);
    return member(key, text);
}
JsonObject& JsonObject::setNull(std::string_view key) { return member(key, "null"); }

JsonArray& JsonArray::element(const std::string& value) {
    if (!elements_.empty()) elements_ += ",";
    elements_ += value;
    return *this;
}

}  // namespace dw::cli
