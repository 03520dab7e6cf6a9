#include "develop/DcrawProcess.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QMetaObject>
#include <QProcess>
#include <QStringList>
#include <QTimer>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "base/Parallel.h"
#include "base/Paths.h"
#include "base/UserChannel.h"

namespace brimsal {

namespace {

// dcraw's messages can run long with user options; only the end of them is ever shown.
constexpr size_t kColaMensajes = 4096;
// How long a killed process may take to be reaped.
constexpr int kEsperaMuerteMs = 5000;
// How often a waiting run looks at the cancel flag.
constexpr int kIntervaloCancelacionMs = 50;

std::string UltimaLinea(const std::string& texto) {
    size_t end = texto.find_last_not_of(" \t\r\n");
    if (end == std::string::npos) {
        return "";
    }
    const size_t begin = texto.find_last_of("\r\n", end);
    const size_t from = begin == std::string::npos ? 0 : begin + 1;
    return texto.substr(from, end - from + 1);
}

void Borrar(const std::string& path) {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
}

}  // namespace

std::string ResultadoDcraw::Motivo() const {
    switch (fin) {
        case FinDcraw::kHecho:
            return "";
        case FinDcraw::kNoArranco:
            return "dcraw could not be started" + (detalle.empty() ? "" : ": " + detalle);
        case FinDcraw::kCodigoSalida:
            return "dcraw ended with exit code " + std::to_string(codigo_salida);
        case FinDcraw::kCaida:
            return "dcraw crashed";
        case FinDcraw::kSinTIFF:
            return "dcraw wrote no TIFF";
        case FinDcraw::kDetenido:
            return "dcraw was stopped";
        case FinDcraw::kNoIniciado:
            return "dcraw was not started";
    }
    return "";
}

struct DcrawProcess::Impl {
    std::string programa;
    TrabajoDcraw trabajo;
    std::unique_ptr<QProcess> proceso;
    ResultadoDcraw resultado;
    std::string mensajes;  // the tail of dcraw's error output
    bool terminado = false;
    bool deteniendo = false;
    std::function<void()> al_terminar;

    ~Impl() {
        al_terminar = nullptr;
        if (proceso) {
            // No signal may reach this object while the process is torn down.
            proceso->disconnect();
        }
    }

    void LeerMensajes() {
        mensajes += proceso->readAllStandardError().toStdString();
        if (mensajes.size() > kColaMensajes) {
            mensajes.erase(0, mensajes.size() - kColaMensajes);
        }
    }

    void Terminar(FinDcraw fin) {
        if (terminado) {
            return;
        }
        terminado = true;
        resultado.fin = fin;
        resultado.ultima_linea = UltimaLinea(mensajes);
        if (fin != FinDcraw::kHecho) {
            // Whatever a failed or stopped run left under the TIFF's name is not a development.
            Borrar(trabajo.tiff);
        }
        if (al_terminar) {
            auto callback = std::move(al_terminar);
            al_terminar = nullptr;
            callback();
        }
    }

    void AlAcabar(int codigo, QProcess::ExitStatus estado) {
        if (deteniendo) {
            return;
        }
        LeerMensajes();
        resultado.codigo_salida = codigo;
        if (estado == QProcess::CrashExit) {
            Terminar(FinDcraw::kCaida);
        } else if (codigo != 0) {
            Terminar(FinDcraw::kCodigoSalida);
        } else if (!ExisteArchivo(trabajo.tiff)) {
            Terminar(FinDcraw::kSinTIFF);
        } else {
            Terminar(FinDcraw::kHecho);
        }
    }
};

DcrawProcess::DcrawProcess(std::string programa, TrabajoDcraw trabajo)
    : impl_(std::make_unique<Impl>()) {
    impl_->programa = std::move(programa);
    impl_->trabajo = std::move(trabajo);
}

DcrawProcess::~DcrawProcess() {
    impl_->al_terminar = nullptr;
    Detener();
}

void DcrawProcess::Iniciar(std::function<void()> al_terminar) {
    Impl& d = *impl_;
    d.al_terminar = std::move(al_terminar);
    d.proceso = std::make_unique<QProcess>();
    QProcess& proceso = *d.proceso;
    QStringList argumentos;
    for (const std::string& argumento : d.trabajo.argumentos) {
        argumentos << QFile::decodeName(QByteArray::fromStdString(argumento));
    }
    proceso.setProgram(QFile::decodeName(QByteArray::fromStdString(d.programa)));
    proceso.setArguments(argumentos);
    // With -c among the user's options dcraw would write the image to its output; it is not a
    // development (no TIFF), and must not fill a pipe nobody reads.
    proceso.setStandardOutputFile(QProcess::nullDevice());
    proceso.setProcessChannelMode(QProcess::SeparateChannels);
    QObject::connect(&proceso, &QProcess::readyReadStandardError, [&d] { d.LeerMensajes(); });
    QObject::connect(&proceso, &QProcess::errorOccurred, [&d](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart && !d.deteniendo) {
            d.resultado.detalle = d.proceso->errorString().toStdString();
            d.Terminar(FinDcraw::kNoArranco);
        }
    });
    QObject::connect(&proceso, &QProcess::finished,
                     [&d](int codigo, QProcess::ExitStatus estado) { d.AlAcabar(codigo, estado); });
    proceso.start();
}

