// The RAW set: every file of the reference's folder with the reference's extension.
#pragma once

#include <string>
#include <vector>

namespace brimsal {

class UserChannel;

// Most files a set may hold.
inline constexpr int kMaxArchivosRAW = 10;

// LeerArchivosRAW: lists the files of the folder of `ruta` whose extension is the reference's
// (compared without regard to case; hidden ".name" files left out unless it is the reference),
// sorted by name, at most 10, into `archivos_raw` (names without folder). When more than 10
// match, the tenth becomes the reference (`ruta` changes) and an error box says so. Logs the
// count. A reference without a folder or an extension, or an unreadable folder, gives the
// unexpected-error report and returns false.
bool LeerArchivosRAW(std::string& ruta, std::vector<std::string>& archivos_raw,
                     UserChannel& channel);

}  // namespace brimsal
