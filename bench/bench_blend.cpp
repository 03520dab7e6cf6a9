// FusionarImagenes on five 6000x4000 frames already in memory: colour at gamma 1.0, colour at
// gamma 2.2 with three bracketed outputs, B&W with ETTR; against the floor of writing one LZW
// TIFF of that size, measured in the same run; then the contact sheet. Prints medians, each
// blend's steps (last run) and the peak resident memory of the runs.
// Usage: bench_blend [runs] [width] [height] [threads] [case 0..2]
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "BenchUtil.h"
#include "base/Parallel.h"
#include "base/QtRuntime.h"
#include "blend/Blend.h"
#include "blend/BlendSettings.h"
#include "bwtest/ContactSheet.h"
#include "image/Picture.h"
#include "image/TiffIO.h"
#include "road/Session.h"
#include "support/RecorderChannel.h"

namespace {

using namespace brimsal;

constexpr int kImagenes = 5;
constexpr double kUmbral = 58982.0;

// Radiance on the scale of frame 1: a smooth ramp over four decades with some texture.
double Radiancia(int x, int y, int w, int h, int c) {
    const double t = (static_cast<double>(x) / w + static_cast<double>(y) / h) / 2.0;
    return std::pow(10.0, 0.7 + 4.0 * t) * (1.0 - 0.2 * c) * (1.0 + 0.05 * std::sin(x * 0.05));
}

// Five frames two EV apart with read noise, the map of the brightest unclipped frame with a
// transition band at each border (levels between two frames), and the level table.
void CrearConjunto(int w, int h, const std::string& dir, Session& session) {
    LimpiarEstadoVectorial();  // the set-up's pow and sin run after Qt's start-up
    ExposureSet& set = session.set;
    set.AnchoImagen = w;
    set.AltoImagen = h;
    std::vector<uint8_t> niveles(static_cast<size_t>(w) * h);
    for (int k = 1; k <= kImagenes; ++k) {
        set.Imagenes.emplace_back(w, h);
        set.ArchivosTIFF.push_back(dir + "/IMG_" + std::to_string(k) + ".tiff");
        set.ExpRelativas.push_back(std::pow(0.25, k - 1));
    }
    std::mt19937 rng(11);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            int elegida = 1;
            for (int k = 1; k <= kImagenes; ++k) {
                bool valida = true;
                for (int c = 0; c < 3; ++c) {
                    const double v = Radiancia(x, y, w, h, c) / set.ExpRelativas[k - 1] +
                                     static_cast<double>(rng() & 31);
                    const double palabra = std::min(65535.0, std::nearbyint(v));
                    set.Imagenes[static_cast<size_t>(k - 1)].at(x, y)[c] =
                        static_cast<uint16_t>(palabra);
                    valida = valida && palabra <= kUmbral;
                }
                if (valida) {
                    elegida = k;
                }
            }
            const int nivel =
                static_cast<int>(std::nearbyint((elegida - kImagenes) * 255.0 / (1 - kImagenes)));
            // Every 16th column of a zone mixes toward the darker neighbour.
            niveles[static_cast<size_t>(y) * w + x] =
                static_cast<uint8_t>(elegida > 1 && x % 16 == 0 ? nivel + 20 : nivel);
        }
    }
    set.TIFFMasOscuro = set.ArchivosTIFF.front();
    set.TIFFsCargados = true;
    for (int nivel = 0; nivel < 256; ++nivel) {
        session.mapa.IndicePorNivel[static_cast<size_t>(nivel)] =
            static_cast<float>(kImagenes + (1 - kImagenes) * nivel / 255.0);
    }
    for (int k = 1; k <= kImagenes; ++k) {
        session.mapa.IndicePorNivel[static_cast<size_t>(
            std::nearbyint((k - kImagenes) * 255.0 / (1 - kImagenes)))] = static_cast<float>(k);
    }
    session.mapa.RutaMapa = dir + "/Map_120000.png";
    Picture mapa;
    mapa.SetGreyLevels(w, h, niveles.data());
    mapa.SaveToFile(session.mapa.RutaMapa);
}

// A channel that notes when each log line arrives, to show where a blend spends its time.
class CanalCronometrado : public SilentChannel {
  public:
    void AnadirLog(const std::string& line, bool append) override {
        if (!append) {
            marcas_.clear();
            inicio_ = std::chrono::steady_clock::now();
        }
        marcas_.push_back(
            {line,
             std::chrono::duration<double>(std::chrono::steady_clock::now() - inicio_).count()});
    }
    void Imprimir() const {
        for (size_t i = 0; i + 1 < marcas_.size(); ++i) {
            std::string linea = marcas_[i].first;
            if (!linea.empty() && linea[0] == '\n') {
                linea.erase(0, 1);
            }
            std::printf("    %6.2f s  %s\n", marcas_[i + 1].second - marcas_[i].second,
                        linea.c_str());
        }
    }

