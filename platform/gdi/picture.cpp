// TPicture and the picture file formats.
#include "platform/gdi/picture.h"

#include <map>
#include <mutex>

#include "platform/base/files.h"
#include "platform/base/strings.h"
#include "platform/gdi/bitmap.h"

namespace {

struct Format {
  std::string Description;
  TGraphicFactory Factory;
};

std::mutex gFormatsLock;

std::map<std::string, Format>& Formats() {
  static std::map<std::string, Format>* formats = nullptr;
  if (!formats) {
    formats = new std::map<std::string, Format>;
    (*formats)["bmp"] = Format{"Bitmaps", [] { return std::unique_ptr<TGraphic>(new TBitmap); }};
  }
  return *formats;
}

std::string ExtensionKey(const std::string& Extension) {
  std::string e = LowerCase(Extension);
  if (!e.empty() && e[0] == '.') e.erase(0, 1);
  return e;
}

}  // namespace

void RegisterPictureFormat(const std::string& Extension, const std::string& Description, TGraphicFactory Factory) {
  std::lock_guard<std::mutex> lock(gFormatsLock);
  Formats()[ExtensionKey(Extension)] = Format{Description, std::move(Factory)};
}

void UnregisterPictureFormat(const std::string& Extension) {
  std::lock_guard<std::mutex> lock(gFormatsLock);
  Formats().erase(ExtensionKey(Extension));
}

TPicture::TPicture() = default;
TPicture::~TPicture() = default;

void TPicture::Changed(TObject*) {
  if (OnChange) OnChange(this);
}

void TPicture::SetGraphic(std::unique_ptr<TGraphic> Value) {
  FGraphic = std::move(Value);
  if (FGraphic) FGraphic->OnChange = [this](TObject* S) { Changed(S); };
  Changed(this);
}

TBitmap* TPicture::Bitmap() {
  auto* b = dynamic_cast<TBitmap*>(FGraphic.get());
  if (!b) {
    SetGraphic(std::make_unique<TBitmap>());
    b = static_cast<TBitmap*>(FGraphic.get());
  }
  return b;
}

int32_t TPicture::Width() const { return FGraphic ? FGraphic->Width() : 0; }
int32_t TPicture::Height() const { return FGraphic ? FGraphic->Height() : 0; }

void TPicture::Assign(TPersistent* Source) {
  if (!Source) {
    SetGraphic(nullptr);
    return;
  }
  if (auto* p = dynamic_cast<TPicture*>(Source)) {
    if (p == this) return;
    if (auto* b = dynamic_cast<TBitmap*>(p->Graphic())) {
      Assign(b);
      return;
    }
    if (!p->Graphic()) {
      SetGraphic(nullptr);
      return;
    }
  }
  if (auto* b = dynamic_cast<TBitmap*>(Source)) {
    auto copy = std::make_unique<TBitmap>();
    copy->Assign(b);
    SetGraphic(std::move(copy));
    return;
  }
  TPersistent::Assign(Source);
}

void TPicture::LoadFromFile(const std::string& FileName) {
  std::string ext = ExtensionKey(ExtractFileExt(FileName));
  TGraphicFactory factory;
  {
    std::lock_guard<std::mutex> lock(gFormatsLock);
    auto it = Formats().find(ext);
    if (it == Formats().end()) throw EInvalidGraphic("Unknown picture file extension (." + ext + ")");
    factory = it->second.Factory;
  }
  std::unique_ptr<TGraphic> g = factory();
  g->LoadFromFile(FileName);
  SetGraphic(std::move(g));
}

void TPicture::SaveToFile(const std::string& FileName) {
  if (FGraphic) FGraphic->SaveToFile(FileName);
}
