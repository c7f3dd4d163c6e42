// Drag and drop between controls: one drag at a time, run by the dragged
// control, which holds the mouse captured while it lasts. Its mouse
// messages move the drag (the control under the pointer is asked whether
// it accepts, and the pointer shows the answer) and end it.
#include <cstdlib>

#include "platform/ui/controls.h"
#include "platform/ui/forms.h"

namespace {

struct TDrag {
  TControl* Control = nullptr;     // the dragged control; none: no drag
  TDragObject* Object = nullptr;   // what OnStartDrag gave, if anything
  TControl* Target = nullptr;      // the control under the pointer
  bool Moving = false;             // past the threshold
  TPoint Start;
  int32_t Threshold = 5;
  HCURSOR SavedCursor = nullptr;
};
TDrag Drag;

TObject* DragSource(const TDrag& D) { return D.Object ? static_cast<TObject*>(D.Object) : D.Control; }

// Asks Target whether it takes the drag at the screen point Pos. A control
// without OnDragOver takes nothing.
bool AskTarget(TControl* Target, TObject* Source, TPoint Pos, TDragState State) {
  if (!Target->OnDragOver) return false;
  bool accept = true;
  const TPoint p = Target->ScreenToClient(Pos);
  Target->OnDragOver(Target, Source, p.X, p.Y, State, accept);
  return accept;
}

void DragTo(TPoint Pos) {
  if (!Drag.Moving) {
    if (std::abs(Pos.X - Drag.Start.X) < Drag.Threshold && std::abs(Pos.Y - Drag.Start.Y) < Drag.Threshold) return;
    Drag.Moving = true;
  }
  TControl* target = FindDragTarget(Pos, false);
  if (target != Drag.Target) {
    if (Drag.Target) AskTarget(Drag.Target, DragSource(Drag), Pos, dsDragLeave);
    Drag.Target = target;
    if (target) AskTarget(target, DragSource(Drag), Pos, dsDragEnter);
  }
  if (!Drag.Control) return;  // a handler ended the drag
  const bool accepted = Drag.Target && AskTarget(Drag.Target, DragSource(Drag), Pos, dsDragMove);
  if (Drag.Control && Screen) SetCursor(Screen->Cursors(accepted ? Drag.Control->DragCursor() : crNoDrop));
}

void DragDone(bool Drop) {
  const TDrag drag = Drag;
  Drag = TDrag{};  // over before any handler runs or the capture goes
  TPoint pos;
  GetCursorPos(pos);
  TControl* target = drag.Moving ? drag.Target : nullptr;
  bool accepted = false;
  TPoint at{0, 0};
  if (target) {
    accepted = AskTarget(target, DragSource(drag), pos, dsDragLeave) && Drop;
    at = target->ScreenToClient(pos);
    if (accepted && target->OnDragDrop) target->OnDragDrop(target, DragSource(drag), at.X, at.Y);
  }
  if (drag.Control->MouseCapture()) drag.Control->SetMouseCapture(false);
  SetCursor(drag.SavedCursor);
  if (drag.Control->OnEndDrag)
    drag.Control->OnEndDrag(drag.Control, accepted ? target : nullptr, accepted ? at.X : 0, accepted ? at.Y : 0);
}

}  // namespace

void ForgetDragControl(TControl* Control) {
  if (Drag.Target == Control) Drag.Target = nullptr;
  if (Drag.Control == Control) Drag = TDrag{};
}

void TControl::BeginDrag(bool Immediate, int32_t Threshold) {
  if (Drag.Control) return;
  TDragObject* object = nullptr;
  if (OnStartDrag) OnStartDrag(this, object);
  // Captured first: taking the mouse from this control's own press must not
  // end the drag it starts.
  SetMouseCapture(true);
  Drag = TDrag{};
  Drag.Control = this;
  Drag.Object = object;
  Drag.Threshold = Threshold < 0 ? 5 : Threshold;
  Drag.Moving = Immediate;
  GetCursorPos(Drag.Start);
  Drag.SavedCursor = GetCursor();
  if (Immediate) DragTo(Drag.Start);
}

bool TControl::Dragging() const { return Drag.Control == this; }

bool TControl::DragMessage(TMessage& Message) {
  switch (Message.Msg) {
    case WM_MOUSEMOVE:
      DragTo(ClientToScreen(PointFromLParam(Message.LParam)));
      return true;
    case WM_LBUTTONUP:
      DragDone(true);
      return true;
    case WM_RBUTTONDOWN:
      DragDone(false);
      return true;
    case WM_CAPTURECHANGED:
      // Another window took the mouse: the drag is over, nothing dropped.
      DragDone(false);
      return false;
    default:
      // Other presses and releases belong to the drag while it lasts.
      return Message.Msg >= WM_MOUSEFIRST && Message.Msg <= WM_MOUSELAST && Message.Msg != WM_MOUSEWHEEL;
  }
}
