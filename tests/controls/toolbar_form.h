// A form with a dock on each edge and toolbars of buttons and separators,
// shared by the toolbar tests and the screenshots.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controls/toolbars.h"
#include "platform/ui/forms.h"
#include "platform/ui/test_driver.h"

class TToolbarForm : public TForm {
public:
  explicit TToolbarForm(TComponent* AOwner) : TForm(AOwner) {
    SetBorderStyle(bsNone);
    SetBounds(100, 80, 500, 360);
    SetColor(clWindow);
    TopDock = MakeDock(dpTop);
    BottomDock = MakeDock(dpBottom);
    LeftDock = MakeDock(dpLeft);
    RightDock = MakeDock(dpRight);
  }
  TDock* MakeDock(TDockPosition Position) {
    auto* d = new TDock(this);
    d->SetParent(this);
    d->SetPosition(Position);
    return d;
  }
  // A bar of Buttons 23 x 22 buttons, with a separator after each index in Seps.
  TToolbar* MakeBar(const std::string& Caption, int32_t Buttons, std::vector<int32_t> Seps, TDock* Dock) {
    auto* bar = new TToolbar(this);
    bar->SetCaption(Caption);
    for (int32_t i = 0; i < Buttons; ++i) {
      auto* b = new TToolbarButton(this);
      b->SetParent(bar);
      b->SetCaption("");
      Buttons_.push_back(b);
      for (int32_t s : Seps)
        if (s == i) {
          auto* sep = new TToolbarSep(this);
          sep->SetParent(bar);
          Seps_.push_back(sep);
        }
    }
    if (Dock) bar->SetDockedTo(Dock);
    else bar->SetParent(this);
    return bar;
  }
  TDock* TopDock;
  TDock* BottomDock;
  TDock* LeftDock;
  TDock* RightDock;
  std::vector<TToolbarButton*> Buttons_;
  std::vector<TToolbarSep*> Seps_;
};

// The toolbars unit started, the form shown; both gone after the test.
class TToolbarFormTest : public ::testing::Test {
protected:
  void SetUp() override {
    InitializeToolbars();
    Application->CreateForm(Form);
    Form->Show();
    driver.ProcessMessages();
  }
  void TearDown() override {
    Form->Free();
    FinalizeToolbars();
  }
  TUiTestDriver driver;
  TToolbarForm* Form = nullptr;
};
