#include <fstream>

#include "app/about.h"
#include "app/border.h"
#include "app/form_tips.h"
#include "app_fixture.h"
#include "controls/styled_label.h"
#include "platform/ui/std_controls.h"

namespace {
template <class T>
T* ModalForm() {
  return dynamic_cast<T*>(Screen->ActiveForm());
}
}  // namespace

class Dialogs : public AppTest {
protected:
  void SetUp() override {
    AppTest::SetUp();
    Start();
  }
  void WriteTips(const std::vector<std::string>& Lines) {
    std::ofstream out(TipsFileName(), std::ios::binary);
    for (const std::string& l : Lines) out << l << "\r\n";
  }
};

// All tips cases share one test (and no other test touches the file): the
// tips file lives beside the executable, shared by parallel test processes.
TEST_F(Dialogs, TipsCycleWrapAndPersist) {
  std::remove(TipsFileName().c_str());
  int32_t index = 0;
  Driver.ClearMessageBoxes();
  Form->ShowTips1Click(nullptr);
  ASSERT_EQ(Driver.MessageBoxes().size(), 1u);  // the file error is shown, no dialog
  EXPECT_EQ(Form->TipIndex(), 0);

  WriteTips({"Quillon Pro tips", "v1", "1. First", "Text one", "2. Second", "Text two", "3.", "Text three"});
  // The stored index 3 continues with tip 1; Next cycles 2, 3, 1; unchecked box is returned.
  index = 3;
  std::vector<std::string> titles, texts;
  Driver.WhenIdle([&] {
    TTipForm* f = ModalForm<TTipForm>();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->Caption(), "Quillon Pro - Tips");
    EXPECT_TRUE(f->ShowAtStart->Checked());
    for (int i = 0; i < 4; ++i) {
      titles.push_back(f->TipTitle->Caption());
      texts.push_back(f->TipText->Caption());
      f->Next->Click();
    }
    f->ShowAtStart->SetChecked(false);
    f->CloseBtn->Click();
  });
  EXPECT_FALSE(ShowTipDialog(index, true));
  EXPECT_EQ(titles, (std::vector<std::string>{"First", "Second", "", "First"}));
  EXPECT_EQ(texts, (std::vector<std::string>{"Text one", "Text two", "Text three", "Text one"}));
  EXPECT_EQ(index, 2);  // 1, then four Next clicks: 2, 3, 1, 2

  // A stored index outside the tips starts again at the first tip, never at
  // an empty one or the file's header. Escape closes the tips as Close does.
  for (int32_t stored : {-3, -1, 9}) {
    index = stored;
    std::string title;
    Driver.WhenIdle([&] {
      TTipForm* f = ModalForm<TTipForm>();
      ASSERT_NE(f, nullptr);
      title = f->TipTitle->Caption();
      Driver.PressKey(VK_ESCAPE);
    });
    ShowTipDialog(index, false);
    EXPECT_EQ(title, "First") << stored;
    EXPECT_EQ(index, 1) << stored;
  }

  // Through the menu: the box checked is stored, so the next start shows the
  // following tip on its first activation; unchecked there, the one after shows none.
  Driver.WhenIdle([&] {
    TTipForm* f = ModalForm<TTipForm>();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->TipTitle->Caption(), "First");
    f->ShowAtStart->SetChecked(true);
    f->CloseBtn->Click();
  });
  Form->ShowTips1Click(nullptr);
  EXPECT_EQ(Form->TipIndex(), 1);
  EXPECT_TRUE(Form->ShowTipsAtStart());
  Close();
  std::string seen;
  Driver.WhenIdle([&] {
    TTipForm* f = ModalForm<TTipForm>();
    ASSERT_NE(f, nullptr);
    seen = f->TipTitle->Caption();
    f->ShowAtStart->SetChecked(false);
    f->CloseBtn->Click();
  });
  Start();
  EXPECT_EQ(seen, "Second");
  EXPECT_EQ(Form->TipIndex(), 2);
  EXPECT_FALSE(Form->ShowTipsAtStart());
  Close();
  Start();  // no tip dialog: a modal form here would block without a scripted step
  EXPECT_EQ(Form->TipIndex(), 2);
  EXPECT_EQ(Driver.PendingSteps(), 0u);
  std::remove(TipsFileName().c_str());
}

TEST_F(Dialogs, AboutBoxClosesThroughItsPanel) {
  ASSERT_NE(AboutForm, nullptr);
  bool shown = false;
  Driver.WhenIdle([&] {
    shown = ModalForm<TAboutForm>() == AboutForm;
    EXPECT_EQ(AboutForm->Caption(), "About");
    EXPECT_EQ(AboutForm->ClientWidth(), 238);
    EXPECT_EQ(AboutForm->ClientHeight(), 240);
    EXPECT_EQ(AboutForm->StyledLabel1->Caption(), "Quillon Pro");
    // The texts on the navy gradient and the navy OK are in the caption text colour.
    Driver.ProcessMessages();
    for (TControl* c : std::initializer_list<TControl*>{AboutForm->StyledLabel1, AboutForm->StyledLabel2,
                                                        AboutForm->Label1, AboutForm->Label2, AboutForm->Panel1})
      EXPECT_GT(CountColour(c, ColorToRGB(clCaptionText)), 10) << c->Name();
    AboutForm->Panel1->Click();
  });
  Form->About1Click(nullptr);
  EXPECT_TRUE(shown);
  EXPECT_EQ(AboutForm->ModalResult(), mrOk);
  // Enter and Escape press its OK.
  for (uint16_t key : {VK_RETURN, VK_ESCAPE}) {
    Driver.WhenIdle([&] { Driver.PressKey(key); });
    Form->About1Click(nullptr);
    EXPECT_EQ(AboutForm->ModalResult(), mrOk);
    EXPECT_EQ(Driver.PendingSteps(), 0u);
  }
}

// About and Soft Border come over the main window, wherever it has gone.
TEST_F(Dialogs, DialogsComeOverTheMainWindow) {
  Form->LoadFile(WritePhoto("p.bmp", 8, 8));
  for (const TPoint at : {TPoint{20, 10}, TPoint{400, 300}}) {
    Form->SetBounds(at.X, at.Y, Form->Width(), Form->Height());
    const TPoint centre{at.X + Form->Width() / 2, at.Y + Form->Height() / 2};
    for (TCustomForm* dialog : std::initializer_list<TCustomForm*>{AboutForm, BorderEdit}) {
      TPoint seen{};
      Driver.WhenIdle([&] {
        seen = TPoint{dialog->Left() + dialog->Width() / 2, dialog->Top() + dialog->Height() / 2};
        dialog->SetModalResult(mrCancel);
      });
      if (dialog == AboutForm) Form->About1Click(nullptr);
      else Form->AddBorder1Click(nullptr);
      EXPECT_NEAR(seen.X, centre.X, 1) << dialog->Caption();
      EXPECT_NEAR(seen.Y, centre.Y, 1) << dialog->Caption();
    }
  }
}
