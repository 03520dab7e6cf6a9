// Misc: the one channel through which processing talks to the user, and the small path, text and
// number helpers every step shares.
//
// Shared rules, written once:
//  - Pixel values are 0..65535; x is the column, y the row, y = 0 the top row.
//  - Rounding of a fractional value to a whole number is half to even (Redondear); Int is floor.
//  - Paths use "/" as the separator.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace brimsal {

// Contact address printed at the end of the unexpected-error report.
inline constexpr const char* kContactAddress = "support@brimsal.org";

// The user channel: log, dcraw line, boxes, progress read-out, beep and cancellation.
// Implementations: the window (widgets), the console (brimsal-cli) and the recorder (tests).
// Every method may be called from a worker thread; implementations marshal as they need.
class UserChannel {
  public:
    virtual ~UserChannel() = default;

    // Appends `line` to the log, or, when `append` is false, starts the log anew with it.
    virtual void AnadirLog(const std::string& line, bool append) = 0;
    // Shows the current dcraw command line.
    virtual void MostrarLineaDCRAW(const std::string& line) = 0;
    // Box titled "WARNING".
    virtual void MensajeAviso(const std::string& text) = 0;
    // Box titled "ERROR".
    virtual void MensajeError(const std::string& text) = 0;
    // The progress read-out (lblXY), e.g. "45%".
    virtual void MostrarProgreso(const std::string& text) = 0;
    // The system beep at the end of long operations.
    virtual void Beep() = 0;
    // True once the user asked to cancel the running step. Kernels poll it per row band.
    virtual bool Cancelado() const { return false; }
};

// Thrown by a step when the user cancelled it. The step undoes nothing the user can see:
// it writes no partial file and leaves the state it owns as it was.
class Cancelled : public std::runtime_error {
  public:
    Cancelled() : std::runtime_error("cancelled") {}
};

// A run-time error with a number and a description, the two facts the unexpected-error report
// shows. Numbers follow the classic run-time error table (5 invalid argument, 6 overflow,
// 9 subscript out of range, 11 division by zero, 53 file not found, 75 path/file access error).
class RunTimeError : public std::runtime_error {
  public:
    RunTimeError(int number, const std::string& description)
        : std::runtime_error(description), number_(number) {}
    int number() const { return number_; }

  private:
    int number_;
};

inline constexpr int kErrInvalidArgument = 5;
inline constexpr int kErrOverflow = 6;
inline constexpr int kErrSubscript = 9;
inline constexpr int kErrDivisionByZero = 11;
inline constexpr int kErrFileNotFound = 53;
inline constexpr int kErrFileAccess = 75;

// The text of the unexpected-error report for `module` (a procedure's name, or a library's
// message such as "gflLoadBitmap [...]").
std::string TextoErrorInesperado(const std::string& module, int number,
                                 const std::string& description);

// The unexpected-error report: an error box with TextoErrorInesperado, then the log replaced by
// "An unexpected error occurred".
void ErrorInesperado(UserChannel& channel, const std::string& module, int number = 0,
                     const std::string& description = "");

// The report for whatever `error` is: a RunTimeError gives its number and text; any other
// exception reads as number 5 with its what() as the description.
void ErrorInesperado(UserChannel& channel, const std::string& module, const std::exception& error);

// Polls the channel and throws Cancelled when the user asked to stop.
void ComprobarCancelacion(const UserChannel& channel);

// ---- Paths ("/" separated) ----

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

// ---- Numbers ----

// Smaller / larger of two values; on equal values the second.
double MinDbl(double a, double b);
double MaxDbl(double a, double b);
int64_t MinLng(int64_t a, int64_t b);
int64_t MaxLng(int64_t a, int64_t b);
// The lowest 8 bits of a value, 0..255.
int ByteBajo(int64_t value);

// Nearest whole number, halves to the even neighbour (127.5 -> 128, 126.5 -> 126).
double Redondear(double value);

// The plain number-to-text form: at most 15 significant digits, no trailing zeros, no exponent,
// "-0" written as "0", and `decimal_separator` (one or more bytes) between the whole and the
// fractional part.
std::string TextoNumero(double value, std::string_view decimal_separator);
// The same with the decimal separator of the current C locale (LC_NUMERIC).
std::string TextoNumero(double value);
// The decimal separator of the current C locale, whole: some locales' separator is a multibyte
// character (U+066B in ps_AF). "." when the locale gives none.
std::string SeparadorDecimal();

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

// The name under which a file is written before it is put in place: `path` + `tag` + the
// process id + "-" + a counter. The name is remembered, so an abrupt end can remove the file.
std::string TemporaryNameBeside(const std::string& path, const char* tag);
// Removes every file still under a name TemporaryNameBeside gave (recent ones: the last 64).
// Async-signal-safe: the handler of a second interrupt calls it before ending the process.
void RemoveTemporariesAtAbruptExit();

// Local time of day as "hhmmss".
std::string HoraHHMMSS();

}  // namespace brimsal
