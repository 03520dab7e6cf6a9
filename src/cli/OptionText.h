// How brimsal-cli reads the text of an option's value, and how it writes the word lists its help
// and its usage errors show. Plain C++: the options themselves are CliOptions'.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/SettingRange.h"

namespace brimsal::cli {

// A usage error: the message names the option and what it accepts.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::string Lower(std::string text);
// Lower case without blanks, dashes or underscores: "Adobe RGB", "adobe-rgb" -> "adobergb".
std::string Key(const std::string& text);
// The parts between the separators; an empty text is one empty part.
std::vector<std::string> Split(const std::string& text, char separator);

// Digits with an optional leading minus and nothing else.
std::optional<long long> ToInteger(const std::string& text);
// A finite decimal number with a point or a comma as the separator, nothing else around it.
std::optional<double> ToNumber(std::string text);

// `text` as a whole number from `low` to `high`; otherwise a UsageError naming --`option`.
int IntegerInRange(const std::string& option, const std::string& text, int low, int high);
int IntegerInRange(const std::string& option, const std::string& text, const SettingRange& range);

// The index of `text` among `names` (compared by Key), or a row number 0..size-1; otherwise a
// UsageError naming --`option` and listing the names by their keys.
int Choice(const std::string& option, const std::string& text,
           const std::vector<std::string>& names);

// Two whole numbers "A,B" within their ranges; otherwise a UsageError naming --`option` that
// says it takes `shape`.
std::pair<int, int> Pair(const std::string& option, const std::string& text,
                         const SettingRange& first, const SettingRange& second,
                         const std::string& shape);

// "a, b, c"; with `last_joint` " or ": "a, b or c".
std::string Listed(const std::vector<std::string>& words, const std::string& last_joint = ", ");
// The words with " (default)" after the one at `index`.
std::vector<std::string> MarkedDefault(std::vector<std::string> words, int index);
// The keys of a table of captions, in its order.
std::vector<std::string> Keys(const auto& captions) {
    std::vector<std::string> keys;
    for (const char* caption : captions) {
        keys.push_back(Key(caption));
    }
    return keys;
}

// "low..high" of a range.
std::string Span(const SettingRange& range);
// A value held x 10 as a decimal with one digit after the point: 22 -> "2.2", 10 -> "1.0".
std::string Tenths(int value);

}  // namespace brimsal::cli
