#include "blend/PublishOutputs.h"

#include <cstdio>
#include <string>

#include "base/UserChannel.h"

namespace brimsal {

void PublishOutputs(const std::vector<TiffStripWriter*>& writers, std::vector<NewFileName>& names,
                    UserChannel& channel) {
    for (TiffStripWriter* writer : writers) {
        writer->Close();
    }
    size_t published = 0;
    try {
        for (; published < writers.size(); ++published) {
            writers[published]->Publish(names[published]);
        }
    } catch (...) {
        for (size_t b = 0; b < published; ++b) {
            std::remove(names[b].path().c_str());
        }
        throw;
    }
    const size_t output_count = names.size();
    for (size_t b = 0; b < output_count; ++b) {
        if (output_count > 1) {
            channel.AnadirLog(
                "Bracketing " + std::to_string(b + 1) + "/" + std::to_string(output_count) + "...",
                true);
        }
        channel.AnadirLog("Saving image as " + names[b].name(), true);
    }
}

}  // namespace brimsal
