// Writes a device list as the configuration document of a recording (the layout described in
// fileconfigparser.h) and hands back the document's bytes. Devices without a "Name" are left
// out, and a device whose storage cannot be created is skipped; two devices of one name share
// a storage, which the later one replaces. Stateless between calls; failures raise exception_rt.
#ifndef RECFILEREADER_SOURCES_FILECONFIGSAVER_H
#define RECFILEREADER_SOURCES_FILECONFIGSAVER_H

#include <cstdint>
#include <vector>

#include "recfilereader/hostservices.h"
#include "sources/fileconfigparser.h"

namespace recfilereader {

class CFileConfigSaver {
 public:
  // `payload` receives the document's bytes. The document is built on lock bytes over
  // `memory` (the platform's when null).
  void SaveFileConfig(IExMemoryMgr* memory, const DeviceList& devices,
                      std::vector<std::uint8_t>& payload);
};

}  // namespace recfilereader

#endif  // RECFILEREADER_SOURCES_FILECONFIGSAVER_H
