#include <charconv>
#include <optional>
#include <string>
#include <vector>

#include "app/Settings.h"
#include "cli/Steps.h"
#include "develop/DevelopJobs.h"
#include "whitebalance/WhiteBalance.h"

namespace brimsal::cli {

namespace {

// The development settings the options stand for, as the window would hold them.
DevelopSettings AjustesRevelado(const CliOptions& options) {
    DevelopSettings settings;
    settings.wb = options.wb;
    settings.txtSat = options.saturation;
    settings.cmbSat = options.saturation_row;
    settings.quality = options.demosaic;
    settings.profile = options.profile;
    settings.txtDCRAW = options.dcraw_options;
    settings.hlRecovery = options.highlight_recovery;
    return settings;
}

// "X1,Y1,X2,Y2[,round]" as a patch (the options parser has checked the text).
ParcheWB LeerParche(const std::string& texto) {
    ParcheWB parche;
    std::vector<double> valores;
    size_t from = 0;
    while (from <= texto.size()) {
        const size_t coma = texto.find(',', from);
        const std::string parte =
            texto.substr(from, coma == std::string::npos ? std::string::npos : coma - from);
        if (valores.size() < 4) {
            double valor = 0;
            std::from_chars(parte.data(), parte.data() + parte.size(), valor);
            valores.push_back(valor);
        } else {
            parche.ParcheCuadrado = false;  // the fifth part is "round"
        }
        if (coma == std::string::npos) {
            break;
        }
        from = coma + 1;
    }
    valores.resize(4, 0);
    parche.ParcheX1 = valores[0];
    parche.ParcheY1 = valores[1];
    parche.ParcheX2 = valores[2];
    parche.ParcheY2 = valores[3];
    parche.ParcheDefinido = true;
    return parche;
}

}  // namespace

bool StepDevelop(const CliOptions& options, Session& session, UserChannel& channel) {
    DevelopSettings settings = AjustesRevelado(options);
    // The warnings the window shows when these are chosen.
    if (settings.wb.mode == WBMode::kCamera) {
        channel.MensajeAviso(kAvisoWBCamara);
    }
    if (settings.hlRecovery) {
        channel.MensajeAviso(kAvisoHLRecovery);
    }
    if (options.wb_patch) {
        // Calc WB as the window runs it: a neutral quick development of the reference, the
        // patch measured on it, and the measured multipliers used for the whole set.
        if (!ReveladoRapido(session.Ruta, true, settings, channel).terminado) {
            return false;
        }
        session.parche = LeerParche(*options.wb_patch);
        if (CalcularWBPatch(session.Ruta, session.parche, settings.wb, channel) != 1) {
            return false;
        }
        settings.wb.mode = WBMode::kPatch;
        session.wb_medido = settings.wb;
    }
    return Revelado(session, settings, channel).terminado;
}

}  // namespace brimsal::cli
