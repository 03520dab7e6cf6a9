// The RAW set: every file of the reference's folder with the reference's extension.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace brimsal {

class UserChannel;

// Most files a set may hold.
inline constexpr int kMaxRawFiles = 10;

// The file name extensions of the RAW formats dcraw reads, lower case (dcraw itself goes by a
// file's contents; the file chooser offers these and every file).
inline constexpr auto kRawExtensions = std::to_array<const char*>(
    {"3fr", "ari", "arw", "bay", "cap", "cine", "cr2", "crw", "dcr", "dng", "erf", "fff",
     "iiq", "k25", "kdc", "mdc", "mef", "mos",  "mrw", "nef", "nrw", "orf", "pef", "ptx",
     "pxn", "qtk", "r3d", "raf", "raw", "rw2",  "rwl", "sr2", "srf", "srw", "sti", "x3f"});

// LeerArchivosRAW: lists the files of the folder of `ruta` whose extension is the reference's
// (compared without regard to case; hidden ".name" files left out unless it is the reference),
// sorted by name, at most 10, into `raw_files` (names without folder). When more than 10
// match, the tenth becomes the reference (`ruta` changes) and an error box says so. Logs the
// count. Folder entries that cannot be examined are left out.
//
// A set that cannot be developed safely is refused before anything is done with it: the
// reference is a TIFF (developing would delete it), a path or selected name is not valid UTF-8
// (dcraw would be handed another name), or two selected names differ only in letter case (both
// would be developed into one TIFF). The cause is logged (fresh log), then "DONE", then shown in
// an error box naming the file; the result is false and `ruta` and `raw_files` are unchanged.
// A reference without a folder or an extension, or an unreadable folder, gives the
// unexpected-error report and returns false.
bool LeerArchivosRAW(std::string& ruta, std::vector<std::string>& raw_files, UserChannel& channel);

}  // namespace brimsal
