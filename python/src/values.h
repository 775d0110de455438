// Property values as plain Python values: numbers, texts, bytes for blobs, lists for vectors,
// datetime for times; and Python values turned into the property values a table takes.
#ifndef RECFILE_VALUES_H
#define RECFILE_VALUES_H

#include <pybind11/pybind11.h>

#include <string>

#include "rechost/rechost.h"

namespace recfile {

namespace py = pybind11;

// Every property of `table` as a dict in the table's order.
py::dict PropertiesDict(IObjectProperties& table);
// Sets one property; a str keeps the type the property has, other values bring their own.
// Throws rechost::Error when the table refuses it.
void SetProperty(IObjectProperties& table, const std::string& name, const py::handle& value);
std::string GuidText(const GUID& id);

}  // namespace recfile

#endif  // RECFILE_VALUES_H
