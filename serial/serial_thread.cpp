#include "serial/serial_thread.h"

#include "runtime/application.h"
#include "runtime/sync_call.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <chrono>
#include <initializer_list>
#include <thread>

TSerialThread::TSerialThread(TCustomSerialPort &port, std::shared_ptr<TSerialDevice> device, TSerialEvents events,
                             TSyncMethod method, std::shared_ptr<TWindowTarget> target, TThreadPriority priority,
                             std::function<void()> inputArrived)
    : port_(port),
      deviceOwner_(std::move(device)),
      device_(*deviceOwner_),
      events_(events),
      method_(method),
      priority_(priority),
      target_(std::move(target)),
      inputArrived_(std::move(inputArrived)),
      watch_(device_.Watch(events)) {
  thread_ = std::make_unique<TSyncThread>([this] { Run(); });
}

TSerialThread::~TSerialThread() {
  SignalStop();
  thread_->WaitFor();
}

void TSerialThread::SignalStop() {
  stopping_ = true;
  watch_->Stop();
}

void TSerialThread::TxFinished() {
  if (events_.Contains(evTxEmpty)) watch_->TxFinished();
}

bool TSerialThread::Finished() const { return thread_->Finished(); }

void TSerialThread::Run() {
  ApplyThreadPriority(priority_);
  for (;;) {
    const TSerialWatchResult r = watch_->Wait();
    if (r.stop || stopping_) break;
    const bool lost = r.lost;
    // A read waiting in the background looks at once (at a hang-up too:
    // nothing more will come for it).
    if (r.input && inputArrived_) inputArrived_();
    // Input is waiting but the queue has no room until the reader takes
    // some: pause instead of waking again at once.
    if (r.full && !lost) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    received_ = r.events & events_;
    if (stopping_) break;
    if (!received_.Empty() && !DeliverEvents(received_)) break;
    // Bytes a handler's own read pulled in after the count was taken are in
    // our queue, not in the system's, so the watch will not tell of them:
    // report them now, as the line would have. (Window delivery has not run the
    // handler yet at this point; its next event picks them up.)
    bool failed = false;
    while (method_ != smWindowSync && events_.Contains(evRxChar) && !stopping_ && device_.HasUnannounced())
      if (!DeliverEvents({evRxChar})) {
        failed = true;
        break;
      }
    if (failed || stopping_) break;
    if (lost) {
      // The device is gone and stays gone: waiting on it again would return
      // at once for ever. Report it once, after the input it left behind,
      // and stop.
      device_.NoteHangUp();
      TSerialEvents last;
      if (events_.Contains(evRxChar) && device_.QueuedInput() > 0) last.Include(evRxChar);
      if (events_.Contains(evError)) last.Include(evError);
      DeliverEvents(last, true);
      break;
    }
  }
  // Exit steps: what is still queued either way is dropped.
  device_.DiscardQueues();
}

bool TSerialThread::DeliverEvents(TSerialEvents events, bool lineLost) {
  TCustomSerialPort *port = &port_;
  auto handle = [port, events, lineLost] {
    // One delivery from the first step to the last, for Close and the
    // destructor to see.
    TCustomSerialPort::TDeliveryScope scope(*port);
    port->HandleEvents(events);
    if (lineLost) port->DispatchLineLost();
  };
  switch (method_) {
    case smThreadSync: try { SyncCall(handle);
      } catch (...) {
        fatal_ = std::current_exception();
        return false;
      }
      return true;
    case smNone: try { handle();
      } catch (...) {
        fatal_ = std::current_exception();
        return false;
      }
      return true;
    case smWindowSync: {
      // One message per event, in the dispatch order. They are posted and
      // the thread goes on at once; a step that throws is shown by the
      // standard handler. They go to the application object, which outlives
      // every port, and find their port through the target, which Close
      // empties: nothing is ever posted to an object the UI thread may be
      // deleting at that moment.
      QCoreApplication *app = QCoreApplication::instance();
      if (!app) return true;
      const std::shared_ptr<TWindowTarget> target = target_;
      for (TSerialEvent e : kSerialDispatchOrder) {
        if (!events.Contains(e)) continue;
        QMetaObject::invokeMethod(
            app,
            [target, e] {
              TCustomSerialPort *port = target->port;
              if (port && port->Connected()) RunHandler([&] { port->HandleEvents({e}); });
            },
            Qt::QueuedConnection);
      }
      if (lineLost)
        QMetaObject::invokeMethod(
            app,
            [target] {
              TCustomSerialPort *port = target->port;
              if (port && port->Connected()) RunHandler([&] { port->DispatchLineLost(); });
            },
            Qt::QueuedConnection);
      return true;
    }
  }
  return true;
}
