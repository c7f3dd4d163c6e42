// The file and colour dialogs as modal forms.
#include "platform/ui/dialogs.h"

#include <fnmatch.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "platform/base/files.h"
#include "platform/base/strings.h"
#include "platform/gdi/dc.h"
#include "platform/gdi/text.h"
#include "platform/ui/menus.h"

namespace fs = std::filesystem;

namespace {
std::vector<TOpenDialog*> FileDialogs;
std::vector<TColorDialog*> ColorDialogs;

std::string JoinPath(const std::string& Folder, const std::string& Name) {
  if (!Name.empty() && Name[0] == '/') return Name;
  return IncludeTrailingPathDelimiter(Folder) + Name;
}

// A folder in its plain form, with a trailing "/".
std::string NormalFolder(const std::string& Folder) {
  std::error_code ec;
  fs::path p = fs::weakly_canonical(fs::path(Folder), ec);
  std::string s = ec ? Folder : p.string();
  return IncludeTrailingPathDelimiter(s);
}
}  // namespace

std::vector<TFilterEntry> ParseFilter(const std::string& Filter) {
  std::vector<std::string> parts;
  size_t s = 0;
  while (s <= Filter.size()) {
    size_t e = Filter.find('|', s);
    if (e == std::string::npos) e = Filter.size();
    parts.push_back(Filter.substr(s, e - s));
    s = e + 1;
  }
  std::vector<TFilterEntry> out;
  for (size_t i = 0; i + 1 < parts.size(); i += 2) {
    if (parts[i].empty() && parts[i + 1].empty()) continue;
    TFilterEntry f;
    f.Description = parts[i];
    std::string pats = parts[i + 1];
    size_t a = 0;
    while (a <= pats.size()) {
      size_t b = pats.find(';', a);
      if (b == std::string::npos) b = pats.size();
      std::string p = Trim(pats.substr(a, b - a));
      if (!p.empty()) f.Patterns.push_back(p);
      a = b + 1;
    }
    out.push_back(f);
  }
  return out;
}

bool MatchesMask(const std::string& Name, const std::string& Pattern) {
  // "*.*" matches names without a dot too, as on the desktop it came from.
  if (Pattern == "*.*" || Pattern == "*") return true;
  return fnmatch(Pattern.c_str(), Name.c_str(), FNM_CASEFOLD) == 0;
}

// ===========================================================================
// The file list

namespace {

struct TListedName {
  std::string Name;
  bool Folder = false;
};

class TFileList : public TCustomControl {
public:
  explicit TFileList(TComponent* AOwner) : TCustomControl(AOwner) {
    FColor = clWindow;
    FParentColor = false;
    FTabStop = true;
  }
  std::vector<TListedName> Names;
  int32_t ItemIndex = -1;
  int32_t TopIndex = 0;
  std::function<void(int32_t)> OnSelect;
  std::function<void(int32_t)> OnOpen;
  static constexpr int32_t RowHeight = 16;

