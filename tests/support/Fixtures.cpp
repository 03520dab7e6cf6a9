#include "support/Fixtures.h"

#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace brimsal::test {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "brimsal-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a temporary folder");
    }
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

Frame ConstantFrame(int width, int height, uint16_t r, uint16_t g, uint16_t b) {
    return MakeFrame(width, height, [&](int, int, int c) { return c == 0 ? r : c == 1 ? g : b; });
}

Frame MakeFrame(int width, int height, const std::function<uint16_t(int, int, int)>& fn) {
    Frame frame(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint16_t* p = frame.at(x, y);
            for (int c = 0; c < 3; ++c) {
                p[c] = fn(x, y, c);
            }
        }
    }
    return frame;
}

ExposureSet SetOf(std::vector<Frame> frames, const std::string& prefix) {
    ExposureSet set;
    set.AnchoImagen = frames.front().width;
    set.AltoImagen = frames.front().height;
    for (size_t i = 1; i <= frames.size(); ++i) {
        set.ArchivosTIFF.push_back(prefix + std::to_string(i) + ".tiff");
    }
    set.Imagenes = std::move(frames);
    set.TIFFsCargados = true;
    return set;
}

std::array<float, 256> TablaIndicePorNivel(int n) {
    std::array<float, 256> tabla{};
    for (int nivel = 0; nivel < 256; ++nivel) {
        tabla[static_cast<size_t>(nivel)] = static_cast<float>(n + (1 - n) * nivel / 255.0);
    }
    for (int k = 1; k <= n; ++k) {
        tabla[static_cast<size_t>(std::nearbyint((k - n) * 255.0 / (1 - n)))] =
            static_cast<float>(k);
    }
    return tabla;
}

std::vector<std::string> FilesLike(const std::string& folder, const std::string& prefix,
                                   const std::string& suffix) {
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with(prefix) && name.ends_with(suffix)) {
            found.push_back(entry.path().string());
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Touch(const std::string& path) {
    std::ofstream(path, std::ios::binary).flush();
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

std::pair<double, double> RedAndBlueOverGreen(const Frame& frame, const ParcheWB& patch) {
    const SumasCanal sums = SumarParche(frame, patch);
    const double green = static_cast<double>(sums.g);
    return {static_cast<double>(sums.r) / green, static_cast<double>(sums.b) / green};
}

NumericLocale::NumericLocale(const char* name) {
    const char* current = std::setlocale(LC_NUMERIC, nullptr);
    previous_ = current != nullptr ? current : "C";
    available_ = std::setlocale(LC_NUMERIC, name) != nullptr;
}

NumericLocale::~NumericLocale() {
    std::setlocale(LC_NUMERIC, previous_.c_str());
}

std::string SharedDataDir() {
    const char* env = std::getenv("BRIMSAL_SHARED_DATA");
    std::string dir = env != nullptr ? env : "";
    if (!dir.empty() && std::filesystem::is_directory(dir)) {
        return dir;
    }
    return "";
}

std::string OnlyBox(const RecorderChannel& channel) {
    const auto boxes = channel.boxes();
    if (boxes.size() != 1) {
        return std::string("<") + std::to_string(boxes.size()) + " boxes>";
    }
    return boxes[0].title + ": " + boxes[0].text;
}

}  // namespace brimsal::test
