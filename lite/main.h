// The lite edition's main window: opens a BMP or GIF file, shows it and
// saves it as GIF; an image of more than 256 colours cannot be saved, and
// the window then offers to start the full edition on the file.
#pragma once

#include <string>
#include <vector>

#include "gif/control/gif_image.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/forms.h"
#include "platform/ui/menus.h"
#include "platform/ui/std_controls.h"

class TForm1 : public TForm {
public:
  explicit TForm1(TComponent* AOwner);

  TPanel* Panel1;
  TSpeedButton* btnOpen;
  TSpeedButton* btnSave;
  TSpeedButton* btnExit;
  TScrollBox* ScrollBox1;
  TGIFImage* GIFImage1;
  TImage* Image1;
  TPanel* plTestPro;
  TMemo* Memo1;
  TBitBtn* BitBtn1;
  TBitBtn* BitBtn2;
  TOpenDialog* OpenDialog1;
  TSaveDialog* SaveDialog1;
  TMainMenu* MainMenu1;
  TMenuItem* File1;
  TMenuItem* Open1;
  TMenuItem* SaveAs1;
  TMenuItem* N1;
  TMenuItem* Exit1;
  TMenuItem* Help1;
  TMenuItem* About1;

  void FormCreate(TObject* Sender);
  void Open1Click(TObject* Sender);
  void SaveAs1Click(TObject* Sender);
  void Exit1Click(TObject* Sender);
  void About1Click(TObject* Sender);
  void BitBtn1Click(TObject* Sender);
  void BitBtn2Click(TObject* Sender);

  // Loads Name into the window; a file it does not read is refused with a
  // message, and the window keeps its picture and its name.
  void LiteLoadFile(const std::string& Name);
  // True when the GIF was written.
  bool LiteSaveGif(const std::string& Name);

  // The name last loaded or saved.
  const std::string& FileName() const { return FFileName; }

protected:
  void WndProc(TMessage& Message) override;

private:
  // A picture is shown that can be saved.
  bool HasPicture();
  // Tells the person Text; at start-up, once the window shows.
  void Complain(const std::string& Text);
  // Tells what TakeRestoredSaveMessages holds.
  void TellRestoredFiles();
  // Shows the offer panel laid out whole.
  void ShowOffer();
  void LayOutOffer();

  std::string FFileName;
  std::vector<std::string> FStartMessages;
};

// The full edition's program, looked for in the lite edition's own folder,
// then on PATH.
extern const char* const FullEditionProgram;
// The folder the full edition is looked for in, with its trailing "/": the
// program's own folder unless one was set (an empty Folder restores that).
std::string FullEditionFolder();
void SetFullEditionFolder(const std::string& Folder);
// The full edition to start: beside the lite edition, else the one on PATH,
// else the name beside it (which does not exist).
std::string FullEditionPath();

extern TForm1* Form1;
