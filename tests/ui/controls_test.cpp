// The control classes and forms, driven through injected input.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/gdi/colors.h"
#include "platform/gdi/dc.h"
#include "platform/ui/forms.h"
#include "platform/ui/message_queue.h"
#include "platform/ui/test_driver.h"
#include "platform/ui/thread.h"
#include "platform/ui/timer.h"

namespace {

TPoint TDriverPoint(TControl* C, int32_t X, int32_t Y) { return TUiTestDriver::ScreenPoint(C, X, Y); }

// A windowed control that paints a frame and remembers its mouse events.
class TPaintedBox : public TCustomControl {
public:
  explicit TPaintedBox(TComponent* AOwner) : TCustomControl(AOwner) { SetColor(clWhite); }
  std::vector<std::string> Log;
  TColor Fill = clBlue;

protected:
  void Paint() override {
    Canvas()->Brush()->SetColor(Fill);
    Canvas()->FillRect(TRect{5, 5, Width() - 5, Height() - 5});
  }
  void MouseDown(TMouseButton, TShiftState, int32_t X, int32_t Y) override {
    Log.push_back("down " + std::to_string(X) + "," + std::to_string(Y));
  }
};

// A windowless control: a red square its parent paints.
class TSquare : public TGraphicControl {
public:
  explicit TSquare(TComponent* AOwner) : TGraphicControl(AOwner) {}
  std::vector<TPoint> Moves;
  bool HadCapture = false;

protected:
  void Paint() override {
    Canvas()->Brush()->SetColor(clRed);
    Canvas()->FillRect(TRect{0, 0, Width(), Height()});
  }
  void MouseMove(TShiftState Shift, int32_t X, int32_t Y) override {
    if (Shift & ssLeft) {
      Moves.push_back(TPoint{X, Y});
      HadCapture = HadCapture || MouseCapture();
    }
  }
};

class TTestForm : public TForm {
public:
  explicit TTestForm(TComponent* AOwner) : TForm(AOwner) {
    SetBorderStyle(bsNone);
    SetBounds(100, 50, 300, 200);
    Box = new TPaintedBox(this);
    Box->SetBounds(10, 10, 120, 80);
    Box->SetParent(this);
    Square = new TSquare(this);
    Square->SetBounds(200, 20, 40, 40);
    Square->SetParent(this);
  }
  TPaintedBox* Box;
  TSquare* Square;
};

TEST(Controls, PaintedControlsReadBackAndClickAndDragWithCaptureOutside) {
  bool clicked = false;
  TUiTestDriver driver;
  TTestForm* form;
  Application->CreateForm(form);
  form->SetColor(clLime);
  form->Show();
  driver.ProcessMessages();
  TWindowImage img = driver.ReadWindow(form->Handle());
  ASSERT_EQ(img.Width, 300);
  EXPECT_EQ(img.Pixel(2, 2), clLime);          // form background
  EXPECT_EQ(img.Pixel(12, 12), clWhite);       // box background (erased with its colour)
  EXPECT_EQ(img.Pixel(20, 20), clBlue);        // box paint
  EXPECT_EQ(img.Pixel(210, 30), clRed);        // the windowless square
  EXPECT_EQ(img.Pixel(250, 30), clLime);
  img.SavePng(std::string(QUILLON_BUILD_DIR) + "/ui_controls_form.png");

  form->Box->OnClick = [&](TObject*) { clicked = true; };
  driver.Click(TDriverPoint(form->Box, 30, 40));
  driver.ProcessMessages();
  EXPECT_TRUE(clicked);
  ASSERT_EQ(form->Box->Log.size(), 1u);
  EXPECT_EQ(form->Box->Log[0], "down 30,40");

  // Dragging the square: its parent holds the capture, so moves far outside
  // the square (and the form) still reach it in its own coordinates.
  driver.Drag(TDriverPoint(form->Square, 5, 5), TPoint{700, 600}, 3);
  driver.ProcessMessages();
  ASSERT_EQ(form->Square->Moves.size(), 3u);
  EXPECT_TRUE(form->Square->HadCapture);
  TPoint sq = form->Square->ClientToScreen(TPoint{0, 0});
  EXPECT_EQ(form->Square->Moves.back(), (TPoint{700 - sq.X, 600 - sq.Y}));
  EXPECT_FALSE(form->Square->MouseCapture());
  EXPECT_EQ(GetCapture(), nullptr);

  // Repainting after a change shows the new colour.
  form->Box->Fill = clYellow;
  form->Box->Invalidate();
  driver.ProcessMessages();
  EXPECT_EQ(driver.Pixel(form->Handle(), 20, 20), clYellow);
}

TEST(Controls, HitTestingFindsWindowlessAndDisabledControls) {
  TUiTestDriver driver;
  TTestForm* form;
  Application->CreateForm(form);
  form->Show();
  driver.ProcessMessages();
  TPoint sq = form->Square->ClientToScreen(TPoint{3, 3});
  EXPECT_EQ(FindDragTarget(sq, false), form->Square);
  form->Square->SetEnabled(false);
  EXPECT_EQ(FindDragTarget(sq, false), form);
  EXPECT_EQ(FindDragTarget(sq, true), form->Square);
  // A disabled windowed child lets the mouse through to its parent.
  form->Box->SetEnabled(false);
  TPoint b = form->Box->ClientToScreen(TPoint{3, 3});
  EXPECT_EQ(FindVCLWindow(b), form);
  EXPECT_EQ(form->ControlAtPos(form->ScreenToClient(b), true, true), form->Box);
}

TEST(Controls, MouseEnterAndLeaveFollowThePointerOverWindowlessControls) {
  std::vector<std::string> log;
  TUiTestDriver driver;
  TTestForm* form;
  Application->CreateForm(form);
  form->Show();
  driver.ProcessMessages();
  auto watch = [&](TControl* C, const std::string& Name) {
    C->WindowProc = [&log, Name, old = C->WindowProc](TMessage& M) {
      if (M.Msg == CM_MOUSEENTER) log.push_back("enter " + Name);
      if (M.Msg == CM_MOUSELEAVE) log.push_back("leave " + Name);
      old(M);
    };
  };
  watch(form->Square, "square");
  watch(form->Box, "box");
  driver.MouseMove(TDriverPoint(form->Square, 1, 1));
  driver.ProcessMessages();
  driver.MouseMove(TDriverPoint(form->Square, 5, 5));
  driver.ProcessMessages();
  driver.MouseMove(TDriverPoint(form->Box, 1, 1));
  driver.ProcessMessages();
  EXPECT_EQ(log, (std::vector<std::string>{"enter square", "leave square", "enter box"}));
}

TEST(Controls, AlignmentPlacesChildrenAndFollowsResizing) {
  TUiTestDriver driver;
  TTestForm* form;
  Application->CreateForm(form);
  auto* top = new TPaintedBox(form);
  top->SetHeight(30);
  top->SetAlign(alTop);
  top->SetParent(form);
  auto* client = new TPaintedBox(form);
  client->SetAlign(alClient);
  client->SetParent(form);
  form->Show();
  driver.ProcessMessages();
  EXPECT_EQ(top->BoundsRect(), (TRect{0, 0, 300, 30}));
  EXPECT_EQ(client->BoundsRect(), (TRect{0, 30, 300, 200}));
  int resized = 0;
  client->OnResize = [&](TObject*) { ++resized; };
  form->SetBounds(100, 50, 400, 250);
  EXPECT_EQ(client->BoundsRect(), (TRect{0, 30, 400, 250}));
  EXPECT_EQ(resized, 1);
}

TEST(Controls, ControlMovesToAFloatingToolWindowAndBackWithItsChildren) {
  TUiTestDriver driver;
  TTestForm* form;
  Application->CreateForm(form);
  form->Show();
  driver.ProcessMessages();
  // A bar that is a child window while docked and an owned tool window while
  // floating, as the floating toolbars are.
  class TBar : public TCustomControl {
  public:
    explicit TBar(TComponent* AOwner) : TCustomControl(AOwner) {}
    bool Floating = false;

  protected:
    void CreateParams(TCreateParams& Params) override {
      TCustomControl::CreateParams(Params);
      if (Floating) {
        Params.Style = WS_POPUP;
        Params.ExStyle = WS_EX_TOOLWINDOW;
      }
    }
  };
  // The dock the bar sits in, and the hidden child window that floating
  // bars hang from.
  auto* dock = new TPaintedBox(form);
  dock->SetBounds(0, 100, 300, 50);
  dock->SetParent(form);
  auto* floatParent = new TPaintedBox(form);
  floatParent->SetBounds(0, 0, 0, 0);
  floatParent->SetVisible(false);
  floatParent->SetParent(form);
  auto* bar = new TBar(form);
  bar->SetBounds(0, 0, 150, 40);
  bar->SetParent(dock);
  auto* inner = new TPaintedBox(form);
  inner->SetBounds(4, 4, 30, 30);
  inner->SetParent(bar);
  HWND barWnd = bar->Handle();
  HWND innerWnd = inner->Handle();
  driver.ProcessMessages();
  EXPECT_TRUE(GetWindowStyle(barWnd) & WS_CHILD);

  bar->Floating = true;
  bar->SetBounds(500, 300, 150, 40);
  bar->SetParent(floatParent);
  driver.ProcessMessages();
  EXPECT_EQ(bar->Handle(), barWnd);
  EXPECT_EQ(inner->Handle(), innerWnd);
  EXPECT_FALSE(GetWindowStyle(barWnd) & WS_CHILD);
  EXPECT_EQ(GetWindow(barWnd, GW_OWNER), form->Handle());
  EXPECT_EQ(GetParent(innerWnd), barWnd);
  EXPECT_TRUE(IsWindowVisible(innerWnd));
  EXPECT_EQ(inner->ClientToScreen(TPoint{0, 0}), (TPoint{504, 304}));
  // It takes clicks where it floats.
  driver.Click(TPoint{510, 310});
  driver.ProcessMessages();
  ASSERT_EQ(inner->Log.size(), 1u);
  EXPECT_EQ(inner->Log[0], "down 6,6");
  EXPECT_EQ(driver.Pixel(barWnd, 10, 10), clBlue);

  bar->Floating = false;
  bar->SetBounds(0, 0, 150, 40);
  bar->SetParent(dock);
  driver.ProcessMessages();
  EXPECT_TRUE(GetWindowStyle(barWnd) & WS_CHILD);
  EXPECT_EQ(GetParent(barWnd), dock->Handle());
  EXPECT_EQ(inner->ClientToScreen(TPoint{0, 0}), (TPoint{104, 154}));
  EXPECT_EQ(driver.Pixel(form->Handle(), 10, 110), clBlue);
}

TEST(Forms, ModalFormEndsWithItsModalResultAndOtherWindowsWaitMeanwhile) {
  bool mainEnabledDuring = true;
  TCloseAction seenAction = caNone;
  TUiTestDriver driver;
  TTestForm* main;
  Application->CreateForm(main);
  main->Show();
  driver.ProcessMessages();
  auto* dialog = new TForm(Application);
  dialog->AfterConstruction();
  dialog->SetPosition(poScreenCenter);
  dialog->OnClose = [&](TObject*, TCloseAction& A) { seenAction = A; };
  driver.WhenIdle([&] {
    mainEnabledDuring = IsWindowEnabled(main->Handle());
    EXPECT_EQ(GetActiveWindow(), dialog->Handle());
    // Owned by the form it was opened from, so it stays above it.
    EXPECT_EQ(GetWindow(dialog->Handle(), GW_OWNER), main->Handle());
    // A click on the disabled main form does nothing.
    driver.Click(TDriverPoint(main->Box, 10, 10));
  });
  driver.WhenIdle([&] { dialog->SetModalResult(mrOk); });
  EXPECT_EQ(dialog->ShowModal(), mrOk);
  EXPECT_FALSE(mainEnabledDuring);
  EXPECT_TRUE(main->Box->Log.empty());
  EXPECT_EQ(seenAction, caHide);
  EXPECT_TRUE(IsWindowEnabled(main->Handle()));
  EXPECT_FALSE(dialog->Visible());
  EXPECT_EQ(GetActiveWindow(), main->Handle());
  EXPECT_EQ(GetWindow(dialog->Handle(), GW_OWNER), nullptr);
  EXPECT_EQ(dialog->Left(), (1024 - dialog->Width()) / 2);
  // Showing it modally again works; Close ends it with mrCancel. A busy
  // cursor set by the work that opened it gives way to the ordinary one
  // while the form is answered, and comes back after.
  Screen->SetCursor(crHourGlass);
  TCursor cursorDuring = crHourGlass;
  driver.WhenIdle([&] {
    cursorDuring = Screen->Cursor();
    dialog->Close();
  });
  EXPECT_EQ(dialog->ShowModal(), mrCancel);
  EXPECT_EQ(cursorDuring, crDefault);
  EXPECT_EQ(Screen->Cursor(), crHourGlass);
  Screen->SetCursor(crDefault);
  EXPECT_EQ(driver.PendingSteps(), 0u);
}

TEST(Forms, OnEnterDoesNotFireAgainWhenFocusComesBackAfterAModalDialog) {
  std::vector<std::string> log;
  TUiTestDriver driver;
  TTestForm* form;
  Application->CreateForm(form);
  auto* second = new TPaintedBox(form);
  second->SetBounds(10, 100, 50, 50);
  second->SetParent(form);
  form->Box->OnEnter = [&](TObject*) { log.push_back("enter box"); };
  form->Box->OnExit = [&](TObject*) { log.push_back("exit box"); };
  second->OnEnter = [&](TObject*) { log.push_back("enter second"); };
  form->SetActiveControl(form->Box);
  form->Show();
  driver.ProcessMessages();
  EXPECT_EQ(log, std::vector<std::string>{"enter box"});
  EXPECT_EQ(GetFocus(), form->Box->Handle());
  EXPECT_EQ(Screen->ActiveForm(), form);

  auto* dialog = new TForm(Application);
  dialog->AfterConstruction();
  driver.WhenIdle([&] { dialog->SetModalResult(mrCancel); });
  dialog->ShowModal();
  driver.ProcessMessages();
  EXPECT_EQ(GetFocus(), form->Box->Handle());
  EXPECT_EQ(log, std::vector<std::string>{"enter box"});

  second->SetFocus();
  EXPECT_EQ(log, (std::vector<std::string>{"enter box", "exit box", "enter second"}));
  EXPECT_EQ(form->ActiveControl(), second);
}

TEST(Forms, ActivationEventsAndCloseOfTheMainFormEndsTheApplication) {
  std::vector<std::string> log;
  TUiTestDriver driver;
  TTestForm* a;
  TTestForm* b;
  Application->CreateForm(a);
  Application->CreateForm(b);
  EXPECT_EQ(Application->MainForm(), a);
  a->OnActivate = [&](TObject*) { log.push_back("a on"); };
  a->OnDeactivate = [&](TObject*) { log.push_back("a off"); };
  b->OnActivate = [&](TObject*) { log.push_back("b on"); };
  b->SetBounds(450, 50, 200, 100);
  a->Show();
  b->Show();
  driver.ProcessMessages();
  EXPECT_EQ(log, (std::vector<std::string>{"a on", "a off", "b on"}));
  // A click activates the form under it.
  driver.Click(TDriverPoint(a->Box, 5, 5));
  driver.ProcessMessages();
  EXPECT_EQ(GetActiveWindow(), a->Handle());
  EXPECT_EQ(log.back(), "a on");
  a->Close();
  driver.WhenIdle([] {});
  Application->HandleMessage();
  EXPECT_TRUE(Application->Terminated());
}

TEST(Application, AnExceptionInAHandlerBecomesAMessageBoxAndTheLoopGoesOn) {
  int clicks = 0;
  std::string seen;
  TUiTestDriver driver;
  TTestForm* form;
  Application->CreateForm(form);
  Application->SetTitle("Quillon Test");
  form->Show();
  driver.ProcessMessages();
  form->Box->OnClick = [&](TObject*) {
    ++clicks;
    if (clicks == 1) throw Exception("Something went wrong");
  };
  driver.Click(TDriverPoint(form->Box, 10, 10));
  driver.Click(TDriverPoint(form->Box, 10, 10));
  driver.ProcessMessages();
  EXPECT_EQ(clicks, 2);
  ASSERT_EQ(driver.MessageBoxes().size(), 1u);
  EXPECT_EQ(driver.MessageBoxes()[0].Text, "Something went wrong.");
  EXPECT_EQ(driver.MessageBoxes()[0].Caption, "Quillon Test");
  // OnException takes over when set.
  Application->OnException = [&](TObject*, const std::exception& E) { seen = E.what(); };
  form->Box->OnClick = [&](TObject*) { throw Exception("second"); };
  driver.Click(TDriverPoint(form->Box, 10, 10));
  driver.ProcessMessages();
  EXPECT_EQ(seen, "second");
  EXPECT_EQ(driver.MessageBoxes().size(), 1u);
}

TEST(Application, MessageBoxesAreAnsweredByScriptAndHooksSeeTheMainWindowsMessages) {
  std::vector<uint32_t> hooked;
  int activations = 0;
  TUiTestDriver driver;
  driver.AnswerMessageBoxes({IDNO});
  EXPECT_EQ(Application->MessageBox("Save?", "Q", MB_YESNOCANCEL), IDNO);
  EXPECT_EQ(Application->MessageBox("Again?", "Q", MB_YESNOCANCEL | MB_DEFBUTTON3), IDCANCEL);
  ShowMessage("Done");
  ASSERT_EQ(driver.MessageBoxes().size(), 3u);
  EXPECT_EQ(driver.MessageBoxes()[2].Type, static_cast<uint32_t>(MB_OK));

  TTestForm* form;
  Application->CreateForm(form);
  int32_t id = Application->HookMainWindow([&](TMessage& M) {
    if (M.Msg == CM_ACTIVATE || M.Msg == CM_DEACTIVATE) hooked.push_back(M.Msg);
    return false;
  });
  Application->OnActivate = [&](TObject*) { ++activations; };
  form->Show();
  driver.ProcessMessages();
  SetActiveWindow(nullptr);
  driver.ProcessMessages();
  EXPECT_EQ(hooked, (std::vector<uint32_t>{CM_ACTIVATE, CM_DEACTIVATE}));
  EXPECT_EQ(activations, 1);
  Application->UnhookMainWindow(id);
}

TEST(Components, OwnersFreeWhatTheyOwnInOrderAndNotifyTheirWatchers) {
  std::vector<std::string> log;
  TUiTestDriver driver;
  class TNamed : public TComponent {
  public:
    TNamed(TComponent* AOwner, std::vector<std::string>* Log, std::string N) : TComponent(AOwner), L(Log) { SetName(N); }
    ~TNamed() override { L->push_back("free " + Name()); }
    TComponent* Watched = nullptr;
    std::vector<std::string>* L;

  protected:
    void Loaded() override {
      TComponent::Loaded();
      L->push_back("loaded " + Name());
    }
    void Notification(TComponent* C, TOperation Op) override {
      TComponent::Notification(C, Op);
      if (Op == opRemove && C == Watched) {
        Watched = nullptr;
        L->push_back(Name() + " forgets " + C->Name());
      }
    }
  };
  auto* owner = new TNamed(nullptr, &log, "owner");
  owner->BeginLoading();
  auto* a = new TNamed(owner, &log, "a");
  auto* b = new TNamed(owner, &log, "b");
  EXPECT_TRUE(b->ComponentState() & csLoading);
  owner->EndLoading();
  EXPECT_EQ(log, (std::vector<std::string>{"loaded a", "loaded b", "loaded owner"}));
  EXPECT_EQ(owner->Components(0), a);
  EXPECT_EQ(b->ComponentIndex(), 1);
  EXPECT_EQ(owner->FindComponent("b"), b);
  auto* watcher = new TNamed(nullptr, &log, "watcher");
  watcher->Watched = a;
  watcher->FreeNotification(a);
  log.clear();
  a->Free();
  EXPECT_EQ(log, (std::vector<std::string>{"free a", "watcher forgets a"}));
  EXPECT_EQ(owner->ComponentCount(), 1);
  log.clear();
  owner->Free();
  EXPECT_EQ(log, (std::vector<std::string>{"free owner", "free b"}));
  watcher->Free();
}

TEST(Timer, TicksOnTheDrivenClockOnlyWithAHandlerAnInterval) {
  TUiTestDriver driver;
  TTimer timer(nullptr);
  int ticks = 0;
  timer.SetInterval(100);
  driver.AdvanceClock(500);
  timer.SetOnTimer([&](TObject*) { ++ticks; });
  driver.AdvanceClock(450);
  EXPECT_EQ(ticks, 4);
  timer.SetEnabled(false);
  driver.AdvanceClock(300);
  EXPECT_EQ(ticks, 4);
  timer.SetEnabled(true);
  timer.SetInterval(0);
  driver.AdvanceClock(300);
  EXPECT_EQ(ticks, 4);
}

TEST(Screen, CursorOverridesControlsAndCustomCursorsComeFromTheTable) {
  TUiTestDriver driver;
  TTestForm* form;
  Application->CreateForm(form);
  form->Show();
  driver.ProcessMessages();
  form->Square->SetCursor(crHandPoint);
  driver.MouseMove(TDriverPoint(form->Square, 2, 2));
  driver.ProcessMessages();
  EXPECT_EQ(GetCursor(), Screen->Cursors(crHandPoint));
  driver.MouseMove(TDriverPoint(form->Box, 2, 2));
  driver.ProcessMessages();
  EXPECT_EQ(GetCursor(), LoadCursor(nullptr, IDC_ARROW));
  uint8_t andMask[128], xorMask[128];
  std::fill(std::begin(andMask), std::end(andMask), 0xFF);
  std::fill(std::begin(xorMask), std::end(xorMask), 0x00);
  HCURSOR own = CreateCursor(nullptr, 1, 1, 32, 32, andMask, xorMask);
  Screen->SetCursors(1, own);
  form->Box->SetCursor(1);
  driver.MouseMove(TDriverPoint(form->Box, 3, 3));
  driver.ProcessMessages();
  EXPECT_EQ(GetCursor(), own);
  Screen->SetCursor(crHourGlass);
  EXPECT_EQ(GetCursor(), Screen->Cursors(crHourGlass));
  driver.MouseMove(TDriverPoint(form->Square, 3, 3));
  driver.ProcessMessages();
  EXPECT_EQ(GetCursor(), Screen->Cursors(crHourGlass));
  Screen->SetCursor(crDefault);
  EXPECT_EQ(GetCursor(), Screen->Cursors(crHandPoint));
}

TEST(Painting, TransparentChildShowsItsParentsPixels) {
  TUiTestDriver driver;
  TTestForm* form;
  Application->CreateForm(form);
  form->SetColor(clLime);
  class TClear : public TCustomControl {
  public:
    explicit TClear(TComponent* AOwner) : TCustomControl(AOwner) {}

  protected:
    void CreateParams(TCreateParams& Params) override {
      TCustomControl::CreateParams(Params);
      Params.ExStyle |= WS_EX_TRANSPARENT;
    }
    void WndProc(TMessage& M) override {
      if (M.Msg == WM_ERASEBKGND) {
        M.Result = 1;
        return;
      }
      TCustomControl::WndProc(M);
    }
    void Paint() override {
      Canvas()->Pen()->SetColor(clBlack);
      Canvas()->MoveTo(0, 0);
      Canvas()->LineTo(Width(), 0);
    }
  };
  auto* clear = new TClear(form);
  clear->SetBounds(150, 100, 100, 50);
  clear->SetParent(form);
  form->Show();
  driver.ProcessMessages();
  EXPECT_EQ(driver.Pixel(form->Handle(), 160, 100), clBlack);
  EXPECT_EQ(driver.Pixel(form->Handle(), 160, 120), clLime);
  form->SetColor(clAqua);
  driver.ProcessMessages();
  EXPECT_EQ(driver.Pixel(form->Handle(), 160, 120), clAqua);
}

TEST(Threads, WorkerResultsArriveByPostedMessagesAndExceptionsAreReported) {
  TUiTestDriver driver;
  std::vector<int> results;
  HWND target = CreateWindowEx(0, "", WS_POPUP, 0, 0, 1, 1, nullptr, [&](HWND h, uint32_t m, WPARAM w, LPARAM l) -> LRESULT {
    if (m == WM_USER) results.push_back(static_cast<int>(w));
    return DefWindowProc(h, m, w, l);
  });
  class TWorker : public TThread {
  public:
    TWorker(HWND T, bool Fail) : TThread(true), Target(T), FailIt(Fail) {}
    HWND Target;
    bool FailIt;
    int Synced = 0;

  protected:
    void Execute() override {
      for (int i = 0; i < 5; ++i) PostMessage(Target, WM_USER, static_cast<WPARAM>(i), 0);
      Synchronize([this] { Synced = IsMainThread() ? 1 : -1; });
      if (FailIt) throw Exception("worker failed");
    }
  };
  TWorker ok(target, false);
  EXPECT_TRUE(ok.Suspended());
  ok.Start();
  ok.WaitFor();
  EXPECT_EQ(ok.Synced, 1);
  driver.ProcessMessages();
  EXPECT_EQ(results, (std::vector<int>{0, 1, 2, 3, 4}));
  TWorker bad(target, true);
  bad.Start();
  bad.WaitFor();
  driver.ProcessMessages();
  EXPECT_TRUE(bad.FatalException() != nullptr);
  ASSERT_EQ(driver.MessageBoxes().size(), 1u);
  EXPECT_EQ(driver.MessageBoxes()[0].Text, "worker failed.");
  DestroyWindow(target);
}

}  // namespace

