#include "app/preview.h"

#include <memory>
#include <string>
#include <vector>

#include "app/prep.h"
#include "gif/gif_encoder.h"
#include "gif/gif_read_write.h"
#include "imaging/core/median_cut.h"
#include "imaging/core/pixel_graphic.h"
#include "platform/base/numeric.h"
#include "platform/base/stream.h"
#include "platform/gdi/bitmap.h"
#include "platform/gdi/colors.h"
#include "platform/gdi/cursors.h"
#include "platform/ui/message_queue.h"
#include "platform/ui/std_controls.h"

TForm2* Form2 = nullptr;

namespace {
// Cells prepared during the current showing, and whether sizes are shown.
int32_t CellCounter = 0;
bool ShowSizes = false;

const char* const DesignCaptions[8] = {"256 colors", "192 colors", "128 colors", "64 colors",
                                       "32 colors",  "16 colors",  "8 colors",   "4 colors"};
}  // namespace

int32_t ScreenColorDepth() { return Screen ? Screen->ColorDepth() : 24; }

TForm2::TForm2(TComponent* AOwner) : TForm(AOwner) {
  SetCaption("Preview Color Reduction");
  SetBorderIcons(biSystemMenu | biMaximize);
  SetPosition(poScreenCenter);
  SetClientSize(400, 300);
  for (int32_t i = 0; i < 8; ++i) {
    TPanel* p = new TPanel(this);
    p->SetParent(this);
    p->SetBevelInner(bvLowered);
    p->SetBorderWidth(2);
    p->SetCaption("");
    TLabel* l = new TLabel(this);
    l->SetParent(p);
    l->SetAlign(alTop);
    l->SetAlignment(taCenter);
    l->SetColor(clActiveCaption);
    l->Font()->SetColor(clCaptionText);
    l->SetCaption(DesignCaptions[i]);
    TImage* im = new TImage(this);
    im->SetParent(p);
    im->SetAlign(alClient);
    im->SetStretch(true);
    Panels[i] = p;
    Labels[i] = l;
    Images[i] = im;
  }
  Panel1 = Panels[0], Panel2 = Panels[1], Panel3 = Panels[2], Panel4 = Panels[3];
  Panel5 = Panels[4], Panel6 = Panels[5], Panel7 = Panels[6], Panel8 = Panels[7];
  Label1 = Labels[0], Label2 = Labels[1], Label3 = Labels[2], Label4 = Labels[3];
  Label5 = Labels[4], Label6 = Labels[5], Label7 = Labels[6], Label8 = Labels[7];
  Image1 = Images[0], Image2 = Images[1], Image3 = Images[2], Image4 = Images[3];
  Image5 = Images[4], Image6 = Images[5], Image7 = Images[6], Image8 = Images[7];
  OnResize = [this](TObject* S) { FormResize(S); };
  FormResize(this);
}

TForm2::~TForm2() {
  if (Form2 == this) Form2 = nullptr;
}

void TForm2::FormResize(TObject*) {
  int32_t w = (ClientWidth() - 3) / 4, h = (ClientHeight() - 1) / 2;
  for (int32_t i = 0; i < 8; ++i) {
    int32_t col = i % 4;
    Panels[i]->SetBounds(col == 0 ? 0 : col * w + 1, i < 4 ? 0 : h + 1, w, h);
  }
}

