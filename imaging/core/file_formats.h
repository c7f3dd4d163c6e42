// The reader/writer protocol of the image file formats, the two process-wide
// registries (readers found by content, then by extension; writers by
// extension), the file-information service of the open dialog, and the
// conventions every format follows for progress and codec warnings.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/long_operation.h"
#include "imaging/core/pixel_graphic.h"
#include "platform/base/object.h"
#include "platform/base/stream.h"

// The first bytes of a stream that Identify sees. Bytes past the end of a
// shorter stream are zero.
constexpr int PGHeaderSize = 17;
using TPGFileHeader = std::array<uint8_t, PGHeaderSize>;

// What GetInfo tells about one image of a file without decoding its pixels.
struct TPGGraphicInfo {
  std::string FormatText;  // sub-format, compression and ordering words
  std::string ExtraText;   // further facts (optional chunks and the like)
  int32_t Width = 0;
  int32_t Height = 0;
  std::string ColorsText;  // "2", "16", "256", "64K", "16.7M", ...
  int32_t BitsPerPixel = 0;
  int32_t ImageCount = 0;  // images the file holds
};

// Colour resolutions: the eight storable colour depths, in order. A writer
// states the ones it can store as a set of eight bits, bit k for resolution k.
enum TPGColorResolution : uint8_t {
  crBlackWhite,     // 1 bit, pBlackWhite
  cr2Colors,        // 1 bit, any other palette
  cr16Grays,        // 4 bits, pGray16
  cr16SysColors,    // 4 bits, pSys16
  cr16Colors,       // 4 bits, any other palette
  cr256Grays,       // 8 bits, pGray256
  cr256Colors,      // 8 bits, any other palette
  cr16M,            // 24 bits
};
using TPGColorResolutions = uint8_t;
constexpr TPGColorResolutions AllColorResolutions = 0xFF;
// The name of a colour resolution in the library language.
std::string ColorResolutionName(uint8_t Resolution);

// Fields shared by readers and writers.
class TFileFormatReaderWriter : public TObject {
public:
  // Offered as an entry of the open or save dialog's filter.
  bool Listed() const { return FListed; }
  void SetListed(bool Value) { FListed = Value; }
  // The format's file extension in lower case, without the dot.
  const std::string& Extension() const { return FExtension; }
  void SetExtension(const std::string& Value) { FExtension = Value; }
  // The format's name in filters and in the information pane.
  const std::string& Description() const { return FDescription; }
  void SetDescription(const std::string& Value) { FDescription = Value; }

protected:
  bool FListed = true;
  std::string FExtension;
  std::string FDescription;
};

// Decodes one format into a TPixelGraphic.
//
// Contract: Read is called by the load path after it has emptied the graphic
// and found the reader; the stream stands where the file begins (not
// necessarily at 0). Read calls CheckPGImageSize with the file's dimensions
// before it allocates, then sets size and pixel format through NewImage, the
// palette, the resolution (pixels per metre) and the gamma where the format
// has them, and the chunks while PGReadChunks is on. It reports progress with
// the helpers below. Index other than 0 is refused by all but multi-image
// formats. Errors are the format's EPixelGraphic class with its tag.
//
// Readers keep their decoding state inside each call: the registered
// instance is shared by the main thread and the open dialog's preview
// thread. A reader that must keep per-file state in its instance overrides
// CreatePerCallInstance; every read and info call through the registries
// then runs on a fresh instance of its own.
class TFileFormatReader : public TFileFormatReaderWriter {
public:
  // True when the reader recognises its format from the first bytes.
  bool IdentifiedByContent() const { return FIdentifiedByContent; }
  void SetIdentifiedByContent(bool Value) { FIdentifiedByContent = Value; }

