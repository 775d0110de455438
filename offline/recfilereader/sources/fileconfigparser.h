// The configuration of a recording's devices: one compound document whose root holds one
// storage per device, named by the device's "Name", each with one property set
// {71CCAC61-82F1-415D-A1A0-2685B38C3C44} holding all of the device's properties by name.
// CFileConfigParser reads such a document from a configuration block's payload into a device
// list. Stateless between calls; failures raise exception_rt.
#ifndef RECFILEREADER_SOURCES_FILECONFIGPARSER_H
#define RECFILEREADER_SOURCES_FILECONFIGPARSER_H

#include <cstdint>
#include <span>
#include <vector>

#include "platform/storage/storageinterfaces.h"
#include "properties/propertymap.h"
#include "recfilereader/hostservices.h"

namespace recfilereader {

// The devices in document order (the compound document's element order).
using DeviceList = std::vector<PropertyMap>;

// The format identifier of a device's property set.
constexpr FMTID kDeviceConfigFormatId = {
    0x71CCAC61, 0x82F1, 0x415D, {0xA1, 0xA0, 0x26, 0x85, 0xB3, 0x8C, 0x3C, 0x44}};

class CFileConfigParser {
 public:
  // Appends every device of the document in `payload`. The document lives on lock bytes over
  // `memory` (the platform's when null). Devices read before a failure stay in the list.
  void ParseConfigInfo(std::span<const std::uint8_t> payload, DeviceList& devices,
                       IExMemoryMgr* memory);
  // Reads one device storage and appends it; it must have "Handle" and "Class".
  void ParseDeviceIStorage(IStorage* storage, DeviceList& devices, IExMemoryMgr* memory);
};

}  // namespace recfilereader

#endif  // RECFILEREADER_SOURCES_FILECONFIGPARSER_H
