// One recording open in Python: the reader owned with its host, and what the module asks of it
// (tables of values, package walks, edits, extraction), each with the GIL released while the
// reader works.
#ifndef RECFILE_RECORDING_H
#define RECFILE_RECORDING_H

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <memory>
#include <string>

#include "host.h"
#include "walk.h"

namespace recfile {

// A package as Python sees it: the payload a numpy uint8 array over the reader's own buffer.
struct Package {
  std::uint64_t position = 0;
  std::uint64_t timestamp = 0;
  std::uint32_t source = 0;
  std::uint32_t info1 = 0;
  std::uint32_t info2 = 0;
  std::uint32_t flags = 0;
  py::tuple descriptor;
  py::array_t<std::uint8_t> data;
  py::array_t<std::uint8_t> extra;
  bool damaged = false;
  std::string damage;
};

class Recording {
 public:
  Recording(const std::string& path, bool writable, const py::object& progress);
  void Close();
  bool closed() const { return reader_ == nullptr; }
  const std::string& path() const { return path_; }

  py::dict Properties();
  py::dict SystemProperties();
  py::list Sources();
  py::list Markers();
  // Span, version and package counts; the counts take one walk over the packages.
  py::dict Summary();

  rechost::Reader& reader();
  Host& host() { return *host_; }

  void SetProperty(const std::string& name, const py::object& value, bool system);
  void DeleteProperty(const std::string& name, bool system);
  void AddMarker(std::int64_t timestamp);
  void DeleteMarker(std::int64_t timestamp);
  void SetMarkerProperty(std::int64_t timestamp, const std::string& name, const py::object& value);
  void Save();
  void Extract(const std::string& path, std::uint64_t start, std::uint64_t stop, const py::object& progress);

 private:
  void RequireWritable();

  std::string path_;
  bool writable_;
  std::unique_ptr<Host> host_;
  std::unique_ptr<rechost::Reader> reader_;
};

// Iterates a selection of one recording's packages; one walk at a time per recording.
class PackageIterator {
 public:
  PackageIterator(Recording& recording, const Selection& selection);
  Package Next();

 private:
  Recording& recording_;
  std::unique_ptr<PackageWalk> walk_;
};

// The fields of a selection's packages as numpy columns, read in one pass with the GIL released.
py::dict PackageColumns(Recording& recording, const Selection& selection);

}  // namespace recfile

#endif  // RECFILE_RECORDING_H
