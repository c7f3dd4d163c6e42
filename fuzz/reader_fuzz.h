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

inline void FuzzFileFormatReader(TFileFormatReader& Reader, const uint8_t* data, size_t size) {
  PGMaxImageSize = FuzzImageBytes;
  PGReadChunks = true;
  // What the information read says the picture is; a read that makes a
  // larger one is judged by that.
  int64_t declared = 0;
  for (int round = 0; round < 3; ++round) {
    CheckedRead(round == 0 ? "information" : round == 1 ? "read" : "preview read", [&]() -> int64_t {
      TMemoryStream stream;
      stream.WriteBuffer(data, static_cast<int64_t>(size));
      stream.SetPosition(0);
      TPixelGraphic graphic;
      graphic.SetReadWarningAction(pgwaIgnore);
      try {
        if (round == 0) {
          TPGGraphicInfo info;
          Reader.GetInfo(stream, 0, info);
          declared = DeclaredPictureBytes(info.Width, info.Height);
        } else {
          graphic.SetPreviewRead(round == 2);
          graphic.SetPreviewSize(64);
          Reader.Read(stream, graphic, 0);
        }
      } catch (const Exception&) {
      }
      return std::max(declared, DeclaredPictureBytes(graphic.GetWidth(), graphic.GetHeight()));
    });
  }
}
