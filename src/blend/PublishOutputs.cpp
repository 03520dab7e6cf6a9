#include "blend/PublishOutputs.h"

#include <string>

#include "base/UserChannel.h"

namespace brimsal {

namespace {

// Moves an output already under its final name aside to that name + kKeptExtension, so a set
// that could not be placed whole leaves nothing under its final names; the text says where it
// is now (or that it stayed, when even that move is refused).
std::string KeepAside(const NewFileName& placed) {
    NewFileName kept = FirstFreeName(placed.folder, placed.name(), kKeptExtension);
    try {
        PublishWithoutReplacing(placed.path(), kept);
        return "'" + placed.name() + "' is kept as '" + kept.path() + "'";
    } catch (const RunTimeError& error) {
        return error.what();
    }
}

}  // namespace

void PublishOutputs(const std::vector<TiffStripWriter*>& writers, std::vector<NewFileName>& names,
                    UserChannel& channel) {
    for (TiffStripWriter* writer : writers) {
        writer->Close();
    }
    // Every output is complete now: none is given up because another could not be placed.
    std::string failures;
    std::vector<size_t> placed;
    for (size_t b = 0; b < writers.size(); ++b) {
        try {
            writers[b]->Publish(names[b]);
            placed.push_back(b);
        } catch (const ImageError& error) {
            failures += (failures.empty() ? "" : "\n") + std::string(error.what());
        }
    }
    if (!failures.empty()) {
        for (const size_t b : placed) {
            failures += "\n" + KeepAside(names[b]);
        }
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