  int32_t Rows() { return std::max(1, (ClientHeight() - 4) / RowHeight); }
  void SetNames(std::vector<TListedName> V) {
    Names = std::move(V);
    ItemIndex = -1;
    TopIndex = 0;
    UpdateBar();
    Invalidate();
  }
  void Select(int32_t I) {
    if (I < 0 || I >= static_cast<int32_t>(Names.size())) return;
    ItemIndex = I;
    if (I < TopIndex) TopIndex = I;
    if (I >= TopIndex + Rows()) TopIndex = I - Rows() + 1;
    UpdateBar();
    Invalidate();
    if (OnSelect) OnSelect(I);
  }
  void UpdateBar() {
    if (!HandleAllocated()) return;
    TScrollInfo si;
    si.fMask = SIF_ALL;
    si.nMax = std::max(0, static_cast<int32_t>(Names.size()) - 1);
    si.nPage = static_cast<uint32_t>(Rows());
    si.nPos = TopIndex;
    SetScrollInfo(Handle(), SB_VERT, si, true);
  }
  void WndProc(TMessage& M) override {
    if (M.Msg == WM_VSCROLL) {
      int32_t n = static_cast<int32_t>(Names.size()), t = TopIndex;
      switch (ScrollCode(M.WParam)) {
        case SB_LINEUP: --t; break;
        case SB_LINEDOWN: ++t; break;
        case SB_PAGEUP: t -= Rows(); break;
        case SB_PAGEDOWN: t += Rows(); break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION: t = ScrollPos(M.WParam); break;
        default: return;
      }
      TopIndex = std::clamp(t, 0, std::max(0, n - Rows()));
      UpdateBar();
      Invalidate();
      return;
    }
    if (M.Msg == WM_MOUSEWHEEL) {
      int16_t d = static_cast<int16_t>(HiWord(M.WParam));
      TopIndex = std::clamp(TopIndex + (d > 0 ? -3 : 3), 0,
                            std::max(0, static_cast<int32_t>(Names.size()) - Rows()));
      UpdateBar();
      Invalidate();
      return;
    }
    TCustomControl::WndProc(M);
    if (M.Msg == WM_SIZE) UpdateBar();
    if (M.Msg == WM_SETFOCUS || M.Msg == WM_KILLFOCUS) Invalidate();
  }

protected:
  void CreateParams(TCreateParams& P) override {
    TCustomControl::CreateParams(P);
    P.ExStyle |= WS_EX_CLIENTEDGE;
  }
  void Paint() override {
    TCanvas* c = Canvas();
    c->Font()->Assign(Font());
    c->Brush()->SetColor(clWindow);
    c->FillRect(ClientRect());
    for (int32_t r = 0; r < Rows() + 1; ++r) {
      int32_t i = TopIndex + r;
      if (i >= static_cast<int32_t>(Names.size())) break;
      TRect row{2, 2 + r * RowHeight, ClientWidth() - 2, 2 + (r + 1) * RowHeight};
      bool sel = i == ItemIndex;
      c->Brush()->SetColor(sel ? clHighlight : clWindow);
      c->FillRect(row);
      c->Font()->SetColor(sel ? clHighlightText : clWindowText);
      const TListedName& n = Names[static_cast<size_t>(i)];
      std::string text = n.Folder ? "[" + n.Name + "]" : n.Name;
      TRect tr{row.Left + 2, row.Top, row.Right, row.Bottom};
      DrawCaption(c, text, tr, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX, true);
    }
  }
  void MouseDown(TMouseButton B, TShiftState S, int32_t X, int32_t Y) override {
    if (CanFocus() && !Focused()) SetFocus();
    int32_t i = TopIndex + (Y - 2) / RowHeight;
    if (B == mbLeft && Y >= 2 && i < static_cast<int32_t>(Names.size())) {
      Select(i);
      if ((S & ssDouble) && OnOpen) OnOpen(i);
    }
    TCustomControl::MouseDown(B, S, X, Y);
  }
  void KeyDown(uint16_t& Key, TShiftState S) override {
    TCustomControl::KeyDown(Key, S);
    int32_t n = static_cast<int32_t>(Names.size());
    if (!n) return;
    if (Key == VK_DOWN) Select(std::min(ItemIndex + 1, n - 1)), Key = 0;
    else if (Key == VK_UP) Select(std::max(ItemIndex - 1, 0)), Key = 0;
    else if (Key == VK_RETURN && ItemIndex >= 0 && Names[static_cast<size_t>(ItemIndex)].Folder && OnOpen)
      OnOpen(ItemIndex), Key = 0;
  }
};

// Shows the current filter's text; a click drops the list of filters down
// as a popup menu.
class TFilterBox : public TCustomControl {
public:
  explicit TFilterBox(TComponent* AOwner) : TCustomControl(AOwner) {
    FColor = clWindow;
    FParentColor = false;
    FTabStop = true;
    FMenu = new TPopupMenu(this);
  }
  std::vector<TFilterEntry> Entries;
  int32_t Index = 0;  // 0-based
  std::function<void(int32_t)> OnChoose;

protected:
  void Paint() override {
    TCanvas* c = Canvas();
    c->Font()->Assign(Font());
    TRect r = ClientRect();
    Frame3D(c, r, clBtnShadow, clBtnHighlight, 1);
    c->Brush()->SetColor(clWindow);
    c->FillRect(r);
    std::string text = Index >= 0 && Index < static_cast<int32_t>(Entries.size())
                           ? Entries[static_cast<size_t>(Index)].Description
                           : std::string();
    TRect tr{r.Left + 3, r.Top, r.Right - 18, r.Bottom};
    DrawCaption(c, text, tr, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX, Enabled());
    TRect b{r.Right - 16, r.Top, r.Right, r.Bottom};
    c->Brush()->SetColor(clBtnFace);
    c->FillRect(b);
    int32_t cx = (b.Left + b.Right) / 2, cy = (b.Top + b.Bottom) / 2;
    c->Pen()->SetColor(clBtnText);
    for (int32_t i = 0; i < 4; ++i) {
      c->MoveTo(cx - 3 + i, cy - 1 + i);
      c->LineTo(cx + 4 - i, cy - 1 + i);
    }
    if (Focused()) c->DrawFocusRect(tr);
  }
  void MouseDown(TMouseButton B, TShiftState S, int32_t X, int32_t Y) override {
    if (CanFocus() && !Focused()) SetFocus();
    if (B == mbLeft) Drop();
    TCustomControl::MouseDown(B, S, X, Y);
  }
  void KeyDown(uint16_t& Key, TShiftState S) override {
    TCustomControl::KeyDown(Key, S);
    int32_t n = static_cast<int32_t>(Entries.size());
    if (Key == VK_DOWN && Index + 1 < n) Choose(Index + 1), Key = 0;
    else if (Key == VK_UP && Index > 0) Choose(Index - 1), Key = 0;
  }

private:
  void Choose(int32_t I) {
    Index = I;
    Invalidate();
    if (OnChoose) OnChoose(I);
  }
  void Drop() {
    FMenu->Items()->Clear();
    for (size_t i = 0; i < Entries.size(); ++i) {
      auto* it = new TMenuItem(nullptr);
      it->SetCaption(Entries[i].Description);
      it->SetRadioItem(true);
      it->SetChecked(static_cast<int32_t>(i) == Index);
      it->SetTag(static_cast<int32_t>(i));
      it->OnClick = [this](TObject* S) { Choose(static_cast<TMenuItem*>(S)->Tag()); };
      FMenu->Items()->Add(it);
    }
    TPoint p = ClientToScreen(TPoint{0, Height()});
    FMenu->Popup(p.X, p.Y);
  }
  TPopupMenu* FMenu;
};

}  // namespace

