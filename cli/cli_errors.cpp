#include "cli/cli_errors.h"

#include "data/text_file_writer.h"
#include "logger/download_session.h"
#include "serial/serial_device.h"
#include "serial/serial_port.h"
#include "sim/logger_simulator.h"

#include <cerrno>
#include <cstring>

namespace {

std::string SystemText(int osCode) { return osCode > 0 ? std::string(std::strerror(osCode)) : std::string(); }

std::string Capitalized(std::string text) {
  if (!text.empty() && text[0] >= 'a' && text[0] <= 'z') text[0] = static_cast<char>(text[0] - 'a' + 'A');
  return text;
}

TCliOutcome PortFailure(const ESerialPort &e, const std::string &port) {
  const std::string name = port.empty() ? std::string("el puerto") : "el puerto " + port;
  if (e.Code() == ecOpenFailed) {
    switch (e.OsCode()) {
      case ENOENT:
      case ENODEV:
      case ENXIO:
        return {exPortMissing, "No existe " + name + ". \"talvex-cli ports\" lista los puertos de este equipo."};
      case EBUSY: {
        // A terminal program's lock file says which process it is.
        const auto *held = dynamic_cast<const ESerialPortInUse *>(&e);
        std::string who;
        if (held && held->HolderPid() > 0)
          who = " (el proceso " + std::to_string(held->HolderPid()) + ", según " + held->LockFile() + ")";
        else if (held) who = " (según " + held->LockFile() + ", que no se puede leer)";
        return {exPortBusy, Capitalized(name) + " está en uso por otro programa" + who +
                                ". Ciérrelo (o desconecte el programa TALVEX) y vuelva a intentarlo."};
      }
      case EACCES:
      case EPERM:
        return {exPermission, "Permiso denegado al abrir " + name +
                                  ". Puede que su usuario deba pertenecer al grupo dialout "
                                  "(sudo usermod -aG dialout $USER, y volver a iniciar la sesión)."};
      default: break;
    }
  }
  if (e.OsCode() == EIO || e.OsCode() == ENXIO || e.OsCode() == ENODEV)
    return {exLineLost, "Se perdió la conexión con " + name + " (" + e.Message() + ")."};
  std::string message = "Error en " + name + ": " + e.Message();
  if (e.OsCode() > 0) message += " [" + SystemText(e.OsCode()) + "]";
  return {exFailure, message};
}

TCliOutcome DescribeCaught(const std::exception_ptr &failure, const std::string &port) {
  if (!failure) return {exOk, std::string()};
  try {
    std::rethrow_exception(failure);
  } catch (const ECliFailure &e) {
    return {e.Code(), e.Message()};
  } catch (const ESerialPort &e) {
    return PortFailure(e, port);
  } catch (const EDumpDecodeError &e) {
    const TDumpFault &f = e.Fault();
    const unsigned char first = f.Found.empty() ? 0 : static_cast<unsigned char>(f.Found[0]);
    const std::string found = f.Found.empty()                 ? std::string("falta el carácter")
                              : first < 0x20 || first == 0x7F ? "el byte " + std::to_string(first) + " no es un dígito"
                                                              : "'" + f.Found + "' no es un dígito";
    return {exBadDump, "La descarga no se puede decodificar: línea " + std::to_string(f.Line) + ", posición " +
                           std::to_string(f.Position) + ": " + found + " (" + e.Message() + ")."};
  } catch (const EInOutError &e) {
    return {exFileError, "No se pudo escribir el archivo: " + e.Message() + "."};
  } catch (const EConvertError &e) {
    return {exBadDump, "Dato no válido: " + e.Message()};
  } catch (const ESimulator &e) {
    return {exFailure, "Simulador: " + e.Message()};
  } catch (const std::exception &e) {
    return {exFailure, e.what()};
  } catch (...) {
    return {exFailure, "Error desconocido."};
  }
}

}  // namespace

TCliOutcome DescribeFailure(const std::exception_ptr &failure, const std::string &port) {
  TCliOutcome outcome = DescribeCaught(failure, port);
  // One line a terminal and a script read whole, whatever the message quotes.
  outcome.Message = Exception::VisibleText(outcome.Message);
  return outcome;
}
