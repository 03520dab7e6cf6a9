#include "blend/Blend.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "base/NewFiles.h"
#include "base/NumberText.h"
#include "base/Parallel.h"
#include "base/Paths.h"
#include "base/UserChannel.h"
#include "blend/BlendKernel.h"
#include "blend/BlendMap.h"
#include "blend/BlendSettings.h"
#include "blend/Ettr.h"
#include "image/Picture.h"
#include "image/PngRows.h"
#include "image/TiffIO.h"
#include "maps/BlendingMap.h"
#include "maps/MapState.h"
#include "whitebalance/WhiteBalance.h"

namespace brimsal {

namespace {

constexpr const char* kProcedimiento = "FusionarImagenes";
constexpr uint32_t kRojo = RGB(255, 0, 0);
// Rows one worker computes at a time, and chunks per worker in one band: a band is small
// (a few rows per thread per output) yet long enough to keep every core busy.
constexpr int kFilasPorTrozo = 8;
constexpr int kTrozosPorHilo = 4;
// The band buffers of all outputs (two sets: one computed, one being written) stay below this,
// however many cores and outputs there are.
constexpr size_t kBytesBandas = size_t{64} << 20;
constexpr int kPorCiento = 100;
constexpr double kFondoEscala = 65535.0;

// The folder of a path (up to and including its last "/"), or "" for a bare file name.
std::string Carpeta(const std::string& ruta) {
    const size_t barra = ruta.rfind('/');
    return barra == std::string::npos ? std::string() : ruta.substr(0, barra + 1);
}

std::string SinCarpeta(const std::string& ruta) {
    return ruta.substr(Carpeta(ruta).size());
}

// Frames 2..N must be loaded with the set's size (frame 1 is checked after its reload), and
// the per-frame lists must have one entry per frame.
void ComprobarConjunto(const ExposureSet& set) {
    const int n = set.N();
    if (n < 1 || set.ExpRelativas.size() != static_cast<size_t>(n) ||
        set.ArchivosTIFF.size() != static_cast<size_t>(n)) {
        throw RunTimeError(kErrSubscript, "Subscript out of range (the exposure set is not ready)");
    }
    for (int i = 2; i <= n; ++i) {
        const Frame& imagen = set.Imagenes[static_cast<size_t>(i - 1)];
        if (imagen.width != set.AnchoImagen || imagen.height != set.AltoImagen || imagen.empty()) {
            throw RunTimeError(kErrSubscript, "Subscript out of range (image " + std::to_string(i) +
                                                  " is not loaded with the set's size)");
        }
    }
}

// The progressive map is the map with its genuine pixels painted red: a transition pixel keeps
// the map's own colour, as if read again and plotted. Painting and compressing it take as long
// as a third of the blend, so it is done on its own thread while the frames are blended. A map
// kept from Build map is painted row by row into the file (never whole in memory); a map read
// from a file is painted on the picture read. It never costs the outputs: a map that cannot be
// saved is a warning. A blend that fails or is cancelled stops it at once and removes its file.
class MapaProgresivo {
  public:
    MapaProgresivo() = default;
    ~MapaProgresivo() { Abandonar(); }
    MapaProgresivo(const MapaProgresivo&) = delete;
    MapaProgresivo& operator=(const MapaProgresivo&) = delete;

