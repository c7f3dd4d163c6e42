// The toolbars unit's start-up and shut-down, and the subclassing of the
// forms that own floating bars.
#include <memory>
#include <vector>

#include "controls/toolbars_internal.h"
#include "platform/ui/message_queue.h"

TToolbarButton* HotTrackButton = nullptr;

namespace {

struct TSubclassRecord {
  TSubclassKind Kind;
  TWinControl* Control;
  std::function<void(TMessage&)> Previous;
  int32_t HookId;
  int32_t RefCount;
};

bool Initialized = false;
std::vector<std::unique_ptr<TSubclassRecord>>* SubclassList = nullptr;
TTimer* Timer = nullptr;
int32_t DeactivateHookId = 0;

// Whether a control lies inside a toolbar (floating ones only with Floating).
TToolbar* ToolbarOf(TControl* Control) {
  for (TControl* c = Control; c; c = c->Parent())
    if (auto* bar = dynamic_cast<TToolbar*>(c)) return bar;
  return nullptr;
}

void TopFormProc(TSubclassRecord* Record, TMessage& Message) {
  auto* form = static_cast<TCustomForm*>(Record->Control);
  if ((Message.Msg == WM_ACTIVATE || Message.Msg == WM_SETFOCUS) && ToolbarOf(form->ActiveControl())) return;
  Record->Previous(Message);
  if (form->ComponentState() & csDestroying) return;
  if (Message.Msg == WM_WINDOWPOSCHANGED) UpdateFloatingVisibility(form, Application && Application->Active());
  // Hiding a window here moves nothing, so the bars learn of it as it starts.
  if (Message.Msg == WM_SHOWWINDOW && Message.WParam == 0) UpdateFloatingVisibility(form, false);
}

void MDIChildProc(TSubclassRecord* Record, TMessage& Message) {
  Record->Previous(Message);
  if (Message.Msg == WM_WINDOWPOSCHANGED && Application && Application->MainForm())
    UpdateFloatingVisibility(Application->MainForm(), Application->Active());
}

bool ApplicationHook(TSubclassRecord* Record, TMessage& Message) {
  if (Message.Msg != CM_ACTIVATE && Message.Msg != CM_DEACTIVATE) return false;
  auto* form = static_cast<TCustomForm*>(Record->Control);
  bool activate = Message.Msg == CM_ACTIVATE;
  if (activate && Screen) {
    TWinControl* active = Screen->ActiveControl();
    TToolbar* bar = ToolbarOf(active);
    if (bar && !bar->DockedTo() && active && active->ParentForm() == form && form->HandleAllocated())
      SetActiveWindow(form->Handle());
  }
  UpdateFloatingVisibility(form, activate);
  if (form->HandleAllocated()) {
    HWND activeWnd = GetActiveWindow();
    bool ours = activeWnd && (activeWnd == form->Handle() || GetAncestorTopLevel(activeWnd) == form->Handle() ||
                              GetParent(activeWnd) == form->Handle());
    SendMessage(form->Handle(), WM_NCACTIVATE, activate && ours ? 1 : 0, 0);
  }
  return false;
}

}  // namespace

void InitializeToolbars() {
  if (Initialized) return;
  Initialized = true;
  SubclassList = new std::vector<std::unique_ptr<TSubclassRecord>>();
  Timer = new TTimer(nullptr);
  Timer->SetEnabled(false);
  Timer->SetInterval(125);
  if (Application)
    DeactivateHookId = Application->HookMainWindow([](TMessage& Message) {
      if (Message.Msg == CM_DEACTIVATE && HotTrackButton) HotTrackButton->MouseLeft();
      return false;
    });
}

void FinalizeToolbars() {
  if (!Initialized) return;
  Initialized = false;
  if (Application && DeactivateHookId) Application->UnhookMainWindow(DeactivateHookId);
  DeactivateHookId = 0;
  HotTrackButton = nullptr;
  // Forms still subclassed get their own window procedures back.
  for (auto& r : *SubclassList) {
    r->Control->WindowProc = r->Previous;
    if (Application && r->HookId) Application->UnhookMainWindow(r->HookId);
  }
  delete Timer;
  Timer = nullptr;
  delete SubclassList;
  SubclassList = nullptr;
}

void EnsureToolbarsInitialized() {
  if (!Initialized) InitializeToolbars();
}

TTimer* HotTrackTimer() { return Timer; }

void RegisterToolbarSubclass(TToolbar* Bar, TWinControl* Form, TSubclassKind Kind) {
  (void)Bar;
  if (!SubclassList || !Form) return;
  for (auto& r : *SubclassList)
    if (r->Control == Form && r->Kind == Kind) {
      ++r->RefCount;
      return;
    }
  auto record = std::make_unique<TSubclassRecord>();
  TSubclassRecord* rec = record.get();
  rec->Kind = Kind;
  rec->Control = Form;
  rec->RefCount = 1;
  rec->HookId = 0;
  rec->Previous = Form->WindowProc ? Form->WindowProc : [Form](TMessage& M) { Form->WndProc(M); };
  if (Kind == skTopForm) {
    Form->WindowProc = [rec](TMessage& M) { TopFormProc(rec, M); };
    if (Application) rec->HookId = Application->HookMainWindow([rec](TMessage& M) { return ApplicationHook(rec, M); });
  } else {
    Form->WindowProc = [rec](TMessage& M) { MDIChildProc(rec, M); };
  }
  SubclassList->push_back(std::move(record));
}

void ReleaseToolbarSubclass(TWinControl* Form, TSubclassKind Kind) {
  if (!SubclassList || !Form) return;
  for (auto it = SubclassList->begin(); it != SubclassList->end(); ++it) {
    TSubclassRecord* r = it->get();
    if (r->Control != Form || r->Kind != Kind) continue;
    if (--r->RefCount > 0) return;
    Form->WindowProc = r->Previous;
    if (Application && r->HookId) Application->UnhookMainWindow(r->HookId);
    SubclassList->erase(it);
    return;
  }
}
