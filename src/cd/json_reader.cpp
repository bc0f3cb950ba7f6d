#include "cd/json_reader.h"

#include "base/text.h"

#include <cstdlib>

namespace tarvok {

const JsonValue* JsonValue::Find(std::string_view pKey) const
{
    if (Type != Kind::Object)
        return nullptr;
    for (const JsonMember& m : Members)
        if (m.Key == pKey)
            return &m.Value;
    return nullptr;
}

std::string JsonValue::TextOf(std::string_view pKey) const
{
    const JsonValue* v = Find(pKey);
    return v && v->Type == Kind::String ? v->Text : std::string();
}

namespace {

class Parser {
public:
    Parser(std::string_view pText, int pMaxDepth)
        : text_(pText)
        , maxDepth_(pMaxDepth)
    {
    }

    std::optional<JsonValue> Document()
    {
        JsonValue value;
        if (!Value(value, 0))
            return std::nullopt;
        SkipBlanks();
        if (pos_ != text_.size())
            return std::nullopt;
        return value;
    }

private:
    void SkipBlanks()
    {
        while (pos_ < text_.size()
            && (text_[pos_] == ' ' || text_[pos_] == '\t' || text_[pos_] == '\n'
                || text_[pos_] == '\r'))
            ++pos_;
    }

    bool Literal(std::string_view pWord)
    {
        if (text_.substr(pos_, pWord.size()) != pWord)
            return false;
        pos_ += pWord.size();
        return true;
    }

    bool Value(JsonValue& pOut, int pDepth)
    {
        if (pDepth > maxDepth_)
            return false;
        SkipBlanks();
        if (pos_ >= text_.size())
            return false;
        const char c = text_[pos_];
        if (c == '{')
            return Object(pOut, pDepth);
        if (c == '[')
            return Array(pOut, pDepth);
        if (c == '"') {
            pOut.Type = JsonValue::Kind::String;
            return String(pOut.Text);
        }
        if (c == 't' || c == 'f') {
            pOut.Type = JsonValue::Kind::Bool;
            pOut.Bool = c == 't';
            return Literal(c == 't' ? "true" : "false");
        }
        if (c == 'n') {
            pOut.Type = JsonValue::Kind::Null;
            return Literal("null");
        }
        return Number(pOut);
    }

    bool Object(JsonValue& pOut, int pDepth)
    {
        pOut.Type = JsonValue::Kind::Object;
        ++pos_;
        SkipBlanks();
        if (pos_ < text_.size() && text_[pos_] == '}') {
            ++pos_;
            return true;
        }
        for (;;) {
            SkipBlanks();
            std::string key;
            if (pos_ >= text_.size() || text_[pos_] != '"' || !String(key))
                return false;
            SkipBlanks();
            if (pos_ >= text_.size() || text_[pos_] != ':')
                return false;
            ++pos_;
            JsonValue value;
            if (!Value(value, pDepth + 1))
                return false;
            pOut.Members.push_back({ std::move(key), std::move(value) });
            SkipBlanks();
            if (pos_ >= text_.size())
                return false;
            if (text_[pos_] == ',') {
                ++pos_;
                continue;
            }
            if (text_[pos_] != '}')
                return false;
            ++pos_;
            return true;
        }
    }

    bool Array(JsonValue& pOut, int pDepth)
    {
        pOut.Type = JsonValue::Kind::Array;
        ++pos_;
        SkipBlanks();
        if (pos_ < text_.size() && text_[pos_] == ']') {
            ++pos_;
            return true;
        }
        for (;;) {
            JsonValue value;
            if (!Value(value, pDepth + 1))
                return false;
            pOut.Items.push_back(std::move(value));
            SkipBlanks();
            if (pos_ >= text_.size())
                return false;
            if (text_[pos_] == ',') {
                ++pos_;
                continue;
            }
            if (text_[pos_] != ']')
                return false;
            ++pos_;
            return true;
        }
    }

