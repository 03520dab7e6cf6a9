#include "base/NumberText.h"

#include <charconv>
#include <clocale>
#include <cmath>

#include "base/Paths.h"

namespace brimsal {

double MinDbl(double a, double b) {
    return a < b ? a : b;
}
double MaxDbl(double a, double b) {
    return a > b ? a : b;
}
int64_t MinLng(int64_t a, int64_t b) {
    return a < b ? a : b;
}
int64_t MaxLng(int64_t a, int64_t b) {
    return a > b ? a : b;
}
int ByteBajo(int64_t value) {
    return static_cast<int>(static_cast<uint64_t>(value) & 0xFFu);
}

double RoundHalfEven(double value) {
    return std::nearbyint(value);
}

std::string NumberText(double value, std::string_view decimal_separator) {
    if (!std::isfinite(value)) {
        return std::isnan(value) ? "NaN" : (value > 0 ? "Infinity" : "-Infinity");
    }
    if (value == 0.0) {
        return "0";
    }
    // Round to 15 significant digits first: "d.dddddddddddddde+XX".
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 14);
    std::string text(buffer, result.ptr);
    const bool negative = text[0] == '-';
    if (negative) {
        text.erase(0, 1);
    }
    const size_t e = text.find('e');
    const int exponent = std::stoi(text.substr(e + 1));
    std::string digits = text.substr(0, 1) + text.substr(2, e - 2);  // 15 digits, no point
    while (digits.size() > 1 && digits.back() == '0') {
        digits.pop_back();
    }
    std::string whole;
    std::string fraction;
    if (exponent < 0) {
        whole = "0";
        fraction = std::string(static_cast<size_t>(-exponent - 1), '0') + digits;
    } else if (static_cast<size_t>(exponent) + 1 >= digits.size()) {
        whole = digits + std::string(static_cast<size_t>(exponent) + 1 - digits.size(), '0');
    } else {
        whole = digits.substr(0, static_cast<size_t>(exponent) + 1);
        fraction = digits.substr(static_cast<size_t>(exponent) + 1);
    }
    std::string out = negative ? "-" : "";
    out += whole;
    if (!fraction.empty()) {
        out += decimal_separator;
        out += fraction;
    }
    return out;
}

std::string DecimalSeparator() {
    const std::lconv* conventions = std::localeconv();
    if (conventions == nullptr || conventions->decimal_point == nullptr ||
        conventions->decimal_point[0] == '\0') {
        return ".";
    }
    return conventions->decimal_point;
}

std::string NumberText(double value) {
    return NumberText(value, DecimalSeparator());
}

std::optional<double> NumberFromText(const std::string& text, std::string_view decimal_separator) {
    size_t begin = text.find_first_not_of(' ');
    const size_t last = text.find_last_not_of(' ');
    if (begin == std::string::npos) {
        return std::nullopt;
    }
    std::string number = text.substr(begin, last - begin + 1);
    if (!decimal_separator.empty() && decimal_separator != "." && decimal_separator != ",") {
        number = ReemplazarTodo(number, std::string(decimal_separator), ",");
    }
    // A decimal comma reads as a point; a text with both is not a plain number.
    const size_t comma = number.find(',');
    if (comma != std::string::npos) {
        if (number.find(',', comma + 1) != std::string::npos ||
            number.find('.') != std::string::npos) {
            return std::nullopt;
        }
        number[comma] = '.';
    }
    // from_chars takes no "+" sign, and reads "inf" and "nan", which are not numbers here.
    size_t start = number[0] == '+' ? 1 : 0;
    if (start == 1 && number.size() > 1 && number[1] == '-') {
        return std::nullopt;
    }
    double value = 0;
    const char* end = number.data() + number.size();
    const auto result = std::from_chars(number.data() + start, end, value);
    if (result.ec != std::errc() || result.ptr != end || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::optional<double> NumberFromText(const std::string& text) {
    return NumberFromText(text, DecimalSeparator());
}

}  // namespace brimsal
