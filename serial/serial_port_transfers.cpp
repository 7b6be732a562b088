// Transfers: the asynchronous writes and reads, the blocking WriteText,
// WriteBuffer, ReadText and ReadBuffer built on them, and the input queue's
// count and purge.

#include "serial/serial_port.h"

#include "serial/serial_device.h"
#include "serial/transfer_lane.h"

namespace {

// A transfer record for the length of one blocking call, freed on every way
// out of it.
class TScopedTransfer {
public:
  TScopedTransfer() : transfer_(NewTransfer()) {}
  ~TScopedTransfer() { FreeTransfer(transfer_); }
  TScopedTransfer(const TScopedTransfer &) = delete;
  TScopedTransfer &operator=(const TScopedTransfer &) = delete;
  PortTransfer *get() const { return transfer_; }

private:
  PortTransfer *transfer_;
};

// Without a record, or with one whose last transfer is still running, there
// is nothing valid to start on.
void CheckStartable(PortTransfer *transfer) {
  if (!transfer || (transfer->job && !transfer->job->Ended())) throw ESerialPort(ecBadTransfer);
}

}  // namespace

PortTransfer *NewTransfer() { return new PortTransfer; }

void FreeTransfer(PortTransfer *transfer) {
  if (!transfer) return;
  // A transfer still running ends here: a read no longer writes into its
  // buffer once this has returned, and a write sends nothing more (left to
  // run, a freed write would hold every later one behind it).
  if (transfer->job) transfer->job->Cancel();
  delete transfer;
}

// --- starting and waiting --------------------------------------------------------

int TCustomSerialPort::StartWrite(const void *bytes, int count, PortTransfer *transfer) {
  CheckStartable(transfer);
  transfer->job.reset();
  if (count <= 0) return 0;
  if (!bytes) throw ESerialPort(ecBadTransfer);
  if (!device_ || !lanes_) throw ESerialPort(ecWriteFailed, SerialOsErrorNumber(TSerialOsError::Closed));
  device_->CheckOpen(ecWriteFailed);
  auto job = std::make_shared<TTransferJob>(TTransferKind::Write);
  job->bytes.assign(static_cast<const char *>(bytes), static_cast<std::size_t>(count));
  // Always pending: the device's write both sends and waits for the bytes to
  // leave the line, so even one byte would hold the caller for its time on
  // the wire. The count comes with WaitTransfer.
  lanes_->Post(job);
  transfer->job = std::move(job);
  return 0;
}

int TCustomSerialPort::StartWriteText(const std::string &text, PortTransfer *transfer) {
  if (text.empty()) {
    CheckStartable(transfer);
    transfer->job.reset();
    return 0;
  }
  return StartWrite(text.data(), static_cast<int>(text.size()), transfer);
}

int TCustomSerialPort::StartRead(void *buffer, int count, PortTransfer *transfer) {
  CheckStartable(transfer);
  transfer->job.reset();
  if (count <= 0) return 0;
  if (!buffer) throw ESerialPort(ecBadTransfer);
  if (!device_ || !lanes_) throw ESerialPort(ecReadFailed, SerialOsErrorNumber(TSerialOsError::Closed));
  auto job = std::make_shared<TTransferJob>(TTransferKind::Read);
  job->buffer = static_cast<char *>(buffer);
  job->wanted = count;
  job->timeouts = DeviceTimeouts();
  int n = 0;
  if (lanes_->ReadAtOnce(*job, n)) {
    job->Finish(n);
    transfer->job = std::move(job);
    return n;
  }
  lanes_->Post(job);
  transfer->job = std::move(job);
  return 0;
}

int TCustomSerialPort::StartReadText(std::string &text, int count, PortTransfer *transfer) {
  if (count <= 0) {
    CheckStartable(transfer);
    transfer->job.reset();
    text.clear();
    return 0;
  }
  text.resize(static_cast<std::size_t>(count));
  return StartRead(&text[0], count, transfer);
}

int TCustomSerialPort::WaitTransfer(PortTransfer *transfer) {
  if (!transfer) throw ESerialPort(ecBadTransfer);
  if (!transfer->job) return 0;  // nothing was started: done from the outset
  return transfer->job->Wait();
}

void TCustomSerialPort::AbortTransfers() {
  if (lanes_) lanes_->AbortAll();
  if (!device_) throw ESerialPort(ecPurgeFailed, SerialOsErrorNumber(TSerialOsError::Closed));
  device_->CheckOpen(ecPurgeFailed);
}

// --- the blocking transfers ---------------------------------------------------------

int TCustomSerialPort::WriteText(const std::string &text) {
  if (text.empty()) return 0;  // nothing reaches the device, open or not
  TScopedTransfer transfer;
  StartWriteText(text, transfer.get());
  return WaitTransfer(transfer.get());
}

int TCustomSerialPort::WriteBuffer(const void *bytes, int count) {
  if (count <= 0) return 0;
  TScopedTransfer transfer;
  StartWrite(bytes, count, transfer.get());
  return WaitTransfer(transfer.get());
}

int TCustomSerialPort::ReadText(std::string &text, int count) {
  TScopedTransfer transfer;
  try {
    StartReadText(text, count, transfer.get());
    const int n = WaitTransfer(transfer.get());
    text.resize(static_cast<std::size_t>(n));
    return n;
  } catch (...) {
    text.clear();
    throw;
  }
}

int TCustomSerialPort::ReadBuffer(void *buffer, int count) {
  if (count <= 0) return 0;
  TScopedTransfer transfer;
  StartRead(buffer, count, transfer.get());
  return WaitTransfer(transfer.get());
}

// --- the queues ----------------------------------------------------------------------

void TCustomSerialPort::ClearBuffers(bool input, bool output) {
  if (!device_ || !lanes_) throw ESerialPort(ecPurgeFailed, SerialOsErrorNumber(TSerialOsError::Closed));
  lanes_->Purge(input, output);
}

int TCustomSerialPort::PendingInput() {
  if (!device_) throw ESerialPort(ecClearErrorFailed, SerialOsErrorNumber(TSerialOsError::Closed));
  return device_->PendingInput();
}
