// TPicture.
#include "platform/gdi/picture.h"

#include "platform/base/files.h"
#include "platform/base/strings.h"
#include "platform/gdi/bitmap.h"

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
  std::string ext = LowerCase(ExtractFileExt(FileName));
  if (!ext.empty()) ext.erase(0, 1);
  if (ext != "bmp") throw EInvalidGraphic("Unknown picture file extension (." + ext + ")");
  auto g = std::make_unique<TBitmap>();
  g->LoadFromFile(FileName);
  SetGraphic(std::move(g));
}
