#include "blend/ProgressiveMapWriter.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <utility>

#include "base/Parallel.h"
#include "base/Paths.h"
#include "base/UserChannel.h"

namespace brimsal {

namespace {

constexpr uint32_t kRed = RGB(255, 0, 0);

}  // namespace

void ProgressiveMapWriter::Start(Picture map, const std::vector<uint8_t>& levels,
                                 PngRowsHeader header, const LevelTable& table,
                                 const LevelHistogram& histogram, const std::string& map_path,
                                 UserChannel& channel) {
    target_ = FirstFreeName(CarpetaDeRuta(map_path),
                            NombreArchivo(QuitarExtension(map_path)) + "_PB", ".png");
    announced_ = target_.name();
    channel.AnadirLog("Saving PNG progressive map as " + announced_ + "...", true);
    for (size_t level = 0; level < histogram.size(); ++level) {
        if (histogram[level] > 0 && table[level].whole) {
            header.colour = PngColour::kRgb;  // without red the map stays grey
        }
    }
    thread_ = std::thread(
        [this, map = std::move(map), &levels, table, header = std::move(header)]() mutable {
            try {
                ClearUpperVectorState();
                if (map.empty()) {
                    SaveByRows(header, levels, table);
                } else {
                    Paint(map, levels, table);
                    map.SetSaveFormat(SaveFormat::kPng);
                    map.SaveToFile(target_, &abandon_);
                }
                saved_ = true;
            } catch (const std::exception& error) {
                failure_ = error.what();
            } catch (...) {
                failure_ = "unknown error";
            }
        });
}

void ProgressiveMapWriter::Wait(UserChannel& channel) {
    Join();
    if (!failure_.empty()) {
        channel.MensajeAviso("The progressive map " + announced_ + " could not be saved (" +
                             failure_ + "); the blend goes on without it");
        failure_.clear();
    } else if (saved_ && target_.name() != announced_) {
        channel.AnadirLog("Progressive map saved as " + target_.name(), true);
    }
}

void ProgressiveMapWriter::Abandon() {
    abandon_ = true;
    Join();
    if (saved_) {
        std::remove(target_.path().c_str());
        saved_ = false;
    }
}

void ProgressiveMapWriter::Join() {
    if (thread_.joinable()) {
        thread_.join();
    }
}

void ProgressiveMapWriter::SaveByRows(const PngRowsHeader& header,
                                      const std::vector<uint8_t>& levels, const LevelTable& table) {
    const size_t width = static_cast<size_t>(header.width);
    const bool color = header.colour == PngColour::kRgb;
    SavePngByRows(
        header,
        [&](int y, uint8_t* row) {
            const uint8_t* level = levels.data() + static_cast<size_t>(y) * width;
            if (!color) {
                std::memcpy(row, level, width);
                return;
            }
            for (size_t x = 0; x < width; ++x, row += 3) {
                const bool red = table[level[x]].whole;
                row[0] = red ? 255 : level[x];
                row[1] = red ? 0 : level[x];
                row[2] = red ? 0 : level[x];
            }
        },
        target_, &abandon_);
}

void ProgressiveMapWriter::Paint(Picture& map, const std::vector<uint8_t>& levels,
                                 const LevelTable& table) const {
    const int width = map.GetWidth();
    const int height = map.GetHeight();
    map.SetDrawColor(kRed);
    for (int y = 0; y < height && !abandon_.load(); ++y) {
        const uint8_t* row = levels.data() + static_cast<size_t>(y) * width;
        for (int x = 0; x < width; ++x) {
            if (table[row[x]].whole) {
                map.PlotPoint(x, y);
            }
        }
    }
}

}  // namespace brimsal
