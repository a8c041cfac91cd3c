#include "support/json_lite.h"

#include <cstdlib>

namespace ornivox::testsupport {

class JsonParser {
public:
    explicit JsonParser(std::string_view text) : s_(text) {}

    std::optional<JsonValue> document() {
        JsonValue v;
        if (!value(v, 0)) return std::nullopt;
        skipSpace();
        if (pos_ != s_.size()) return std::nullopt;
        return v;
    }

private:
    static constexpr int kMaxDepth = 64;

    void skipSpace() {
        while (pos_ < s_.size() &&
               (s_[pos_] == ' ' || s_[pos_] == '\t' || s_[pos_] == '\n' || s_[pos_] == '\r'))
            ++pos_;
    }

    bool literal(std::string_view word) {
        if (s_.substr(pos_, word.size()) != word) return false;
        pos_ += word.size();
        return true;
    }

    bool value(JsonValue& v, int depth) {
        if (depth > kMaxDepth) return false;
        skipSpace();
        if (pos_ >= s_.size()) return false;
        switch (s_[pos_]) {
            case '{': return object(v, depth);
            case '[': return array(v, depth);
            case '"': v.type_ = JsonValue::Type::String; return string(v.string_);
            case 't': v.type_ = JsonValue::Type::Bool; v.bool_ = true; return literal("true");
            case 'f': v.type_ = JsonValue::Type::Bool; return literal("false");
            case 'n': return literal("null");
            default: return number(v);
        }
    }

    bool number(JsonValue& v) {
        size_t end = pos_;
        while (end < s_.size() && std::string_view("+-.eE0123456789").find(s_[end]) != std::string_view::npos)
            ++end;
        if (end == pos_) return false;
        std::string text(s_.substr(pos_, end - pos_));
        char* stop = nullptr;
        v.number_ = std::strtod(text.c_str(), &stop);
        if (stop != text.c_str() + text.size()) return false;
        v.type_ = JsonValue::Type::Number;
        pos_ = end;
        return true;
    }

    bool hex4(unsigned& out) {
        if (pos_ + 4 > s_.size()) return false;
        out = 0;
        for (int i = 0; i < 4; ++i) {
            char c = s_[pos_++];
            out <<= 4;
            if (c >= '0' && c <= '9') out |= static_cast<unsigned>(c - '0');
            else if (c >= 'a' && c <= 'f') out |= static_cast<unsigned>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F') out |= static_cast<unsigned>(c - 'A' + 10);
            else return false;
        }
        return true;
    }

    static void appendUtf8(std::string& out, unsigned cp) {
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }

    bool string(std::string& out) {
        ++pos_;  // opening quote
        while (pos_ < s_.size()) {
            char c = s_[pos_++];
            if (c == '"') return true;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (pos_ >= s_.size()) return false;
            char e = s_[pos_++];
            switch (e) {
                case '"': case '\\': case '/': out += e; break;
                case 'b': out += '\b'; break;
                case 'f': out += '\f'; break;
                case 'n': out += '\n'; break;
                case 'r': out += '\r'; break;
                case 't': out += '\t'; break;
                case 'u': {
                    unsigned cp;
                    if (!hex4(cp)) return false;
                    if (cp >= 0xD800 && cp < 0xDC00 && s_.substr(pos_, 2) == "\\u") {
                        pos_ += 2;
                        unsigned low;
                        if (!hex4(low) || low < 0xDC00 || low > 0xDFFF) return false;
                        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                    }
                    appendUtf8(out, cp);
                    break;
                }
                default: return false;
            }
        }
        return false;
    }

    bool array(JsonValue& v, int depth) {
        v.type_ = JsonValue::Type::Array;
        ++pos_;
        skipSpace();
        if (pos_ < s_.size() && s_[pos_] == ']') return ++pos_, true;
        for (;;) {
            JsonValue item;
            if (!value(item, depth + 1)) return false;
            v.items_.push_back(std::move(item));
            skipSpace();
            if (pos_ >= s_.size()) return false;
            char c = s_[pos_++];
            if (c == ']') return true;
            if (c != ',') return false;
        }
    }

    bool object(JsonValue& v, int depth) {
        v.type_ = JsonValue::Type::Object;
        ++pos_;
        skipSpace();
        if (pos_ < s_.size() && s_[pos_] == '}') return ++pos_, true;
        for (;;) {
            skipSpace();
            std::string key;
            if (pos_ >= s_.size() || s_[pos_] != '"' || !string(key)) return false;
            skipSpace();
            if (pos_ >= s_.size() || s_[pos_++] != ':') return false;
            JsonValue item;
            if (!value(item, depth + 1)) return false;
            v.keys_.push_back(std::move(key));
            v.items_.push_back(std::move(item));
            skipSpace();
            if (pos_ >= s_.size()) return false;
            char c = s_[pos_++];
            if (c == '}') return true;
            if (c != ',') return false;
        }
    }

    std::string_view s_;
    size_t pos_ = 0;
};

std::optional<JsonValue> JsonValue::parse(std::string_view text) { return JsonParser(text).document(); }

const JsonValue* JsonValue::get(std::string_view key) const {
    if (type_ != Type::Object) return nullptr;
    for (size_t i = 0; i < keys_.size(); ++i)
        if (keys_[i] == key) return &items_[i];
    return nullptr;
}

std::string JsonValue::getString(std::string_view key, std::string fallback) const {
    const JsonValue* v = get(key);
    return v && v->type_ == Type::String ? v->string_ : fallback;
}

double JsonValue::getNumber(std::string_view key, double fallback) const {
    const JsonValue* v = get(key);
    return v && v->type_ == Type::Number ? v->number_ : fallback;
}

bool JsonValue::getBool(std::string_view key, bool fallback) const {
    const JsonValue* v = get(key);
    return v && v->type_ == Type::Bool ? v->bool_ : fallback;
}

}  // namespace ornivox::testsupport
