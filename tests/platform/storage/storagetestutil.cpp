#include "storagetestutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "platform/storage/propertystorage.h"
#include "platform/textconv.h"
#include "support/tempdir.h"

namespace rectest {

ComPtr<ILockBytes> MemoryLockBytes(const std::vector<std::uint8_t>& bytes) {
  ComPtr<ILockBytes> lock_bytes;
  EXPECT_EQ(CreateILockBytesOnHGlobal(nullptr, 1, lock_bytes.Out()), S_OK);
  ULONG written = 0;
  EXPECT_EQ(bytes.empty() ? S_OK : lock_bytes->WriteAt({}, bytes.data(), static_cast<ULONG>(bytes.size()), &written), S_OK);
  return lock_bytes;
}

std::vector<std::uint8_t> ContentsOf(ILockBytes* lock_bytes) {
  STATSTG stat{};
  EXPECT_EQ(lock_bytes->Stat(&stat, STATFLAG_NONAME), S_OK);
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(stat.cbSize.QuadPart));
  ULONG read = 0;
  EXPECT_EQ(lock_bytes->ReadAt({}, bytes.data(), static_cast<ULONG>(bytes.size()), &read), S_OK);
  return bytes;
}

HRESULT OpenDocument(const std::vector<std::uint8_t>& bytes, ComPtr<IStorage>* root, DWORD mode) {
  ComPtr<ILockBytes> lock_bytes = MemoryLockBytes(bytes);
  return StgOpenStorageOnILockBytes(lock_bytes.get(), nullptr, mode, nullptr, 0, root->Out());
}

std::vector<std::uint8_t> ReadStreamAt(IStorage* storage, const wchar_t* name) {
  ComPtr<IStream> stream;
  EXPECT_EQ(storage->OpenStream(name, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, stream.Out()), S_OK);
  std::vector<std::uint8_t> bytes;
  EXPECT_EQ(stream ? recfilereader::ReadWholeStream(stream.get(), &bytes) : S_OK, S_OK);
  return bytes;
}

void WriteStream(IStorage* storage, const wchar_t* name, const std::vector<std::uint8_t>& data) {
  ComPtr<IStream> stream;
  ASSERT_EQ(storage->CreateStream(name, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0, stream.Out()), S_OK);
  if (data.empty()) return;
  ULONG written = 0;
  ASSERT_EQ(stream->Write(data.data(), static_cast<ULONG>(data.size()), &written), S_OK);
  ASSERT_EQ(written, data.size());
}

std::vector<std::uint8_t> Pattern(std::size_t count, std::uint8_t seed) {
  std::vector<std::uint8_t> out(count);
  for (std::size_t i = 0; i < count; ++i) out[i] = static_cast<std::uint8_t>(seed + i * 7);
  return out;
}