  // Base: False.
  virtual bool Identify(const TPGFileHeader& Header);
  // Decodes image Index of the stream, from its position, into Graphic.
  // Base: does nothing.
  virtual void Read(TStream& Stream, TPixelGraphic& Graphic, int32_t Index);
  // Describes image Index without decoding its pixels. Base: both texts and
  // ColorsText empty, Width, Height and BitsPerPixel 0, ImageCount 1;
  // overrides call it first.
  virtual void GetInfo(TStream& Stream, int32_t Index, TPGGraphicInfo& Info);
  // A fresh instance for one call, for readers that keep per-file state in
  // their instance; nullptr (the base) when the shared instance is safe.
  virtual std::unique_ptr<TFileFormatReader> CreatePerCallInstance() const { return nullptr; }

protected:
  bool FIdentifiedByContent = false;
};

// Encodes a TPixelGraphic into one format.
//
// Contract: the save path finds the writer by extension, asks
// GetCanWriteResolutions, converts the graphic to a storable colour
// resolution when needed and calls Write, which writes the whole file at the
// stream's position (and stores the graphic's chunks its format can hold
// while PGWriteChunks is on). Writers keep their state inside the call; one
// that keeps per-file state across BeginFile, WritePage and EndFile overrides
// CreatePerCallInstance, and the save path then writes through a fresh one.
class TFileFormatWriter : public TFileFormatReaderWriter {
public:
  // Can put several images into one file.
  bool MultiPage() const { return FMultiPage; }
  // The set of storable colour resolutions (the field; see GetCanWriteResolutions).
  TPGColorResolutions CanWriteResolutions() const { return FCanWriteResolutions; }
  void SetCanWriteResolutions(TPGColorResolutions Value) { FCanWriteResolutions = Value; }

  // Base: the CanWriteResolutions field.
  virtual TPGColorResolutions GetCanWriteResolutions();
  // Shown in parentheses behind the description in the colour-resolution
  // messages of the save path. Base: empty.
  virtual std::string GetSubFormat();
  // Writes Graphic at the stream's position. Base: does nothing.
  virtual void Write(TStream& Stream, TPixelGraphic& Graphic);
  // Write reads Graphic's rows only after Graphic.RowGate() (when set) has
  // them finished, and reads nothing of Graphic but its size, format,
  // palette and rows: the save path may then run Write on a second thread
  // while the rows are being mapped. Base: false.
  virtual bool WritesRowsAsFinished() const { return false; }
  // Page-wise writing of a multi-page file. Base: each does nothing.
  virtual void BeginFile(TStream& Stream);
  virtual void WritePage(TStream& Stream, TPixelGraphic& Graphic);
  virtual void EndFile(TStream& Stream);
  virtual std::unique_ptr<TFileFormatWriter> CreatePerCallInstance() const { return nullptr; }

protected:
  bool FMultiPage = false;
  TPGColorResolutions FCanWriteResolutions = 0;
};

// ---- Registries

// An ordered list that owns its readers or writers.
template <class T>
class TFileFormatList {
public:
  int32_t Count() const { return static_cast<int32_t>(FItems.size()); }
  T* Items(int32_t Index) const { return FItems.at(static_cast<size_t>(Index)).get(); }
  void Add(std::unique_ptr<T> Item) { FItems.push_back(std::move(Item)); }
  void Clear() { FItems.clear(); }
  auto begin() const { return FItems.begin(); }
  auto end() const { return FItems.end(); }

  // Puts the list in ascending extension order when it is not.
  void Sort();

private:
  std::vector<std::unique_ptr<T>> FItems;
};

using TFileFormatReaders = TFileFormatList<TFileFormatReader>;
using TFileFormatWriters = TFileFormatList<TFileFormatWriter>;

// The two registries; they exist between InitFileFormatRegistries and
// FreeFileFormatRegistries (the library's start-up and shut-down) and own
// their instances.
extern std::unique_ptr<TFileFormatReaders> FileFormatReaders;
extern std::unique_ptr<TFileFormatWriters> FileFormatWriters;

// The library's own BMP reader and writer, kept apart from the registries:
// TPixelGraphic.SaveToStream, the form streaming and the clipboard write
// through PGDefaultBMPWriter. Set by the library's start-up.
extern std::unique_ptr<TFileFormatReader> PGDefaultBMPReader;
extern std::unique_ptr<TFileFormatWriter> PGDefaultBMPWriter;

