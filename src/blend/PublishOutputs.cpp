#include "blend/PublishOutputs.h"

#include <string>

#include "base/UserChannel.h"

namespace brimsal {

void PublishOutputs(const std::vector<TiffStripWriter*>& writers, std::vector<NewFileName>& names,
                    UserChannel& channel) {
    for (TiffStripWriter* writer : writers) {
        writer->Close();
    }
    // Every output is complete now: none is given up because another could not be placed.
    std::string failures;
    for (size_t b = 0; b < writers.size(); ++b) {
        try {
            writers[b]->Publish(names[b]);
        } catch (const ImageError& error) {
            failures += (failures.empty() ? "" : "\n") + std::string(error.what());
        }
    }
    if (!failures.empty()) {
        throw ImageError(failures);
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
