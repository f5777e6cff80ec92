// Catalogue texts that are printf-style formats, filled safely.
//
//   FormatText(text::kDeleted, path)      // "Deleted %s"
//
// The conversions of the text are checked against the arguments before anything is
// formatted, so a translation with a wrong conversion can never read a missing or
// mistyped argument. The catalogue checks also make every translation keep the English
// text's conversions in the same order.
#pragma once

#include <array>
#include <concepts>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarmix {

// One argument of a format: an integer, a character, a floating-point number or a text.
class FormatArg {
  public:
    enum class Kind { Signed, Unsigned, Character, Real, Text };

    template <std::integral T>
    requires(!std::same_as<T, char> && !std::same_as<T, bool>) FormatArg(T value) {
        if constexpr (std::signed_integral<T>) {
            kind_ = Kind::Signed;
            signed_ = value;
        } else {
            kind_ = Kind::Unsigned;
            unsigned_ = value;
        }
    }
    FormatArg(char value) : kind_(Kind::Character), signed_(value) {}
    FormatArg(double value) : kind_(Kind::Real), real_(value) {}
    FormatArg(const char* value) : kind_(Kind::Text), text_(value ? value : "") {}
    FormatArg(std::string_view value) : kind_(Kind::Text), text_(value) {}
    FormatArg(const std::string& value) : kind_(Kind::Text), text_(value) {}

    Kind kind() const { return kind_; }
    bool isInteger() const { return kind_ != Kind::Real && kind_ != Kind::Text; }
    long long asSigned() const;
    unsigned long long asUnsigned() const;
    double asReal() const;
    std::string_view text() const { return text_; }

  private:
    Kind kind_;
    long long signed_ = 0;
    unsigned long long unsigned_ = 0;
    double real_ = 0;
    std::string_view text_;
};

// The conversions of a format in order, each as written ("%08x", "%s", "%d"). "%%" is
// a percent sign, not a conversion; a "%" without a conversion letter is listed as it
// stands, so it shows up in comparisons.
std::vector<std::string> formatConversions(std::string_view format);

// The format filled with the arguments. Empty when they do not fit: another number of
// arguments than conversions, an argument of the wrong kind (%d %i %u %o %x %X take
// integers, %c a character or integer, %s a text, %e %f %g %a numbers), or a conversion
// this does not support (%n, %p, "*" widths, widths or precisions above 999).
std::optional<std::string> fillFormat(std::string_view format, std::span<const FormatArg> args);

class TextCatalogues;

// Text `id` of the catalogues in the given language (with the German fallback of
// TextCatalogues::lookup), filled with the arguments. A text whose conversions do not fit
// is replaced by the English one; when that does not fit either, the problem is reported
// (reportTextProblem, catalog.h) and the unfilled text is returned. A missing text gives
// the placeholder of LoadText.
std::string fillText(const TextCatalogues& catalogues, int languageIndex, int id,
                     std::span<const FormatArg> args);

// fillText on the built-in catalogues in the current language.
std::string fillCatalogueText(int id, std::span<const FormatArg> args);

template <typename... Args>
std::string FormatText(int id, const Args&... args) {
    const std::array<FormatArg, sizeof...(Args)> list{FormatArg(args)...};
    return fillCatalogueText(id, list);
}

}  // namespace tarmix
