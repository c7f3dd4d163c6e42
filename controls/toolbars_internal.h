// Unit-wide state of the toolbars shared by their source files.
#pragma once

#include <string>

#include "controls/toolbars.h"
#include "platform/ui/timer.h"

enum TSubclassKind { skTopForm, skMDIChild };

// Starts the unit on first use when the program did not.
void EnsureToolbarsInitialized();
// Subclasses a form's window for floating bars; reference counted per
// window and kind.
void RegisterToolbarSubclass(TToolbar* Bar, TWinControl* Form, TSubclassKind Kind);
void ReleaseToolbarSubclass(TWinControl* Form, TSubclassKind Kind);

// The shared hot-tracking timer and the button that shows the mouse-in look.
TTimer* HotTrackTimer();
extern TToolbarButton* HotTrackButton;

// A floating caption shortened with "..." to fit Width.
std::string ToolbarCaptionText(HDC DC, const std::string& Text, int32_t Width);