// ===========================================================================
// The file dialog's form

class TFileDialogForm : public TForm {
public:
  TFileDialogForm(TOpenDialog* Dialog) : TForm(nullptr), FDialog(Dialog) {
    SetBorderStyle(bsDialog);
    SetPosition(poScreenCenter);
    SetCaption(!Dialog->Title().empty() ? Dialog->Title() : Dialog->IsSaveDialog() ? "Save As" : "Open");
    int32_t ext = std::max(0, Dialog->ExtensionWidth());
    SetClientSize(440 + ext, 330);
    FolderLabel = new TLabel(this);
    FolderLabel->SetAutoSize(false);
    FolderLabel->SetBounds(8, 8, 424, 16);
    FolderLabel->SetShowAccelChar(false);
    FolderLabel->SetParent(this);
    List = new TFileList(this);
    List->SetBounds(8, 28, 424, 206);
    List->SetParent(this);
    auto* nameLabel = new TLabel(this);
    nameLabel->SetCaption("File &name:");
    nameLabel->SetBounds(8, 247, 80, 16);
    nameLabel->SetParent(this);
    NameBox = new TEdit(this);
    NameBox->SetBounds(92, 244, 250, 21);
    NameBox->SetParent(this);
    nameLabel->SetFocusControl(NameBox);
    auto* typeLabel = new TLabel(this);
    typeLabel->SetCaption(Dialog->IsSaveDialog() ? "Save as &type:" : "Files of &type:");
    typeLabel->SetBounds(8, 277, 80, 16);
    typeLabel->SetParent(this);
    Types = new TFilterBox(this);
    Types->SetBounds(92, 274, 250, 21);
    Types->SetParent(this);
    auto* ok = new TButton(this);
    ok->SetCaption(Dialog->IsSaveDialog() ? "&Save" : "&Open");
    ok->SetBounds(352, 243, 80, 23);
    ok->SetDefault(true);
    ok->SetParent(this);
    ok->OnClick = [this](TObject*) { FDialog->Accept(); };
    auto* cancel = new TButton(this);
    cancel->SetCaption("Cancel");
    cancel->SetBounds(352, 273, 80, 23);
    cancel->SetCancel(true);
    cancel->SetModalResult(mrCancel);
    cancel->SetParent(this);
    if (ext > 0) {
      Extension = new TPanel(this);
      Extension->SetBevelOuter(bvNone);
      Extension->SetBounds(440, 0, ext, 330);
      Extension->SetParent(this);
    }
    List->OnSelect = [this](int32_t I) {
      const TListedName& n = List->Names[static_cast<size_t>(I)];
      if (!n.Folder) NameBox->SetText(n.Name);
      FDialog->DoSelectionChange();
    };
    List->OnOpen = [this](int32_t I) {
      const TListedName& n = List->Names[static_cast<size_t>(I)];
      if (n.Folder) FDialog->ChangeFolder(JoinPath(Folder, n.Name));
      else FDialog->Accept();
    };
    Types->OnChoose = [this](int32_t I) { FDialog->SelectFilterIndex(I + 1); };
    OnShow = [this](TObject*) {
      if (FShown) return;
      FShown = true;
      FDialog->DoShow();
    };
    SetActiveControl(NameBox);
  }

