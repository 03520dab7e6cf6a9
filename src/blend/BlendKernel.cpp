#include "blend/BlendKernel.h"

#include <cmath>
#include <type_traits>
#include <utility>

#include "base/Parallel.h"
#include "base/UserChannel.h"

namespace brimsal {

namespace {

constexpr double kFondoEscala = 65535.0;
// Adding and subtracting 2^52 leaves a value in [0, 2^52) rounded to a whole number in the
// current rounding mode (to nearest, halves to even): std::nearbyint without the library call.
constexpr double kDosA52 = 4503599627370496.0;
// Every value from here up rounds to 65536 or more and is written as 65535.
constexpr double kLimiteRedondeo = 65535.5;
constexpr size_t kPalabras = 65536;

double CurvaGamma(double valor, double gamma_inversa) {
    return kFondoEscala * std::pow(valor / kFondoEscala, gamma_inversa);
}

}  // namespace

void AplicarTransformacion(const TransformacionSalida& transformacion, double valores[3]) {
    if (transformacion.salida_bn) {
        const double peso_r = transformacion.pesos.r;
        const double peso_g = transformacion.pesos.g;
        const double peso_b = transformacion.pesos.b;
        double mezcla = peso_r * valores[0] + peso_g * valores[1] + peso_b * valores[2];
        if (mezcla < 0.0) {
            mezcla = 0.0;
        }
        valores[0] = valores[1] = valores[2] = mezcla;
    }
    if (transformacion.gamma_inversa != 1.0f) {
        const double gamma_inversa = transformacion.gamma_inversa;
        if (transformacion.salida_bn) {
            valores[0] = valores[1] = valores[2] = CurvaGamma(valores[0], gamma_inversa);
        } else {
            for (int c = 0; c < 3; ++c) {
                valores[c] = CurvaGamma(valores[c], gamma_inversa);
            }
        }
    }
}

uint16_t PalabraSalida(double valor) {
    if (valor >= kLimiteRedondeo) {
        return 65535;
    }
    if (!(valor > 0.0)) {
        return 0;
    }
    const double redondeado = (valor + kDosA52) - kDosA52;
    return static_cast<uint16_t>(redondeado);
}

FusionPorFilas::FusionPorFilas(DatosFusion datos) : datos_(std::move(datos)) {
    const TransformacionSalida& transformacion = datos_.transformacion;
    if (!transformacion.salida_bn && transformacion.gamma_inversa != 1.0f) {
        LimpiarEstadoVectorial();  // the table is built on the caller's thread
        curva_.resize(datos_.imagenes.size());
        for (size_t k = 0; k < curva_.size(); ++k) {
            const double factor = datos_.factores[k];
            std::vector<double>& tabla = curva_[k];
            tabla.resize(kPalabras);
            for (size_t c = 0; c < kPalabras; ++c) {
                double valores[3] = {static_cast<double>(c) * factor, 0.0, 0.0};
                AplicarTransformacion(transformacion, valores);
                tabla[c] = valores[0];
            }
        }
    }
}

void FusionPorFilas::CalcularFilas(int y0, int y1, uint16_t* const* salidas) const {
    Calcular(y0, y1, salidas);
}

void FusionPorFilas::CalcularFilas(int y0, int y1, float* const* salidas) const {
    Calcular(y0, y1, salidas);
}

template <typename Muestra>
void FusionPorFilas::Calcular(int y0, int y1, Muestra* const* salidas) const {
    constexpr bool kFlotante = std::is_same_v<Muestra, float>;
    const std::array<int, 3>& saturacion = datos_.saturacion_oscuro;
    const size_t num_imagenes = datos_.imagenes.size();
    const size_t num_salidas = datos_.factores_salida.size();
    const double* factores = datos_.factores.data();
    const double* factores_salida = datos_.factores_salida.data();
    const size_t muestras_fila = static_cast<size_t>(datos_.ancho) * 3;
    std::vector<const uint16_t*> filas(num_imagenes);
    for (int y = y0; y < y1; ++y) {
        for (size_t i = 0; i < num_imagenes; ++i) {
            filas[i] = datos_.imagenes[i]->row(y);
        }
        const uint8_t* niveles = datos_.niveles + static_cast<size_t>(y) * datos_.ancho;
        const size_t desplazamiento = static_cast<size_t>(y - y0) * muestras_fila;
        for (int x = 0; x < datos_.ancho; ++x) {
            const NivelMapa& nivel = datos_.tabla[niveles[x]];
            if (!nivel.valido) {
                throw RunTimeError(kErrSubscript, "Subscript out of range (map level " +
                                                      std::to_string(niveles[x]) + ")");
            }
            const size_t p = static_cast<size_t>(x) * 3;
            const auto k = static_cast<size_t>(nivel.k - 1);
            double valores[3];
            if (nivel.genuino) {
                const uint16_t* c = filas[k] + p;
                if (!curva_.empty()) {
                    const double* curva = curva_[k].data();
                    for (int i = 0; i < 3; ++i) {
                        valores[i] = curva[c[i]];
                    }
                } else {
                    const double factor = factores[k];
                    for (int i = 0; i < 3; ++i) {
                        valores[i] = static_cast<double>(c[i]) * factor;
                    }
                    AplicarTransformacion(datos_.transformacion, valores);
                }
            } else {
                const uint16_t* c1 = filas[k] + p;
                const uint16_t* c2 = filas[k + 1] + p;
                const double f = nivel.f;
                const double resto = 1.0 - f;
                const double factor1 = factores[k];
                const double factor2 = factores[k + 1];
                for (int i = 0; i < 3; ++i) {
                    valores[i] = static_cast<double>(c1[i]) * factor1 * resto +
                                 static_cast<double>(c2[i]) * factor2 * f;
                }
                AplicarTransformacion(datos_.transformacion, valores);
            }
            if constexpr (kFlotante) {
                // Where the darkest frame is saturated in every channel the channels stopped at
                // different heights: the pixel is neutral at the highest level that frame tells.
                const uint16_t* oscuro = filas[0] + p;
                if (oscuro[0] >= saturacion[0] && oscuro[1] >= saturacion[1] &&
                    oscuro[2] >= saturacion[2]) {
                    valores[0] = valores[1] = valores[2] = datos_.nivel_neutro;
                    AplicarTransformacion(datos_.transformacion, valores);
                }
                for (size_t b = 0; b < num_salidas; ++b) {
                    float* salida = salidas[b] + desplazamiento + p;
                    const double multiplicador = factores_salida[b] / kFondoEscala;
                    for (int i = 0; i < 3; ++i) {
                        salida[i] = static_cast<float>(valores[i] * multiplicador);
                    }
                }
            } else {
                for (size_t b = 0; b < num_salidas; ++b) {
                    uint16_t* salida = salidas[b] + desplazamiento + p;
                    const double multiplicador = factores_salida[b];
                    for (int i = 0; i < 3; ++i) {
                        salida[i] = PalabraSalida(valores[i] * multiplicador);
                    }
                }
            }
        }
    }
}

}  // namespace brimsal
