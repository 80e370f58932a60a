#include "qemuhost/json.h"

#include "hostcore/utf8.h"

namespace ombrevale::qemuhost {
namespace {

// What the bridge reads of a QMP reply lies a few levels deep, but a disk's snapshot chain
// nests one level per backing image, without bound. Values deeper than this are read
// without recursion and left out, so that no input can exhaust the stack.
constexpr int kDeepest = 32;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void AppendQuoted(std::string& out, const std::string& text) {
    static constexpr char kHex[] = "0123456789abcdef";
    out.push_back('"');
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (byte < 0x20) {
                out += "\\u00";
                out.push_back(kHex[byte >> 4]);
                out.push_back(kHex[byte & 0xF]);
            } else {
                out.push_back(c);
            }
        }
    }
    out.push_back('"');
}

void Write(std::string& out, const Json& value);

}  // namespace

class JsonParser {
public:
    explicit JsonParser(std::string_view text) : text_(text) {}

    std::optional<Json> Document() {
        Json value;
        bool kept = false;
        SkipBlanks();
        if (!Value(value, 0, kept)) return std::nullopt;
        SkipBlanks();
        if (at_ != text_.size()) return std::nullopt;
        return value;
    }

private:
    // A value of an array or object at `depth`; false on bad syntax. A value too deep to
    // keep is skipped: `kept` tells the caller whether to add it.
    bool Value(Json& out, int depth, bool& kept) {
        kept = depth <= kDeepest;
        if (!kept) return Skip();
        if (Peek('{')) return Object(out, depth);
        if (Peek('[')) return Array(out, depth);
        return Scalar(out);
    }

    bool Scalar(Json& out) {
        if (at_ >= text_.size()) return false;
        switch (text_[at_]) {
        case '"': out.kind_ = Json::Kind::String; return String(out.text_);
        case 't': return Literal("true", out, Json::Kind::Bool, true);
        case 'f': return Literal("false", out, Json::Kind::Bool, false);
        case 'n': return Literal("null", out, Json::Kind::Null, false);
        default: return Number(out);
        }
    }

    // Reads one value, its syntax checked as closely as a kept one's, and keeps nothing: the
    // arrays and objects open are counted on the heap, not on the stack.
    bool Skip() {
        std::string closers;  // of the arrays and objects open, innermost last
        for (;;) {
            SkipBlanks();
            if (Peek('{') || Peek('[')) {
                closers.push_back(text_[at_++] == '{' ? '}' : ']');
                SkipBlanks();
                if (!Peek(closers.back())) {
                    if (closers.back() == '}' && !Key(scratch_)) return false;
                    continue;  // on to the first item
                }
                ++at_;
                closers.pop_back();
            } else {
                Json scalar;
                if (!Scalar(scalar)) return false;
            }
            // After a value: close whatever ends here, then go on to the next item.
            for (;;) {
                if (closers.empty()) return true;
                SkipBlanks();
                if (!Peek(closers.back())) break;
                ++at_;
                closers.pop_back();
            }
            if (!Peek(',')) return false;
            ++at_;
            if (closers.back() == '}' && !Key(scratch_)) return false;
        }
    }

    // An object's key and its colon, blanks around them included.
    bool Key(std::string& key) {
        SkipBlanks();
        if (!Peek('"')) return false;
        key.clear();
        if (!String(key)) return false;
        SkipBlanks();
        if (!Peek(':')) return false;
        ++at_;
        return true;
    }

    bool Literal(std::string_view word, Json& out, Json::Kind kind, bool value) {
        if (text_.substr(at_, word.size()) != word) return false;
        at_ += word.size();
        out.kind_ = kind;
        out.bool_ = value;
        return true;
    }

    bool Number(Json& out) {
        const std::size_t start = at_;
        if (Peek('-')) ++at_;
        if (Peek('0')) {
            ++at_;
        } else if (!Digits()) {
            return false;
        }
        if (Peek('.')) {
            ++at_;
            if (!Digits()) return false;
        }
        if (Peek('e') || Peek('E')) {
            ++at_;
            if (Peek('+') || Peek('-')) ++at_;
            if (!Digits()) return false;
        }
        out.kind_ = Json::Kind::Number;
        out.text_ = std::string(text_.substr(start, at_ - start));
        return true;
    }

