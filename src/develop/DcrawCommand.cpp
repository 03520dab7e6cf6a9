#include "develop/DcrawCommand.h"
#include "base/Paths.h"
#include "base/UserChannel.h"
#include "develop/DevelopSettings.h"
#include "whitebalance/WhiteBalance.h"

#include <unistd.h>

#include <cstdlib>

namespace brimsal {

namespace {

void Append(std::vector<std::string>& list, std::initializer_list<std::string> elements) {
    list.insert(list.end(), elements);
}

// The user's options, split on blanks (the clean-up has left single blanks only, but a text
// that was not cleaned must not give empty arguments either).
void AppendUserOptions(std::vector<std::string>& list, const std::string& text) {
    size_t from = 0;
    while (from < text.size()) {
        const size_t blank = text.find(' ', from);
        const size_t end = blank == std::string::npos ? text.size() : blank;
        if (end > from) {
            list.push_back(text.substr(from, end - from));
        }
        from = end + 1;
    }
}

// A multiplier as dcraw reads it: the decimal comma the user may have typed becomes a point.
std::string Multiplier(const std::string& text) {
    return ReemplazarTodo(text, ",", ".");
}

}  // namespace

std::vector<std::string> ComandoDCRAW(const DevelopSettings& settings, bool rapido, bool neutro) {
    std::vector<std::string> list = {"-v", "-4", "-T"};
    if (neutro) {
        Append(list, {"-r", "1", "1", "1", "1"});
    } else if (settings.wb.mode == WBMode::kCamera) {
        list.push_back("-w");
    } else {
        const auto& txt = settings.wb.txtWB;
        // dcraw's fourth multiplier is the second green: the green text again.
        Append(list, {"-r", Multiplier(txt[0]), Multiplier(txt[1]), Multiplier(txt[2]),
                      Multiplier(txt[1])});
    }
    // Headroom: dcraw divides the same multipliers by their largest instead of their smallest,
    // so no channel clips before the sensor does. The highlight-recovery job's later "-H 2"
    // overrides it and divides by the largest as well.
    if (HeadroomActive(settings)) {
        Append(list, {"-H", "1"});
    }
    if (!settings.txtSat.empty()) {
        Append(list, {"-S", settings.txtSat});
    }
    Append(list, {"-q", std::to_string(settings.quality)});
    Append(list, {"-o", neutro ? std::string("0") : std::to_string(settings.profile)});
    if (rapido) {
        Append(list, {"-t", "0", "-h"});
    }
    AppendUserOptions(list, settings.txtDCRAW);
    return list;
}

std::vector<std::string> QuickArguments(const DevelopSettings& settings, bool neutro,
                                        const std::string& raw_path) {
    std::vector<std::string> list = ComandoDCRAW(settings, true, neutro);
    list.push_back(raw_path);
    return list;
}

std::vector<std::string> BatchArguments(const DevelopSettings& settings,
                                        const std::vector<std::string>& raw_paths) {
    std::vector<std::string> list = ComandoDCRAW(settings, false, false);
    list.insert(list.end(), raw_paths.begin(), raw_paths.end());
    return list;
}

std::vector<std::string> HighlightRecoveryArguments(const DevelopSettings& settings,
                                                    const std::string& raw_path) {
    std::vector<std::string> list = ComandoDCRAW(settings, false, false);
    Append(list, {"-H", "2", raw_path});
    return list;
}

std::string DcrawLine(const std::string& program, const std::vector<std::string>& arguments) {
    auto quoted = [](const std::string& element) {
        return element.find(' ') == std::string::npos ? element : "\"" + element + "\"";
    };
    std::string line = quoted(program);
    for (const std::string& argument : arguments) {
        line += ' ';
        line += quoted(argument);
    }
    return line;
}

std::string QuickLine(const DevelopSettings& settings, bool neutro) {
    const std::optional<std::string> program = FindDcraw(DcrawSearchPath());
    return DcrawLine(program.value_or(kDcrawProgram), ComandoDCRAW(settings, true, neutro));
}

DevelopReaction ReaccionCambioRevelado(const DevelopSettings& settings,
                                       const std::string& shown_line, bool disable_later_steps,
                                       bool shown_image) {
    DevelopReaction reaction;
    reaction.line = QuickLine(settings);
    if (reaction.line == shown_line) {
        return reaction;
    }
    reaction.changed = true;
    reaction.disable = disable_later_steps;
    reaction.develop_again = shown_image;
    return reaction;
}

std::string TiffPathOf(const std::string& raw_path) {
    return QuitarExtension(raw_path) + ".tiff";
}

std::string DcrawSearchPath() {
    const char* path = std::getenv("PATH");
    return path != nullptr ? path : "";
}

std::optional<std::string> FindDcraw(const std::string& path) {
    size_t from = 0;
    while (from <= path.size()) {
        const size_t colon = path.find(':', from);
        const size_t end = colon == std::string::npos ? path.size() : colon;
        // An empty entry would mean the current folder; dcraw is never run from there by
        // accident.
        if (end > from) {
            std::string folder = path.substr(from, end - from);
            if (folder.back() != '/') {
                folder += '/';
            }
            const std::string candidate = folder + kDcrawProgram;
            if (ExisteArchivo(candidate) && ::access(candidate.c_str(), X_OK) == 0) {
                return candidate;
            }
        }
        if (colon == std::string::npos) {
            break;
        }
        from = colon + 1;
    }
    return std::nullopt;
}

void ComprobarDCRAW(UserChannel& channel, const std::string& path) {
    channel.MensajeError("DCRAW not found in '" + path + "'");
}

std::optional<std::string> LocateDcraw(UserChannel& channel) {
    const std::string path = DcrawSearchPath();
    std::optional<std::string> program = FindDcraw(path);
    if (!program) {
        ComprobarDCRAW(channel, path);
    }
    return program;
}

}  // namespace brimsal
