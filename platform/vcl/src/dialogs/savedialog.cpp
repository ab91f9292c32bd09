// The save dialog's window: folder field with an Up button, a list of folders and
// matching files, a file name field, the filter choice, Save and Cancel.
#include <vcl/dialogs.h>

#include <algorithm>
#include <filesystem>
#include <fnmatch.h>
#include <system_error>

#include <vcl/stdctrls.h>

namespace fs = std::filesystem;

namespace {

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

bool IsDir(const std::string& p) {
  std::error_code ec;
  return !p.empty() && fs::is_directory(p, ec);
}

class TSaveDialogForm : public TForm {
 public:
  TSaveDialogForm(TSaveDialog* dialog) : TForm(nullptr), dialog_(dialog) {
    SetBorderStyle(bsDialog);
    SetCaption(dialog->Title.empty() ? "Save As" : dialog->Title);
    SetPosition(poScreenCenter);
    SetClientSize(424, 304);
    filters_ = TSaveDialog::ParseFilter(dialog->Filter);

    auto label = [&](const char* text, int x, int y) {
      auto* l = new TLabel(this);
      l->SetCaption(text);
      l->SetBounds(x, y, 80, 13);
      l->SetParent(this);
    };
    label("Save &in:", 8, 12);
    folder_ = new TEdit(this);
    folder_->SetBounds(88, 8, 248, 21);
    folder_->SetParent(this);
    folder_->SetTabStop(false);
    up_ = new TButton(this);
    up_->SetCaption("&Up");
    up_->SetBounds(344, 7, 72, 23);
    up_->SetParent(this);
    up_->OnClick = [this](TObject*) { Navigate(fs::path(folder_path_).parent_path().string()); };
    list_ = new TListBox(this);
    list_->SetBounds(8, 38, 408, 178);
    list_->SetParent(this);
    list_->OnClick = [this](TObject*) { ItemClicked(); };
    list_->OnDblClick = [this](TObject*) { ItemOpened(); };
    label("File &name:", 8, 228);
    name_ = new TEdit(this);
    name_->SetBounds(88, 224, 248, 21);
    name_->SetParent(this);
    label("Save as &type:", 8, 258);
    types_ = new TComboBox(this);
    types_->SetStyle(csDropDownList);
    types_->SetBounds(88, 254, 248, 21);
    types_->SetParent(this);
    for (auto& f : filters_) types_->Items()->Add(f.first);
    if (!filters_.empty())
      types_->SetItemIndex(std::clamp(dialog->FilterIndex, 1, static_cast<int>(filters_.size())) - 1);
    types_->OnChange = [this](TObject*) { Fill(); };
    save_ = new TButton(this);
    save_->SetCaption("&Save");
    save_->SetBounds(344, 223, 72, 23);
    save_->SetDefault(true);
    save_->SetParent(this);
    save_->OnClick = [this](TObject*) { Confirm(); };
    auto* cancel = new TButton(this);
    cancel->SetCaption("Cancel");
    cancel->SetBounds(344, 253, 72, 23);
    cancel->SetCancel(true);
    cancel->SetModalResult(mrCancel);
    cancel->SetParent(this);

    // The starting folder: InitialDir, else the proposed file's, else the current one.
    std::string start = dialog->InitialDir;
    fs::path proposed(dialog->FileName);
    if (!IsDir(start) && proposed.has_parent_path() && IsDir(proposed.parent_path().string()))
      start = proposed.parent_path().string();
    std::error_code ec;
    if (!IsDir(start)) start = fs::current_path(ec).string();
    if (!IsDir(start)) start = "/";
    name_->SetText(proposed.filename().string());
    Navigate(start);
    SetActiveControl(name_);
  }

  std::string Chosen() const { return chosen_; }
  int ChosenFilter() const { return types_->ItemIndex() + 1; }
  std::string Folder() const { return folder_path_; }
  TListBox* List() const { return list_; }

 private:
  void Navigate(const std::string& dir) {
    if (!IsDir(dir)) return;
    std::error_code ec;
    fs::path p = fs::weakly_canonical(fs::absolute(dir, ec), ec);
    folder_path_ = p.empty() ? dir : p.string();
    folder_->SetText(folder_path_);
    Fill();
  }

