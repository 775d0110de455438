// The host a Python program offers the reader: the host library's services with the reader's
// messages kept quiet, long work run with the GIL released, progress handed to a Python
// callable, and Ctrl-C answered through the reader's abort path.
#ifndef RECFILE_HOST_H
#define RECFILE_HOST_H

#include <pybind11/pybind11.h>

#include <functional>
#include <memory>

#include "rechost/rechost.h"

namespace recfile {

namespace py = pybind11;

class Host {
 public:
  Host();
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  rechost::HostServices& services() { return *services_; }

  // Runs `work` with the GIL released. At once and then about ten times a second the waiting
  // thread calls
  // `progress` (None, or a callable taking the completed fraction times kProgressScale) and
  // checks for Ctrl-C, which requests the abort; the KeyboardInterrupt is raised once the work
  // has given up. An abort cannot be taken back, so a host that was interrupted stays aborted.
  void RunLong(const py::object& progress, const std::function<void()>& work);
  // Raises a pending KeyboardInterrupt (or other signal exception); for loops that run with
  // the GIL released and look up now and then.
  static void CheckSignals();

 private:
  void Tick(LONG progress);
  void Interrupt();

  py::object progress_ = py::none();
  bool interrupted_ = false;
  std::unique_ptr<rechost::HostServices> services_;
};

}  // namespace recfile

#endif  // RECFILE_HOST_H
