#include "cli/OptionText.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>

namespace brimsal::cli {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string Key(const std::string& text) {
    std::string key;
    for (unsigned char c : text) {
        if (c != ' ' && c != '-' && c != '_') {
            key += static_cast<char>(std::tolower(c));
        }
    }
    return key;
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t from = 0;
    for (;;) {
        const size_t at = text.find(separator, from);
        parts.push_back(text.substr(from, at == std::string::npos ? std::string::npos : at - from));
        if (at == std::string::npos) {
            return parts;
        }
        from = at + 1;
    }
}

std::optional<long long> ToInteger(const std::string& text) {
    long long value = 0;
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    if (text.empty() || result.ec != std::errc() || result.ptr != end) {
        return std::nullopt;
    }
    return value;
}

std::optional<double> ToNumber(std::string text) {
    std::replace(text.begin(), text.end(), ',', '.');
    double value = 0;
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    if (text.empty() || result.ec != std::errc() || result.ptr != end || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

int IntegerInRange(const std::string& option, const std::string& text, int low, int high) {
    const auto value = ToInteger(text);
    if (!value || *value < low || *value > high) {
        throw UsageError("--" + option + " takes a whole number from " + std::to_string(low) +
                         " to " + std::to_string(high) + " (got '" + text + "')");
    }
    return static_cast<int>(*value);
}

int IntegerInRange(const std::string& option, const std::string& text, const SettingRange& range) {
    return IntegerInRange(option, text, range.minimum, range.maximum);
}

int Choice(const std::string& option, const std::string& text,
           const std::vector<std::string>& names) {
    for (size_t i = 0; i < names.size(); ++i) {
        if (Key(text) == Key(names[i])) {
            return static_cast<int>(i);
        }
    }
    if (const auto row = ToInteger(text);
        row && *row >= 0 && *row < static_cast<long long>(names.size())) {
        return static_cast<int>(*row);
    }
    std::vector<std::string> keys;
    for (const std::string& name : names) {
        keys.push_back(Key(name));
    }
    throw UsageError("--" + option + " takes one of " + Listed(keys) + " (got '" + text + "')");
}

std::pair<int, int> Pair(const std::string& option, const std::string& text,
                         const SettingRange& first, const SettingRange& second,
                         const std::string& shape) {
    const auto parts = Split(text, ',');
    if (parts.size() != 2) {
        throw UsageError("--" + option + " takes " + shape + " (got '" + text + "')");
    }
    return {IntegerInRange(option, parts[0], first), IntegerInRange(option, parts[1], second)};
}

std::string Listed(const std::vector<std::string>& words, const std::string& last_joint) {
    std::string list;
    for (size_t i = 0; i < words.size(); ++i) {
        if (i > 0) {
            list += i + 1 == words.size() ? last_joint : ", ";
        }
        list += words[i];
    }
    return list;
}

std::vector<std::string> MarkedDefault(std::vector<std::string> words, int index) {
    words.at(static_cast<size_t>(index)) += " (default)";
    return words;
}

std::string Span(const SettingRange& range) {
    return std::to_string(range.minimum) + ".." + std::to_string(range.maximum);
}

std::string Tenths(int value) {
    return std::to_string(value / 10) + "." + std::to_string(value % 10);
}

}  // namespace brimsal::cli
