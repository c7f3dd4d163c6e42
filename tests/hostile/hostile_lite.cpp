// The lite edition's open, headless: the main window made as the program
// makes it, then File > Open's load of the file and the paint after it.
#include <memory>

#include "gif/gif_encoder.h"
#include "lite/main.h"
#include "platform/ui/std_controls.h"
#include "platform/ui/test_driver.h"
#include "tests/hostile/hostile_load.h"

THostileLoad PrepareEditionLoad(const std::string& Path) {
  if (Path != "lite") return nullptr;
  static TUiTestDriver driver;
  InitializeStdControls();
  InitializeGIFEncoder();
  Application->CreateForm(Form1);
  Form1->Show();
  driver.ProcessMessages();
  return [](const std::string& File) {
    driver.ClearMessageBoxes();
    Form1->LiteLoadFile(File);
    driver.ProcessMessages();
    // A refusal the window reports in a box counts as one.
    if (!driver.MessageBoxes().empty()) return "refused: " + driver.MessageBoxes().front().Text;
    TGraphic* picture = Form1->Image1->Picture()->Graphic();
    if (picture == nullptr || picture->Empty()) return std::string("refused: nothing shown");
    return Loaded(picture->Width(), picture->Height());
  };
}