    // Logs the name and starts painting and saving: `mapa` when it holds the picture read, else
    // the levels of the map written with `cabecera`. `niveles` must outlive this object.
    void Empezar(Picture mapa, const std::vector<uint8_t>& niveles, PngRowsHeader cabecera,
                 const TablaNiveles& tabla, const HistogramaNiveles& histograma,
                 const std::string& ruta_mapa, UserChannel& channel) {
        destino_ = PrimerNombreLibre(Carpeta(ruta_mapa),
                                     SinCarpeta(QuitarExtension(ruta_mapa)) + "_PB", ".png");
        anunciado_ = destino_.nombre();
        channel.AnadirLog("Saving PNG progressive map as " + anunciado_ + "...", true);
        for (size_t nivel = 0; nivel < histograma.size(); ++nivel) {
            if (histograma[nivel] > 0 && tabla[nivel].genuino) {
                cabecera.colour = PngColour::kRgb;  // without red the map stays grey
            }
        }
        hilo_ = std::thread([this, mapa = std::move(mapa), &niveles, tabla,
                             cabecera = std::move(cabecera)]() mutable {
            try {
                LimpiarEstadoVectorial();
                if (mapa.empty()) {
                    GuardarPorFilas(cabecera, niveles, tabla);
                } else {
                    Pintar(mapa, niveles, tabla);
                    mapa.SetSaveFormat(SaveFormat::kPng);
                    mapa.SaveToFile(destino_, &abandonar_);
                }
                guardado_ = true;
            } catch (const std::exception& error) {
                fallo_ = error.what();
            } catch (...) {
                fallo_ = "unknown error";
            }
        });
    }

    // Waits until the file is saved. A failure is a warning: the outputs go on without it.
    void Esperar(UserChannel& channel) {
        Unir();
        if (!fallo_.empty()) {
            channel.MensajeAviso("The progressive map " + anunciado_ + " could not be saved (" +
                                 fallo_ + "); the blend goes on without it");
            fallo_.clear();
        } else if (guardado_ && destino_.nombre() != anunciado_) {
            channel.AnadirLog("Progressive map saved as " + destino_.nombre(), true);
        }
    }

    // The blend is complete: the file stays.
    void Conservar() { guardado_ = false; }

  private:
    // Stops painting and compressing, and removes the file when it was already saved.
    void Abandonar() {
        abandonar_ = true;
        Unir();
        if (guardado_) {
            std::remove(destino_.ruta().c_str());
            guardado_ = false;
        }
    }

    void Unir() {
        if (hilo_.joinable()) {
            hilo_.join();
        }
    }

    void GuardarPorFilas(const PngRowsHeader& cabecera, const std::vector<uint8_t>& niveles,
                         const TablaNiveles& tabla) {
        const size_t ancho = static_cast<size_t>(cabecera.width);
        const bool color = cabecera.colour == PngColour::kRgb;
        GuardarPngPorFilas(
            cabecera,
            [&](int y, uint8_t* fila) {
                const uint8_t* nivel = niveles.data() + static_cast<size_t>(y) * ancho;
                if (!color) {
                    std::memcpy(fila, nivel, ancho);
                    return;
                }
                for (size_t x = 0; x < ancho; ++x, fila += 3) {
                    const bool rojo = tabla[nivel[x]].genuino;
                    fila[0] = rojo ? 255 : nivel[x];
                    fila[1] = rojo ? 0 : nivel[x];
                    fila[2] = rojo ? 0 : nivel[x];
                }
            },
            destino_, &abandonar_);
    }

    void Pintar(Picture& mapa, const std::vector<uint8_t>& niveles,
                const TablaNiveles& tabla) const {
        const int ancho = mapa.GetWidth();
        const int alto = mapa.GetHeight();
        mapa.SetDrawColor(kRojo);
        for (int y = 0; y < alto && !abandonar_.load(); ++y) {
            const uint8_t* fila = niveles.data() + static_cast<size_t>(y) * ancho;
            for (int x = 0; x < ancho; ++x) {
                if (tabla[fila[x]].genuino) {
                    mapa.PlotPoint(x, y);
                }
            }
        }
    }

    std::thread hilo_;
    std::atomic<bool> abandonar_{false};
    NombreNuevo destino_;
    std::string anunciado_;
    bool guardado_ = false;
    std::string fallo_;
};

// Joins the writer threads of a band, also when the computing side leaves by an exception.
template <typename Escritor, typename Muestra>
class EscrituraEnCurso {
  public:
    explicit EscrituraEnCurso(size_t salidas) : errores_(salidas) {}
    ~EscrituraEnCurso() { Unir(); }
    EscrituraEnCurso(const EscrituraEnCurso&) = delete;
    EscrituraEnCurso& operator=(const EscrituraEnCurso&) = delete;

