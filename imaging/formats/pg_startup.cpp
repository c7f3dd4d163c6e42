// Start-up and shut-down of the imaging library.
#include "imaging/formats/pg_startup.h"

#include "imaging/core/dither.h"
#include "imaging/core/file_formats.h"
#include "imaging/core/messages.h"
#include "imaging/core/options.h"
#include "imaging/core/palette.h"
#include "imaging/core/pg_canvas.h"
#include "imaging/core/pg_resources.h"
#include "imaging/formats/bmp_format.h"

namespace {

int InitCount = 0;

}  // namespace

void RegisterBuiltInFileFormats() {
  // One line per format, in this order; the readers end up as bmp, dib, rle,
  // jpg, jpeg, jif, png, pcx, pbm, pgm, ppm, tga, tif, tiff and the writers
  // as bmp, dib, jpg, jpeg, jif, png, pbm, pgm, ppm, tga, tif, tiff.
  // Keep the comment lines between the calls.
  // BMP:
  RegisterBMPFileFormats();

  // JPEG:
  RegisterJPEGFileFormats();

  // PNG:
  RegisterPNGFileFormats();

  // PCX:
  RegisterPCXFileFormats();

  // PBM, PGM, PPM:
  RegisterPxMFileFormats();

  // TGA:
  RegisterTGAFileFormats();

  // TIFF:
  RegisterTIFFFileFormats();

  // (The GIF module registers its own reader and writer in its start-up.)
}

bool PGraphicInitialized() { return InitCount > 0; }

void PGraphicInitialization() {
  if (InitCount++ > 0) return;
  try {
    CheckPGLangStrEntries();
    PGUseStretchBlt = false;
    PGLanguage = 0;
    InitPGInfoFont();
    CreatePGCursors();
    InitClampTable();
    InitPGOptions();
    InitPGPalettes();
    PGDefaultBMPReader = std::make_unique<TBMPFileFormatReader>();
    PGDefaultBMPWriter = std::make_unique<TBMPFileFormatWriter>();
    InitFileFormatRegistries();
    RegisterBuiltInFileFormats();
    SortFileFormatReaders();
    SortFileFormatWriters();
  } catch (...) {
    InitCount = 0;
    DestroyPGCursors();
    FreeFileFormatRegistries();
    throw;
  }
}

void PGraphicFinalization() {
  if (InitCount == 0 || --InitCount > 0) return;
  DestroyPGCursors();
  FreeAllPGCanvases();
  FreeFileFormatRegistries();
}