namespace {

TEST(Controls, ChildrenFollowTheirParentsColourFontAndLookUntilGivenTheirOwn) {
  TUiTestDriver driver;
  TTestForm* form;
  Application->CreateForm(form);
  auto* child = new TSquare(form);
  child->SetParent(form);
  form->SetColor(clTeal);
  form->Font()->SetHeight(-20);
  EXPECT_EQ(child->Color(), clTeal);
  EXPECT_EQ(child->Font()->Height(), -20);
  EXPECT_TRUE(child->ParentColor());
  child->SetColor(clMaroon);
  EXPECT_FALSE(child->ParentColor());
  form->SetColor(clOlive);
  EXPECT_EQ(child->Color(), clMaroon);
  child->SetParentColor(true);
  EXPECT_EQ(child->Color(), clOlive);
  child->Font()->SetHeight(-9);
  EXPECT_FALSE(child->ParentFont());
  form->SetCtl3D(false);
  EXPECT_FALSE(form->Box->Ctl3D());
  EXPECT_TRUE(form->Box->ParentCtl3D());
}

TEST(Controls, RecreatingTheWindowKeepsChildrenTextAndBounds) {
  TUiTestDriver driver;
  TTestForm* form;
  Application->CreateForm(form);
  form->SetCaption("First");
  form->Show();
  driver.ProcessMessages();
  HWND oldForm = form->Handle();
  HWND oldBox = form->Box->Handle();
  form->SetBorderStyle(bsDialog);  // recreates the window
  driver.ProcessMessages();
  EXPECT_NE(form->Handle(), oldForm);
  EXPECT_FALSE(IsWindow(oldForm));
  EXPECT_FALSE(IsWindow(oldBox));
  EXPECT_EQ(GetParent(form->Box->Handle()), form->Handle());
  EXPECT_EQ(GetWindowText(form->Handle()), "First");
  EXPECT_EQ(form->Box->BoundsRect(), (TRect{10, 10, 130, 90}));
  EXPECT_TRUE(GetWindowExStyle(form->Handle()) & WS_EX_DLGMODALFRAME);
  EXPECT_EQ(driver.Pixel(form->Handle(), 20, 20), clBlue);
}

TEST(Forms, CreateAndDestroyEventsCloseQueryAndTheRunLoop) {
  std::vector<std::string> log;
  TUiTestDriver driver;
  class TLogged : public TForm {
  public:
    TLogged(TComponent* O) : TForm(O) {}
  };
  TLogged* main;
  Application->CreateForm(main);
  main->OnCreate = [&](TObject*) { log.push_back("create"); };  // too late: the form is made
  auto* second = new TLogged(Application);
  second->OnCreate = [&](TObject*) { log.push_back("create second"); };
  second->OnDestroy = [&](TObject*) { log.push_back("destroy second"); };
  second->AfterConstruction();
  bool allow = false;
  main->OnCloseQuery = [&](TObject*, bool& Can) {
    Can = allow;
    log.push_back("query");
  };
  driver.WhenIdle([&] { main->Close(); });
  driver.WhenIdle([&] {
    allow = true;
    main->Close();
  });
  Application->Run();
  EXPECT_TRUE(Application->Terminated());
  second->Free();
  EXPECT_EQ(log, (std::vector<std::string>{"create second", "query", "query", "destroy second"}));
}

TEST(Threads, SuspendedThreadWaitsAtItsSleepUntilResumed) {
  TUiTestDriver driver;
  struct TTicker : TThread {
    std::atomic<int> Ticks{0};
    TTicker() : TThread(false) {}
    void Execute() override {
      while (!Terminated()) {
        Sleep(10);
        ++Ticks;
      }
    }
  } t;
  t.AfterConstruction();
  driver.AdvanceClock(30);
  EXPECT_EQ(t.Ticks.load(), 3);
  t.Suspend();
  EXPECT_TRUE(t.Suspended());
  driver.AdvanceClock(100);
  int paused = t.Ticks.load();
  EXPECT_LE(paused, 4);
  driver.AdvanceClock(100);
  EXPECT_EQ(t.Ticks.load(), paused);
  t.Resume();
  driver.AdvanceClock(20);
  EXPECT_GT(t.Ticks.load(), paused);
  t.Terminate();
  driver.AdvanceClock(10);
  t.WaitFor();
  EXPECT_TRUE(t.Finished());
}

}  // namespace

