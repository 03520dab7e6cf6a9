#include "app/SettingsTables.h"
#include "blend/Blend.h"
#include "blend/BlendSettings.h"
#include "bwtest/ContactSheet.h"
#include "cli/Steps.h"

namespace brimsal::cli {

namespace {

BlendSettings AjustesFusion(const CliOptions& options) {
    BlendSettings settings;
    settings.BWR = options.bw_red;
    settings.BWB = options.bw_blue;
    settings.Gamma10 = options.gamma10;
    settings.ETTR = options.ettr;
    settings.NumBracketing = options.bracket_num;
    settings.PasoBracketing = options.bracket_ev;
    settings.Perfil = kPerfiles.at(static_cast<size_t>(options.profile));
    return settings;
}

}  // namespace

bool StepBlend(const CliOptions& options, Session& session, UserChannel& channel) {
    const int fusion = FusionarImagenes(session.Ruta, options.bw, AjustesFusion(options),
                                        session.set, session.mapa, channel, session.threads);
    if (fusion < 0) {
        return false;
    }
    if (options.contact_sheet &&
        TestImagenesBN(session.Ruta, session.set, session.mapa, channel, session.threads) < 0) {
        return false;
    }
    return true;
}

}  // namespace brimsal::cli