std::uint32_t Crc32(const std::vector<std::uint8_t>& bytes) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (const std::uint8_t b : bytes) {
    crc ^= b;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

HRESULT WalkDocument(IStorage* storage, std::vector<Element>* out, bool skip_damaged, const std::string& prefix) {
  ComPtr<IEnumSTATSTG> elements;
  HRESULT hr = storage->EnumElements(0, nullptr, 0, elements.Out());
  STATSTG stat{};
  ULONG fetched = 0;
  while (SUCCEEDED(hr) && (hr = elements->Next(1, &stat, &fetched)) == S_OK) {
    const Element e{prefix + recfilereader::WideToUtf8(stat.pwcsName), stat.type == STGTY_STORAGE, stat.cbSize.QuadPart};
    if (e.storage) {
      ComPtr<IStorage> sub;
      hr = storage->OpenStorage(stat.pwcsName, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0, sub.Out());
      out->push_back(e);
      if (SUCCEEDED(hr)) hr = WalkDocument(sub.get(), out, skip_damaged, e.path + "/");
    } else {
      ComPtr<IStream> stream;
      std::vector<std::uint8_t> data;
      hr = storage->OpenStream(stat.pwcsName, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, stream.Out());
      if (hr == STG_E_DOCFILECORRUPT && skip_damaged) {
        hr = S_OK;  // left out
      } else {
        if (SUCCEEDED(hr)) hr = recfilereader::ReadWholeStream(stream.get(), &data);
        if (SUCCEEDED(hr) && data.size() != e.size) hr = E_FAIL;
        out->push_back({e.path, false, e.size, Crc32(data)});
      }
    }
    CoTaskMemFree(stat.pwcsName);
  }
  return FAILED(hr) ? hr : S_OK;
}

static void SortByPath(std::vector<Element>* v) {
  std::sort(v->begin(), v->end(), [](const Element& a, const Element& b) { return a.path < b.path; });
}

std::vector<std::string> ElementPaths(IStorage* root) {
  std::vector<Element> all;
  EXPECT_EQ(WalkDocument(root, &all), S_OK);
  std::vector<std::string> paths;
  for (const Element& e : all) paths.push_back(e.path);
  return paths;
}

std::vector<Element> ListDocument(const std::vector<std::uint8_t>& bytes, bool sorted) {
  ComPtr<IStorage> root;
  std::vector<Element> all;
  EXPECT_EQ(OpenDocument(bytes, &root), S_OK);
  EXPECT_EQ(root ? WalkDocument(root.get(), &all) : S_OK, S_OK);
  if (sorted) SortByPath(&all);
  return all;
}

std::map<std::size_t, std::vector<Element>> OlefileListings(const std::string& python, const std::filesystem::path& file,
                                                            bool strict, const std::vector<std::size_t>& cuts) {
  const std::string script =
      "import io,olefile,sys,zlib\n"
      "data=open(sys.argv[1],'rb').read()\n"
      "for cut in map(int,sys.argv[3:]):\n"
      "  try:\n"
      "    ole=olefile.OleFileIO(io.BytesIO(data[:cut]),raise_defects=olefile.DEFECT_POTENTIAL if sys.argv[2]=='1' else olefile.DEFECT_FATAL)\n"
      "    assert sys.argv[2]=='0' or not ole.parsing_issues, ole.parsing_issues\n"
      "    for p in ole.listdir(streams=True,storages=True):\n"
      "      t=ole.get_type(p)\n"
      "      try: d=ole.openstream(p).read() if t==olefile.STGTY_STREAM else b''\n"
      "      except Exception: continue\n"
      "      print(cut, zlib.crc32(d), len(d), 1 if t==olefile.STGTY_STORAGE else 0, '/'.join(p))\n"
      "  except Exception: continue\n";
  TempDir dir;
  WriteFileBytes(dir / "list.py", std::vector<std::uint8_t>(script.begin(), script.end()));
  std::string command = python + " " + (dir / "list.py").string() + " '" + file.string() + "' " + (strict ? "1" : "0");
  for (const std::size_t cut : cuts.empty() ? std::vector{std::filesystem::file_size(file)} : cuts) command += " " + std::to_string(cut);
  int status = 0;
  std::istringstream out(RunCommand(command, &status));
  EXPECT_EQ(status, 0) << out.str();
  std::map<std::size_t, std::vector<Element>> listed;
  Element e;
  std::size_t cut = 0;
  int storage = 0;
  // The path comes last, so that it may hold spaces.
  while (out >> cut >> e.crc >> e.size >> storage && std::getline(out, e.path)) {
    e.path.erase(0, 1);
    e.storage = storage == 1;
    listed[cut].push_back(e);
  }
  for (auto& [at, elements] : listed) SortByPath(&elements);
  return listed;
}

std::string GsfProgram() {
  int status = 0;
  const std::string found = RunCommand("command -v gsf", &status);
  return status == 0 ? found.substr(0, found.find('\n')) : "";
}

}  // namespace rectest