  void Fill() {
    FolderLabel->SetCaption(Folder);
    std::vector<TListedName> folders, files;
    std::vector<std::string> patterns{"*"};
    if (Types->Index >= 0 && Types->Index < static_cast<int32_t>(Types->Entries.size()))
      patterns = Types->Entries[static_cast<size_t>(Types->Index)].Patterns;
    std::error_code ec;
    if (Folder != "/") folders.push_back(TListedName{"..", true});
    for (fs::directory_iterator it(Folder, fs::directory_options::skip_permission_denied, ec), end; !ec && it != end;
         it.increment(ec)) {
      std::string name = it->path().filename().string();
      if (name.empty() || name[0] == '.') continue;
      std::error_code e2;
      if (it->is_directory(e2)) {
        folders.push_back(TListedName{name, true});
        continue;
      }
      for (const std::string& p : patterns)
        if (MatchesMask(name, p)) {
          files.push_back(TListedName{name, false});
          break;
        }
    }
    auto byName = [](const TListedName& a, const TListedName& b) { return LowerCase(a.Name) < LowerCase(b.Name); };
    std::sort(folders.begin() + (folders.empty() || folders[0].Name != ".." ? 0 : 1), folders.end(), byName);
    std::sort(files.begin(), files.end(), byName);
    folders.insert(folders.end(), files.begin(), files.end());
    List->SetNames(std::move(folders));
  }

  TOpenDialog* FDialog;
  TLabel* FolderLabel;
  TFileList* List;
  TEdit* NameBox;
  TFilterBox* Types;
  TPanel* Extension = nullptr;
  std::string Folder;
  bool FShown = false;
};

// ===========================================================================
// TOpenDialog

TOpenDialog::TOpenDialog(TComponent* AOwner) : TComponent(AOwner) {}

TOpenDialog::~TOpenDialog() { FileDialogs.erase(std::remove(FileDialogs.begin(), FileDialogs.end(), this), FileDialogs.end()); }

TOpenDialog* ExecutingFileDialog() { return FileDialogs.empty() ? nullptr : FileDialogs.back(); }

void TOpenDialog::DoShow() {
  if (OnShow) OnShow(this);
}
void TOpenDialog::DoClose() {
  if (OnClose) OnClose(this);
}
bool TOpenDialog::DoCanClose() {
  bool can = true;
  if (OnCanClose) OnCanClose(this, can);
  return can;
}
void TOpenDialog::DoSelectionChange() {
  if (OnSelectionChange) OnSelectionChange(this);
}
void TOpenDialog::DoFolderChange() {
  if (OnFolderChange) OnFolderChange(this);
}
void TOpenDialog::DoTypeChange() {
  if (OnTypeChange) OnTypeChange(this);
}

