// The file and colour dialogs: the toolkit's own dialogs in their widget
// form, each filling the client area of a modal form of ours. The form runs
// our modal loop, so our other windows keep their messages and timers while
// the dialog is up; the file dialog's extension area is one of our windows
// laid over a slot of the toolkit dialog, right of its file view.
#include <QAbstractItemView>
#include <QColorDialog>
#include <QComboBox>
#include <QCompleter>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QFileDialog>
#include <QHeaderView>
#include <QTreeView>
#include <QFileSystemModel>
#include <QLayout>
#include <QLineEdit>
#include <QListView>
#include <QPalette>
#include <QPointer>
#include <QPushButton>
#include <QSplitter>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include "platform/ui/dialogs.h"

#include <fnmatch.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/base/files.h"
#include "platform/base/strings.h"
#include "platform/ui/window_internal.h"

namespace fs = std::filesystem;

namespace {
std::vector<TOpenDialog*> FileDialogs;
std::vector<TColorDialog*> ColorDialogs;
// The folder of the last name chosen in a file dialog without
// ofNoChangeDir: where the next dialog without a folder of its own opens.
std::string LastFolder;

QString ToQ(const std::string& S) { return QString::fromStdString(S); }
std::string FromQ(const QString& S) { return S.toStdString(); }

QColor ToQColor(TColor C) {
  C = ColorToRGB(C);
  return QColor(static_cast<int>(C & 0xFF), static_cast<int>((C >> 8) & 0xFF), static_cast<int>((C >> 16) & 0xFF));
}
TColor FromQColor(const QColor& C) {
  return static_cast<TColor>(C.red()) | (static_cast<TColor>(C.green()) << 8) | (static_cast<TColor>(C.blue()) << 16);
}

std::string JoinPath(const std::string& Folder, const std::string& Name) {
  if (!Name.empty() && Name[0] == '/') return Name;
  return IncludeTrailingPathDelimiter(Folder) + Name;
}

// A typed name as a path: "~/" is the home folder; "." and ".." are resolved.
std::string NamePath(const std::string& Folder, std::string Name) {
  if (Name == "~" || Name.rfind("~/", 0) == 0) {
    const char* home = std::getenv("HOME");
    if (home && *home) Name = std::string(home) + Name.substr(1);
  }
  return fs::path(JoinPath(Folder, Name)).lexically_normal().string();
}

// The names of a multiple choice: "a.bmp" "b.bmp" gives both; text
// without quotes is one name.
std::vector<std::string> SplitNames(const std::string& Text) {
  std::vector<std::string> names;
  if (Text.find('"') == std::string::npos) {
    if (!Text.empty()) names.push_back(Text);
    return names;
  }
  size_t i = 0;
  while ((i = Text.find('"', i)) != std::string::npos) {
    size_t e = Text.find('"', i + 1);
    if (e == std::string::npos) e = Text.size();
    if (e > i + 1) names.push_back(Text.substr(i + 1, e - i - 1));
    i = e + 1;
    if (i >= Text.size()) break;
  }
  return names;
}

// "Description|*.bmp; *.gif" as the toolkit writes a filter:
// "Description (*.bmp *.gif)". "*.*" matches every name, dotted or not.
QStringList ToolkitFilters(const std::vector<TFilterEntry>& Entries) {
  QStringList out;
  for (const TFilterEntry& e : Entries) {
    QStringList pats;
    for (const std::string& p : e.Patterns) pats << ToQ(p == "*.*" ? "*" : p);
    if (pats.isEmpty()) pats << "*";
    out << ToQ(e.Description) + " (" + pats.join(' ') + ")";
  }
  return out;
}

// The places beside the file view: the computer (its drives), home and the
// usual folders of a desktop that exist here.
QList<QUrl> Places() {
  QList<QUrl> urls{QUrl("file:")};
  for (QStandardPaths::StandardLocation l : {QStandardPaths::HomeLocation, QStandardPaths::DesktopLocation,
                                             QStandardPaths::PicturesLocation, QStandardPaths::DocumentsLocation,
                                             QStandardPaths::DownloadLocation}) {
    const QString p = QStandardPaths::writableLocation(l);
    if (!p.isEmpty() && QDir(p).exists() && !urls.contains(QUrl::fromLocalFile(p))) urls << QUrl::fromLocalFile(p);
  }
  return urls;
}

// The widget that shows a window of ours.
QWidget* Presenter(HWND Wnd) { return static_cast<QWidget*>(ui_backend::NativeWidget(Wnd)); }

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

std::string CannotOpenFileText(const std::string& FileName, std::string Reason) {
  if (!Reason.empty() && Reason.back() != '.') Reason += '.';
  return "Cannot open file \"" + FileName + "\".\n" + Reason;
}

// ===========================================================================
// A modal form whose client area a toolkit dialog fills

namespace {

class THostForm : public TForm {
public:
  explicit THostForm(TComponent* DialogOwner) : TForm(nullptr) {
    // Modal over the form that owns the dialog, else over the active window.
    auto* f = dynamic_cast<TCustomForm*>(DialogOwner);
    FOwnerWnd = f && f->HandleAllocated() ? f->Handle() : GetActiveWindow();
    SetBorderStyle(bsDialog);
    SetPosition(poScreenCenter);
  }
  ~THostForm() override { delete FHosted.data(); }

