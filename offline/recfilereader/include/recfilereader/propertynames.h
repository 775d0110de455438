// The vocabulary of property names shared by the library and its hosts, grouped by the object
// that bears them. Names compare without regard to case.
#ifndef RECFILEREADER_PROPERTYNAMES_H
#define RECFILEREADER_PROPERTYNAMES_H

// Recording properties (IRecordingData::GetRecordingProperties).
inline constexpr wchar_t kRecPropGUID[] = L"GUID";
inline constexpr wchar_t kRecPropFileName[] = L"FileName";
inline constexpr wchar_t kRecPropDataIntegrityViolation[] = L"DataIntegrityViolation";
inline constexpr wchar_t kRecPropDescription[] = L"Description";
inline constexpr wchar_t kRecPropTriggerTimeUTC[] = L"TriggerTimeUTC";
inline constexpr wchar_t kRecPropTriggerTimeLocal[] = L"TriggerTimeLocal";
inline constexpr wchar_t kRecPropAudioComment[] = L"AudioComment";
inline constexpr wchar_t kRecPropVideoPreview[] = L"VideoPreview";
inline constexpr wchar_t kRecPropTimeReference[] = L"TimeReference";
inline constexpr wchar_t kRecPropCategorizingAttributes[] = L"CategorizingAttributes";
inline constexpr wchar_t kRecPropCategorizingConfiguration[] = L"CategorizingConfiguration";

// Properties of the reader itself (its IObjectProperties). The reader declares
// SupportedFileExt, SupportedFileDesc, BeginTimestamp to DataChanged (except CanChangeSysProp,
// CanChangeSources and CanChangeStreams) and the cache and decompression settings below; the
// other names belong to the shared vocabulary of readers.
inline constexpr wchar_t kReaderPropExtractGUID[] = L"ExtractGUID";
inline constexpr wchar_t kReaderPropSupportedFileExt[] = L"SupportedFileExt";
inline constexpr wchar_t kReaderPropSupportedFileDesc[] = L"SupportedFileDesc";
inline constexpr wchar_t kReaderPropSupportsDataStreams[] = L"SupportsDataStreams";
inline constexpr wchar_t kReaderPropBeginTimestamp[] = L"BeginTimestamp";
inline constexpr wchar_t kReaderPropEndTimestamp[] = L"EndTimestamp";
inline constexpr wchar_t kReaderPropEndOfFile[] = L"EndOfFile";
inline constexpr wchar_t kReaderPropBeginOfFile[] = L"BeginOfFile";
inline constexpr wchar_t kReaderPropCanChangeRecProp[] = L"CanChangeRecProp";
inline constexpr wchar_t kReaderPropCanChangeSysProp[] = L"CanChangeSysProp";
inline constexpr wchar_t kReaderPropCanChangeSources[] = L"CanChangeSources";
inline constexpr wchar_t kReaderPropCanChangeStreams[] = L"CanChangeStreams";
inline constexpr wchar_t kReaderPropCanChangeMarkers[] = L"CanChangeMarkers";
inline constexpr wchar_t kReaderPropCanChangeMarkerProp[] = L"CanChangeMarkerProp";
inline constexpr wchar_t kReaderPropCanExtractRecPart[] = L"CanExtractRecPart";
inline constexpr wchar_t kReaderPropDataPackagesVersion[] = L"DataPackagesVersion";
inline constexpr wchar_t kReaderPropDataChanged[] = L"DataChanged";
inline constexpr wchar_t kReaderPropXmlAttrOverride[] = L"XmlAttrOverride";
inline constexpr wchar_t kReaderPropRecAttrXmlsPath[] = L"RecAttrXmlsPath";

// The reader's writable settings, read when a file is opened.
inline constexpr wchar_t kReaderPropCacheEntrySize[] = L"CacheEntrySize";
inline constexpr wchar_t kReaderPropCacheMemoryLimit[] = L"CacheMemoryLimit";
inline constexpr wchar_t kReaderPropCacheSystemMemoryLimit[] = L"CacheSystemMemoryLimit";
inline constexpr wchar_t kReaderPropCacheIsTransparent[] = L"CacheIsTransparent";
inline constexpr wchar_t kReaderPropCacheAspect[] = L"CacheAspect";
inline constexpr wchar_t kReaderPropDontDecompressPackets[] = L"DontDecompressPackets";

// Source properties (IRecordingSources2::GetSource).
inline constexpr wchar_t kSourcePropClass[] = L"Class";
inline constexpr wchar_t kSourcePropHandle[] = L"Handle";
inline constexpr wchar_t kSourcePropSourceGUID[] = L"SourceGUID";
inline constexpr wchar_t kSourcePropFunctionID[] = L"FunctionID";
inline constexpr wchar_t kSourcePropName[] = L"Name";
inline constexpr wchar_t kSourcePropDescription[] = L"Description";

// Stream properties, for readers that show data streams.
inline constexpr wchar_t kStreamPropBeginTimestamp[] = L"BeginTimestamp";
inline constexpr wchar_t kStreamPropEndTimestamp[] = L"EndTimestamp";
inline constexpr wchar_t kStreamPropEndOfStream[] = L"EndOfStream";
inline constexpr wchar_t kStreamPropBeginOfStream[] = L"BeginOfStream";
inline constexpr wchar_t kStreamPropRecordingGUID[] = L"RecordingGUID";
inline constexpr wchar_t kStreamPropFileName[] = L"FileName";
inline constexpr wchar_t kStreamPropStreamGUID[] = L"StreamGUID";
inline constexpr wchar_t kStreamPropFunctionID[] = L"FunctionID";
inline constexpr wchar_t kStreamPropOriginal[] = L"Original";
inline constexpr wchar_t kStreamPropName[] = L"Name";
inline constexpr wchar_t kStreamPropDescription[] = L"Description";

// Marker properties (IRecordingMarker::GetMarkerProperties).
inline constexpr wchar_t kMarkerPropDescription[] = L"Description";
inline constexpr wchar_t kMarkerPropPreTriggerTime[] = L"PreTriggerTime";
inline constexpr wchar_t kMarkerPropPostTriggerTime[] = L"PostTriggerTime";
inline constexpr wchar_t kMarkerPropSnapshotSources[] = L"SnapshotSources";
inline constexpr wchar_t kMarkerPropSnapshotChannels[] = L"SnapshotChannels";
inline constexpr wchar_t kMarkerPropAudioComment[] = L"AudioComment";
inline constexpr wchar_t kMarkerPropTriggerTimeUTC[] = L"TriggerTimeUTC";
inline constexpr wchar_t kMarkerPropTriggerTimeLocal[] = L"TriggerTimeLocal";
inline constexpr wchar_t kMarkerPropGUID[] = L"GUID";

#endif  // RECFILEREADER_PROPERTYNAMES_H
