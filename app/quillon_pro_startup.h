// The full edition's start-up and shut-down: every module's initialization
// in dependency order, the application object and its title, the forms.
#pragma once

// The title of the application and of the comments of the GIFs it writes.
inline constexpr const char* QuillonProTitle = "Quillon Pro version 2.5";

// Module initializations, bottom layer first. With a window system already
// running (tests), pass 0 and nullptr and StartForms false.
void QuillonProInitialization(int argc, char** argv, bool StartForms = true);
// Sets the title and creates the main window (Form1).
void QuillonProCreateForms();
// Module finalizations, in reverse order.
void QuillonProFinalization(bool StopForms = true);
