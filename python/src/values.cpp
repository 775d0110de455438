#include "values.h"

#include <pybind11/stl.h>

#include <cinttypes>
#include <cstdio>
#include <limits>

namespace recfile {
namespace {

constexpr std::int64_t kTicksPerMicrosecond = 10;

py::object DateTime() { return py::module_::import("datetime"); }

// Times are 100-nanosecond ticks since 1601 (UTC); datetime keeps microseconds.
py::object FileTimeValue(const std::string& iso_text) {
  // "YYYY-MM-DDTHH:MM:SS.fffffffZ" from the host library; earlier times come as a plain count.
  if (iso_text.size() < 27 || iso_text[10] != 'T') return py::str(iso_text);
  return DateTime().attr("datetime").attr("fromisoformat")(iso_text.substr(0, 26) + "+00:00");
}

// OLE dates count days since 1899-12-30, local time without a zone.
py::object OleDateValue(double days) {
  py::object dt = DateTime();
  return dt.attr("datetime")(1899, 12, 30) + dt.attr("timedelta")(py::arg("days") = days);
}

py::object PlainValue(const rechost::Value& value) {
  using Kind = rechost::Value::Kind;
  switch (value.kind) {
    case Kind::kEmpty: return py::none();
    case Kind::kBool: return py::bool_(value.boolean);
    case Kind::kInteger: return py::int_(value.integer);
    case Kind::kUnsigned: return py::int_(value.unsigned_integer);
    case Kind::kReal: return py::float_(value.real);
    case Kind::kText: return py::str(value.text);
    case Kind::kBytes: return py::bytes(reinterpret_cast<const char*>(value.bytes.data()), value.bytes.size());
    case Kind::kList: {
      py::list items;
      for (const auto& item : value.items) items.append(PlainValue(item));
      return items;
    }
  }
  return py::none();
}

py::object PropertyValue(const rechost::Property& property) {
  if (property.type == VT_FILETIME && property.value.kind == rechost::Value::Kind::kText)
    return FileTimeValue(property.value.text);
  if (property.type == VT_DATE && property.value.kind == rechost::Value::Kind::kReal) return OleDateValue(property.value.real);
  return PlainValue(property.value);
}

FILETIME ToFileTime(const py::handle& moment) {
  py::object dt = DateTime();
  py::object utc = dt.attr("timezone").attr("utc");
  py::object aware = moment.attr("tzinfo").is_none() ? moment.attr("replace")(py::arg("tzinfo") = utc) : py::reinterpret_borrow<py::object>(moment);
  py::object since = aware - dt.attr("datetime")(1601, 1, 1, py::arg("tzinfo") = utc);
  const auto micro = since.attr("days").cast<std::int64_t>() * 86'400'000'000LL +
                     since.attr("seconds").cast<std::int64_t>() * 1'000'000LL + since.attr("microseconds").cast<std::int64_t>();
  const auto ticks = static_cast<std::uint64_t>(micro * kTicksPerMicrosecond);
  return {static_cast<DWORD>(ticks & 0xFFFFFFFFu), static_cast<DWORD>(ticks >> 32)};
}

rechost::OwnedValue ToOwnedValue(const py::handle& value) {
  rechost::OwnedValue owned;
  PROPVARIANT& v = *owned.get();
  if (py::isinstance<py::bool_>(value)) {
    v.vt = VT_BOOL;
    v.boolVal = value.cast<bool>() ? VARIANT_TRUE : VARIANT_FALSE;
  } else if (py::isinstance<py::int_>(value)) {
    const auto number = value.cast<long long>();
    if (number >= std::numeric_limits<LONG>::min() && number <= std::numeric_limits<LONG>::max()) {
      v.vt = VT_I4;
      v.lVal = static_cast<LONG>(number);
    } else {
      v.vt = VT_I8;
      v.hVal = number;
    }
  } else if (py::isinstance<py::float_>(value)) {
    v.vt = VT_R8;
    v.dblVal = value.cast<double>();
  } else if (py::isinstance<py::str>(value)) {
    return rechost::OwnedValue::Text(value.cast<std::string>());
  } else if (py::isinstance<py::bytes>(value) || py::isinstance<py::bytearray>(value)) {
    const std::string bytes = py::bytes(py::reinterpret_borrow<py::object>(value));
    return rechost::OwnedValue::Blob({bytes.begin(), bytes.end()});
  } else if (py::isinstance(value, DateTime().attr("datetime"))) {
    v.vt = VT_FILETIME;
    v.filetime = ToFileTime(value);
  } else {
    throw py::type_error("a property takes bool, int, float, str, bytes or datetime, not " +
                         py::str(value.get_type().attr("__name__")).cast<std::string>());
  }
  return owned;
}

}  // namespace

py::dict PropertiesDict(IObjectProperties& table) {
  py::dict out;
  for (const auto& property : rechost::ReadProperties(table)) out[py::str(property.name)] = PropertyValue(property);
  return out;
}

void SetProperty(IObjectProperties& table, const std::string& name, const py::handle& value) {
  const std::wstring wide = rechost::Widen(name);
  if (py::isinstance<py::str>(value)) {
    const rechost::OwnedValue present = rechost::GetProperty(table, name);
    if ((*present).vt != VT_EMPTY && (*present).vt != VT_LPWSTR) {
      if (!rechost::SetPropertyText(table, name, value.cast<std::string>()))
        throw rechost::Error(rechost::kCodeFailure, name + ": the text does not convert to the property's type");
      return;
    }
  }
  rechost::OwnedValue owned = ToOwnedValue(value);
  if (!table.SetProperty(wide.c_str(), owned.get())) throw rechost::Error(rechost::kCodeFailure, name + ": the value was refused");
}

std::string GuidText(const GUID& g) {
  char out[40];
  std::snprintf(out, sizeof out, "{%08" PRIX32 "-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2, g.Data3,
                g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return out;
}

}  // namespace recfile
