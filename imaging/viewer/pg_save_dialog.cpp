// The save dialog: the open dialog's panes with the writers' filter.
#include "imaging/viewer/pg_save_dialog.h"

#include "platform/base/files.h"
#include "platform/base/strings.h"

TPGSaveDialog::TPGSaveDialog(TComponent* AOwner) : TPGOpenDialog(AOwner) {
  FSaveDialog = true;
  SetFilter(BuildFilter());
}

std::vector<TFileFormatReaderWriter*> TPGSaveDialog::GetFormatList() {
  std::vector<TFileFormatReaderWriter*> list;
  if (!FileFormatWriters) return list;
  SortFileFormatWriters();
  for (const auto& w : *FileFormatWriters) list.push_back(w.get());
  return list;
}

std::string TPGSaveDialog::BuildFilter() { return FormatEntries(ListedFormats()); }

int32_t TPGSaveDialog::GetFilterCount() {
  if (!UseDefaultFilter()) return 0;
  return static_cast<int32_t>(ListedFormats().size());
}

std::string TPGSaveDialog::GetFilterExtension(int32_t N) {
  if (!UseDefaultFilter()) return {};
  const std::vector<TFileFormatReaderWriter*> listed = ListedFormats();
  if (N < 1 || N > static_cast<int32_t>(listed.size())) return {};
  return LowerCase(listed[static_cast<size_t>(N - 1)]->Extension());
}

bool TPGSaveDialog::Execute() {
  if (UseDefaultFilter()) {
    SetFilter(BuildFilter());
    // The type of the name's extension is preselected.
    const std::string ext = GetFileExtension(FileName());
    if (!ext.empty()) {
      const int32_t count = GetFilterCount();
      for (int32_t n = 1; n <= count; ++n)
        if (GetFilterExtension(n) == ext) {
          SetFilterIndex(n);
          break;
        }
    }
  }
  const bool result = TPGOpenDialog::Execute();
  // A chosen name without an extension takes the chosen type's; a
  // cancelled dialog leaves the name as it was.
  if (result && UseDefaultFilter() && !FileName().empty() && ExtractFileExt(FileName()).empty()) {
    const std::string ext = GetFilterExtension(FilterIndex());
    if (!ext.empty()) SetFileName(FileName() + "." + ext);
  }
  return result;
}
