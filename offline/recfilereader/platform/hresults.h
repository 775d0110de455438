// The HRESULT codes of OLE Automation conversions and structured storage, which the library
// raises and answers inside; a host sees only the general codes of "recfilereader/compat.h".
#ifndef RECFILEREADER_PLATFORM_HRESULTS_H
#define RECFILEREADER_PLATFORM_HRESULTS_H

#include "recfilereader/compat.h"

// OLE Automation conversion results.
constexpr HRESULT DISP_E_TYPEMISMATCH = HResultFromBits(0x80020005u);
constexpr HRESULT DISP_E_OVERFLOW = HResultFromBits(0x8002000Au);
constexpr HRESULT DISP_E_DIVBYZERO = HResultFromBits(0x80020012u);

// Structured storage results.
constexpr HRESULT STG_E_INVALIDFUNCTION = HResultFromBits(0x80030001u);
constexpr HRESULT STG_E_FILENOTFOUND = HResultFromBits(0x80030002u);
constexpr HRESULT STG_E_PATHNOTFOUND = HResultFromBits(0x80030003u);
constexpr HRESULT STG_E_TOOMANYOPENFILES = HResultFromBits(0x80030004u);
constexpr HRESULT STG_E_ACCESSDENIED = HResultFromBits(0x80030005u);
constexpr HRESULT STG_E_INVALIDHANDLE = HResultFromBits(0x80030006u);
constexpr HRESULT STG_E_INSUFFICIENTMEMORY = HResultFromBits(0x80030008u);
constexpr HRESULT STG_E_INVALIDPOINTER = HResultFromBits(0x80030009u);
constexpr HRESULT STG_E_NOMOREFILES = HResultFromBits(0x80030012u);
constexpr HRESULT STG_E_DISKISWRITEPROTECTED = HResultFromBits(0x80030013u);
constexpr HRESULT STG_E_SEEKERROR = HResultFromBits(0x80030019u);
constexpr HRESULT STG_E_WRITEFAULT = HResultFromBits(0x8003001Du);
constexpr HRESULT STG_E_READFAULT = HResultFromBits(0x8003001Eu);
constexpr HRESULT STG_E_SHAREVIOLATION = HResultFromBits(0x80030020u);
constexpr HRESULT STG_E_LOCKVIOLATION = HResultFromBits(0x80030021u);
constexpr HRESULT STG_E_FILEALREADYEXISTS = HResultFromBits(0x80030050u);
constexpr HRESULT STG_E_INVALIDPARAMETER = HResultFromBits(0x80030057u);
constexpr HRESULT STG_E_MEDIUMFULL = HResultFromBits(0x80030070u);
constexpr HRESULT STG_E_PROPSETMISMATCHED = HResultFromBits(0x800300F0u);
constexpr HRESULT STG_E_ABNORMALAPIEXIT = HResultFromBits(0x800300FAu);
constexpr HRESULT STG_E_INVALIDHEADER = HResultFromBits(0x800300FBu);
constexpr HRESULT STG_E_INVALIDNAME = HResultFromBits(0x800300FCu);
constexpr HRESULT STG_E_UNKNOWN = HResultFromBits(0x800300FDu);
constexpr HRESULT STG_E_UNIMPLEMENTEDFUNCTION = HResultFromBits(0x800300FEu);
constexpr HRESULT STG_E_INVALIDFLAG = HResultFromBits(0x800300FFu);
constexpr HRESULT STG_E_INUSE = HResultFromBits(0x80030100u);
constexpr HRESULT STG_E_NOTCURRENT = HResultFromBits(0x80030101u);
constexpr HRESULT STG_E_REVERTED = HResultFromBits(0x80030102u);
constexpr HRESULT STG_E_CANTSAVE = HResultFromBits(0x80030103u);
constexpr HRESULT STG_E_OLDFORMAT = HResultFromBits(0x80030104u);
constexpr HRESULT STG_E_OLDDLL = HResultFromBits(0x80030105u);
constexpr HRESULT STG_E_SHAREREQUIRED = HResultFromBits(0x80030106u);
constexpr HRESULT STG_E_NOTFILEBASEDSTORAGE = HResultFromBits(0x80030107u);
constexpr HRESULT STG_E_EXTANTMARSHALLINGS = HResultFromBits(0x80030108u);
constexpr HRESULT STG_E_DOCFILECORRUPT = HResultFromBits(0x80030109u);
constexpr HRESULT STG_E_BADBASEADDRESS = HResultFromBits(0x80030110u);
constexpr HRESULT STG_E_INCOMPLETE = HResultFromBits(0x80030201u);
constexpr HRESULT STG_E_TERMINATED = HResultFromBits(0x80030202u);
constexpr HRESULT STG_S_CONVERTED = 0x00030200;

#endif  // RECFILEREADER_PLATFORM_HRESULTS_H
