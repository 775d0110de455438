#include "recording.h"

#include <pybind11/stl.h>

#include <map>
#include <vector>

#include "values.h"

namespace recfile {
namespace {

// A numpy array over a buffer the reader allocated through the host's memory manager; the array
// frees it through that manager when Python lets go of it.
py::array_t<std::uint8_t> BufferArray(void* buffer, ULONG size) {
  if (buffer == nullptr) return py::array_t<std::uint8_t>(0);
  py::capsule owner(buffer, [](void* p) { rechost::MemoryManager().Free(p); });
  return py::array_t<std::uint8_t>({static_cast<py::ssize_t>(size)}, {1}, static_cast<std::uint8_t*>(buffer), owner);
}

// A column handed to numpy without a copy: the array keeps the vector alive.
template <class T>
py::array_t<T> Column(std::vector<T>&& values) {
  auto* held = new std::vector<T>(std::move(values));
  py::capsule owner(held, [](void* p) { delete static_cast<std::vector<T>*>(p); });
  return py::array_t<T>({static_cast<py::ssize_t>(held->size())}, {sizeof(T)}, held->data(), owner);
}

py::tuple DescriptorTuple(const DataPackageDescriptor& d) {
  return py::make_tuple(d.CycleId, d.DescriptorWord1, d.DescriptorWord2, d.PackageFlags, d.DescriptorWord4,
                        d.DescriptorWord5, d.DescriptorWord6, d.DescriptorWord7);
}

constexpr std::size_t kSignalCheckEvery = 4096;

}  // namespace

Recording::Recording(const std::string& path, bool writable, const py::object& progress)
    : path_(path), writable_(writable), host_(std::make_unique<Host>()) {
  reader_ = std::make_unique<rechost::Reader>(host_->services());
  host_->RunLong(progress, [&] { reader_->Open(path); });
}

void Recording::Close() { reader_.reset(); }

rechost::Reader& Recording::reader() {
  if (reader_ == nullptr) throw py::value_error("the recording is closed");
  return *reader_;
}

void Recording::RequireWritable() {
  reader();
  if (!writable_) throw py::value_error(path_ + ": opened for reading; open it with mode=\"r+\" to change it");
}

py::dict Recording::Properties() { return PropertiesDict(*reader().RecordingProperties()); }

py::dict Recording::SystemProperties() { return PropertiesDict(*reader().SystemProperties()); }

py::list Recording::Sources() {
  py::list out;
  for (const GUID& id : reader().SourceIds()) {
    py::dict properties = PropertiesDict(*reader().SourceProperties(id));
    py::dict source;
    source["id"] = GuidText(id);
    for (const char* name : {"Handle", "Class", "Name"}) {
      py::object key = py::str(name).attr("lower")();
      source[key] = properties.contains(name) ? properties[name] : py::object(py::none());
    }
    source["properties"] = properties;
    out.append(source);
  }
  return out;
}

py::list Recording::Markers() {
  py::list out;
  for (LONGLONG t : reader().MarkerTimestamps()) {
    py::dict marker;
    marker["timestamp"] = t;
    marker["properties"] = PropertiesDict(*reader().MarkerProperties(t));
    out.append(marker);
  }
  return out;
}

py::dict Recording::Summary() {
  rechost::Reader& r = reader();
  ULONGLONG begin = 0, end = 0;
  std::uint64_t packages = 0, damaged = 0;
  std::map<std::uint32_t, std::uint64_t> per_source;
  rechost::OwnedValue version;
  {
    py::gil_scoped_release free;
    begin = r.BeginTimestamp();
    end = r.EndTimestamp();
    r.properties().GetProperty(kReaderPropDataPackagesVersion, version.get());
    PackageWalk walk(r, {});
    ReadPackage p;
    while (walk.Next(p)) {
      FreeBuffers(p.record);
      ++packages;
      if (p.damaged) ++damaged;
      else ++per_source[p.record.SourceHandle];
      if (packages % kSignalCheckEvery == 0) Host::CheckSignals();
    }
  }
  const rechost::Value v = rechost::ToValue(*version);
  py::dict out;
  out["begin"] = begin;
  out["end"] = end;
  out["packages_version"] = v.kind == rechost::Value::Kind::kInteger ? py::int_(v.integer) : py::int_(v.unsigned_integer);
  out["packages"] = packages;
  out["damaged_packages"] = damaged;
  out["packages_per_source"] = per_source;
  return out;
}

void Recording::SetProperty(const std::string& name, const py::object& value, bool system) {
  RequireWritable();
  if (system) recfile::SetProperty(*reader().SystemProperties(), name, value);
  else recfile::SetProperty(*reader().RecordingProperties(), name, value);
}

void Recording::DeleteProperty(const std::string& name, bool system) {
  RequireWritable();
  auto table = system ? reader().SystemProperties() : reader().RecordingProperties();
  if (!table->DeletePropertyByName(rechost::Widen(name).c_str()))
    throw rechost::Error(rechost::kCodeFailure, name + ": the property could not be deleted");
}

void Recording::AddMarker(std::int64_t timestamp) {
  RequireWritable();
  if (!reader().markers().AddMarker(timestamp)) reader().ThrowLastError();
}

void Recording::DeleteMarker(std::int64_t timestamp) {
  RequireWritable();
  if (!reader().markers().DeleteMarker(timestamp)) reader().ThrowLastError();
}

void Recording::SetMarkerProperty(std::int64_t timestamp, const std::string& name, const py::object& value) {
  RequireWritable();
  recfile::SetProperty(*reader().MarkerProperties(timestamp), name, value);
}

void Recording::Save() {
  RequireWritable();
  host_->RunLong(py::none(), [&] { reader_->Save(); });
}

void Recording::Extract(const std::string& path, std::uint64_t start, std::uint64_t stop, const py::object& progress) {
  rechost::Reader& r = reader();
  host_->RunLong(progress, [&] { r.Extract(path, start, stop); });
}

PackageIterator::PackageIterator(Recording& recording, const Selection& selection) : recording_(recording) {
  py::gil_scoped_release free;
  walk_ = std::make_unique<PackageWalk>(recording.reader(), selection);
}

Package PackageIterator::Next() {
  recording_.reader();  // a closed recording ends every walk with an error
  ReadPackage p;
  bool more = false;
  {
    py::gil_scoped_release free;
    more = walk_->Next(p);
  }
  if (!more) throw py::stop_iteration();
  Package out;
  out.position = p.position;
  out.timestamp = p.record.Timestamp;
  out.source = p.record.SourceHandle;
  out.info1 = p.record.Info1;
  out.info2 = p.record.Info2;
  out.flags = p.record.Descriptor.PackageFlags;
  out.descriptor = DescriptorTuple(p.record.Descriptor);
  out.data = BufferArray(p.record.Data, p.record.DataSize);
  p.record.Data = nullptr;
  out.extra = BufferArray(p.record.ExtraData, p.record.ExtraSize);
  p.record.ExtraData = nullptr;
  out.damaged = p.damaged;
  out.damage = std::move(p.damage);
  return out;
}

py::dict PackageColumns(Recording& recording, const Selection& selection) {
  rechost::Reader& reader = recording.reader();
  std::vector<std::uint64_t> position, timestamp;
  std::vector<std::uint32_t> source, size, extra_size, flags, info1, info2;
  std::vector<std::pair<std::size_t, std::string>> damage;
  {
    py::gil_scoped_release free;
    PackageWalk walk(reader, selection);
    ReadPackage p;
    while (walk.Next(p)) {
      FreeBuffers(p.record);
      position.push_back(p.position);
      timestamp.push_back(p.record.Timestamp);
      source.push_back(p.record.SourceHandle);
      size.push_back(p.record.DataSize);
      extra_size.push_back(p.record.ExtraSize);
      flags.push_back(p.record.Descriptor.PackageFlags);
      info1.push_back(p.record.Info1);
      info2.push_back(p.record.Info2);
      if (p.damaged) damage.emplace_back(position.size() - 1, std::move(p.damage));
      if (position.size() % kSignalCheckEvery == 0) Host::CheckSignals();
    }
  }
  py::dict columns;
  columns["position"] = Column(std::move(position));
  columns["timestamp"] = Column(std::move(timestamp));
  columns["source"] = Column(std::move(source));
  columns["size"] = Column(std::move(size));
  columns["extra_size"] = Column(std::move(extra_size));
  columns["flags"] = Column(std::move(flags));
  columns["info1"] = Column(std::move(info1));
  columns["info2"] = Column(std::move(info2));
  columns["damage"] = damage;
  return columns;
}

}  // namespace recfile
