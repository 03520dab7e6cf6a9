#include "blend/Ettr.h"

#include <algorithm>
#include <cmath>

#include "base/NumberText.h"
#include "base/Parallel.h"
#include "base/UserChannel.h"

namespace brimsal {

namespace {

constexpr int64_t kFondoEscala = 65535;
constexpr int64_t kFilasPorTrozo = 16;
constexpr double kMilesimas = 1000.0;

}  // namespace

// A maximum does not depend on the order of the scan, so the rows are split among threads; the
// column-by-column scan with its early stop at 65535 finds the same value.
int64_t BrilloMaximoETTR(const Frame& oscuro, bool salida_bn, const PesosMezcla& pesos,
                         int threads) {
    const double peso_r = pesos.r;
    const double peso_g = pesos.g;
    const double peso_b = pesos.b;
    std::vector<int64_t> maximos(static_cast<size_t>(NumTrozos(oscuro.height, kFilasPorTrozo)), 0);
    ParallelFor(
        oscuro.height, kFilasPorTrozo,
        [&](int64_t trozo, int64_t inicio, int64_t fin) {
            int64_t maximo = 0;
            for (int64_t y = inicio; y < fin; ++y) {
                const uint16_t* p = oscuro.row(static_cast<int>(y));
                for (int x = 0; x < oscuro.width; ++x, p += 3) {
                    int64_t valor;
                    if (salida_bn) {
                        const double mezcla = peso_r * p[0] + peso_g * p[1] + peso_b * p[2];
                        valor = static_cast<int64_t>(Redondear(mezcla));
                    } else {
                        valor = std::max({p[0], p[1], p[2]});
                    }
                    maximo = std::max(maximo, valor);
                }
            }
            maximos[static_cast<size_t>(trozo)] = maximo;
        },
        threads);
    int64_t maximo = 0;
    for (const int64_t parcial : maximos) {
        maximo = std::max(maximo, parcial);
    }
    return maximo;
}

void CorreccionETTR(const Frame& oscuro, bool salida_bn, const PesosMezcla& pesos,
                    const std::vector<double>& exp_relativas, std::vector<double>& factores,
                    UserChannel& channel, int threads, double escala) {
    channel.AnadirLog("\nCalculating ETTR correction...", true);
    const int64_t m = BrilloMaximoETTR(oscuro, salida_bn, pesos, threads);
    const double brillo = static_cast<double>(m) * escala;
    if (brillo >= static_cast<double>(kFondoEscala)) {
        channel.AnadirLog("Already clipped highlights", true);
        return;
    }
    if (m <= 0) {
        // An all-black darkest frame gives no ratio to scale by.
        channel.AnadirLog("No highlights to correct", true);
        return;
    }
    const double correccion = std::log(static_cast<double>(kFondoEscala) / brillo) / std::log(2.0);
    channel.AnadirLog("Histogram correction by +" +
                          TextoNumero(Redondear(correccion * kMilesimas) / kMilesimas) + "EV",
                      true);
    for (size_t i = 0; i < factores.size(); ++i) {
        factores[i] = exp_relativas[i] * static_cast<double>(kFondoEscala) / brillo;
    }
}

}  // namespace brimsal