// Creates both registries, empty (nothing when they exist).
void InitFileFormatRegistries();
// Frees every reader and writer and both lists, and the default BMP reader
// and writer.
void FreeFileFormatRegistries();

// How a format joins the registries: its registration routine, called from
// the library's start-up (or, for GIF, from its module's start-up), appends
// one instance per extension:
//   RegisterFileFormatReader(std::make_unique<TBMPFileFormatReader>());
//   RegisterFileFormatWriter(std::make_unique<TBMPFileFormatWriter>());
// Raises EPixelGraphic before the registries exist.
void RegisterFileFormatReader(std::unique_ptr<TFileFormatReader> Reader);
void RegisterFileFormatWriter(std::unique_ptr<TFileFormatWriter> Writer);

// Ascending extension order; both are safe to call from any thread.
void SortFileFormatReaders();
void SortFileFormatWriters();
// The order of two readers or writers: their lower-case extensions compared
// byte by byte; -1, 0 or 1.
int CompareFileFormatExtensions(const TFileFormatReaderWriter& A, const TFileFormatReaderWriter& B);

// The extension of a file name in lower case, without the dot: the text
// after the last "." of the name (never of a folder), empty when none.
std::string GetFileExtension(const std::string& FileName);

// The reader for the stream, or nullptr: first every reader identified by
// content, in extension order, is shown the first 17 bytes from the stream's
// position; only when none accepts them, the first reader without a content
// signature whose extension equals Extension (a leading "." is dropped,
// case is ignored). The stream is left where it was. Never raises.
TFileFormatReader* FindFileFormatReader(TStream& Stream, const std::string& Extension);

// The first writer whose extension equals Extension (leading "." dropped,
// case ignored), after sorting; nullptr when none. Does not raise.
TFileFormatWriter* FindFileFormatWriter(const std::string& Extension);

// Fills Description and Info for image Index of the stream from its
// position, which is kept. False (never an exception) when no reader
// recognises the stream or its GetInfo fails; Info is cleared first.
bool GetGraphicStreamInfo(TStream& Stream, const std::string& Extension, int32_t Index,
                          std::string& Description, TPGGraphicInfo& Info);
// The same for a named file. False, with the results untouched, when the file
// name is empty or the file does not exist.
bool GetGraphicFileInfo(const std::string& FileName, int32_t Index, std::string& Description,
                        TPGGraphicInfo& Info);

// Progress of readers and writers: TPGProgressScope (long_operation.h) with
// Sender = the reader or writer (or, where a format says so, the graphic).

// ---- Warning boxes

enum TPGBoxButtons : uint8_t { pgbOK, pgbOKCancel };
// Shows a warning message box (exclamation icon) and returns true for OK.
using TPGWarningBoxHook =
    std::function<bool(const std::string& Text, const std::string& Caption, TPGBoxButtons Buttons)>;
// The one place the imaging library's warning boxes go through: platform/ui
// installs a real box, tests install a scripted answer. Without a hook every
// box is answered OK. Returns the previous hook.
TPGWarningBoxHook SetPGWarningBoxHook(TPGWarningBoxHook Hook);
bool PGWarningBox(const std::string& Text, const std::string& Caption, TPGBoxButtons Buttons);

// A warning of a codec library (JPEG, PNG), handled by the graphic's
// ReadWarningAction. Tag is "JPG" or "PNG". Returns true when the library is
// to go on; false when the read or write must end, with ErrorText = the
// message of the format's exception (Tag + ": " + "Operation aborted on user
// request" after Cancel, Tag + ": " + Text for pgwaRaise). It never raises,
// so a codec's C callback may call it and then leave by longjmp.
bool PGCodecWarning(TPGWarningAction Action, const std::string& Tag, const std::string& Text,
                    std::string& ErrorText) noexcept;
