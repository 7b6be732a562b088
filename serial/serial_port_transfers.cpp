// Transfers: writing and reading, and the input queue's count and purge.

#include "serial/serial_port.h"

#include "serial/serial_device.h"
#include "serial/serial_thread.h"

#include <cerrno>

int TCustomSerialPort::WriteText(const std::string &text) {
  if (text.empty()) return 0;
  return WriteBuffer(text.data(), static_cast<int>(text.size()));
}

int TCustomSerialPort::WriteBuffer(const void *bytes, int count) {
  if (count <= 0) return 0;
  if (!bytes) throw ESerialPort(ecBadTransfer);
  if (!device_) throw ESerialPort(ecWriteFailed, EBADF);
  const int written = device_->Write(static_cast<const char *>(bytes), count);
  if (thread_ && written == count) thread_->TxFinished();
  return written;
}

int TCustomSerialPort::ReadText(std::string &text, int count) {
  if (count <= 0) {
    text.clear();
    return 0;
  }
  text.resize(static_cast<std::size_t>(count));
  int n = 0;
  try {
    n = ReadBuffer(&text[0], count);
  } catch (...) {
    text.clear();
    throw;
  }
  text.resize(static_cast<std::size_t>(n));
  return n;
}

int TCustomSerialPort::ReadBuffer(void *buffer, int count) {
  if (count <= 0) return 0;
  if (!buffer) throw ESerialPort(ecBadTransfer);
  if (!device_) throw ESerialPort(ecReadFailed, EBADF);
  return device_->Read(static_cast<char *>(buffer), count);
}

void TCustomSerialPort::ClearBuffers(bool input, bool output) {
  if (!device_) throw ESerialPort(ecPurgeFailed, EBADF);
  device_->Purge(input, output);
}

int TCustomSerialPort::PendingInput() {
  if (!device_) throw ESerialPort(ecClearErrorFailed, EBADF);
  return device_->PendingInput();
}

void TCustomSerialPort::AbortTransfers() {
  // Transfers here are synchronous on the calling thread, so nothing can be
  // pending; what remains is checking that the handle is still ours.
  if (!device_) throw ESerialPort(ecPurgeFailed, EBADF);
  device_->CheckOpen(ecPurgeFailed);
}