  // Puts the toolkit dialog on the client area; read-back shows it too.
  void Host(QWidget* Dialog) {
    FHosted = Dialog;
    FHosted->setWindowFlags(Qt::Widget);
    FHosted->setAutoFillBackground(true);
    // The desktop's colours of our own forms, so our panes sit well in it.
    FHosted->setPalette(QPalette(ToQColor(clBtnFace), ToQColor(clBtnFace)));
    if (ui_internal::TWindowRec* r = ui_internal::Rec(Handle())) r->NativeContent = true;
    FitHosted();
    FHosted->lower();
    FHosted->show();
  }
  // Gives the keyboard to the dialog once it shows.
  void FocusLater(QWidget* Target) {
    QTimer::singleShot(0, FHosted, [this, Target] {
      if (QWidget* p = Presenter(Handle())) p->activateWindow();
      Target->setFocus();
    });
  }

protected:
  void CreateParams(TCreateParams& Params) override {
    TForm::CreateParams(Params);
    if (FOwnerWnd && IsWindow(FOwnerWnd)) Params.WndParent = FOwnerWnd;
  }
  void WndProc(TMessage& M) override {
    TForm::WndProc(M);
    if (M.Msg == WM_SIZE) FitHosted();
  }
  virtual void HostedPlaced() {}
  // Goes with the form's window when that is destroyed first.
  QPointer<QWidget> FHosted;

private:
  void FitHosted() {
    ui_internal::TWindowRec* r = HandleAllocated() ? ui_internal::Rec(Handle()) : nullptr;
    if (!FHosted || !r) return;
    // The presenter of a window framed by the desktop starts inside the frame.
    TRect inner = ui_backend::NativeFrame(r) ? ui_internal::FrameInnerRect(r) : TRect{};
    FHosted->setGeometry(r->Client.Left - inner.Left, r->Client.Top - inner.Top, r->Client.Width(),
                         r->Client.Height());
    HostedPlaced();
  }
  HWND FOwnerWnd = nullptr;
};

}  // namespace

// ===========================================================================
// The file dialog's form

namespace {
class TToolkitFileDialog;
class TSlotWatcher;
}  // namespace

class TFileDialogForm : public THostForm {
public:
  explicit TFileDialogForm(TOpenDialog* Dialog);
  // Makes the toolkit dialog and the extension area (the form's window exists).
  void Build(const std::string& Folder);
  // Waits until the folder shown has been read (the toolkit reads folders
  // on a thread of its own).
  void WaitForListing();
  // Lays the extension area over its slot in the toolkit dialog.
  void PlaceExtension();
  std::string Folder() const;
  // The list or the detailed view, whichever the person chose.
  QAbstractItemView* ShownView() const;

