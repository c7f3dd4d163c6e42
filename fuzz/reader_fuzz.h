// One fuzz input through a reader of the registries: a full read, a preview
// read and an information read, with metadata chunks on. Every input must
// decode or raise one of our exceptions, never crash, overrun or hang.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/core/file_formats.h"
#include "imaging/core/options.h"
#include "platform/base/exception.h"

inline void FuzzFileFormatReader(TFileFormatReader& Reader, const uint8_t* data, size_t size) {
  // Keep images small enough that a hostile size cannot exhaust memory.
  PGMaxImageSize = 64u << 20;
  PGReadChunks = true;
  for (int round = 0; round < 3; ++round) {
    TMemoryStream stream;
    stream.WriteBuffer(data, static_cast<int64_t>(size));
    stream.SetPosition(0);
    TPixelGraphic graphic;
    graphic.SetReadWarningAction(pgwaIgnore);
    try {
      if (round == 2) {
        TPGGraphicInfo info;
        Reader.GetInfo(stream, 0, info);
      } else {
        graphic.SetPreviewRead(round == 1);
        graphic.SetPreviewSize(64);
        Reader.Read(stream, graphic, 0);
      }
    } catch (const Exception&) {
    }
  }
}
