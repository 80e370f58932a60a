// The little JSON that QMP speaks: messages from QEMU are read into a tree, commands are
// written from one. Strings are UTF-8. Numbers keep their text: QMP's are whole numbers
// (units, sizes), read on demand, so no floating-point parsing is involved.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ombrevale::qemuhost {

class Json {
public:
    enum class Kind { Null, Bool, Number, String, Array, Object };
    using Members = std::vector<std::pair<std::string, Json>>;

    Json() = default;  // null
    static Json Bool(bool value);
    static Json Integer(std::int64_t value);
    static Json String(std::string utf8);
    static Json Array(std::vector<Json> items = {});
    static Json Object(Members members = {});

    Kind kind() const { return kind_; }

    // Each answers nothing (or a null pointer) when the value is of another kind.
    std::optional<bool> AsBool() const;
    std::optional<std::int64_t> AsInteger() const;  // a whole number that fits
    const std::string* AsString() const;
    const std::vector<Json>* AsArray() const;
    const Members* AsObject() const;

    // The member of an object with this key, or a null pointer.
    const Json* Find(std::string_view key) const;
    // Adds a member to an object (a null value becomes an empty object first).
    Json& Set(std::string key, Json value);

private:
    friend class JsonParser;
    friend std::string ToJson(const Json& value);

    Kind kind_ = Kind::Null;
    bool bool_ = false;
    std::string text_;  // a string's bytes, or a number's text
    std::vector<Json> items_;
    Members members_;
};

// Nothing for text that is not exactly one JSON value (blanks around it allowed): bad
// syntax, bad escapes, unpaired surrogates. Values nested deeper than 32 levels (a disk's
// long snapshot chain in query-block) are checked and left out of their array or object.
std::optional<Json> ParseJson(std::string_view text);

// Compact JSON on one line; control characters in strings are escaped.
std::string ToJson(const Json& value);

}  // namespace ombrevale::qemuhost