  TOpenDialog* FDialog;
  TToolkitFileDialog* Box = nullptr;
  QFileSystemModel* Model = nullptr;
  QListView* List = nullptr;
  QLineEdit* NameEdit = nullptr;
  QComboBox* TypeCombo = nullptr;
  QWidget* Slot = nullptr;
  TSlotWatcher* Watcher = nullptr;
  TPanel* Extension = nullptr;
  std::vector<TFilterEntry> Entries;
  bool Listed = false;
  bool Building = true;
  bool FShown = false;

protected:
  void HostedPlaced() override { PlaceExtension(); }
};

namespace {

// The toolkit's file dialog with our own acceptance: the checks, prompts
// and events of TOpenDialog decide, and the dialog never closes itself.
class TToolkitFileDialog : public QFileDialog {
public:
  TToolkitFileDialog(TOpenDialog* Dialog, QWidget* Parent, const QString& Folder)
      : QFileDialog(Parent, QString(), Folder), FDialog(Dialog) {}
  void accept() override { FDialog->Accept(); }
  void reject() override { FDialog->CancelDialog(); }

private:
  TOpenDialog* FDialog;
};

// Follows the slot of the extension area as the toolkit lays it out.
class TSlotWatcher : public QObject {
public:
  explicit TSlotWatcher(TFileDialogForm* Form) : FForm(Form) {}
  bool eventFilter(QObject* Watched, QEvent* E) override {
    if (E->type() == QEvent::Resize || E->type() == QEvent::Move || E->type() == QEvent::Show)
      FForm->PlaceExtension();
    return QObject::eventFilter(Watched, E);
  }

private:
  TFileDialogForm* FForm;
};

}  // namespace

TFileDialogForm::TFileDialogForm(TOpenDialog* Dialog) : THostForm(Dialog->Owner()), FDialog(Dialog) {
  if (Dialog->Options() & ofEnableSizing) SetBorderStyle(bsSizeable);
  SetBorderIcons(biSystemMenu);
  SetCaption(!Dialog->Title().empty() ? Dialog->Title() : Dialog->IsSaveDialog() ? "Save As" : "Open");
  int32_t ext = std::max(0, Dialog->ExtensionWidth());
  SetClientSize(620 + ext, 420);
  OnShow = [this](TObject*) {
    if (FShown) return;
    FShown = true;
    FocusLater(NameEdit);
    FDialog->DoShow();
  };
}

void TFileDialogForm::Build(const std::string& StartFolder) {
  const TOpenOptions options = FDialog->Options();
  const bool save = FDialog->IsSaveDialog();
  QWidget* host = Presenter(Handle());
  if (!host) throw EInvalidOperation("The file dialog needs the desktop's toolkit");
  Box = new TToolkitFileDialog(FDialog, host, ToQ(StartFolder));
  Box->setOption(QFileDialog::DontUseNativeDialog, true);
  Box->setOption(QFileDialog::HideNameFilterDetails, true);
  // Overwriting is asked by TOpenDialog::Accept, with ofOverwritePrompt.
  Box->setOption(QFileDialog::DontConfirmOverwrite, true);
  // The desktop's frame sizes the dialog when sizing is allowed.
  Box->setSizeGripEnabled(false);
  Box->setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  Box->setFileMode(!save && (options & ofAllowMultiSelect) ? QFileDialog::ExistingFiles : QFileDialog::AnyFile);
  Box->setSidebarUrls(Places());
  // The detail view's size, type and date columns fit their contents, and
  // the name takes the rest, so no column shows its text cut in the middle.
  if (auto* tree = Box->findChild<QTreeView*>("treeView")) {
    QHeaderView* header = tree->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    for (int column = 1; column < header->count(); ++column)
      header->setSectionResizeMode(column, QHeaderView::ResizeToContents);
  }
  Model = Box->findChild<QFileSystemModel*>();
  List = Box->findChild<QListView*>("listView");
  NameEdit = Box->findChild<QLineEdit*>("fileNameEdit");
  TypeCombo = Box->findChild<QComboBox*>("fileTypeCombo");
  if (!Model || !List || !NameEdit || !TypeCombo) throw EInvalidOperation("The toolkit's file dialog lacks its parts");

  QObject::connect(Model, &QFileSystemModel::rootPathChanged, Box, [this](const QString&) {
    Listed = false;
    if (!Building) FDialog->DoFolderChange();
  });
  QObject::connect(Model, &QFileSystemModel::directoryLoaded, Box, [this](const QString& Path) {
    if (QDir::cleanPath(Path) == QDir::cleanPath(Model->rootPath())) Listed = true;
  });
  // A folder typed into the name box is entered and the box emptied, but
  // the toolkit leaves the completion list open over the type box, and opens
  // it again with the whole new folder once that is read. An empty name box
  // has nothing to complete: the list goes.
  if (QCompleter* completer = NameEdit->completer()) {
    QWidget* popup = completer->popup();
    auto hideWhenEmpty = [this, popup] {
      if (NameEdit->text().isEmpty()) popup->hide();
    };
    auto later = [popup, hideWhenEmpty] { QTimer::singleShot(0, popup, hideWhenEmpty); };
    QObject::connect(NameEdit, &QLineEdit::textChanged, popup, later);
    QObject::connect(Model, &QFileSystemModel::rootPathChanged, popup, later);
    QObject::connect(Model, &QFileSystemModel::directoryLoaded, popup, later);
  }
  Box->setDirectory(ToQ(StartFolder));

  Entries = ParseFilter(FDialog->Filter());
  if (!Entries.empty()) {
    Box->setNameFilters(ToolkitFilters(Entries));
    int32_t n = static_cast<int32_t>(Entries.size());
    if (FDialog->FFilterIndex < 1 || FDialog->FFilterIndex > n) FDialog->FFilterIndex = 1;
    // Chosen as the person would choose it, before OnTypeChange listens.
    TypeCombo->setCurrentIndex(FDialog->FFilterIndex - 1);
    emit TypeCombo->activated(FDialog->FFilterIndex - 1);
  } else {
    FDialog->FFilterIndex = 0;
  }
  QObject::connect(TypeCombo, &QComboBox::activated, Box, [this](int Index) {
    const int32_t i = Index + 1;
    if (i == FDialog->FFilterIndex || Index < 0 || Index >= static_cast<int>(Entries.size())) return;
    FDialog->FFilterIndex = i;
    FDialog->DoTypeChange();
  });
  QObject::connect(List->selectionModel(), &QItemSelectionModel::selectionChanged, Box,
                   [this] { FDialog->DoSelectionChange(); });
  // The name given: the dialog selects it in the view when it is there.
  NameEdit->setText(ToQ(ExtractFileName(FDialog->FileName())));

  if (FDialog->ExtensionWidth() > 0) {
    if (auto* splitter = Box->findChild<QSplitter*>("splitter")) {
      Slot = new QWidget;
      Slot->setFixedWidth(FDialog->ExtensionWidth());
      splitter->addWidget(Slot);
      splitter->setCollapsible(splitter->indexOf(Slot), false);
      Watcher = new TSlotWatcher(this);
      Watcher->setParent(Box);
      Slot->installEventFilter(Watcher);
      splitter->installEventFilter(Watcher);
    }
    Extension = new TPanel(this);
    Extension->SetBevelOuter(bvNone);
    Extension->SetBounds(ClientWidth() - FDialog->ExtensionWidth(), 0, FDialog->ExtensionWidth(), ClientHeight());
    Extension->SetParent(this);
  }
  Host(Box);
  if (Box->layout()) Box->layout()->activate();
  PlaceExtension();
  Building = false;
}

QAbstractItemView* TFileDialogForm::ShownView() const {
  if (Box->viewMode() == QFileDialog::Detail)
    if (auto* tree = Box->findChild<QAbstractItemView*>("treeView")) return tree;
  return List;
}

std::string TFileDialogForm::Folder() const {
  return IncludeTrailingPathDelimiter(FromQ(QDir::cleanPath(Model->rootPath())));
}

void TFileDialogForm::PlaceExtension() {
  if (!Extension || !Slot || !Box) return;
  // The toolkit dialog starts at the client area's top-left corner.
  const QPoint p = Slot->mapTo(Box, QPoint(0, 0));
  const TRect b = Bounds(p.x(), p.y(), Slot->width(), Slot->height());
  if (Extension->Left() != b.Left || Extension->Top() != b.Top || Extension->Width() != b.Width() ||
      Extension->Height() != b.Height())
    Extension->SetBounds(b.Left, b.Top, b.Width(), b.Height());
}

void TFileDialogForm::WaitForListing() {
  QElapsedTimer t;
  t.start();
  while (!Listed && t.elapsed() < 10000) ui_backend::WaitEvents(10);
  // The model files what it read through zero-delay timers.
  for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
}

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
  auto finish = [&] {
    FileDialogs.erase(std::remove(FileDialogs.begin(), FileDialogs.end(), this), FileDialogs.end());
    FForm = nullptr;
    DoClose();
    form->Free();
  };
  try {
    form->AfterConstruction();
    // The folder: the file name's when it has one, else the initial one,
    // else the one last chosen in, else the current one.
    std::string folder = ExtractFilePath(FFileName);
    if (folder.empty() || !DirectoryExists(folder)) folder = FInitialDir;
    if (folder.empty() || !DirectoryExists(folder)) folder = LastFolder;
    if (folder.empty() || !DirectoryExists(folder)) {
      std::error_code ec;
      folder = fs::current_path(ec).string();
    }
    form->Build(folder);
    if (form->Extension) PopulateExtension(form->Extension);
    ok = form->ShowModal() == mrOk;
  } catch (...) {
    finish();
    throw;
  }
  finish();
  if (ok && !(FOptions & ofNoChangeDir)) LastFolder = ExtractFilePath(FFileName);
  return ok;
}

