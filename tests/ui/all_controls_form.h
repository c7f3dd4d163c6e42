// A form that holds one of every standard control, for the control tests
// and the screenshots.
#pragma once

#include <map>
#include <string>

#include "platform/ui/image_list.h"
#include "platform/ui/menus.h"
#include "platform/ui/std_controls.h"

class TAllControlsForm : public TForm {
public:
  explicit TAllControlsForm(TComponent* AOwner) : TForm(AOwner) {
    SetCaption("Every control");
    SetBounds(40, 30, 620, 440);
    Menu = new TMainMenu(this);
    auto* file = Item(Menu->Items(), "&File");
    Open = Item(file, "&Open...");
    Open->SetShortCut(ShortCut('O', ssCtrl));
    Item(file, "-");
    Item(file, "E&xit");
    auto* edit = Item(Menu->Items(), "&Edit");
    Item(edit, "&Copy")->SetShortCut(ShortCut('C', ssCtrl));
    SetFormMenu(this, Menu);

    Top = new TPanel(this);
    Top->SetAlign(alTop);
    Top->SetHeight(34);
    Top->SetParent(this);
    Speed1 = Speed(4, "A");
    Speed2 = Speed(30, "B");
    Speed1->SetGroupIndex(1);
    Speed2->SetGroupIndex(1);
    Speed1->SetAllowAllUp(true);
    Speed1->SetHint("First speed button");
    Speed1->SetShowHint(true);

    Status = new TStatusBar(this);
    Status->SetParent(this);
    for (int32_t w : {80, 60, 120}) Status->Panels()->Add()->SetWidth(w);
    Status->Panels()->Items(0)->SetText("80 x 60");
    Status->Panels()->Items(0)->SetAlignment(taCenter);
    Status->Panels()->Items(1)->SetStyle(psOwnerDraw);
    Status->Panels()->Items(2)->SetText("Untitled");
    Status->OnDrawPanel = [](TStatusBar* Bar, TStatusPanel*, const TRect& R) {
      Bar->Canvas()->Brush()->SetColor(clRed);
      Bar->Canvas()->FillRect(TRect{R.Left + 2, R.Top + 2, R.Right - 2, R.Bottom - 2});
    };

    NameLabel = new TLabel(this);
    NameLabel->SetCaption("&Name:");
    NameLabel->SetBounds(8, 48, 40, 16);
    NameLabel->SetParent(this);
    Edit = new TEdit(this);
    Edit->SetBounds(60, 44, 140, 21);
    Edit->SetCharCase(ecUpperCase);
    Edit->SetTabOrder(0);
    Edit->SetParent(this);
    NameLabel->SetFocusControl(Edit);
    Spin = new TSpinEdit(this);
    Spin->SetBounds(210, 44, 80, 22);
    Spin->SetMinValue(2);
    Spin->SetMaxValue(256);
    Spin->SetIncrement(5);
    Spin->SetValue(100);
    Spin->SetTabOrder(1);
    Spin->SetParent(this);
    Memo = new TMemo(this);
    Memo->SetBounds(300, 44, 150, 60);
    Memo->Lines()->Add("- ERROR -");
    Memo->Lines()->Add("centred text");
    Memo->SetAlignment(taCenter);
    Memo->SetTabOrder(2);
    Memo->SetParent(this);

    Check = new TCheckBox(this);
    Check->SetCaption("&Dithering");
    Check->SetBounds(8, 76, 100, 17);
    Check->SetParent(this);
    Radio1 = new TRadioButton(this);
    Radio1->SetCaption("Fast");
    Radio1->SetBounds(8, 98, 80, 17);
    Radio1->SetParent(this);
    Radio2 = new TRadioButton(this);
    Radio2->SetCaption("Precise");
    Radio2->SetBounds(90, 98, 80, 17);
    Radio2->SetParent(this);

    Group = new TRadioGroup(this);
    Group->SetCaption(" &Style ");
    Group->SetItems({"None", "Frame", "Ellipse"});
    Group->SetColumns(3);
    Group->SetBounds(8, 122, 280, 46);
    Group->SetParent(this);

    Box = new TGroupBox(this);
    Box->SetCaption(" Border Color ");
    Box->SetBounds(300, 110, 150, 60);
    Box->SetParent(this);
    Bevel = new TBevel(this);
    Bevel->SetBounds(10, 20, 60, 30);
    Bevel->SetParent(Box);

    Image = new TImage(this);
    Image->SetBounds(460, 44, 64, 64);
    Image->SetCenter(true);
    TBitmap* b = Image->Picture()->Bitmap();
    b->SetPixelFormat(pf24bit);
    b->SetSize(32, 32);
    b->Canvas()->Brush()->SetColor(clBlue);
    b->Canvas()->FillRect(TRect{0, 0, 32, 32});
    b->Canvas()->Brush()->SetColor(clYellow);
    b->Canvas()->Ellipse(4, 4, 28, 28);
    Image->SetParent(this);

    Progress = new TProgressBar(this);
    Progress->SetBounds(8, 178, 280, 16);
    Progress->SetMax(80);
    Progress->SetPosition(50);
    Progress->SetParent(this);

    Scroll = new TScrollBox(this);
    Scroll->SetBounds(460, 120, 140, 90);
    Scroll->SetParent(this);
    ScrollChild = new TPanel(this);
    ScrollChild->SetCaption("far away");
    ScrollChild->SetBounds(20, 150, 100, 40);
    ScrollChild->SetParent(Scroll);

    Ok = new TBitBtn(this);
    Ok->SetKind(bkOK);
    Ok->SetBounds(8, 206, 90, 27);
    Ok->SetParent(this);
    No = new TBitBtn(this);
    No->SetKind(bkNo);
    No->SetBounds(104, 206, 90, 27);
    No->SetParent(this);
    Button = new TButton(this);
    Button->SetCaption("&Apply");
    Button->SetBounds(200, 206, 80, 25);
    Button->SetHint("Apply Changes");
    Button->SetShowHint(true);
    Button->SetParent(this);

    Lowered = new TPanel(this);
    Lowered->SetBounds(300, 180, 150, 50);
    Lowered->SetBevelOuter(bvLowered);
    Lowered->SetBorderWidth(4);
    Lowered->SetCaption("lowered panel");
    Lowered->SetParent(this);

    Wrapped = new TLabel(this);
    Wrapped->SetAutoSize(false);
    Wrapped->SetWordWrap(true);
    Wrapped->SetBounds(8, 244, 200, 40);
    Wrapped->SetCaption("A word-wrapped label that needs two lines here");
    Wrapped->SetParent(this);

    Images = new TImageList(this);
    TBitmap strip;
    strip.SetPixelFormat(pf24bit);
    strip.SetSize(32, 16);
    strip.Canvas()->Brush()->SetColor(clFuchsia);
    strip.Canvas()->FillRect(TRect{0, 0, 32, 16});
    strip.Canvas()->Brush()->SetColor(clGreen);
    strip.Canvas()->FillRect(TRect{2, 2, 14, 14});
    strip.Canvas()->Brush()->SetColor(clMaroon);
    strip.Canvas()->Ellipse(18, 2, 30, 14);
    Images->AddMasked(&strip, clFuchsia);
    Menu->SetImages(Images);
    Open->SetImageIndex(0);

    Popup = new TPopupMenu(this);
    PopupFirst = Item(Popup->Items(), "&Main Menu");
    PopupFirst->SetShortCut(ShortCut(VK_F1, ssCtrl));
    Item(Popup->Items(), "Tile &Background");
    SetPopupMenu(Popup);
  }