    bool Digits() {
        const std::size_t start = at_;
        while (at_ < text_.size() && IsDigit(text_[at_])) ++at_;
        return at_ > start;
    }

    bool String(std::string& out) {
        ++at_;  // the opening quote
        while (at_ < text_.size()) {
            const char c = text_[at_];
            if (c == '"') {
                ++at_;
                return true;
            }
            if (static_cast<unsigned char>(c) < 0x20) return false;
            if (c != '\\') {
                const std::size_t length = hostcore::Utf8SequenceLength(text_.substr(at_));
                if (length == 0) return false;
                out.append(text_.substr(at_, length));
                at_ += length;
                continue;
            }
            if (++at_ >= text_.size()) return false;
            switch (text_[at_++]) {
            case '"': out.push_back('"'); break;
            case '\\': out.push_back('\\'); break;
            case '/': out.push_back('/'); break;
            case 'b': out.push_back('\b'); break;
            case 'f': out.push_back('\f'); break;
            case 'n': out.push_back('\n'); break;
            case 'r': out.push_back('\r'); break;
            case 't': out.push_back('\t'); break;
            case 'u':
                if (!Escape(out)) return false;
                break;
            default: return false;
            }
        }
        return false;
    }

    // After "\u": one code unit, or a surrogate pair written as two escapes.
    bool Escape(std::string& out) {
        const int unit = Hex4();
        if (unit < 0 || (unit >= 0xDC00 && unit <= 0xDFFF)) return false;
        if (unit < 0xD800 || unit > 0xDBFF) {
            hostcore::AppendUtf8(out, static_cast<char32_t>(unit));
            return true;
        }
        if (text_.substr(at_, 2) != "\\u") return false;
        at_ += 2;
        const int low = Hex4();
        if (low < 0xDC00 || low > 0xDFFF) return false;
        const auto high = static_cast<char32_t>(unit) - 0xD800;
        hostcore::AppendUtf8(out, 0x10000 + (high << 10) + (static_cast<char32_t>(low) - 0xDC00));
        return true;
    }

    int Hex4() {
        if (text_.size() - at_ < 4) return -1;
        int value = 0;
        for (int i = 0; i < 4; ++i) {
            const int digit = HexValue(text_[at_ + i]);
            if (digit < 0) return -1;
            value = value * 16 + digit;
        }
        at_ += 4;
        return value;
    }

    bool Array(Json& out, int depth) {
        out.kind_ = Json::Kind::Array;
        return Items(']', [&] {
            Json item;
            bool kept = false;
            if (!Value(item, depth + 1, kept)) return false;
            if (kept) out.items_.push_back(std::move(item));
            return true;
        });
    }

    bool Object(Json& out, int depth) {
        out.kind_ = Json::Kind::Object;
        return Items('}', [&] {
            std::string key;
            if (!Key(key)) return false;
            SkipBlanks();
            Json value;
            bool kept = false;
            if (!Value(value, depth + 1, kept)) return false;
            if (kept) out.members_.emplace_back(std::move(key), std::move(value));
            return true;
        });
    }

    // From an array's or object's opening bracket to its `close`: `item` reads each item
    // or member between the commas, blanks before it skipped.
    template <class Item>
    bool Items(char close, Item item) {
        ++at_;
        SkipBlanks();
        if (Peek(close)) {
            ++at_;
            return true;
        }
        for (;;) {
            SkipBlanks();
            if (!item()) return false;
            SkipBlanks();
            if (Peek(close)) {
                ++at_;
                return true;
            }
            if (!Peek(',')) return false;
            ++at_;
        }
    }

    bool Peek(char c) const { return at_ < text_.size() && text_[at_] == c; }