bool TOpenDialog::Execute() {
  if (FForm) throw EInvalidOperation("The dialog is already on screen");
  auto* form = new TFileDialogForm(this);
  FForm = form;
  FileDialogs.push_back(this);
  bool ok = false;
  try {
    form->AfterConstruction();
    // The folder: the initial one, else the file name's, else the current one.
    std::string folder = FInitialDir;
    if (folder.empty() || !DirectoryExists(folder)) folder = ExtractFilePath(FFileName);
    if (folder.empty() || !DirectoryExists(folder)) {
      std::error_code ec;
      folder = fs::current_path(ec).string();
    }
    form->Folder = NormalFolder(folder);
    form->Types->Entries = ParseFilter(FFilter);
    int32_t n = static_cast<int32_t>(form->Types->Entries.size());
    if (FFilterIndex < 1 || FFilterIndex > n) FFilterIndex = n > 0 ? 1 : 0;
    form->Types->Index = FFilterIndex - 1;
    form->NameBox->SetText(ExtractFileName(FFileName));
    if (form->Extension) PopulateExtension(form->Extension);
    form->Fill();
    ok = form->ShowModal() == mrOk;
  } catch (...) {
    FileDialogs.erase(std::remove(FileDialogs.begin(), FileDialogs.end(), this), FileDialogs.end());
    FForm = nullptr;
    DoClose();
    form->Free();
    throw;
  }
  FileDialogs.erase(std::remove(FileDialogs.begin(), FileDialogs.end(), this), FileDialogs.end());
  DoClose();
  FForm = nullptr;
  form->Free();
  return ok;
}

std::string TOpenDialog::GetFolderPath() const { return FForm ? FForm->Folder : std::string(); }

std::string TOpenDialog::GetFilePath() const {
  if (!FForm) return {};
  std::string name = Trim(FForm->NameBox->Text());
  if (name.empty()) return {};
  return JoinPath(FForm->Folder, name);
}

void TOpenDialog::SetNameBoxText(const std::string& Text) {
  if (FForm) FForm->NameBox->SetText(Text);
}

std::string TOpenDialog::NameBoxText() const { return FForm ? FForm->NameBox->Text() : std::string(); }

TPanel* TOpenDialog::ExtensionArea() const { return FForm ? FForm->Extension : nullptr; }
TCustomForm* TOpenDialog::DialogForm() const { return FForm; }

std::vector<std::string> TOpenDialog::ListedNames() const {
  std::vector<std::string> v;
  if (FForm)
    for (const auto& n : FForm->List->Names) v.push_back(n.Folder ? n.Name + "/" : n.Name);
  return v;
}

void TOpenDialog::SelectFile(const std::string& Name) {
  if (!FForm) return;
  std::string want = Name;
  if (!want.empty() && want.back() == '/') want.pop_back();
  for (size_t i = 0; i < FForm->List->Names.size(); ++i)
    if (FForm->List->Names[i].Name == want) {
      FForm->List->Select(static_cast<int32_t>(i));
      if (FForm->List->Names[i].Folder) FForm->List->OnOpen(static_cast<int32_t>(i));
      return;
    }
}

void TOpenDialog::ChangeFolder(const std::string& Folder) {
  if (!FForm || !DirectoryExists(Folder)) return;
  std::string f = NormalFolder(JoinPath(FForm->Folder, Folder));
  if (f == FForm->Folder) return;
  FForm->Folder = f;
  FForm->Fill();
  DoFolderChange();
}

void TOpenDialog::SelectFilterIndex(int32_t Index) {
  if (!FForm || Index < 1 || Index > static_cast<int32_t>(FForm->Types->Entries.size())) return;
  if (Index == FFilterIndex) return;
  FFilterIndex = Index;
  FForm->Types->Index = Index - 1;
  FForm->Types->Invalidate();
  FForm->Fill();
  DoTypeChange();
}