namespace {

TEST(Application, HintsShowAfterThePauseAndTheLongPartGoesToOnHint) {
  std::vector<std::string> hints;
  TUiTestDriver driver;
  TTestForm* form;
  Application->CreateForm(form);
  form->Show();
  form->Square->SetHint("Pick|Pick the transparent colour");
  form->Square->SetShowHint(true);
  Application->OnHint = [&](TObject*) { hints.push_back(Application->Hint()); };
  driver.ProcessMessages();
  driver.MouseMove(TDriverPoint(form->Square, 2, 2));
  driver.ProcessMessages();
  EXPECT_EQ(hints, std::vector<std::string>{"Pick the transparent colour"});
  HWND tip = Application->HintWindow();
  EXPECT_TRUE(tip == nullptr || !IsWindowVisible(tip));
  driver.AdvanceClock(Application->HintPause);
  tip = Application->HintWindow();
  ASSERT_NE(tip, nullptr);
  EXPECT_TRUE(IsWindowVisible(tip));
  EXPECT_EQ(GetWindowText(tip), "Pick");
  EXPECT_EQ(driver.Pixel(tip, 0, 0), GetSysColor(COLOR_INFOBK));
  // The hint never takes the mouse, and it goes when the pointer leaves.
  TRect r;
  GetWindowRect(tip, r);
  EXPECT_NE(WindowFromPoint(TPoint{r.Left + 1, r.Top + 1}), tip);
  driver.MouseMove(TDriverPoint(form->Box, 2, 2));
  driver.ProcessMessages();
  EXPECT_FALSE(IsWindowVisible(tip));
  EXPECT_EQ(hints.back(), "");
  // Off when the application says so.
  Application->SetShowHint(false);
  driver.MouseMove(TDriverPoint(form->Square, 3, 3));
  driver.AdvanceClock(1000);
  EXPECT_FALSE(IsWindowVisible(tip));
  // A message box or a window of the toolkit's own that makes the form wait
  // takes a tip away at once, without waiting for the pointer to move.
  Application->SetShowHint(true);
  auto showTip = [&] {
    driver.MouseMove(TDriverPoint(form->Box, 2, 2));
    driver.ProcessMessages();
    driver.MouseMove(TDriverPoint(form->Square, 2, 2));
    driver.ProcessMessages();
    driver.AdvanceClock(Application->HintPause);
    return IsWindowVisible(tip);
  };
  ASSERT_TRUE(showTip());
  bool tipDuringBox = true;
  TMessageBoxHook driversHook = SetMessageBoxHook([&](HWND, const std::string&, const std::string&, uint32_t) {
    tipDuringBox = IsWindowVisible(tip);
    return IDOK;
  });
  Application->MessageBox("Saved", "Quillon", MB_OK);
  SetMessageBoxHook(driversHook);
  EXPECT_FALSE(tipDuringBox);
  ASSERT_TRUE(showTip());
  EnableWindow(form->Handle(), false);
  EXPECT_FALSE(IsWindowVisible(tip));
  EnableWindow(form->Handle(), true);
}

}  // namespace

