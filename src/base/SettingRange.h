// The limits and start value of a setting moved by a scroll bar (or given as a whole-number
// option): one value per setting, read by the window, brimsal-cli and the steps alike.
#pragma once

namespace brimsal {

// Every scroll bar moves by 1.
struct SettingRange {
    int minimum;
    int maximum;
    int initial;
    constexpr int Clamp(int value) const {
        return value < minimum ? minimum : value > maximum ? maximum : value;
    }
    constexpr bool Contains(int value) const { return value >= minimum && value <= maximum; }
};

}  // namespace brimsal
