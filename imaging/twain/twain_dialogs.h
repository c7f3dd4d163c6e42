// The dialogs the client lends the source manager (TW_PARENT): choosing a
// source from the manager's list, and the progress of a scan with a Cancel
// button. The manager is a library of its own loaded at run time, so it shows
// nothing itself: it calls these through the record handed over with
// MSG_OPENDSM.
#pragma once

#include <string>
#include <vector>

#include "imaging/twain/twain_protocol.h"
#include "platform/ui/forms.h"

class TButton;
class TLabel;
class TProgressBar;
class TRadioGroup;

class TSelectSourceForm : public TForm {
public:
  TSelectSourceForm(TComponent* AOwner, const std::vector<std::string>& Names, int32_t Default);
  TLabel* Label1;
  TRadioGroup* Sources;
  TButton* btnSelect;
  TButton* btnCancel;
};

class TScanProgressForm : public TForm {
public:
  TScanProgressForm(TComponent* AOwner, const std::string& Text);
  TLabel* Label1;
  TProgressBar* ProgressBar1;
  TButton* btnCancel;
  bool Cancelled = false;
};

// The record the client opens the manager with.
TW_PARENT TWAIN_ParentRecord(HWND Window);