void TOpenDialog::Accept() {
  if (!FForm) return;
  std::string name = Trim(FForm->NameBox->Text());
  if (name.empty()) return;
  std::string path = JoinPath(FForm->Folder, name);
  // A folder typed or chosen opens it.
  if (DirectoryExists(path)) {
    ChangeFolder(path);
    FForm->NameBox->SetText("");
    return;
  }
  std::string folder = ExtractFilePath(path);
  if ((FOptions & ofPathMustExist) && !folder.empty() && !DirectoryExists(folder)) {
    MessageBox(FForm->Handle(), path + "\nPath does not exist.\nCheck the path and try again.", FForm->Caption(),
               MB_OK | MB_ICONWARNING);
    return;
  }
  if (ExtractFileExt(path).empty() && !FDefaultExt.empty()) {
    // The chosen type's own extension when it names one ("*.png"), else
    // the default extension.
    std::string ext = FDefaultExt[0] == '.' ? FDefaultExt : "." + FDefaultExt;
    const auto& entries = FForm->Types->Entries;
    if (FFilterIndex >= 1 && FFilterIndex <= static_cast<int32_t>(entries.size())) {
      const auto& pats = entries[static_cast<size_t>(FFilterIndex - 1)].Patterns;
      if (!pats.empty() && pats[0].rfind("*.", 0) == 0 && pats[0].size() > 2 &&
          pats[0].find_first_of("*?", 2) == std::string::npos)
        ext = pats[0].substr(1);
    }
    path += ext;
  }
  bool exists = FileExists(path);
  if ((FOptions & ofFileMustExist) && !exists) {
    MessageBox(FForm->Handle(), path + "\nFile not found.\nPlease verify the correct file name was given.",
               FForm->Caption(), MB_OK | MB_ICONWARNING);
    return;
  }
  if (FSaveDialog && (FOptions & ofOverwritePrompt) && exists &&
      MessageBox(FForm->Handle(), path + " already exists.\nDo you want to replace it?", FForm->Caption(),
                 MB_YESNO | MB_ICONWARNING) != IDYES)
    return;
  std::string previous = FFileName;
  FFileName = path;
  if (!DoCanClose()) {
    FFileName = previous;
    return;
  }
  FFiles = {path};
  FForm->SetModalResult(mrOk);
}

void TOpenDialog::CancelDialog() {
  if (FForm) FForm->SetModalResult(mrCancel);
}

// ===========================================================================
// The colour dialog

const std::vector<TColor>& BasicColors() {
  // Six rows of eight, as 0xRRGGBB: light, full, dark and deep hues, then greys.
  static const uint32_t rgb[48] = {
      0xFF8080, 0xFFFF80, 0x80FF80, 0x00FF80, 0x80FFFF, 0x0080FF, 0xFF80C0, 0xFF80FF,
      0xFF0000, 0xFFFF00, 0x80FF00, 0x00FF40, 0x00FFFF, 0x0080C0, 0x8080C0, 0xFF00FF,
      0x804040, 0xFF8040, 0x00FF00, 0x008080, 0x004080, 0x8080FF, 0x800040, 0xFF0080,
      0x800000, 0xFF8000, 0x008000, 0x008040, 0x0000FF, 0x0000A0, 0x800080, 0x8000FF,
      0x400000, 0x804000, 0x004000, 0x004040, 0x000080, 0x000040, 0x400040, 0x400080,
      0x000000, 0x808000, 0x808040, 0x808080, 0x408080, 0xC0C0C0, 0x400040, 0xFFFFFF,
  };
  static const std::vector<TColor> colors = [] {
    std::vector<TColor> v;
    for (uint32_t c : rgb) v.push_back(((c >> 16) & 0xFF) | (c & 0xFF00) | ((c & 0xFF) << 16));
    return v;
  }();
  return colors;
}

namespace {

class TSwatches : public TCustomControl {
public:
  TSwatches(TComponent* AOwner, int32_t Cols, int32_t Rows) : TCustomControl(AOwner), FCols(Cols), FRows(Rows) {
    SetBounds(0, 0, Cols * 24, Rows * 20);
  }
  std::vector<TColor> Colors;
  int32_t Selected = -1;
  std::function<void(int32_t)> OnPick;
  TRect CellRect(int32_t I) const {
    int32_t c = I % FCols, r = I / FCols;
    return TRect{c * 24 + 2, r * 20 + 2, c * 24 + 22, r * 20 + 18};
  }

protected:
  void Paint() override {
    TCanvas* c = Canvas();
    c->Brush()->SetColor(clBtnFace);
    c->FillRect(ClientRect());
    for (int32_t i = 0; i < static_cast<int32_t>(Colors.size()); ++i) {
      TRect r = CellRect(i);
      if (i == Selected) {
        TRect f{r.Left - 2, r.Top - 2, r.Right + 2, r.Bottom + 2};
        c->Brush()->SetColor(clBlack);
        c->FrameRect(f);
      }
      Frame3D(c, r, clBtnShadow, clBtnHighlight, 1);
      c->Brush()->SetColor(Colors[static_cast<size_t>(i)]);
      c->FillRect(r);
    }
  }
  void MouseDown(TMouseButton B, TShiftState S, int32_t X, int32_t Y) override {
    for (int32_t i = 0; i < static_cast<int32_t>(Colors.size()); ++i) {
      TRect r = CellRect(i);
      if (B == mbLeft && X >= r.Left && X < r.Right && Y >= r.Top && Y < r.Bottom && OnPick) OnPick(i);
    }
    TCustomControl::MouseDown(B, S, X, Y);
  }

private:
  int32_t FCols, FRows;
};

std::string CustomKey(int32_t I) { return std::string("Color") + static_cast<char>('A' + I); }

std::vector<TColor> ReadCustom(const std::vector<std::string>& Lines) {
  std::vector<TColor> v(16, clWhite);
  for (const std::string& l : Lines) {
    size_t eq = l.find('=');
    if (eq == std::string::npos) continue;
    std::string k = Trim(l.substr(0, eq));
    for (int32_t i = 0; i < 16; ++i)
      if (SameText(k, CustomKey(i))) {
        std::string value = Trim(l.substr(eq + 1));
        char* end = nullptr;
        unsigned long c = std::strtoul(value.c_str(), &end, 16);
        if (!value.empty() && end && *end == '\0') v[static_cast<size_t>(i)] = static_cast<TColor>(c & 0xFFFFFF);
      }
  }
  return v;
}

std::string Hex6(TColor C) {
  char buf[16];
  std::snprintf(buf, sizeof(buf), "%06X", static_cast<unsigned>(C & 0xFFFFFF));
  return buf;
}

}  // namespace