  TMenuItem* Item(TMenuItem* Parent, const std::string& Caption) {
    auto* i = new TMenuItem(this);
    i->SetCaption(Caption);
    i->OnClick = [this, i](TObject*) { ++Clicks[StripHotkey(i->Caption())]; };
    Parent->Add(i);
    return i;
  }
  TSpeedButton* Speed(int32_t X, const std::string& Caption) {
    auto* s = new TSpeedButton(this);
    s->SetCaption(Caption);
    s->SetBounds(X, 4, 24, 24);
    s->SetParent(Top);
    return s;
  }

  std::map<std::string, int32_t> Clicks;
  TMainMenu* Menu;
  TMenuItem* Open;
  TPopupMenu* Popup;
  TMenuItem* PopupFirst;
  TPanel* Top;
  TSpeedButton* Speed1;
  TSpeedButton* Speed2;
  TStatusBar* Status;
  TLabel* NameLabel;
  TEdit* Edit;
  TSpinEdit* Spin;
  TMemo* Memo;
  TCheckBox* Check;
  TRadioButton* Radio1;
  TRadioButton* Radio2;
  TRadioGroup* Group;
  TGroupBox* Box;
  TBevel* Bevel;
  TImage* Image;
  TProgressBar* Progress;
  TScrollBox* Scroll;
  TPanel* ScrollChild;
  TBitBtn* Ok;
  TBitBtn* No;
  TButton* Button;
  TPanel* Lowered;
  TLabel* Wrapped;
  TImageList* Images;
};
