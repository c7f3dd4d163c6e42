// TPersistent and TGraphic: the base of every picture kind (bitmaps, the
// pixel image of the imaging library, icons) that a TPicture can hold.
#pragma once

#include <cstdint>
#include <string>

#include "platform/base/exception.h"
#include "platform/base/object.h"
#include "platform/base/stream.h"
#include "platform/gdi/types.h"

class TCanvas;

class EConvertAssign : public EConvertError { using EConvertError::EConvertError; };

class TPersistent : public TObject {
public:
  // Copies Source into this object; the default asks Source to AssignTo us
  // and raises EConvertError when neither side knows the other.
  virtual void Assign(TPersistent* Source);

protected:
  virtual void AssignTo(TPersistent* Dest);
};

class TGraphic : public TPersistent {
public:
  TGraphic() = default;
  ~TGraphic() override = default;

  // Change notification: Changed fires OnChange.
  virtual void Changed(TObject* Sender);
  TNotifyEvent OnChange;

  virtual void Draw(TCanvas* ACanvas, const TRect& Rect) = 0;
  virtual bool Equals(TGraphic* Graphic);
  virtual bool GetEmpty() = 0;
  virtual int32_t GetHeight() = 0;
  virtual int32_t GetWidth() = 0;
  virtual HPALETTE GetPalette() { return nullptr; }
  virtual void SetPalette(HPALETTE) {}
  virtual bool GetTransparent() { return FTransparent; }
  virtual void SetTransparent(bool Value);
  virtual void SetHeight(int32_t Value) = 0;
  virtual void SetWidth(int32_t Value) = 0;
  // Component streaming of the picture data.
  virtual void ReadData(TStream& Stream);
  virtual void WriteData(TStream& Stream);

  virtual void LoadFromFile(const std::string& FileName);
  // Writes SaveToStream's content through SafeWriteFile: a failed save
  // leaves the file as it was.
  virtual void SaveToFile(const std::string& FileName);
  virtual void LoadFromStream(TStream& Stream) = 0;
  virtual void SaveToStream(TStream& Stream) = 0;
  // Clipboard formats: Data is the format's handle, here an owned byte
  // buffer handle of the clipboard layer (see platform/gdi/clipboard_formats).
  virtual void LoadFromClipboardFormat(uint16_t Format, uintptr_t Data, HPALETTE Palette) = 0;
  virtual void SaveToClipboardFormat(uint16_t& Format, uintptr_t& Data, HPALETTE& Palette) = 0;

  bool Empty() { return GetEmpty(); }
  int32_t Width() { return GetWidth(); }
  int32_t Height() { return GetHeight(); }

protected:
  bool FTransparent = false;
};
