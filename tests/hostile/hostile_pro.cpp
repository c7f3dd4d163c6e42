// The full edition's open, headless: the program started with its forms,
// then File > Open's load of the file up to the size estimate, and the
// viewer's display copy made and painted.
#include <cstdlib>
#include <string>
#include <vector>

#include "app/qln_main.h"
#include "app/quillon_pro_startup.h"
#include "imaging/viewer/pg_image.h"
#include "platform/base/settings.h"
#include "platform/ui/test_driver.h"
#include "tests/hostile/hostile_load.h"

THostileLoad PrepareEditionLoad(const std::string& Path) {
  if (Path != "pro") return nullptr;
  static TUiTestDriver driver;
  QuillonProInitialization(0, nullptr, false);
  SetCommandLine(std::vector<std::string>{"quillonpro"});
  QuillonProCreateForms();
  Form1->Show();
  driver.ProcessMessages();
  return [](const std::string& File) {
    Form1->LoadFile(File);
    driver.ProcessMessages();
    TPixelGraphic* picture = Form1->Image1->GetPixelGraphic();
    if (picture == nullptr || picture->Empty()) return std::string("refused: nothing shown");
    return Loaded(picture->GetWidth(), picture->GetHeight());
  };
}
