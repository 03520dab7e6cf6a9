// The outputs of one blend put in place as a set: every file is completed first, then each is
// published under its new name, never replacing a file. The set is placed whole or not at all,
// and a finished output is never given up: when one cannot be placed, it and the outputs already
// placed are kept beside under names that say so (kKeptExtension), none stays under its final
// name, and the error names where each kept file is. Then the log names each file written.
#pragma once

#include <vector>

#include "base/NewFiles.h"
#include "image/TiffIO.h"

namespace brimsal {

class UserChannel;

// Completes and publishes `writers` (one per name of `names`, in order; a name taken meanwhile
// moves on to the next free counter and `names` then tells the file written), then logs per
// output "Bracketing b/n..." (only with several) and "Saving image as <name>". Throws
// ImageError when a file cannot be completed (no output is then placed) or when one cannot be
// placed (its message says where each output is kept).
void PublishOutputs(const std::vector<TiffStripWriter*>& writers, std::vector<NewFileName>& names,
                    UserChannel& channel);

}  // namespace brimsal
