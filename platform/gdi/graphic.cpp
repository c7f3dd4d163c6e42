#include "platform/gdi/graphic.h"

#include "platform/base/safe_write.h"
#include "platform/base/stream.h"

void TPersistent::Assign(TPersistent* Source) {
  if (Source) {
    Source->AssignTo(this);
    return;
  }
  AssignTo(this);
}

void TPersistent::AssignTo(TPersistent* Dest) {
  std::string from = "nil";
  if (Dest && Dest != this) from = ClassName();
  throw EConvertAssign("Cannot assign a " + from + " to a " + (Dest ? Dest->ClassName() : std::string("nil")));
}

void TGraphic::Changed(TObject*) {
  if (OnChange) OnChange(this);
}

bool TGraphic::Equals(TGraphic* Graphic) {
  if (!Graphic || Graphic->ClassName() != ClassName()) return false;
  if (GetEmpty() || Graphic->GetEmpty()) return GetEmpty() && Graphic->GetEmpty();
  TMemoryStream a, b;
  WriteData(a);
  Graphic->WriteData(b);
  return a.Bytes() == b.Bytes();
}

void TGraphic::SetTransparent(bool Value) {
  if (Value != FTransparent) {
    FTransparent = Value;
    Changed(this);
  }
}

void TGraphic::ReadData(TStream& Stream) { LoadFromStream(Stream); }

void TGraphic::WriteData(TStream& Stream) { SaveToStream(Stream); }

void TGraphic::LoadFromFile(const std::string& FileName) {
  TFileStream f(FileName, fmOpenRead);
  LoadFromStream(f);
}

void TGraphic::SaveToFile(const std::string& FileName) {
  SafeWriteFile(FileName, [this](TStream& Stream) { SaveToStream(Stream); });
}
