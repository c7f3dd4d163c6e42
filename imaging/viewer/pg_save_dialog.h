// TPGSaveDialog: the save dialog of the imaging library. Its filter lists
// the writer registry's formats, it preselects the type of the file name's
// extension, keeps the name box's extension in step with the chosen type,
// and gives a chosen name without an extension the type's extension.
#pragma once

#include "imaging/viewer/pg_open_dialog.h"

class TPGSaveDialog : public TPGOpenDialog {
public:
  explicit TPGSaveDialog(TComponent* AOwner);

  bool Execute() override;

  // The writers registry, sorted.
  std::vector<TFileFormatReaderWriter*> GetFormatList() override;
  // "BMP - ...|*.bmp|GIF - ...|*.gif|": no summary and no all-files entry.
  std::string BuildFilter() override;
  // Listed writer k is entry k.
  int32_t GetFilterCount() override;
  std::string GetFilterExtension(int32_t N) override;
};