  private:
    std::chrono::steady_clock::time_point inicio_;
    std::vector<std::pair<std::string, double>> marcas_;
};

// Removes everything the blend wrote (outputs and progressive maps).
void Limpiar(const std::string& dir) {
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("BR_", 0) == 0 || name.find("_PB") != std::string::npos ||
            name.rfind("floor", 0) == 0) {
            std::filesystem::remove(entry.path());
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    QtRuntime qt(argc, argv);
    const int runs = argc > 1 ? std::atoi(argv[1]) : 3;
    const int w = argc > 2 ? std::atoi(argv[2]) : 6000;
    const int h = argc > 3 ? std::atoi(argv[3]) : 4000;
    const int threads = argc > 4 ? std::atoi(argv[4]) : 0;
    const int solo = argc > 5 ? std::atoi(argv[5]) : -1;  // run only this case (0..2)
    const std::string dir = (std::filesystem::temp_directory_path() /
                             ("brimsal-bench-blend-" + std::to_string(getpid())))
                                .string();
    std::filesystem::create_directories(dir);
    Session session;
    session.Ruta = dir + "/IMG_1.CR2";
    session.threads = threads;
    CrearConjunto(w, h, dir, session);
    std::printf("%d frames %dx%d, %d threads, %d runs\n", kImagenes, w, h,
                threads > 0 ? threads : HilosDisponibles(), runs);

    // From here on the peak is the runs' own: frames, map, bands and pictures.
    std::ofstream("/proc/self/clear_refs") << "5";
    const double base = bench::PeakMemoryMiB();
    const double frames = kImagenes * static_cast<double>(w) * h * 6 / (1 << 20);
    std::printf("resident before the runs %.0f MiB (frames %.0f MiB)\n", base, frames);
    const double floor = bench::MedianSeconds(runs, [&] {
        EscribirTIFF(session.set.Imagenes.front(), dir + "/floor.tif");
        Limpiar(dir);
    });
    std::printf("floor: one LZW TIFF written       %7.2f s\n", floor);

    struct Caso {
        const char* nombre;
        bool bn;
        BlendSettings settings;
    };
    BlendSettings lineal;
    lineal.Gamma10 = 10;
    BlendSettings bracketing;
    bracketing.Gamma10 = 22;
    bracketing.NumBracketing = 3;
    BlendSettings bn_ettr;
    bn_ettr.ETTR = true;
    const Caso casos[] = {{"colour, gamma 1.0, 1 output ", false, lineal},
                          {"colour, gamma 2.2, 3 outputs", false, bracketing},
                          {"B&W, gamma 2.2, ETTR, 1 output", true, bn_ettr}};
    for (const Caso& caso : casos) {
        if (solo >= 0 && &caso != &casos[solo]) {
            continue;
        }
        CanalCronometrado channel;
        const double t = bench::MedianSeconds(runs, [&] {
            if (FusionarImagenes(session.Ruta, caso.bn, caso.settings, session.set, session.mapa,
                                 channel, session.threads) != 1) {
                std::fprintf(stderr, "blend failed\n");
                std::exit(1);
            }
            Limpiar(dir);
        });
        std::printf("%-32s %7.2f s  (%.2f x floor)\n", caso.nombre, t, t / floor);
        channel.Imprimir();  // the last run, step by step
    }
    if (solo < 0) {
        SilentChannel channel;
        const double t = bench::MedianSeconds(runs, [&] {
            if (TestImagenesBN(session.Ruta, session.set, session.mapa, channel, session.threads) !=
                1) {
                std::fprintf(stderr, "contact sheet failed\n");
                std::exit(1);
            }
            for (const auto& entry : std::filesystem::directory_iterator(dir)) {
                if (entry.path().filename().string().rfind("BWTest_", 0) == 0) {
                    std::filesystem::remove(entry.path());
                }
            }
        });
        std::printf("%-32s %7.2f s\n", "contact sheet (66 cells)", t);
    }
    const double pico = bench::PeakMemoryMiB();
    std::printf("peak during the runs %.0f MiB (%.0f MiB over the resident set before them)\n",
                pico, pico - base);
    std::filesystem::remove_all(dir);
    return 0;
}
