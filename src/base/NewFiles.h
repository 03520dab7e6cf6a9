// Files the system creates: a name no existing entry has (a counter before the extension when the
// time-stamped name is taken), put in place complete and without replacing anything.
#pragma once

#include <string>

namespace brimsal {

// The name of a file the system creates in `carpeta` (ending in "/"): base + extension, or, when
// that is taken, base + "_2" + extension, base + "_3" + extension, ... No file the system writes
// ever replaces an existing one.
struct NombreNuevo {
    std::string carpeta;
    std::string base;
    std::string extension;  // with its "."
    int contador = 1;       // 1: no counter
    std::string nombre() const;
    std::string ruta() const { return carpeta + nombre(); }
};

// The first name no entry of the folder has now, counting from 1.
NombreNuevo PrimerNombreLibre(const std::string& carpeta, const std::string& base,
                              const std::string& extension);
// PrimerNombreLibre(...).nombre().
std::string NombreSinSobrescribir(const std::string& carpeta, const std::string& base,
                                  const std::string& extension);

// Moves the complete file `temporal` (in destino.carpeta) to destino's name without replacing
// anything: when another run has taken the name since it was chosen, the next free counter is
// used and `destino` updated, so the caller can name the file actually written. Throws
// RunTimeError 75 when the file cannot be moved; `temporal` then stays for the caller to remove.
void PublicarSinReemplazar(const std::string& temporal, NombreNuevo& destino);

// Local time of day as "hhmmss".
std::string HoraHHMMSS();

}  // namespace brimsal
