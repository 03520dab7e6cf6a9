// Files the system creates: a name no existing entry has (a counter before the extension when the
// time-stamped name is taken), put in place complete and without replacing anything.
#pragma once

#include <string>

namespace brimsal {

// The name of a file the system creates in `folder` (ending in "/"): base + extension, or, when
// that is taken, base + "_2" + extension, base + "_3" + extension, ... No file the system writes
// ever replaces an existing one.
struct NewFileName {
    std::string folder;
    std::string base;
    std::string extension;  // with its "."
    int counter = 1;        // 1: no counter
    std::string name() const;
    std::string path() const { return folder + name(); }
};

// The first name no entry of the folder has now, counting from 1.
NewFileName FirstFreeName(const std::string& folder, const std::string& base,
                          const std::string& extension);
// FirstFreeName(...).name().
std::string FreeFileName(const std::string& folder, const std::string& base,
                         const std::string& extension);

// Moves the complete file `temporary` (in target.folder) to target's name without replacing
// anything: when another run has taken the name since it was chosen, the next free counter is
// used and `target` updated, so the caller can name the file actually written. Throws
// RunTimeError 75 when the file cannot be moved; `temporary` then stays for the caller to remove.
void PublishWithoutReplacing(const std::string& temporary, NewFileName& target);

// Local time of day as "hhmmss".
std::string TimeHHMMSS();

}  // namespace brimsal
