// The reader/writer base classes, the two registries and the searches over
// them.
#include "imaging/core/file_formats.h"

#include <algorithm>
#include <mutex>

#include "imaging/core/exceptions.h"
#include "imaging/core/messages.h"
#include "platform/base/files.h"
#include "platform/base/strings.h"

std::unique_ptr<TFileFormatReaders> FileFormatReaders;
std::unique_ptr<TFileFormatWriters> FileFormatWriters;
std::unique_ptr<TFileFormatReader> PGDefaultBMPReader;
std::unique_ptr<TFileFormatWriter> PGDefaultBMPWriter;

namespace {

// Guards sorting and searching of both lists: the preview thread and the
// main thread may search at the same time, and the first search sorts.
std::mutex RegistryLock;

TPGWarningBoxHook WarningBoxHook;
std::mutex WarningBoxLock;

std::string DropLeadingDot(const std::string& Extension) {
  return !Extension.empty() && Extension[0] == '.' ? Extension.substr(1) : Extension;
}

}  // namespace

std::string ColorResolutionName(uint8_t Resolution) { return PGMessage(static_cast<uint8_t>(8 + (Resolution & 7))); }

// ---- base classes

bool TFileFormatReader::Identify(const TPGFileHeader&) { return false; }

void TFileFormatReader::Read(TStream&, TPixelGraphic&, int32_t) {}

void TFileFormatReader::GetInfo(TStream&, int32_t, TPGGraphicInfo& Info) {
  Info = TPGGraphicInfo{};
  Info.ImageCount = 1;
}

TPGColorResolutions TFileFormatWriter::GetCanWriteResolutions() { return FCanWriteResolutions; }
std::string TFileFormatWriter::GetSubFormat() { return {}; }
void TFileFormatWriter::Write(TStream&, TPixelGraphic&) {}
void TFileFormatWriter::BeginFile(TStream&) {}
void TFileFormatWriter::WritePage(TStream&, TPixelGraphic&) {}
void TFileFormatWriter::EndFile(TStream&) {}

// ---- registries

