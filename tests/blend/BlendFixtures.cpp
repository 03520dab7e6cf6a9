#include "blend/BlendFixtures.h"

#include "image/Picture.h"

namespace brimsal::test {

void WriteMap(const std::string& path, int width, int height, const std::vector<uint8_t>& levels) {
    Picture map;
    map.SetGreyLevels(width, height, levels.data());
    map.SetSaveFormat(SaveFormat::kPng);
    map.SaveToFile(path);
}

FixtureSession::FixtureSession(std::vector<Frame> frames, std::vector<double> exp_relativas,
                               const std::vector<uint8_t>& levels) {
    const int n = static_cast<int>(frames.size());
    session.Ruta = dir.file("ref.CR2");
    Touch(session.Ruta);
    session.set = SetOf(std::move(frames), dir.file("IMG_"));
    ExposureSet& set = session.set;
    set.TIFFMasOscuro = set.ArchivosTIFF.front();
    WriteTiff(set.Imagenes.front(), set.TIFFMasOscuro);
    set.ExpRelativas = std::move(exp_relativas);
    session.map.map_path = dir.file("Map_120000.png");
    session.map.IndicePorNivel = BuildIndicePorNivel(n);
    WriteMap(session.map.map_path, set.AnchoImagen, set.AltoImagen, levels);
}

std::vector<std::string> OutputsInLog(const std::vector<std::string>& log) {
    const std::string prefix = "Saving image as ";
    std::vector<std::string> names;
    for (const auto& line : log) {
        if (line.rfind(prefix, 0) == 0) {
            names.push_back(line.substr(prefix.size()));
        }
    }
    return names;
}

}  // namespace brimsal::test