std::string TOpenDialog::GetFolderPath() const { return FForm ? FForm->Folder() : std::string(); }

std::string TOpenDialog::GetFilePath() const {
  if (!FForm) return {};
  std::string name = Trim(NameBoxText());
  if (name.empty()) return {};
  return JoinPath(FForm->Folder(), name);
}

void TOpenDialog::SetNameBoxText(const std::string& Text) {
  if (!FForm) return;
  // As the person types: what was selected in the list lets go, and a
  // typed name of the list is selected by the dialog itself.
  FForm->List->selectionModel()->clearSelection();
  FForm->NameEdit->setFocus();
  FForm->NameEdit->setText(ToQ(Text));
}

std::string TOpenDialog::NameBoxText() const { return FForm ? FromQ(FForm->NameEdit->text()) : std::string(); }

TPanel* TOpenDialog::ExtensionArea() const { return FForm ? FForm->Extension : nullptr; }
TCustomForm* TOpenDialog::DialogForm() const { return FForm; }

std::vector<std::string> TOpenDialog::ListedNames() const {
  std::vector<std::string> v;
  if (!FForm) return v;
  FForm->WaitForListing();
  QAbstractItemModel* m = FForm->List->model();
  const QModelIndex root = FForm->List->rootIndex();
  for (int r = 0; r < m->rowCount(root); ++r) {
    const QModelIndex i = m->index(r, 0, root);
    std::string name = FromQ(i.data().toString());
    v.push_back(FForm->Model->isDir(i) ? name + "/" : name);
  }
  return v;
}

