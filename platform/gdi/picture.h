// TPicture: holds one TGraphic of any kind and loads bitmap files.
#pragma once

#include <memory>
#include <string>

#include "platform/gdi/graphic.h"

class TBitmap;

class TPicture : public TPersistent {
public:
  TPicture();
  ~TPicture() override;

  TGraphic* Graphic() const { return FGraphic.get(); }
  // Takes ownership of Value (nullptr empties the picture).
  void SetGraphic(std::unique_ptr<TGraphic> Value);
  // The graphic as a bitmap; a picture that holds another kind (or none)
  // gets a new empty TBitmap in its place.
  TBitmap* Bitmap();
  int32_t Width() const;
  // From another TPicture or a TBitmap (copied); nullptr empties.
  void Assign(TPersistent* Source) override;
  // Loads a file whose extension is "bmp" (any case) as a TBitmap; raises
  // EInvalidGraphic "Unknown picture file extension (.ext)" for any other.
  void LoadFromFile(const std::string& FileName);

  TNotifyEvent OnChange;

private:
  void Changed(TObject* Sender);
  std::unique_ptr<TGraphic> FGraphic;
};
