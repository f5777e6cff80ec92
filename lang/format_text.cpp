#include "lang/format_text.h"

#include <cstdio>

#include "lang/catalog.h"

namespace tarmix {

namespace {

constexpr std::string_view kFlags = "-+ #0'";
constexpr std::string_view kLengthModifiers = "hlLqjzt";
// Larger widths or precisions would let one translation make a huge text.
constexpr int kMaxFieldWidth = 999;

// One conversion as written in a format, taken apart.
struct Conversion {
    size_t length = 0;      // characters from the "%" on
    std::string modifiers;  // flags, width and precision, to be passed on
    char letter = 0;        // 0 when the text ends before a conversion letter
    bool supported = true;  // false for "*" widths and oversized fields
};

bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Reads the digits of a width or precision at text[i...] into modifiers.
void readNumber(std::string_view text, size_t& i, Conversion& conversion) {
    int value = 0;
    if (i < text.size() && text[i] == '*') {
        conversion.supported = false;
        conversion.modifiers += text[i++];
    }
    while (i < text.size() && isDigit(text[i])) {
        if (value <= kMaxFieldWidth) value = value * 10 + (text[i] - '0');
        conversion.modifiers += text[i++];
    }
    if (value > kMaxFieldWidth) conversion.supported = false;
}

// Parses the conversion that starts with the "%" at text[0].
Conversion parseConversion(std::string_view text) {
    Conversion conversion;
    size_t i = 1;
    while (i < text.size() && kFlags.find(text[i]) != std::string_view::npos)
        conversion.modifiers += text[i++];
    readNumber(text, i, conversion);
    if (i < text.size() && text[i] == '.') {
        conversion.modifiers += text[i++];
        readNumber(text, i, conversion);
    }
    // Length modifiers are dropped: the argument is passed at its widest type.
    while (i < text.size() && kLengthModifiers.find(text[i]) != std::string_view::npos) ++i;
    if (i < text.size() && isLetter(text[i])) conversion.letter = text[i++];
    conversion.length = i;
    return conversion;
}

// One value by a conversion whose type has been checked against the value's.
template <typename Value>
std::string printOne(const std::string& pattern, Value value) {
    const int size = std::snprintf(nullptr, 0, pattern.c_str(), value);
    if (size <= 0) return {};
    std::string out(static_cast<size_t>(size) + 1, '\0');
    std::snprintf(out.data(), out.size(), pattern.c_str(), value);
    out.resize(static_cast<size_t>(size));
    return out;
}

// The argument formatted by one conversion; empty when the argument does not fit it.
std::optional<std::string> formatOne(const Conversion& conversion, const FormatArg& arg) {
    const std::string pattern = "%" + conversion.modifiers;
    switch (conversion.letter) {
        case 'd':
        case 'i':
            if (!arg.isInteger()) return std::nullopt;
            return printOne(pattern + "ll" + conversion.letter, arg.asSigned());
        case 'u':
        case 'o':
        case 'x':
        case 'X':
            if (!arg.isInteger()) return std::nullopt;
            return printOne(pattern + "ll" + conversion.letter, arg.asUnsigned());
        case 'c':
            if (!arg.isInteger()) return std::nullopt;
            return printOne(pattern + 'c', static_cast<int>(arg.asSigned()));
        case 's':
            if (arg.kind() != FormatArg::Kind::Text) return std::nullopt;
            return printOne(pattern + 's', std::string(arg.text()).c_str());
        case 'e':
        case 'E':
        case 'f':
        case 'F':
        case 'g':
        case 'G':
        case 'a':
        case 'A':
            if (arg.kind() == FormatArg::Kind::Text) return std::nullopt;
            return printOne(pattern + conversion.letter, arg.asReal());
        default:
            return std::nullopt;
    }
}

}  // namespace

long long FormatArg::asSigned() const {
    switch (kind_) {
        case Kind::Unsigned:
            return static_cast<long long>(unsigned_);
        case Kind::Real:
            return static_cast<long long>(real_);
        default:
            return signed_;
    }
}

unsigned long long FormatArg::asUnsigned() const {
    return kind_ == Kind::Unsigned ? unsigned_ : static_cast<unsigned long long>(asSigned());
}

double FormatArg::asReal() const {
    switch (kind_) {
        case Kind::Real:
            return real_;
        case Kind::Unsigned:
            return static_cast<double>(unsigned_);
        default:
            return static_cast<double>(signed_);
    }
}

std::vector<std::string> formatConversions(std::string_view format) {
    std::vector<std::string> found;
    for (size_t i = format.find('%'); i != std::string_view::npos; i = format.find('%', i)) {
        if (format.substr(i, 2) == "%%") {
            i += 2;
            continue;
        }
        const size_t length = parseConversion(format.substr(i)).length;
        found.emplace_back(format.substr(i, length));
        i += length;
    }
    return found;
}

std::optional<std::string> fillFormat(std::string_view format, std::span<const FormatArg> args) {
    std::string out;
    size_t next = 0;
    for (size_t i = 0; i < format.size();) {
        if (format[i] != '%') {
            out += format[i++];
        } else if (format.substr(i, 2) == "%%") {
            out += '%';
            i += 2;
        } else {
            const Conversion conversion = parseConversion(format.substr(i));
            if (!conversion.supported || next == args.size()) return std::nullopt;
            const auto filled = formatOne(conversion, args[next++]);
            if (!filled) return std::nullopt;
            out += *filled;
            i += conversion.length;
        }
    }
    if (next != args.size()) return std::nullopt;
    return out;
}

std::string fillText(const TextCatalogues& catalogues, int languageIndex, int id,
                     std::span<const FormatArg> args) {
    const auto text = catalogues.lookup(languageIndex, id);
    if (!text) return reportMissingText(id);
    if (auto filled = fillFormat(*text, args)) return *std::move(filled);
    if (const auto english = catalogues.lookup(kEnglishLanguage, id)) {
        if (auto filled = fillFormat(*english, args)) return *std::move(filled);
    }
    reportTextProblem("Error Formatting String: " + std::to_string(id));
    return *text;
}

std::string fillCatalogueText(int id, std::span<const FormatArg> args) {
    return fillText(builtInCatalogues(), languageIndex(), id, args);
}

}  // namespace tarmix