    void SkipBlanks() {
        while (at_ < text_.size() &&
               (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\n' || text_[at_] == '\r'))
            ++at_;
    }

    std::string_view text_;
    std::size_t at_ = 0;
    std::string scratch_;  // the keys of skipped objects
};

Json Json::Bool(bool value) {
    Json json;
    json.kind_ = Kind::Bool;
    json.bool_ = value;
    return json;
}

Json Json::Integer(std::int64_t value) {
    Json json;
    json.kind_ = Kind::Number;
    json.text_ = std::to_string(value);
    return json;
}

Json Json::String(std::string utf8) {
    Json json;
    json.kind_ = Kind::String;
    json.text_ = std::move(utf8);
    return json;
}

Json Json::Array(std::vector<Json> items) {
    Json json;
    json.kind_ = Kind::Array;
    json.items_ = std::move(items);
    return json;
}

Json Json::Object(Members members) {
    Json json;
    json.kind_ = Kind::Object;
    json.members_ = std::move(members);
    return json;
}

std::optional<bool> Json::AsBool() const {
    if (kind_ != Kind::Bool) return std::nullopt;
    return bool_;
}

std::optional<std::int64_t> Json::AsInteger() const {
    if (kind_ != Kind::Number) return std::nullopt;
    std::string_view digits = text_;
    const bool negative = !digits.empty() && digits.front() == '-';
    if (negative) digits.remove_prefix(1);
    // Magnitudes are gathered as unsigned so that the most negative value fits too.
    std::uint64_t magnitude = 0;
    constexpr std::uint64_t kLimit = 9223372036854775808ull;  // 2^63
    for (char c : digits) {
        if (!IsDigit(c)) return std::nullopt;  // a fraction or an exponent
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (magnitude > (kLimit - digit) / 10) return std::nullopt;
        magnitude = magnitude * 10 + digit;
    }
    if (negative) return magnitude == kLimit ? INT64_MIN : -static_cast<std::int64_t>(magnitude);
    if (magnitude == kLimit) return std::nullopt;
    return static_cast<std::int64_t>(magnitude);
}

const std::string* Json::AsString() const { return kind_ == Kind::String ? &text_ : nullptr; }

const std::vector<Json>* Json::AsArray() const { return kind_ == Kind::Array ? &items_ : nullptr; }

const Json::Members* Json::AsObject() const { return kind_ == Kind::Object ? &members_ : nullptr; }

const Json* Json::Find(std::string_view key) const {
    if (kind_ != Kind::Object) return nullptr;
    for (const auto& [name, value] : members_) {
        if (name == key) return &value;
    }
    return nullptr;
}

Json& Json::Set(std::string key, Json value) {
    if (kind_ == Kind::Null) kind_ = Kind::Object;
    members_.emplace_back(std::move(key), std::move(value));
    return *this;
}

std::optional<Json> ParseJson(std::string_view text) { return JsonParser(text).Document(); }

namespace {

void Write(std::string& out, const Json& value) {
    switch (value.kind()) {
    case Json::Kind::Null: out += "null"; break;
    case Json::Kind::Bool: out += *value.AsBool() ? "true" : "false"; break;
    case Json::Kind::Number: out += ToJson(value); break;
    case Json::Kind::String: AppendQuoted(out, *value.AsString()); break;
    case Json::Kind::Array: {
        out.push_back('[');
        bool first = true;
        for (const Json& item : *value.AsArray()) {
            if (!first) out.push_back(',');
            first = false;
            Write(out, item);
        }
        out.push_back(']');
        break;
    }
    case Json::Kind::Object: {
        out.push_back('{');
        bool first = true;
        for (const auto& [key, member] : *value.AsObject()) {
            if (!first) out.push_back(',');
            first = false;
            AppendQuoted(out, key);
            out.push_back(':');
            Write(out, member);
        }
        out.push_back('}');
        break;
    }
    }
}

}  // namespace

std::string ToJson(const Json& value) {
    if (value.kind_ == Json::Kind::Number) return value.text_;
    std::string out;
    Write(out, value);
    return out;
}

}  // namespace ombrevale::qemuhost