class TColorDialogForm : public TForm {
public:
  explicit TColorDialogForm(TColorDialog* Dialog) : TForm(nullptr), FDialog(Dialog) {
    SetBorderStyle(bsDialog);
    SetPosition(poScreenCenter);
    SetCaption("Color");
    Full = (Dialog->Options() & cdFullOpen) && !(Dialog->Options() & cdPreventFullOpen);
    SetClientSize(Full ? 420 : 212, 290);
    auto* l1 = new TLabel(this);
    l1->SetCaption("&Basic colors:");
    l1->SetBounds(8, 6, 100, 16);
    l1->SetParent(this);
    Basic = new TSwatches(this, 8, 6);
    Basic->SetLeft(8);
    Basic->SetTop(24);
    Basic->SetParent(this);
    Basic->Colors = BasicColors();
    auto* l2 = new TLabel(this);
    l2->SetCaption("&Custom colors:");
    l2->SetBounds(8, 150, 100, 16);
    l2->SetParent(this);
    Custom = new TSwatches(this, 8, 2);
    Custom->SetLeft(8);
    Custom->SetTop(168);
    Custom->SetParent(this);
    Custom->Colors = ReadCustom(Dialog->CustomColors());
    Basic->OnPick = [this](int32_t I) { FDialog->SelectBasicColor(I); };
    Custom->OnPick = [this](int32_t I) { FDialog->SelectCustomColor(I); };
    auto* ok = new TButton(this);
    ok->SetCaption("OK");
    ok->SetBounds(8, 256, 60, 23);
    ok->SetDefault(true);
    ok->SetParent(this);
    ok->OnClick = [this](TObject*) { FDialog->Accept(); };
    auto* cancel = new TButton(this);
    cancel->SetCaption("Cancel");
    cancel->SetBounds(74, 256, 60, 23);
    cancel->SetCancel(true);
    cancel->SetModalResult(mrCancel);
    cancel->SetParent(this);
    Sample = new TPanel(this);
    Sample->SetBevelOuter(bvLowered);
    Sample->SetParent(this);
    if (Full) {
      Sample->SetBounds(222, 24, 190, 90);
      const char* names[3] = {"&Red:", "&Green:", "Bl&ue:"};
      for (int32_t k = 0; k < 3; ++k) {
        auto* l = new TLabel(this);
        l->SetCaption(names[k]);
        l->SetBounds(222, 128 + k * 28, 50, 16);
        l->SetParent(this);
        Edits[k] = new TSpinEdit(this);
        Edits[k]->SetMinValue(0);
        Edits[k]->SetMaxValue(255);
        Edits[k]->SetBounds(280, 124 + k * 28, 70, 22);
        Edits[k]->SetParent(this);
        l->SetFocusControl(Edits[k]);
        Edits[k]->OnChange = [this](TObject*) {
          if (FSyncing) return;
          SetCurrent(static_cast<TColor>(Edits[0]->Value() | (Edits[1]->Value() << 8) | (Edits[2]->Value() << 16)),
                     false);
        };
      }
      auto* add = new TButton(this);
      add->SetCaption("&Add to Custom Colors");
      add->SetBounds(222, 214, 190, 23);
      add->SetParent(this);
      add->OnClick = [this](TObject*) { FDialog->AddToCustomColors(); };
    } else {
      Sample->SetBounds(140, 256, 64, 23);
    }
  }

