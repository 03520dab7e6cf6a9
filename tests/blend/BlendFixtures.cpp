#include "blend/BlendFixtures.h"

#include "image/Picture.h"

namespace brimsal::test {

void EscribirMapa(const std::string& path, int width, int height,
                  const std::vector<uint8_t>& levels) {
    Picture mapa;
    mapa.SetGreyLevels(width, height, levels.data());
    mapa.SetSaveFormat(SaveFormat::kPng);
    mapa.SaveToFile(path);
}

SesionPrueba::SesionPrueba(std::vector<Frame> frames, std::vector<double> exp_relativas,
                           const std::vector<uint8_t>& levels) {
    const int n = static_cast<int>(frames.size());
    session.Ruta = dir.file("ref.CR2");
    Touch(session.Ruta);
    session.set = SetOf(std::move(frames), dir.file("IMG_"));
    ExposureSet& set = session.set;
    set.TIFFMasOscuro = set.ArchivosTIFF.front();
    EscribirTIFF(set.Imagenes.front(), set.TIFFMasOscuro);
    set.ExpRelativas = std::move(exp_relativas);
    session.mapa.RutaMapa = dir.file("Map_120000.png");
    session.mapa.IndicePorNivel = TablaIndicePorNivel(n);
    EscribirMapa(session.mapa.RutaMapa, set.AnchoImagen, set.AltoImagen, levels);
}

std::vector<std::string> SalidasDelLog(const std::vector<std::string>& log) {
    const std::string prefijo = "Saving image as ";
    std::vector<std::string> nombres;
    for (const auto& linea : log) {
        if (linea.rfind(prefijo, 0) == 0) {
            nombres.push_back(linea.substr(prefijo.size()));
        }
    }
    return nombres;
}

}  // namespace brimsal::test
