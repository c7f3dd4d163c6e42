// TPicture: holds one TGraphic of any kind and loads files through the
// registered graphic classes by extension.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/gdi/graphic.h"

class TBitmap;

using TGraphicFactory = std::function<std::unique_ptr<TGraphic>()>;

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
  int32_t Height() const;
  // From another TPicture or a TBitmap (copied); nullptr empties.
  void Assign(TPersistent* Source) override;
  // Loads through the class registered for the file's lower-case extension;
  // raises EInvalidGraphic "Unknown picture file extension (.ext)" otherwise.
  void LoadFromFile(const std::string& FileName);
  void SaveToFile(const std::string& FileName);

  TNotifyEvent OnChange;

private:
  void Changed(TObject* Sender);
  std::unique_ptr<TGraphic> FGraphic;
};

// Registers a graphic class for an extension (without the dot, any case).
// "bmp" is registered for TBitmap from the start.
void RegisterPictureFormat(const std::string& Extension, const std::string& Description, TGraphicFactory Factory);
void UnregisterPictureFormat(const std::string& Extension);