    bool Hex4(uint32_t& pOut)
    {
        if (text_.size() - pos_ < 4)
            return false;
        pOut = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = text_[pos_++];
            uint32_t digit = 0;
            if (c >= '0' && c <= '9')
                digit = static_cast<uint32_t>(c - '0');
            else if (c >= 'a' && c <= 'f')
                digit = static_cast<uint32_t>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                digit = static_cast<uint32_t>(c - 'A' + 10);
            else
                return false;
            pOut = pOut * 16 + digit;
        }
        return true;
    }

    static void AppendUtf8(std::string& pOut, uint32_t pCode)
    {
        if (pCode < 0x80) {
            pOut += static_cast<char>(pCode);
        } else if (pCode < 0x800) {
            pOut += static_cast<char>(0xC0 | (pCode >> 6));
            pOut += static_cast<char>(0x80 | (pCode & 0x3F));
        } else if (pCode < 0x10000) {
            pOut += static_cast<char>(0xE0 | (pCode >> 12));
            pOut += static_cast<char>(0x80 | ((pCode >> 6) & 0x3F));
            pOut += static_cast<char>(0x80 | (pCode & 0x3F));
        } else {
            pOut += static_cast<char>(0xF0 | (pCode >> 18));
            pOut += static_cast<char>(0x80 | ((pCode >> 12) & 0x3F));
            pOut += static_cast<char>(0x80 | ((pCode >> 6) & 0x3F));
            pOut += static_cast<char>(0x80 | (pCode & 0x3F));
        }
    }

    bool String(std::string& pOut)
    {
        ++pos_; // the opening quote
        for (;;) {
            if (pos_ >= text_.size())
                return false;
            const char c = text_[pos_++];
            if (c == '"')
                return IsValidUtf8(pOut);
            if (static_cast<unsigned char>(c) < 0x20)
                return false;
            if (c != '\\') {
                pOut += c;
                continue;
            }
            if (pos_ >= text_.size())
                return false;
            const char e = text_[pos_++];
            switch (e) {
            case '"':
            case '\\':
            case '/':
                pOut += e;
                break;
            case 'b':
                pOut += '\b';
                break;
            case 'f':
                pOut += '\f';
                break;
            case 'n':
                pOut += '\n';
                break;
            case 'r':
                pOut += '\r';
                break;
            case 't':
                pOut += '\t';
                break;
            case 'u': {
                uint32_t code = 0;
                if (!Hex4(code))
                    return false;
                if (code >= 0xD800 && code < 0xDC00) {
                    uint32_t low = 0;
                    if (!Literal("\\u") || !Hex4(low) || low < 0xDC00 || low >= 0xE000)
                        return false;
                    code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                } else if (code >= 0xDC00 && code < 0xE000) {
                    return false;
                }
                AppendUtf8(pOut, code);
                break;
            }
            default:
                return false;
            }
        }
    }

    bool Number(JsonValue& pOut)
    {
        const size_t start = pos_;
        auto digits = [&] {
            const size_t from = pos_;
            while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9')
                ++pos_;
            return pos_ > from;
        };
        if (pos_ < text_.size() && text_[pos_] == '-')
            ++pos_;
        if (!digits())
            return false;
        if (pos_ < text_.size() && text_[pos_] == '.') {
            ++pos_;
            if (!digits())
                return false;
        }
        if (pos_ < text_.size() && (text_[pos_] == 'e' || text_[pos_] == 'E')) {
            ++pos_;
            if (pos_ < text_.size() && (text_[pos_] == '+' || text_[pos_] == '-'))
                ++pos_;
            if (!digits())
                return false;
        }
        const std::string number(text_.substr(start, pos_ - start));
        pOut.Type = JsonValue::Kind::Number;
        pOut.Number = std::strtod(number.c_str(), nullptr);
        return true;
    }

    std::string_view text_;
    size_t pos_ = 0;
    int maxDepth_;
};

} // namespace

std::optional<JsonValue> ParseJson(std::string_view pText, int pMaxDepth)
{
    return Parser(pText, pMaxDepth).Document();
}

} // namespace tarvok
