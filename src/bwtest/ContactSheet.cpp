#include "bwtest/ContactSheet.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "base/NewFiles.h"
#include "base/NumberText.h"
#include "base/Parallel.h"
#include "base/UserChannel.h"
#include "blend/BlendMap.h"
#include "image/Picture.h"
#include "image/TiffIO.h"
#include "maps/MapState.h"

namespace brimsal {

namespace {

constexpr const char* kProcedimiento = "TestImagenesBN";
constexpr double kFondoEscala = 65535.0;
constexpr int kGrisMaximo = 255;
constexpr int kTodo = 100;  // the three weights of a cell add up to 100 percent
constexpr double kPorCiento = kTodo;
constexpr int kCeldasDibujadas = 66;
constexpr int kPasoEtiqueta = 12;  // pixels between the three labels of a cell
constexpr double kGammaPantalla = 2.2;
constexpr int64_t kFilasPorTrozo = 8;

// One decimated pixel: its map level and the two frames' words it may mix.
struct MuestraDecimada {
    uint8_t nivel = 0;
    uint16_t c1[3] = {};  // frame k
    uint16_t c2[3] = {};  // frame k + 1 (transition pixels only)
};

// The red, green and blue weights of one cell, in percent.
struct PesosCelda {
    int r = 0;
    int g = 0;
    int b = 0;
};

std::string Carpeta(const std::string& ruta) {
    const size_t barra = ruta.rfind('/');
    return barra == std::string::npos ? std::string() : ruta.substr(0, barra + 1);
}

// The mixed value s of one decimated pixel. Genuine: the weighted sum in integers, then / 100
// and x ExpRelativas(k). Transition: each channel mixed with a = E(k)(1 - f) and b = E(k+1) f
// first, then weighted and / 100.
double ValorMezcla(const MuestraDecimada& muestra, const NivelMapa& nivel,
                   const std::vector<double>& exp_relativas, const PesosCelda& pesos) {
    const auto k = static_cast<size_t>(nivel.k - 1);
    const uint16_t* c1 = muestra.c1;
    if (nivel.genuino) {
        const int32_t suma = pesos.r * c1[0] + pesos.g * c1[1] + pesos.b * c1[2];
        return static_cast<double>(suma) / kPorCiento * exp_relativas[k];
    }
    const uint16_t* c2 = muestra.c2;
    const double f = nivel.f;
    const double a = exp_relativas[k] * (1.0 - f);
    const double b = exp_relativas[k + 1] * f;
    return (pesos.r * (c1[0] * a + c2[0] * b) + pesos.g * (c1[1] * a + c2[1] * b) +
            pesos.b * (c1[2] * a + c2[2] * b)) /
           kPorCiento;
}

std::vector<MuestraDecimada> Decimar(const std::vector<uint8_t>& niveles, const TablaNiveles& tabla,
                                     const ExposureSet& set, const TamanoHoja& hoja) {
    std::vector<MuestraDecimada> muestras(static_cast<size_t>(hoja.ancho_celda) * hoja.alto_celda);
    for (int yd = 0; yd < hoja.alto_celda; ++yd) {
        for (int xd = 0; xd < hoja.ancho_celda; ++xd) {
            MuestraDecimada& muestra = muestras[static_cast<size_t>(yd) * hoja.ancho_celda + xd];
            muestra.nivel = niveles[static_cast<size_t>(yd) * hoja.ancho_celda + xd];
            const NivelMapa& nivel = tabla[muestra.nivel];
            const int x = kDecimacion * xd;
            const int y = kDecimacion * yd;
            const auto k = static_cast<size_t>(nivel.k - 1);
            std::copy_n(set.Imagenes[k].at(x, y), 3, muestra.c1);
            if (!nivel.genuino) {
                std::copy_n(set.Imagenes[k + 1].at(x, y), 3, muestra.c2);
            }
        }
    }
    return muestras;
}

void DibujarCelda(Picture& hoja_imagen, const TamanoHoja& hoja, int i, int j,
                  const PesosCelda& pesos, const std::vector<MuestraDecimada>& muestras,
                  const TablaNiveles& tabla, const std::vector<double>& exp_relativas,
                  int threads) {
    const int wd = hoja.ancho_celda;
    const int hd = hoja.alto_celda;
    std::vector<uint8_t> grises(static_cast<size_t>(wd) * hd);
    ParallelFor(
        hd, kFilasPorTrozo,
        [&](int64_t, int64_t inicio, int64_t fin) {
            for (int64_t yd = inicio; yd < fin; ++yd) {
                for (int xd = 0; xd < wd; ++xd) {
                    const size_t p = static_cast<size_t>(yd) * wd + xd;
                    const MuestraDecimada& muestra = muestras[p];
                    const double s =
                        ValorMezcla(muestra, tabla[muestra.nivel], exp_relativas, pesos);
                    grises[p] = static_cast<uint8_t>(NivelGrisHoja(s));
                }
            }
        },
        threads);
    const int x0 = (wd + 1) * i;
    const int y0 = (hd + 1) * j;
    for (int yd = 0; yd < hd; ++yd) {
        for (int xd = 0; xd < wd; ++xd) {
            const int gris = grises[static_cast<size_t>(yd) * wd + xd];
            hoja_imagen.SetDrawColor(RGB(gris, gris, gris));
            hoja_imagen.PlotPoint(x0 + xd, y0 + yd);
        }
    }
    hoja_imagen.DrawTextAt("R=" + std::to_string(pesos.r) + "%", x0 + 1, y0, kWhite);
    hoja_imagen.DrawTextAt("G=" + std::to_string(pesos.g) + "%", x0 + 1, y0 + kPasoEtiqueta,
                           kWhite);
    hoja_imagen.DrawTextAt("B=" + std::to_string(pesos.b) + "%", x0 + 1, y0 + 2 * kPasoEtiqueta,
                           kWhite);
}

int GenerarHoja(const std::string& ruta, ExposureSet& set, const MapState& mapa_estado,
                UserChannel& channel, int threads) {
    const int n = set.N();
    const int ancho = set.AnchoImagen;
    const int alto = set.AltoImagen;
    channel.AnadirLog("Loading blending map...", false);
    if (n < 1 || set.ExpRelativas.size() != static_cast<size_t>(n) ||
        set.ArchivosTIFF.size() != static_cast<size_t>(n)) {
        throw RunTimeError(kErrSubscript, "Subscript out of range (the exposure set is not ready)");
    }
    const TamanoHoja hoja = CalcularTamanoHoja(ancho, alto);

    // Decimated map and its report.
    std::vector<uint8_t> niveles(static_cast<size_t>(hoja.ancho_celda) * hoja.alto_celda);
    {
        Picture mapa;
        if (!CargarMapaComprobado(mapa_estado.RutaMapa, ancho, alto, n, mapa, channel)) {
            return -1;
        }
        channel.AnadirLog("Decimating blending map to " + std::to_string(hoja.ancho_celda) + "x" +
                              std::to_string(hoja.alto_celda) + "...",
                          true);
        for (int yd = 0; yd < hoja.alto_celda; ++yd) {
            for (int xd = 0; xd < hoja.ancho_celda; ++xd) {
                niveles[static_cast<size_t>(yd) * hoja.ancho_celda + xd] = static_cast<uint8_t>(
                    ByteBajo(mapa.GetPixelColor(kDecimacion * xd, kDecimacion * yd)));
            }
        }
    }
    const int64_t decimados = static_cast<int64_t>(hoja.ancho_celda) * hoja.alto_celda;
    if (decimados == 0) {
        throw RunTimeError(kErrDivisionByZero, "Division by zero (the images are smaller than " +
                                                   std::to_string(kDecimacion) + " pixels)");
    }
    const TablaNiveles tabla = DecodificarNiveles(mapa_estado.IndicePorNivel, n);
    const ContribucionMapa contribucion =
        CalcularContribuciones(ContarNiveles(niveles.data(), decimados, threads), tabla, n);
    channel.AnadirLog("Decimated image contribution...", true);
    RegistrarContribuciones(contribucion, decimados, set.ArchivosTIFF, channel);

    // The darkest frame is never overwritten by a blend; loaded again only when released.
    channel.AnadirLog("\nGenerating B&W contact sheet...", true);
    Frame& oscuro = set.Imagenes.front();
    if (oscuro.empty() && !CargarGflBitmap(set.TIFFMasOscuro, oscuro, channel)) {
        return -1;
    }
    for (size_t i = 0; i < set.Imagenes.size(); ++i) {
        if (set.Imagenes[i].width != ancho || set.Imagenes[i].height != alto) {
            throw RunTimeError(kErrSubscript, "Subscript out of range (image " +
                                                  std::to_string(i + 1) +
                                                  " is not loaded with the set's size)");
        }
    }
    const std::vector<MuestraDecimada> muestras = Decimar(niveles, tabla, set, hoja);

    Picture hoja_imagen;
    hoja_imagen.CreateBlank(hoja.ancho, hoja.alto, kWhite);
    hoja_imagen.SetFillColor(kBlack);
    hoja_imagen.FillRectangle(0, 0, hoja.ancho, hoja.alto);
    int celdas = 0;
    for (int i = 0; i < kCeldasPorLado; ++i) {
        for (int j = 0; j < kCeldasPorLado; ++j) {
            const int verde =
                kTodo - kPesosMezcla[static_cast<size_t>(i)] - kPesosMezcla[static_cast<size_t>(j)];
            if (verde < 0) {
                continue;
            }
            ComprobarCancelacion(channel);
            const PesosCelda pesos{kPesosMezcla[static_cast<size_t>(i)], verde,
                                   kPesosMezcla[static_cast<size_t>(j)]};
            DibujarCelda(hoja_imagen, hoja, i, j, pesos, muestras, tabla, set.ExpRelativas,
                         threads);
            ++celdas;
            channel.MostrarProgreso(std::to_string(celdas * kTodo / kCeldasDibujadas) + "%");
        }
    }

    NombreNuevo nombre = PrimerNombreLibre(Carpeta(ruta), "BWTest_" + HoraHHMMSS(), ".gif");
    hoja_imagen.SetSaveFormat(SaveFormat::kGif);
    hoja_imagen.SaveToFile(nombre);
    channel.AnadirLog("\nSaving B&W samples as " + nombre.nombre() + "...", true);
    channel.AnadirLog("DONE", true);
    channel.Beep();
    return 1;
}

}  // namespace

TamanoHoja CalcularTamanoHoja(int ancho, int alto) {
    TamanoHoja hoja;
    hoja.ancho_celda = ancho / kDecimacion;
    hoja.alto_celda = alto / kDecimacion;
    hoja.ancho = kCeldasPorLado * hoja.ancho_celda + (kCeldasPorLado - 1);
    hoja.alto = kCeldasPorLado * hoja.alto_celda + (kCeldasPorLado - 1);
    return hoja;
}

int NivelGrisHoja(double s) {
    const auto g = static_cast<float>(1.0 / kGammaPantalla);
    const double t = std::pow(s / kFondoEscala, static_cast<double>(g));
    const double gris = std::nearbyint(kGrisMaximo * t);
    if (!(gris > 0.0)) {
        return 0;
    }
    return gris > kGrisMaximo ? kGrisMaximo : static_cast<int>(gris);
}

int TestImagenesBN(const std::string& ruta, ExposureSet& set, const MapState& mapa,
                   UserChannel& channel, int threads) {
    try {
        return GenerarHoja(ruta, set, mapa, channel, threads);
    } catch (const Cancelled&) {
        throw;
    } catch (const std::exception& error) {
        ErrorInesperado(channel, kProcedimiento, error);
    }
    return -1;
}

}  // namespace brimsal
