// Fixtures for the blend and contact-sheet tests: an exposure set held in memory with its
// darkest frame written as a TIFF, and a map PNG written from levels.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "image/Frame.h"
#include "image/TiffIO.h"
#include "maps/BlendingMap.h"
#include "road/Session.h"
#include "support/Fixtures.h"

namespace brimsal::test {

// Writes a grey map PNG of width x height levels (row-major).
void WriteMap(const std::string& path, int width, int height, const std::vector<uint8_t>& levels);

// A session in a fresh folder: reference RAW "ref.CR2", the frames (index 0 darkest, also written
// as TIFFMasOscuro), ExpRelativas as given, the map "Map_120000.png" of `levels` and its table.
struct FixtureSession {
    TempDir dir;
    Session session;

    FixtureSession(std::vector<Frame> frames, std::vector<double> exp_relativas,
                   const std::vector<uint8_t>& levels);
    // Files of the folder, sorted.
    std::vector<std::string> Files() const { return FilesLike(dir.path(), ""); }
    // The file a "Saving image as <name>" log line names, loaded.
    Frame Output(const std::string& name) const { return ReadTiff(dir.file(name)); }
};

// Names written by "Saving image as <name>" lines of a log, in order.
std::vector<std::string> OutputsInLog(const std::vector<std::string>& log);

}  // namespace brimsal::test
