// The extension module `recfile._recfile`; the package `recfile` gives it its Python face.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <chrono>

#include "recording.h"
#include "rechost/progressbar.h"
#include "values.h"

namespace py = pybind11;

namespace recfile {
namespace {

// The library's failures become recfile.RecordingError with its code and text.
void TranslateErrors(std::exception_ptr thrown) {
  try {
    if (thrown) std::rethrow_exception(thrown);
  } catch (const rechost::Error& error) {
    py::object type = py::module_::import("recfile.errors").attr("RecordingError");
    py::object instance = type(error.code(), error.text());
    PyErr_SetObject(type.ptr(), instance.ptr());
  }
}

bool IsRecording(const std::string& path) {
  Host host;
  rechost::Reader reader(host.services());
  py::gil_scoped_release free;
  try {
    reader.Open(path, kRecordingLoadMetadataOnly);
    return true;
  } catch (const rechost::Error&) {
    return false;
  }
}

void Repair(const std::string& path, const py::object& progress) {
  Host host;
  rechost::Reader reader(host.services());
  host.RunLong(progress, [&] { reader.Repair(path); });
}

// For the benchmark only: the walk a C++ host does with the host library (each package copied
// out of the reader's buffers), timed in C++. Returns (packages, payload bytes, seconds).
py::tuple CxxWalk(const std::string& path) {
  Host host;
  rechost::Reader reader(host.services());
  py::gil_scoped_release free;
  reader.Open(path);
  const auto started = std::chrono::steady_clock::now();
  std::uint64_t packages = 0, bytes = 0;
  for (const rechost::Package& p : rechost::Packages(reader, kReadForward)) {
    ++packages;
    bytes += p.data.size();
  }
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
  py::gil_scoped_acquire hold;
  return py::make_tuple(packages, bytes, took.count());
}

// For the benchmark only: `count` packages of `payload_size` bytes from one source, a millisecond
// apart, written by the library's writer.
void WriteBenchRecording(const std::string& path, std::uint64_t count, std::uint32_t payload_size) {
  Host host;
  rechost::Reader writer(host.services());
  py::gil_scoped_release free;
  writer.Create(path, false);
  std::vector<std::uint8_t> payload(payload_size);
  for (std::uint64_t i = 0; i < count; ++i) {
    payload[0] = static_cast<std::uint8_t>(i);
    DataPackageRecord record{};
    record.SourceHandle = 1;
    record.Timestamp = 1'000'000 + i * 1'000;
    record.DataSize = payload_size;
    record.Data = payload.data();
    writer.Write(record);
  }
  writer.Close();
}

Selection MakeSelection(std::optional<std::uint64_t> start, std::optional<std::uint64_t> stop,
                        std::optional<std::uint32_t> source, bool reverse) {
  return {start, stop, source, reverse};
}

}  // namespace
}  // namespace recfile

PYBIND11_MODULE(_recfile, m) {
  using namespace recfile;
  m.doc() = "The reader of REC recordings, reached through its host library";
  py::register_exception_translator(&TranslateErrors);
  m.attr("PROGRESS_SCALE") = rechost::kProgressScale;

  py::class_<Package>(m, "Package")
      .def_readonly("position", &Package::position)
      .def_readonly("timestamp", &Package::timestamp)
      .def_readonly("source", &Package::source)
      .def_readonly("info1", &Package::info1)
      .def_readonly("info2", &Package::info2)
      .def_readonly("flags", &Package::flags)
      .def_readonly("descriptor", &Package::descriptor)
      .def_readonly("data", &Package::data)
      .def_readonly("extra", &Package::extra)
      .def_readonly("damaged", &Package::damaged)
      .def_readonly("damage", &Package::damage)
      .def("__repr__", [](const Package& p) {
        return "<Package timestamp=" + std::to_string(p.timestamp) + " source=" + std::to_string(p.source) +
               " size=" + std::to_string(p.data.size()) + (p.damaged ? " damaged" : "") + ">";
      });

  py::class_<PackageIterator>(m, "PackageIterator")
      .def("__iter__", [](PackageIterator& it) -> PackageIterator& { return it; })
      .def("__next__", &PackageIterator::Next);

  py::class_<Recording>(m, "Recording")
      .def(py::init<const std::string&, bool, const py::object&>(), py::arg("path"), py::arg("writable"),
           py::arg("progress") = py::none())
      .def("close", &Recording::Close)
      .def_property_readonly("closed", &Recording::closed)
      .def_property_readonly("path", &Recording::path)
      .def("properties", &Recording::Properties)
      .def("system_properties", &Recording::SystemProperties)
      .def("sources", &Recording::Sources)
      .def("markers", &Recording::Markers)
      .def("summary", &Recording::Summary)
      .def("span", [](Recording& r) { return py::make_tuple(r.reader().BeginTimestamp(), r.reader().EndTimestamp()); })
      .def("set_property", &Recording::SetProperty, py::arg("name"), py::arg("value"), py::arg("system"))
      .def("delete_property", &Recording::DeleteProperty, py::arg("name"), py::arg("system"))
      .def("add_marker", &Recording::AddMarker)
      .def("delete_marker", &Recording::DeleteMarker)
      .def("set_marker_property", &Recording::SetMarkerProperty)
      .def("save", &Recording::Save)
      .def("extract", &Recording::Extract, py::arg("path"), py::arg("start"), py::arg("stop"), py::arg("progress"))
      .def(
          "packages",
          [](Recording& r, std::optional<std::uint64_t> start, std::optional<std::uint64_t> stop,
             std::optional<std::uint32_t> source, bool reverse) {
            return std::make_unique<PackageIterator>(r, MakeSelection(start, stop, source, reverse));
          },
          py::arg("start"), py::arg("stop"), py::arg("source"), py::arg("reverse"), py::keep_alive<0, 1>())
      .def(
          "columns",
          [](Recording& r, std::optional<std::uint64_t> start, std::optional<std::uint64_t> stop,
             std::optional<std::uint32_t> source, bool reverse) {
            return PackageColumns(r, MakeSelection(start, stop, source, reverse));
          },
          py::arg("start"), py::arg("stop"), py::arg("source"), py::arg("reverse"));

  m.def("is_recording", &IsRecording, py::arg("path"));
  m.def("repair", &Repair, py::arg("path"), py::arg("progress") = py::none());
  m.def("_cxx_walk", &CxxWalk, py::arg("path"));
  m.def("_write_bench_recording", &WriteBenchRecording, py::arg("path"), py::arg("count"), py::arg("payload_size"));
}