void TOpenDialog::SelectFile(const std::string& Name) {
  if (!FForm) return;
  FForm->WaitForListing();
  std::string want = Name;
  if (!want.empty() && want.back() == '/') want.pop_back();
  const std::string path = NamePath(FForm->Folder(), want);
  if (want == ".." || DirectoryExists(path)) {
    ChangeFolder(path);
    return;
  }
  const QModelIndex i = FForm->Model->index(ToQ(path));
  if (!i.isValid() || i.parent() != FForm->List->rootIndex()) return;  // not listed
  // A click on the list: the keyboard goes there and the name box follows.
  FForm->ShownView()->setFocus();
  FForm->List->selectionModel()->setCurrentIndex(i, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  FForm->ShownView()->scrollTo(i);
}

void TOpenDialog::SelectFiles(const std::vector<std::string>& Names) {
  if (!FForm || !(FOptions & ofAllowMultiSelect)) return;
  FForm->WaitForListing();
  QItemSelectionModel* sel = FForm->List->selectionModel();
  FForm->ShownView()->setFocus();
  sel->clearSelection();
  // Clicks with Ctrl held: each listed name joins the selection.
  for (const std::string& n : Names) {
    const QModelIndex i = FForm->Model->index(ToQ(NamePath(FForm->Folder(), n)));
    if (i.isValid() && i.parent() == FForm->List->rootIndex())
      sel->setCurrentIndex(i, QItemSelectionModel::Select | QItemSelectionModel::Rows);
  }
}

void TOpenDialog::ChangeFolder(const std::string& Folder) {
  if (!FForm) return;
  const std::string f = NamePath(FForm->Folder(), Folder);
  if (!DirectoryExists(f)) return;
  FForm->Box->setDirectory(ToQ(f));
  FForm->WaitForListing();
}

void TOpenDialog::SelectFilterIndex(int32_t Index) {
  if (!FForm || Index < 1 || Index > static_cast<int32_t>(FForm->Entries.size())) return;
  // As a choice in the type box: the toolkit filters the list (and keeps
  // the name's extension in step when saving), then OnTypeChange.
  FForm->TypeCombo->setCurrentIndex(Index - 1);
  emit FForm->TypeCombo->activated(Index - 1);
  emit FForm->TypeCombo->textActivated(FForm->TypeCombo->currentText());
}

void TOpenDialog::Accept() {
  if (!FForm) return;
  const std::string text = Trim(NameBoxText());
  const std::string folder = FForm->Folder();
  std::vector<std::string> names;
  if (FOptions & ofAllowMultiSelect) names = SplitNames(text);
  else if (text.size() >= 2 && text.front() == '"' && text.back() == '"') names.push_back(text.substr(1, text.size() - 2));
  else if (!text.empty()) names.push_back(text);
  if (names.empty()) {
    // Nothing typed: a folder selected in the list opens.
    const QModelIndex i = FForm->List->selectionModel()->currentIndex();
    if (i.isValid() && FForm->Model->isDir(i)) ChangeFolder(FromQ(FForm->Model->filePath(i)));
    return;
  }
  const std::string caption = FForm->Caption();
  std::vector<std::string> paths;
  for (const std::string& n : names) paths.push_back(NamePath(folder, n));
  // A folder typed or chosen opens it.
  if (paths.size() == 1 && DirectoryExists(paths[0])) {
    ChangeFolder(paths[0]);
    SetNameBoxText("");
    return;
  }
  for (std::string& path : paths) {
    std::string parent = ExtractFilePath(path);
    if ((FOptions & ofPathMustExist) && !parent.empty() && !DirectoryExists(parent)) {
      MessageBox(FForm->Handle(), path + "\nPath does not exist.\nCheck the path and try again.", caption,
                 MB_OK | MB_ICONWARNING);
      return;
    }
    if (ExtractFileExt(path).empty() && !FDefaultExt.empty()) {
      // The chosen type's own extension when it names one ("*.png"), else
      // the default extension.
      std::string ext = FDefaultExt[0] == '.' ? FDefaultExt : "." + FDefaultExt;
      const auto& entries = FForm->Entries;
      if (FFilterIndex >= 1 && FFilterIndex <= static_cast<int32_t>(entries.size())) {
        const auto& pats = entries[static_cast<size_t>(FFilterIndex - 1)].Patterns;
        if (!pats.empty() && pats[0].rfind("*.", 0) == 0 && pats[0].size() > 2 &&
            pats[0].find_first_of("*?", 2) == std::string::npos)
          ext = pats[0].substr(1);
      }
      path += ext;
    }
    if ((FOptions & ofFileMustExist) && !FileExists(path)) {
      MessageBox(FForm->Handle(), path + "\nFile not found.\nPlease verify the correct file name was given.", caption,
                 MB_OK | MB_ICONWARNING);
      return;
    }
  }
  if (FSaveDialog && (FOptions & ofOverwritePrompt) && FileExists(paths[0]) &&
      MessageBox(FForm->Handle(), paths[0] + " already exists.\nDo you want to replace it?", caption,
                 MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) != IDYES)  // Enter keeps the file
    return;
  const std::string previous = FFileName;
  FFileName = paths[0];
  if (!DoCanClose()) {
    FFileName = previous;
    return;
  }
  FFiles = paths;
  FForm->SetModalResult(mrOk);
}

void TOpenDialog::CancelDialog() {
  if (FForm) FForm->SetModalResult(mrCancel);
}

// ===========================================================================
// The colour dialog

const std::vector<TColor>& BasicColors() {
  static const std::vector<TColor> colors = [] {
    std::vector<TColor> v;
    for (int i = 0; i < 48; ++i) v.push_back(FromQColor(QColorDialog::standardColor(i)));
    return v;
  }();
  return colors;
}

namespace {

constexpr int32_t CustomCount = 16;

std::string CustomKey(int32_t I) { return std::string("Color") + static_cast<char>('A' + I); }

std::string Hex6(TColor C) {
  char buf[16];
  std::snprintf(buf, sizeof(buf), "%06X", static_cast<unsigned>(C & 0xFFFFFF));
  return buf;
}

// "ColorA=RRGGBB" lines into the toolkit's custom colours, which stay while
// the program runs; lines that name no slot or hold no colour are skipped.
void StoreCustomColors(const std::vector<std::string>& Lines) {
  for (const std::string& l : Lines) {
    size_t eq = l.find('=');
    if (eq == std::string::npos) continue;
    std::string k = Trim(l.substr(0, eq));
    for (int32_t i = 0; i < CustomCount; ++i)
      if (SameText(k, CustomKey(i))) {
        std::string value = Trim(l.substr(eq + 1));
        char* end = nullptr;
        unsigned long c = std::strtoul(value.c_str(), &end, 16);
        if (!value.empty() && value.size() <= 8 && end && *end == '\0')
          QColorDialog::setCustomColor(i, ToQColor(static_cast<TColor>(c & 0xFFFFFF)));
      }
  }
}

class TToolkitColorDialog : public QColorDialog {
public:
  TToolkitColorDialog(TCustomForm* Form, QWidget* Parent) : QColorDialog(Parent), FForm(Form) {}
  void accept() override { FForm->SetModalResult(mrOk); }
  void reject() override { FForm->SetModalResult(mrCancel); }

private:
  TCustomForm* FForm;
};

}  // namespace

class TColorDialogForm : public THostForm {
public:
  explicit TColorDialogForm(TColorDialog* Dialog) : THostForm(Dialog->Owner()) {
    SetCaption("Color");
    SetBorderIcons(biSystemMenu);
  }
  void Build(TColor Initial) {
    QWidget* host = Presenter(Handle());
    if (!host) throw EInvalidOperation("The colour dialog needs the desktop's toolkit");
    Box = new TToolkitColorDialog(this, host);
    Box->setOption(QColorDialog::DontUseNativeDialog, true);
    Box->setCurrentColor(ToQColor(Initial));
    const QSize s = Box->sizeHint();
    SetClientSize(s.width(), s.height());
    Host(Box);
    OnShow = [this](TObject*) { FocusLater(Box); };
  }
  TToolkitColorDialog* Box = nullptr;
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
  auto finish = [&] {
    ColorDialogs.erase(std::remove(ColorDialogs.begin(), ColorDialogs.end(), this), ColorDialogs.end());
    FForm = nullptr;
    form->Free();
  };
  try {
    form->AfterConstruction();
    StoreCustomColors(FCustomColors);
    form->Build(FColor);
    ok = form->ShowModal() == mrOk;
    if (ok) FColor = FromQColor(form->Box->currentColor());
    // The custom colours are kept whether or not the dialog was accepted.
    FCustomColors.clear();
    for (int32_t i = 0; i < CustomCount; ++i)
      FCustomColors.push_back(CustomKey(i) + "=" + Hex6(FromQColor(QColorDialog::customColor(i))));
  } catch (...) {
    finish();
    throw;
  }
  finish();
  return ok;
}

TColor TColorDialog::CurrentColor() const { return FForm ? FromQColor(FForm->Box->currentColor()) : FColor; }
bool TColorDialog::FullOpen() const { return FForm != nullptr; }

void TColorDialog::SelectBasicColor(int32_t Index) {
  if (!FForm || Index < 0 || Index >= static_cast<int32_t>(BasicColors().size())) return;
  FForm->Box->setCurrentColor(QColorDialog::standardColor(Index));
}

void TColorDialog::SelectCustomColor(int32_t Index) {
  if (!FForm || Index < 0 || Index >= CustomCount) return;
  FForm->Box->setCurrentColor(QColorDialog::customColor(Index));
}

void TColorDialog::PickColor(TColor Value) {
  if (FForm) FForm->Box->setCurrentColor(ToQColor(Value));
}

void TColorDialog::AddToCustomColors() {
  if (!FForm) return;
  for (QPushButton* b : FForm->Box->findChildren<QPushButton*>())
    if (b->text() == QColorDialog::tr("&Add to Custom Colors")) {
      b->click();
      return;
    }
}

void TColorDialog::Accept() {
  if (FForm) FForm->SetModalResult(mrOk);
}

void TColorDialog::CancelDialog() {
  if (FForm) FForm->SetModalResult(mrCancel);
}
