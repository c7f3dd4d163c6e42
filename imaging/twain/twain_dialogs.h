// The dialogs the client lends the source manager (TW_PARENT): choosing a
// source from the manager's list, a scanner's settings step, and the
// progress of a scan with a Cancel button; and the file that keeps the
// manager's settings for the person. The manager is a library of its own
// loaded at run time, so it shows nothing itself: it calls these through the
// record handed over with MSG_OPENDSM.
#pragma once

#include <string>
#include <vector>

#include "imaging/twain/twain_protocol.h"
#include "platform/ui/forms.h"

class TButton;
class TLabel;
class TProgressBar;
class TRadioGroup;
class TSpinEdit;

// Select Source: the sources the manager knows at once, the rest as it finds
// them (it posts a message when it is done); Label1 says that it is still
// looking, or what the manager has to say.
class TSelectSourceForm : public TForm {
public:
  TSelectSourceForm(TComponent* AOwner, const TW_SOURCELIST* List);
  TLabel* Label1;
  TRadioGroup* Sources;
  TButton* btnSelect;
  TButton* btnCancel;
  bool Looking() const { return FLooking; }
  void WndProc(TMessage& Message) override;

private:
  void Refill();
  const TW_SOURCELIST* FList;
  bool FLooking = false;
};

// A scanner's settings step: mode, resolution (a list, or a range in a spin
// edit) and area, each only when the scanner offers it; Scan and Cancel.
class TScanSettingsForm : public TForm {
public:
  TScanSettingsForm(TComponent* AOwner, const TW_SCANSETTINGS& Settings);
  // The person's choice, written into Settings.
  void Chosen(TW_SCANSETTINGS& Settings) const;
  TLabel* Label1;  // the scanner
  TLabel* Note;
  TRadioGroup* Modes = nullptr;
  TRadioGroup* Resolutions = nullptr;
  TSpinEdit* Resolution = nullptr;
  TRadioGroup* Areas = nullptr;
  TButton* btnScan;
  TButton* btnCancel;

private:
  std::vector<int32_t> FResolutions;
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
// The file that keeps the manager's settings for the person (the source
// chosen, the settings last used with each scanner), in their configuration
// folder; "" when they have none.
std::string TWAIN_SettingsFileName();
