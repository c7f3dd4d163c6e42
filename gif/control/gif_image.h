// TGIFImage: the lite edition's build of the animated GIF control. It is
// TGIFImg with these differences: it loads files by name (FileName,
// LoadFromFile) and keeps the outcome of the last load in a module status
// with a text for the person; GetBitmap gives frame 1 placed at its offset
// on the logical screen with its transparent pixels in their transparent
// colour; showing or hiding it only repaints; and it has no DoubleBuffered,
// FirstImageOnly, Opaque or Version. Its GIF writer reads the bitmap's rows
// without changing the bitmap and closes every file with "Created by " and
// the application's title alone.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "gif/control/gif_img.h"

using TFrame = TGIFFrame;

// The outcome of the last load of any TGIFImage: 0 loaded, 1 stopped by
// OnProgress, 2 no data, 3 not a readable GIF, 7 no such file.
extern uint8_t GIFImageStatus;

class TGIFImage : public TGIFImg {
public:
  // Also takes the application's title for the closing comment of the GIF
  // files written from now on.
  explicit TGIFImage(TComponent* AOwner);

  // False, with status 7 and nothing changed, when the file does not exist;
  // else FileName becomes Name and the file is parsed. A failed parse or any
  // error while reading clears the control and gives False.
  bool LoadFromFile(const std::string& Name);
  // As TGIFImg::LoadFromStream, keeping the outcome in GIFImageStatus.
  bool LoadFromStream(TStream& Stream);
  // Why the last load of this control failed, for the person; empty after
  // a successful one.
  std::string StatusText() const;

  // Not stored; setting it loads the file.
  const std::string& FileName() const { return FFileName; }
  void SetFileName(const std::string& Value) { LoadFromFile(Value); }

  // Stores and repaints; nothing else.
  void SetVisible(bool Value) override;

protected:
  // A bitmap of the logical screen with frame 1 at its left and top: the
  // rest, and the frame's transparent pixels, in frame 1's transparent
  // colour when it has one, else black.
  std::unique_ptr<TBitmap> MakeFirstBitmap() override;

private:
  using TGIFImg::DoubleBuffered;
  using TGIFImg::FirstImageOnly;
  using TGIFImg::Opaque;
  using TGIFImg::SetDoubleBuffered;
  using TGIFImg::SetFirstImageOnly;
  using TGIFImg::SetOpaque;
  using TGIFImg::Version;

  std::string FFileName;
  std::string FAskedName;  // the name of the last LoadFromFile
  uint8_t FLoadStatus = 0;
};

// The closing comment of the GIF files SaveBitmapAsGIFFile writes: "Created
// by " and the title the last TGIFImage was made under.
const std::string& GIFImageComment();

// Writes Bitmap to the file Name as a one-frame GIF89a, reading its rows as
// 24-bit colours without changing it. False, with nothing written and the
// file untouched, when it has more than 256 colours. The file is replaced
// only once the whole GIF is ready.
bool SaveBitmapAsGIFFile(const std::string& Name, TBitmap& Bitmap, bool Interlaced, TColor TransparentColor,
                         bool Transparent);
// The same into a stream at its position; nothing written on False.
bool SaveBitmapAsGIFStream(TStream& Stream, TBitmap& Bitmap, bool Interlaced, TColor TransparentColor,
                           bool Transparent);