namespace {

TEST(Forms, AcceleratorsReachControlsAndClientSizeCountsTheFrame) {
  TUiTestDriver driver;
  TTestForm* form;
  Application->CreateForm(form);
  std::vector<uint32_t> offered;
  form->Square->WindowProc = [&, old = form->Square->WindowProc](TMessage& M) {
    if (M.Msg == CM_DIALOGCHAR) {
      offered.push_back(static_cast<uint32_t>(M.WParam));
      M.Result = M.WParam == 'p' ? 1 : 0;
      return;
    }
    old(M);
  };
  form->Show();
  SetFocus(form->Box->Handle());
  driver.SetModifiers(0x1000);  // Alt
  driver.PressKey('P', 'p');
  driver.PressKey('Q', 'q');
  driver.SetModifiers(0);
  driver.ProcessMessages();
  EXPECT_EQ(offered, (std::vector<uint32_t>{'p', 'q'}));

  auto* dialog = new TForm(Application);
  dialog->AfterConstruction();
  dialog->SetBorderStyle(bsDialog);
  dialog->SetClientWidth(400);
  dialog->SetClientHeight(300);
  EXPECT_EQ(dialog->ClientWidth(), 400);
  EXPECT_EQ(dialog->ClientHeight(), 300);
  EXPECT_EQ(dialog->Height(), 300 + GetSystemMetrics(SM_CYCAPTION) + 2 * GetSystemMetrics(SM_CYDLGFRAME));
}

}  // namespace
