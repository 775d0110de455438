#include "host.h"

namespace recfile {

Host::Host() {
  rechost::HostOptions options;
  options.program = "recfile";
  options.messages = nullptr;  // failures reach Python as exceptions, not as printed lines
  options.progress.on_tick = [this](LONG progress) { Tick(progress); };
  services_ = std::make_unique<rechost::HostServices>(options);
}

// The display goes first, so that a Ctrl-C that arrives while it draws (and ends it with a
// KeyboardInterrupt) is still taken as the request to stop.
void Host::Tick(LONG progress) {
  py::gil_scoped_acquire hold;
  if (!progress_.is_none()) {
    try {
      progress_(progress);
    } catch (py::error_already_set& e) {
      if (e.matches(PyExc_KeyboardInterrupt)) {
        Interrupt();
        return;
      }
      // A progress display that fails otherwise must not end the work: it is dropped.
      progress_ = py::none();
    }
  }
  if (PyErr_CheckSignals() != 0) {
    PyErr_Clear();
    Interrupt();
  }
}

void Host::Interrupt() {
  interrupted_ = true;
  services_->abort().Request();
}

void Host::RunLong(const py::object& progress, const std::function<void()>& work) {
  progress_ = progress;
  interrupted_ = false;
  struct Reset {
    Host& host;
    ~Reset() { host.progress_ = py::none(); }
  } reset{*this};
  try {
    py::gil_scoped_release free;
    work();
  } catch (const rechost::Error&) {
    if (!interrupted_) throw;
  }
  if (interrupted_) {
    PyErr_SetNone(PyExc_KeyboardInterrupt);
    throw py::error_already_set();
  }
}

void Host::CheckSignals() {
  py::gil_scoped_acquire hold;
  if (PyErr_CheckSignals() != 0) throw py::error_already_set();
}

}  // namespace recfile