TModalResult TForm2::ShowPreview(TPixelGraphic* Picture, TPixelGraphic* Pristine, bool RGBWeight, bool Dithering) {
  if (!Picture || Picture->GetEmpty() || !Pristine) return mrNone;
  // Closing the progress window cancels the preparation: the window's
  // messages are read as the work goes on, while every other window of the
  // program waits, and the work stops at its next row.
  bool cancelled = false;
  TWaitingWindows waiting;
  uint32_t lastLook = GetTickCount() - 50;
  auto lookForClose = [&] {
    if (!PrepForm || GetTickCount() - lastLook < 50) return;
    lastLook = GetTickCount();
    Application->ProcessMessages();
  };
  auto endPreparation = [&] {
    EnableWindows(waiting);
    waiting = {};
    Screen->SetCursor(crDefault);
    if (PrepForm) {
      PrepForm->OnClose = nullptr;
      PrepForm->Hide();
    }
  };
  if (PrepForm) {
    PrepForm->Memo1->Lines()->Clear();
    PrepForm->ProgressBar1->SetPosition(0);
    PrepForm->OnClose = [&cancelled](TObject*, TCloseAction&) { cancelled = true; };
    // Disabled first, so that the window it came from gets the keyboard back.
    waiting = DisableOtherWindows(PrepForm->Handle());
    PrepForm->Show();
  }
  CellCounter = 0;
  ShowSizes = ScreenColorDepth() > 8;
  for (int32_t i = 0; i < 8; ++i) Labels[i]->SetCaption(DesignCaptions[i]);

  // The optimal palettes come from the pristine picture's colours, read in place.
  TPixelGraphic* source = Pristine;
  auto work = std::make_unique<TPixelGraphic>();
  Screen->SetCursor(crHourGlass);
  try {
    const int32_t pw = Picture->GetWidth(), ph = Picture->GetHeight();
    long double scale = 1.0L;
    auto W = [&](long double s) { return Round(pw * s); };
    auto H = [&](long double s) { return Round(ph * s); };
    const int32_t frameW = Width() - ClientWidth(), frameH = Height() - ClientHeight();
    const int64_t availW = Screen->Width() - frameW, availH = Screen->Height() - frameH;
    const int32_t labelH = Label1->Height();
    while (4 * W(scale) + 19 > availW && scale > 0.01L) scale -= 0.01L;
    while (2 * H(scale) + 9 + 2 * labelH > availH && scale > 0.01L) scale -= 0.01L;
    const int64_t wantW = 4 * W(scale) + 19, wantH = 2 * H(scale) + 9 + 2 * labelH;
    if (wantW > 400 || wantH >= 301)
      SetClientSize(static_cast<int32_t>(wantW), static_cast<int32_t>(wantH));
    else
      SetClientSize(400, 300);
    const bool small = ClientWidth() == 400 && ClientHeight() == 300;
    for (TImage* im : Images) {
      im->SetCenter(small);
      im->SetStretch(!small);
    }
    SetLeft((Screen->Width() - Width()) / 2);
    SetTop((Screen->Height() - Height()) / 2);

    work->NewImage(pw, ph, pf8Bit);
    work->OnProgress = [&](TObject*, int32_t, int32_t, bool& Abort) {
      lookForClose();
      Abort = cancelled;
    };
    for (int32_t i = 0; i < 8 && !cancelled; ++i) {
      CreateOptimizedPalette(work.get(), source, PreviewColorCounts[i], false);
      lookForClose();
      if (cancelled) break;
      work->SetDither(Dithering);
      work->SetRGBWeighting(RGBWeight);
      work->CopyFrom(Picture);
      if (cancelled) break;
      ShowThumb(work.get(), Images[i], Labels[i]);
      lookForClose();
    }
  } catch (...) {
    endPreparation();
    throw;
  }
  work.reset();
  endPreparation();
  if (cancelled) return mrCancel;
  return ShowModal();
}

void TForm2::ShowThumb(TPixelGraphic* Work, TImage* Image, TLabel* Label) {
  ++CellCounter;
  if (PrepForm) {
    PrepForm->Memo1->Lines()->Add("Preparing Image " + std::to_string(CellCounter));
    PrepForm->ProgressBar1->StepIt();
    PrepForm->Update();
  }
  TBitmap* bitmap = Image->Picture()->Bitmap();
  Work->AssignToGraphic(bitmap);
  if (!ShowSizes) return;
  // The GIF of the cell, encoded from the work image's own rows.
  TMemoryStream stream;
  SavePixelGraphicAsGIF(stream, *Work, false, false, 0xFFFFFF);
  const int64_t k = Round(static_cast<long double>(stream.Size()) / 1024.0L + 0.5L);
  Label->SetCaption(std::to_string(GIFColorCount) + " colors, " + std::to_string(k) + "k");
  if (PrepForm) {
    TMemoLines* lines = PrepForm->Memo1->Lines();
    lines->SetStrings(CellCounter - 1, lines->Strings(CellCounter - 1) + ": " + Label->Caption());
    PrepForm->Memo1->Update();
  }
}