int CompareFileFormatExtensions(const TFileFormatReaderWriter& A, const TFileFormatReaderWriter& B) {
  int c = LowerCase(A.Extension()).compare(LowerCase(B.Extension()));
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

template <class T>
void TFileFormatList<T>::Sort() {
  if (FItems.size() < 2) return;
  auto less = [](const std::unique_ptr<T>& a, const std::unique_ptr<T>& b) {
    return CompareFileFormatExtensions(*a, *b) < 0;
  };
  if (!std::is_sorted(FItems.begin(), FItems.end(), less))
    std::stable_sort(FItems.begin(), FItems.end(), less);
}

template class TFileFormatList<TFileFormatReader>;
template class TFileFormatList<TFileFormatWriter>;

void InitFileFormatRegistries() {
  std::lock_guard<std::mutex> lock(RegistryLock);
  if (!FileFormatReaders) FileFormatReaders = std::make_unique<TFileFormatReaders>();
  if (!FileFormatWriters) FileFormatWriters = std::make_unique<TFileFormatWriters>();
}

void FreeFileFormatRegistries() {
  std::lock_guard<std::mutex> lock(RegistryLock);
  FileFormatReaders.reset();
  FileFormatWriters.reset();
  PGDefaultBMPReader.reset();
  PGDefaultBMPWriter.reset();
}

void RegisterFileFormatReader(std::unique_ptr<TFileFormatReader> Reader) {
  std::lock_guard<std::mutex> lock(RegistryLock);
  if (!FileFormatReaders) throw EPixelGraphic(PGMessage(16, "FileFormatReaders"));
  FileFormatReaders->Add(std::move(Reader));
}

void RegisterFileFormatWriter(std::unique_ptr<TFileFormatWriter> Writer) {
  std::lock_guard<std::mutex> lock(RegistryLock);
  if (!FileFormatWriters) throw EPixelGraphic(PGMessage(16, "FileFormatWriters"));
  FileFormatWriters->Add(std::move(Writer));
}

void SortFileFormatReaders() {
  std::lock_guard<std::mutex> lock(RegistryLock);
  if (FileFormatReaders) FileFormatReaders->Sort();
}

void SortFileFormatWriters() {
  std::lock_guard<std::mutex> lock(RegistryLock);
  if (FileFormatWriters) FileFormatWriters->Sort();
}

std::string GetFileExtension(const std::string& FileName) {
  return LowerCase(DropLeadingDot(ExtractFileExt(FileName)));
}

TFileFormatReader* FindFileFormatReader(TStream& Stream, const std::string& Extension) {
  try {
    std::string ext = LowerCase(DropLeadingDot(Extension));
    TPGFileHeader header{};  // zero past the end of a short stream
    int64_t pos = Stream.Position();
    try {
      int64_t got = 0;
      while (got < PGHeaderSize) {
        int64_t n = Stream.Read(header.data() + got, PGHeaderSize - got);
        if (n <= 0) break;
        got += n;
      }
    } catch (...) {
      Stream.SetPosition(pos);
      throw;
    }
    Stream.SetPosition(pos);

    std::lock_guard<std::mutex> lock(RegistryLock);
    if (!FileFormatReaders || FileFormatReaders->Count() == 0) return nullptr;
    FileFormatReaders->Sort();
    for (const auto& reader : *FileFormatReaders)
      if (reader->IdentifiedByContent() && reader->Identify(header)) return reader.get();
    if (!ext.empty())
      for (const auto& reader : *FileFormatReaders)
        if (!reader->IdentifiedByContent() && LowerCase(reader->Extension()) == ext) return reader.get();
  } catch (...) {
  }
  return nullptr;
}

TFileFormatWriter* FindFileFormatWriter(const std::string& Extension) {
  std::string ext = LowerCase(DropLeadingDot(Extension));
  std::lock_guard<std::mutex> lock(RegistryLock);
  if (!FileFormatWriters) return nullptr;
  FileFormatWriters->Sort();
  for (const auto& writer : *FileFormatWriters)
    if (LowerCase(writer->Extension()) == ext) return writer.get();
  return nullptr;
}

bool GetGraphicStreamInfo(TStream& Stream, const std::string& Extension, int32_t Index,
                          std::string& Description, TPGGraphicInfo& Info) {
  Description.clear();
  Info = TPGGraphicInfo{};
  try {
    TFileFormatReader* shared = FindFileFormatReader(Stream, Extension);
    if (!shared) return false;
    std::unique_ptr<TFileFormatReader> own = shared->CreatePerCallInstance();
    TFileFormatReader& reader = own ? *own : *shared;
    Description = reader.Description();
    int64_t pos = Stream.Position();
    try {
      reader.GetInfo(Stream, Index, Info);
    } catch (...) {
      Stream.SetPosition(pos);
      throw;
    }
    Stream.SetPosition(pos);
    return true;
  } catch (...) {
    return false;
  }
}

bool GetGraphicFileInfo(const std::string& FileName, int32_t Index, std::string& Description,
                        TPGGraphicInfo& Info) {
  try {
    if (ExtractFileName(FileName).empty() || !FileExists(FileName)) return false;
    TFileStream stream(FileName, fmOpenRead);
    return GetGraphicStreamInfo(stream, GetFileExtension(FileName), Index, Description, Info);
  } catch (...) {
    return false;
  }
}

// ---- warning boxes

TPGWarningBoxHook SetPGWarningBoxHook(TPGWarningBoxHook Hook) {
  std::lock_guard<std::mutex> lock(WarningBoxLock);
  std::swap(WarningBoxHook, Hook);
  return Hook;
}

bool PGWarningBox(const std::string& Text, const std::string& Caption, TPGBoxButtons Buttons) {
  TPGWarningBoxHook hook;
  {
    std::lock_guard<std::mutex> lock(WarningBoxLock);
    hook = WarningBoxHook;
  }
  return hook ? hook(Text, Caption, Buttons) : true;
}

bool PGCodecWarning(TPGWarningAction Action, const std::string& Tag, const std::string& Text,
                    std::string& ErrorText) noexcept {
  try {
    switch (Action) {
      case pgwaIgnore:
        return true;
      case pgwaOKBox:
        PGWarningBox(Text, Tag + " " + PGMessage(28), pgbOK);
        return true;
      case pgwaOKCancelBox:
        if (PGWarningBox(Text, Tag + " " + PGMessage(28), pgbOKCancel)) return true;
        ErrorText = Tag + ": " + PGMessage(29);
        return false;
      case pgwaRaise:
        ErrorText = Tag + ": " + Text;
        return false;
    }
    return true;
  } catch (...) {
    ErrorText = Tag + ": " + Text;
    return false;
  }
}