    // Writes `filas` rows of each output's buffer to its writer, one thread per output.
    void Empezar(std::vector<std::unique_ptr<Escritor>>& escritores,
                 const std::vector<std::vector<Muestra>>& buffers, int filas) {
        for (size_t b = 0; b < escritores.size(); ++b) {
            hilos_.emplace_back(
                [this, b, filas, escritor = escritores[b].get(), datos = buffers[b].data()] {
                    try {
                        escritor->WriteRows(datos, filas);
                    } catch (...) {
                        errores_[b] = std::current_exception();
                    }
                });
        }
    }

    // Waits for the band's writes and rethrows the first failure.
    void Esperar() {
        Unir();
        for (auto& error : errores_) {
            if (error) {
                std::rethrow_exception(std::exchange(error, nullptr));
            }
        }
    }

  private:
    void Unir() {
        for (auto& hilo : hilos_) {
            hilo.join();
        }
        hilos_.clear();
    }

    std::vector<std::thread> hilos_;
    std::vector<std::exception_ptr> errores_;
};

// One pass over the frames: each band of rows is computed on all cores into one buffer per
// output, then handed to the writers, which compress it while the next band is computed.
// Nothing in the result depends on the schedule: every word is a function of its pixel only.
template <typename Escritor, typename Muestra>
void EscribirPorBandas(const FusionPorFilas& fusion,
                       std::vector<std::unique_ptr<Escritor>>& escritores, UserChannel& channel,
                       int threads) {
    const int hilos = threads > 0 ? threads : HilosDisponibles();
    const int ancho = fusion.ancho();
    const int alto = fusion.alto();
    const size_t muestras_fila = static_cast<size_t>(ancho) * 3;
    const size_t salidas = escritores.size();
    const size_t bytes_fila = 2 * salidas * muestras_fila * sizeof(Muestra);
    const int filas_memoria = std::max(
        kFilasPorTrozo, static_cast<int>(std::min<size_t>(kBytesBandas / bytes_fila, 1 << 20)));
    const int filas_banda =
        std::min({alto, kFilasPorTrozo * kTrozosPorHilo * hilos, filas_memoria});
    std::vector<std::vector<Muestra>> bandas[2];
    for (auto& banda : bandas) {
        banda.assign(salidas, std::vector<Muestra>(muestras_fila * filas_banda));
    }
    EscrituraEnCurso<Escritor, Muestra> escritura(salidas);
    int ultimo_porcentaje = -1;
    int turno = 0;
    for (int y0 = 0; y0 < alto; y0 += filas_banda, turno ^= 1) {
        ComprobarCancelacion(channel);
        const int filas = std::min(filas_banda, alto - y0);
        std::vector<std::vector<Muestra>>& banda = bandas[turno];
        ParallelFor(
            filas, kFilasPorTrozo,
            [&](int64_t, int64_t inicio, int64_t fin) {
                std::vector<Muestra*> destinos(salidas);
                for (size_t b = 0; b < salidas; ++b) {
                    destinos[b] = banda[b].data() + static_cast<size_t>(inicio) * muestras_fila;
                }
                fusion.CalcularFilas(y0 + static_cast<int>(inicio), y0 + static_cast<int>(fin),
                                     destinos.data());
            },
            threads);
        escritura.Esperar();
        escritura.Empezar(escritores, banda, filas);
        const int porcentaje =
            static_cast<int>(static_cast<int64_t>(y0 + filas) * kPorCiento / alto);
        if (porcentaje != ultimo_porcentaje) {
            ultimo_porcentaje = porcentaje;
            channel.MostrarProgreso(std::to_string(porcentaje) + "%");
        }
    }
    escritura.Esperar();
}

// Puts the outputs in place together: every file is completed first, and a failure to place
// one removes those already placed, so a bracketed set is whole or absent.
template <typename Escritor>
void PublicarJuntas(std::vector<std::unique_ptr<Escritor>>& escritores,
                    std::vector<NombreNuevo>& nombres) {
    for (auto& escritor : escritores) {
        escritor->Close();
    }
    size_t publicadas = 0;
    try {
        for (; publicadas < escritores.size(); ++publicadas) {
            escritores[publicadas]->Publish(nombres[publicadas]);
        }
    } catch (...) {
        for (size_t b = 0; b < publicadas; ++b) {
            std::remove(nombres[b].ruta().c_str());
        }
        throw;
    }
}

// Writes every output (`nombres`) in one pass, waits for the progressive map, then puts the
// outputs in place with their log lines.
template <typename Escritor, typename Muestra>
void EscribirSalidas(const FusionPorFilas& fusion, std::vector<NombreNuevo>& nombres,
                     MapaProgresivo& progresivo, UserChannel& channel, int threads) {
    std::vector<std::unique_ptr<Escritor>> escritores;
    for (const NombreNuevo& nombre : nombres) {
        escritores.push_back(
            std::make_unique<Escritor>(nombre.ruta(), fusion.ancho(), fusion.alto(), threads));
    }
    EscribirPorBandas<Escritor, Muestra>(fusion, escritores, channel, threads);
    progresivo.Esperar(channel);
    PublicarJuntas(escritores, nombres);
    progresivo.Conservar();
    const size_t num_salidas = nombres.size();
    for (size_t b = 0; b < num_salidas; ++b) {
        if (num_salidas > 1) {
            channel.AnadirLog(
                "Bracketing " + std::to_string(b + 1) + "/" + std::to_string(num_salidas) + "...",
                true);
        }
        channel.AnadirLog("Saving image as " + nombres[b].nombre(), true);
    }
}

// The word at which a developed channel saturates, `share` of 65535: dcraw truncates its
// scaled samples, and its float conversion to the output colour space can take a word or two
// more off a saturated value.
int NivelSaturacion(double share) {
    constexpr int kHolgura = 2;
    return static_cast<int>(std::floor(kFondoEscala * share)) - kHolgura;
}

int Fusionar(const std::string& ruta, bool salida_bn, const BlendSettings& settings,
             ExposureSet& set, const MapState& mapa_estado, UserChannel& channel, int threads) {
    const int n = set.N();
    const int ancho = set.AnchoImagen;
    const int alto = set.AltoImagen;
    channel.AnadirLog("Loading blending map...", false);
    ComprobarConjunto(set);

    // Map: size check, levels, statistics.
    Picture mapa;
    const std::shared_ptr<const std::vector<uint8_t>> mapa_niveles =
        NivelesDelMapa(mapa_estado, ancho, alto, n, mapa, channel);
    if (!mapa_niveles) {
        return kFusionFallida;
    }
    const std::vector<uint8_t>& niveles = *mapa_niveles;
    const TablaNiveles tabla = DecodificarNiveles(mapa_estado.IndicePorNivel, n);
    const int64_t pixeles = static_cast<int64_t>(ancho) * alto;
    const HistogramaNiveles histograma = ContarNiveles(niveles.data(), pixeles, threads);
    const ContribucionMapa contribucion = CalcularContribuciones(histograma, tabla, n);
    channel.AnadirLog("Image contribution...", true);
    RegistrarContribuciones(contribucion, pixeles, set.ArchivosTIFF, channel);
    ComprobarCancelacion(channel);
    MapaProgresivo progresivo;
    if (contribucion.PixelesProgresivos > 0) {
        // Without the picture read, the levels are those Build map kept.
        PngRowsHeader cabecera = mapa.empty() ? mapa_estado.construido->cabecera : PngRowsHeader{};
        progresivo.Empezar(std::move(mapa), niveles, std::move(cabecera), tabla, histograma,
                           mapa_estado.RutaMapa, channel);
    }
    mapa = Picture();

    // The darkest frame is never overwritten by an output; it is loaded again only when the
    // set's frame was released.
    Frame& oscuro = set.Imagenes.front();
    if (oscuro.empty() && !CargarGflBitmap(set.TIFFMasOscuro, oscuro, channel)) {
        return kFusionFallida;
    }
    if (oscuro.width != ancho || oscuro.height != alto) {
        throw RunTimeError(kErrSubscript, "Subscript out of range (the darkest image '" +
                                              set.TIFFMasOscuro + "' has another size)");
    }

    // FactoresExposicion. A headroom development's frames are F times darker than the normal
    // ones: F folds into the factors, so the output has the normal scale and colour.
    const DevelopScale& escala = settings.scale;
    const std::vector<double> factores_base = FactoresHeadroom(set.ExpRelativas, escala);
    std::vector<double> factores = factores_base;
    const PesosMezcla pesos{PesoR(settings), PesoG(settings), PesoB(settings)};
    if (settings.ETTR) {
        CorreccionETTR(oscuro, salida_bn, pesos, factores_base, factores, channel, threads,
                       escala.factor);
    }
    if (escala.headroom) {
        channel.AnadirLog("\nSet developed with headroom: F = " + TextoNumero(escala.factor), true);
    }

    channel.AnadirLog("\nBlending images...", true);
    DatosFusion datos;
    datos.ancho = ancho;
    datos.alto = alto;
    datos.niveles = niveles.data();
    datos.tabla = tabla;
    for (const Frame& imagen : set.Imagenes) {
        datos.imagenes.push_back(&imagen);
    }
    datos.factores = factores;
    if (settings.floatOutput) {
        // The highest level the darkest frame tells is where its last channel saturates.
        for (size_t c = 0; c < 3; ++c) {
            datos.saturacion_oscuro[c] = NivelSaturacion(escala.saturation[c]);
        }
        datos.nivel_neutro = kFondoEscala * factores.front();
    }
    datos.transformacion = {salida_bn, pesos, GammaInversa(settings)};
    const int num_salidas = std::max(1, settings.NumBracketing);
    for (int b = 1; b <= num_salidas; ++b) {
        datos.factores_salida.push_back(FactorBracketing(settings, b));
    }
    const FusionPorFilas fusion(std::move(datos));

    channel.AnadirLog(num_salidas == 1 ? "Building output file..." : "Building output files...",
                      true);
    const std::string base = NombreBaseSalida(settings, salida_bn, HoraHHMMSS());
    const std::string carpeta = Carpeta(ruta);
    std::vector<NombreNuevo> nombres;
    for (int b = 1; b <= num_salidas; ++b) {
        nombres.push_back(PrimerNombreLibre(
            carpeta, base + SufijoBracket(settings, b) + SufijoFlotante(settings), ".tif"));
    }
    if (settings.floatOutput) {
        EscribirSalidas<TiffFloatWriter, float>(fusion, nombres, progresivo, channel, threads);
    } else {
        EscribirSalidas<TiffStripWriter, uint16_t>(fusion, nombres, progresivo, channel, threads);
    }
    channel.AnadirLog("DONE", true);
    channel.Beep();
    return kFusionCompleta;
}

}  // namespace

int FusionarImagenes(const std::string& ruta, bool salida_bn, const BlendSettings& settings,
                     ExposureSet& set, const MapState& mapa, UserChannel& channel, int threads) {
    try {
        return Fusionar(ruta, salida_bn, settings, set, mapa, channel, threads);
    } catch (const Cancelled&) {
        throw;
    } catch (const ImageError& error) {
        // Only the output writers throw ImageError here: a failed save.
        ErrorInesperado(channel, std::string("gflSaveBitmap [") + error.what() + "]");
    } catch (const std::exception& error) {
        ErrorInesperado(channel, kProcedimiento, error);
    }
    return kFusionFallida;
}

}  // namespace brimsal
