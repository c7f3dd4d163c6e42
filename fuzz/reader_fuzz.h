// One fuzz input through a reader of the registries: an information read, a
// full read and a preview read, with metadata chunks on. Every input must
// decode or raise one of our exceptions, never crash, overrun or hang, and
// each read must cost no more than a small multiple of the picture the
// input declares (fuzz_cost.h).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_cost.h"
#include "imaging/core/file_formats.h"
#include "imaging/core/options.h"
#include "platform/base/exception.h"

// The bytes of a Width x Height picture in the largest form an image takes
// (24 bits a pixel); 0 for no picture. Sides come from headers and may be
// anything: the product is held below 2^50.
inline int64_t DeclaredPictureBytes(int64_t Width, int64_t Height) {
  if (Width <= 0 || Height <= 0) return 0;
  constexpr int64_t kLimit = int64_t(1) << 50;
  return Width > kLimit / 3 / Height ? kLimit : Width * Height * 3;
}

// Reads page Page of the input with Reader (with Preview, a preview of 64
// pixels), our exceptions ending the read quietly; the bytes of the
// picture it made.
inline int64_t FuzzReadPage(TFileFormatReader& Reader, const uint8_t* data, size_t size, int32_t Page,
                            bool Preview) {
  TMemoryStream stream;
  stream.WriteBuffer(data, static_cast<int64_t>(size));
  stream.SetPosition(0);
  TPixelGraphic graphic;
  graphic.SetReadWarningAction(pgwaIgnore);
  try {
    graphic.SetPreviewRead(Preview);
    graphic.SetPreviewSize(64);
    Reader.Read(stream, graphic, Page);
  } catch (const Exception&) {
  }
  return DeclaredPictureBytes(graphic.GetWidth(), graphic.GetHeight());
}

inline void FuzzFileFormatReader(TFileFormatReader& Reader, const uint8_t* data, size_t size) {
  PGMaxImageSize = FuzzImageBytes;
  PGReadChunks = true;
  // What the information read says the picture is; a read that makes a
  // larger one is judged by that.
  int64_t declared = 0;
  CheckedRead("information", [&]() -> int64_t {
    TMemoryStream stream;
    stream.WriteBuffer(data, static_cast<int64_t>(size));
    stream.SetPosition(0);
    try {
      TPGGraphicInfo info;
      Reader.GetInfo(stream, 0, info);
      declared = DeclaredPictureBytes(info.Width, info.Height);
    } catch (const Exception&) {
    }
    return declared;
  });
  for (bool preview : {false, true})
    CheckedRead(preview ? "preview read" : "read",
                [&]() -> int64_t { return std::max(declared, FuzzReadPage(Reader, data, size, 0, preview)); });
}
