#include "host.h"

namespace recfile {

Host::Host() {
  rechost::HostOptions options;
  options.program = "recfile";
  options.messages = nullptr;  // failures reach Python as exceptions, not as printed lines
  options.progress.on_tick = [this](LONG progress) { Tick(progress); };
  services_ = std::make_unique<rechost::HostServices>(options);
}

void Host::Tick(LONG progress) {
  py::gil_scoped_acquire hold;
  if (PyErr_CheckSignals() != 0) {
    PyErr_Clear();
    interrupted_ = true;
    services_->abort().Request();
    return;
  }
  if (progress_.is_none()) return;
  try {
    progress_(progress);
  } catch (py::error_already_set&) {
    // A progress display that fails must not end the work: it is dropped.
    progress_ = py::none();
  }
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
