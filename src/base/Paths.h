// Path and string helpers: paths use "/" as the separator; the extension is looked for in the
// last component only.
#pragma once

#include <string>

namespace brimsal {

// False for an empty path or one ending in "/"; otherwise true when a regular file (not a
// folder) exists at the path.
bool ExisteArchivo(const std::string& path);
// The path up to, not including, the last "." of its last component. Throws RunTimeError 5
// when the last component has no ".".
std::string QuitarExtension(const std::string& path);
// The text after the last "." of the last component. Throws RunTimeError 5 when there is none.
std::string ExtensionArchivo(const std::string& path);
// The text after the last "/". Throws RunTimeError 5 when the path holds no "/".
std::string NombreArchivo(const std::string& path);
// The path up to and including its last "/". Throws RunTimeError 5 when the path holds no "/".
std::string CarpetaDeRuta(const std::string& path);
// Every occurrence of `searched` (non-empty) replaced by `replacement`, case-sensitive,
// scanning left to right.
std::string ReemplazarTodo(const std::string& text, const std::string& searched,
                           const std::string& replacement);

}  // namespace brimsal