  void Fill() {
    std::vector<std::string> dirs, files;
    std::vector<std::string> patterns;
    int fi = types_->ItemIndex();
    if (fi >= 0 && fi < static_cast<int>(filters_.size())) patterns = filters_[fi].second;
    std::error_code ec;
    // A folder we may not read lists nothing.
    for (fs::directory_iterator it(folder_path_, fs::directory_options::skip_permission_denied, ec), end;
         !ec && it != end; it.increment(ec)) {
      std::string name = it->path().filename().string();
      if (name.empty() || name[0] == '.') continue;
      std::error_code e2;
      if (it->is_directory(e2)) {
        dirs.push_back(name);
        continue;
      }
      bool match = patterns.empty();
      for (const auto& pat : patterns)
        if (fnmatch(pat.c_str(), name.c_str(), FNM_CASEFOLD) == 0) match = true;
      if (match) files.push_back(name);
    }
    auto byName = [](const std::string& a, const std::string& b) { return CompareText(a, b) < 0; };
    std::sort(dirs.begin(), dirs.end(), byName);
    std::sort(files.begin(), files.end(), byName);
    list_->Items()->BeginUpdate();
    list_->Clear();
    for (auto& d : dirs) list_->Items()->Add(d + "/");
    for (auto& f : files) list_->Items()->Add(f);
    list_->Items()->EndUpdate();
  }

  void ItemClicked() {
    int i = list_->ItemIndex();
    if (i < 0) return;
    std::string s = list_->Items()->Get(i);
    if (!s.empty() && s.back() != '/') name_->SetText(s);
  }

  void ItemOpened() {
    int i = list_->ItemIndex();
    if (i < 0) return;
    std::string s = list_->Items()->Get(i);
    if (!s.empty() && s.back() == '/') Navigate((fs::path(folder_path_) / s.substr(0, s.size() - 1)).string());
    else Confirm();
  }

  void Confirm() {
    std::string typed = Trim(name_->Text());
    if (typed.empty()) {
      // Enter on a folder in the list opens it.
      if (list_->Focused()) ItemOpened();
      return;
    }
    fs::path direct = fs::path(typed).is_absolute() ? fs::path(typed) : fs::path(folder_path_) / typed;
    if (IsDir(direct.string())) {
      name_->SetText("");
      Navigate(direct.string());
      return;
    }
    std::string ext = dialog_->DefaultExt;
    std::string full = TSaveDialog::ResolveName(folder_path_, typed, ext);
    fs::path fp(full);
    if (!IsDir(fp.parent_path().string())) {
      MessageBoxA(Handle(), ("The folder " + fp.parent_path().string() + " does not exist.").c_str(), GetText().c_str(),
                  MB_OK | MB_ICONWARNING);
      return;
    }
    std::error_code ec;
    if (fs::exists(fp, ec)) {
      if (fs::is_directory(fp, ec)) {
        Navigate(full);
        return;
      }
      std::string q = full + " already exists.\nDo you want to replace it?";
      if (MessageBoxA(Handle(), q.c_str(), GetText().c_str(), MB_YESNO | MB_ICONWARNING) != IDYES) return;
    }
    chosen_ = full;
    SetModalResult(mrOk);
  }

  TSaveDialog* dialog_;
  std::vector<std::pair<std::string, std::vector<std::string>>> filters_;
  std::string folder_path_;
  std::string chosen_;
  TEdit* folder_;
  TButton* up_;
  TListBox* list_;
  TEdit* name_;
  TComboBox* types_;
  TButton* save_;
};

}  // namespace

std::vector<std::pair<std::string, std::vector<std::string>>> TSaveDialog::ParseFilter(const std::string& filter) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= filter.size()) {
    size_t bar = filter.find('|', start);
    if (bar == std::string::npos) bar = filter.size();
    parts.push_back(filter.substr(start, bar - start));
    start = bar + 1;
  }
  std::vector<std::pair<std::string, std::vector<std::string>>> out;
  for (size_t i = 0; i + 1 < parts.size(); i += 2) {
    std::vector<std::string> pats;
    std::string p = parts[i + 1];
    size_t s = 0;
    while (s <= p.size()) {
      size_t semi = p.find(';', s);
      if (semi == std::string::npos) semi = p.size();
      std::string one = Trim(p.substr(s, semi - s));
      if (!one.empty()) pats.push_back(one);
      s = semi + 1;
    }
    if (!parts[i].empty() || !pats.empty()) out.emplace_back(parts[i], pats);
  }
  return out;
}

std::string TSaveDialog::ResolveName(const std::string& folder, const std::string& typed, const std::string& ext) {
  fs::path p = fs::path(typed).is_absolute() ? fs::path(typed) : fs::path(folder) / typed;
  std::string name = p.filename().string();
  if (!ext.empty() && name.find('.') == std::string::npos) p += "." + ext;
  return p.string();
}

bool TSaveDialog::Execute() {
  auto* form = new TSaveDialogForm(this);
  bool ok = false;
  try {
    if (OnShow) OnShow(this);
    ok = form->ShowModal() == mrOk;
    if (ok) {
      FileName = form->Chosen();
      FilterIndex = form->ChosenFilter();
    }
    if (OnClose) OnClose(this);
  } catch (...) {
    FreeComponent(form);
    throw;
  }
  FreeComponent(form);
  return ok;
}