void DcrawProcess::Detener() {
    Impl& d = *impl_;
    if (d.terminado) {
        return;
    }
    d.deteniendo = true;
    if (d.proceso && d.proceso->state() != QProcess::NotRunning) {
        d.proceso->kill();
        d.proceso->waitForFinished(kEsperaMuerteMs);
    }
    d.Terminar(d.proceso ? FinDcraw::kDetenido : FinDcraw::kNoIniciado);
}

bool DcrawProcess::Terminado() const {
    return impl_->terminado;
}

const ResultadoDcraw& DcrawProcess::Resultado() const {
    return impl_->resultado;
}

std::vector<ResultadoDcraw> EjecutarDcraw(const std::string& programa,
                                          const std::vector<TrabajoDcraw>& trabajos,
                                          int simultaneos, const UserChannel& channel,
                                          const std::function<void(size_t)>& job_done) {
    const size_t n = trabajos.size();
    std::vector<ResultadoDcraw> resultados(n);
    if (n == 0) {
        return resultados;
    }
    if (QCoreApplication::instance() == nullptr) {
        throw std::logic_error("running dcraw needs the Qt runtime (QtRuntime)");
    }
    const size_t limite = static_cast<size_t>(simultaneos > 0 ? simultaneos : HilosDisponibles());
    std::vector<std::unique_ptr<DcrawProcess>> procesos(n);
    size_t siguiente = 0;
    std::vector<bool> notified(n, false);
    bool cancelado = false;
    QEventLoop bucle;

    // Every change of the run's state happens here, called from the event loop only: a
    // process that ends (even inside its own start) just asks for another pass.
    std::function<void()> bombear;
    auto pedir_pasada = [&] {
        QMetaObject::invokeMethod(
            &bucle, [&] { bombear(); }, Qt::QueuedConnection);
    };
    bombear = [&] {
        if (channel.Cancelado()) {
            cancelado = true;
            bucle.quit();
            return;
        }
        size_t corriendo = 0;
        for (size_t i = 0; i < siguiente; ++i) {
            if (!procesos[i]->Terminado()) {
                ++corriendo;
            } else if (!procesos[i]->Resultado().Hecho()) {
                bucle.quit();  // the first failure ends the run
                return;
            } else if (job_done && !notified[i]) {
                notified[i] = true;
                job_done(i);
            }
        }
        // dcraw is single-threaded: a last round of fewer runs than the limit (five files on two
        // cores) would leave cores idle for a whole development, so the runs left then start
        // together with the round before and share the cores.
        while (siguiente < n && (corriendo < limite || n - siguiente < limite)) {
            procesos[siguiente] = std::make_unique<DcrawProcess>(programa, trabajos[siguiente]);
            procesos[siguiente]->Iniciar(pedir_pasada);
            ++siguiente;
            ++corriendo;
        }
        if (corriendo == 0 && siguiente == n) {
            bucle.quit();
        }
    };

    QTimer vigilante;
    vigilante.setInterval(kIntervaloCancelacionMs);
    QObject::connect(&vigilante, &QTimer::timeout, [&] {
        if (channel.Cancelado()) {
            cancelado = true;
            bucle.quit();
        }
    });
    vigilante.start();
    pedir_pasada();
    bucle.exec();
    vigilante.stop();
    // Ctrl+C in a terminal reaches dcraw too: a process that died of it is a cancel, not a
    // failure.
    cancelado = cancelado || channel.Cancelado();

    for (size_t i = 0; i < n; ++i) {
        if (procesos[i]) {
            procesos[i]->Detener();  // only those still running are affected
            resultados[i] = procesos[i]->Resultado();
        }
    }
    if (cancelado) {
        throw Cancelled();
    }
    return resultados;
}

}  // namespace brimsal