  void SetCurrent(TColor C, bool UpdateEdits) {
    Current = C & 0xFFFFFF;
    Sample->SetColor(Current);
    if (UpdateEdits && Full) {
      FSyncing = true;
      Edits[0]->SetValue(static_cast<int32_t>(Current & 0xFF));
      Edits[1]->SetValue(static_cast<int32_t>((Current >> 8) & 0xFF));
      Edits[2]->SetValue(static_cast<int32_t>((Current >> 16) & 0xFF));
      FSyncing = false;
    }
    Basic->Selected = -1;
    for (size_t i = 0; i < Basic->Colors.size(); ++i)
      if (Basic->Colors[i] == Current) Basic->Selected = static_cast<int32_t>(i);
    Basic->Invalidate();
  }

  TColorDialog* FDialog;
  TSwatches* Basic;
  TSwatches* Custom;
  TPanel* Sample;
  TSpinEdit* Edits[3] = {nullptr, nullptr, nullptr};
  bool Full = false;
  bool FSyncing = false;
  TColor Current = 0;
  int32_t NextCustom = 0;
};

TColorDialog::TColorDialog(TComponent* AOwner) : TComponent(AOwner) {}

TColorDialog::~TColorDialog() {
  ColorDialogs.erase(std::remove(ColorDialogs.begin(), ColorDialogs.end(), this), ColorDialogs.end());
}

TColorDialog* ExecutingColorDialog() { return ColorDialogs.empty() ? nullptr : ColorDialogs.back(); }

bool TColorDialog::Execute() {
  if (FForm) throw EInvalidOperation("The dialog is already on screen");
  auto* form = new TColorDialogForm(this);
  FForm = form;
  ColorDialogs.push_back(this);
  bool ok = false;
  try {
    form->AfterConstruction();
    form->SetCurrent(ColorToRGB(FColor), true);
    ok = form->ShowModal() == mrOk;
    if (ok) FColor = form->Current;
    // The custom colours are kept whether or not the dialog was accepted.
    FCustomColors.clear();
    for (int32_t i = 0; i < 16; ++i)
      FCustomColors.push_back(CustomKey(i) + "=" + Hex6(form->Custom->Colors[static_cast<size_t>(i)]));
  } catch (...) {
    ColorDialogs.erase(std::remove(ColorDialogs.begin(), ColorDialogs.end(), this), ColorDialogs.end());
    FForm = nullptr;
    form->Free();
    throw;
  }
  ColorDialogs.erase(std::remove(ColorDialogs.begin(), ColorDialogs.end(), this), ColorDialogs.end());
  FForm = nullptr;
  form->Free();
  return ok;
}

TColor TColorDialog::CurrentColor() const { return FForm ? FForm->Current : FColor; }
bool TColorDialog::FullOpen() const { return FForm && FForm->Full; }

void TColorDialog::SelectBasicColor(int32_t Index) {
  if (!FForm || Index < 0 || Index >= static_cast<int32_t>(BasicColors().size())) return;
  FForm->SetCurrent(BasicColors()[static_cast<size_t>(Index)], true);
}

void TColorDialog::SelectCustomColor(int32_t Index) {
  if (!FForm || Index < 0 || Index >= 16) return;
  FForm->SetCurrent(FForm->Custom->Colors[static_cast<size_t>(Index)], true);
  FForm->NextCustom = (Index + 1) % 16;
}

void TColorDialog::PickColor(TColor Value) {
  if (!FForm) return;
  FForm->SetCurrent(ColorToRGB(Value), true);
}

void TColorDialog::AddToCustomColors() {
  if (!FForm || !FForm->Full) return;
  FForm->Custom->Colors[static_cast<size_t>(FForm->NextCustom)] = FForm->Current;
  FForm->NextCustom = (FForm->NextCustom + 1) % 16;
  FForm->Custom->Invalidate();
}

void TColorDialog::Accept() {
  if (FForm) FForm->SetModalResult(mrOk);
}

void TColorDialog::CancelDialog() {
  if (FForm) FForm->SetModalResult(mrCancel);
}
