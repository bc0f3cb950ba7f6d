#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvok {

struct JsonMember;

/// A parsed JSON value. Numbers are kept as doubles; strings as UTF-8 text.
struct JsonValue {
    enum class Kind { Null, Bool, Number, String, Array, Object };
    Kind Type = Kind::Null;
    bool Bool = false;
    double Number = 0;
    std::string Text;
    std::vector<JsonValue> Items; ///< an array's elements
    std::vector<JsonMember> Members; ///< an object's members, in order

    /// The first member named pKey of an object; null for anything else or a missing key.
    const JsonValue* Find(std::string_view pKey) const;
    /// The text of member pKey when it is a string, else empty.
    std::string TextOf(std::string_view pKey) const;
};

/// One member of an object.
struct JsonMember {
    std::string Key;
    JsonValue Value;
};

/// Parses a whole JSON text (RFC 8259). Anything malformed, text after the value, strings
/// that are not valid UTF-8, or nesting deeper than pMaxDepth gives nothing: an answer from
/// the network can never make the parser recurse without bound.
std::optional<JsonValue> ParseJson(std::string_view pText, int pMaxDepth = 64);

} // namespace tarvok
