// The edit control (one line) and the memo (several lines).
#include <algorithm>
#include <cctype>

#include <vcl/stdctrls.h>

#include "ctlpaint.h"

namespace {

bool CtrlDown() { return GetKeyState(VK_CONTROL) < 0; }
bool ShiftDown() { return GetKeyState(VK_SHIFT) < 0; }
bool AltDown() { return GetKeyState(VK_MENU) < 0; }

std::vector<std::string> SplitLines(const std::string& s) {
  std::vector<std::string> out(1);
  for (size_t i = 0; i < s.size(); ++i) {
    char ch = s[i];
    if (ch == '\r' || ch == '\n') {
      if (ch == '\r' && i + 1 < s.size() && s[i + 1] == '\n') ++i;
      out.emplace_back();
    } else {
      out.back() += ch;
    }
  }
  return out;
}

bool IsWordChar(char ch) { return std::isalnum(static_cast<unsigned char>(ch)) || ch == '_' || (ch & 0x80); }

}  // namespace

TCustomEdit::TCustomEdit(TComponent* owner) : TCustomControl(owner), lines_(1) {
  SetControlStyle(csCaptureMouse | csClickEvents | csSetCaption | csDoubleClicks | csOpaque);
  SetBounds(Left(), Top(), 121, 21);
  SetColor(clWindow);
  SetTabStop(true);
  SetCursor(crIBeam);
}

TCustomEdit::~TCustomEdit() = default;

std::string TCustomEdit::GetText() const {
  std::string t = lines_[0];
  for (size_t i = 1; i < lines_.size(); ++i) t += "\r\n" + lines_[i];
  return t;
}

void TCustomEdit::SetText(const std::string& v) {
  if (v == GetText()) return;
  if (multi_line_) lines_ = SplitLines(v);
  else lines_.assign(1, v);
  caret_ = anchor_ = Pos{};
  scroll_x_ = top_line_ = 0;
  modified_ = false;
  TextChanged(false);
}

void TCustomEdit::SetBorderStyle(TBorderStyle v) {
  if (v == border_style_) return;
  border_style_ = v;
  Invalidate();
}

void TCustomEdit::SetMaxLength(int v) { max_length_ = std::max(0, v); }

void TCustomEdit::SetPasswordChar(char v) {
  if (v == password_char_) return;
  password_char_ = v;
  Invalidate();
}

void TCustomEdit::SetCharCase(TEditCharCase v) {
  if (v == char_case_) return;
  char_case_ = v;
  if (v == ecNormal) return;
  std::string t = GetText();
  for (char& ch : t) ch = static_cast<char>(v == ecUpperCase ? std::toupper(static_cast<unsigned char>(ch))
                                                            : std::tolower(static_cast<unsigned char>(ch)));
  SetText(t);
}

// --- positions ----------------------------------------------------------------------
int TCustomEdit::IndexOf(Pos p) const {
  int index = 0;
  for (int i = 0; i < p.line; ++i) index += static_cast<int>(lines_[i].size()) + 2;
  return index + p.col;
}

TCustomEdit::Pos TCustomEdit::PosOf(int index) const {
  index = std::max(0, index);
  for (int i = 0; i < static_cast<int>(lines_.size()); ++i) {
    int len = static_cast<int>(lines_[i].size());
    if (index <= len) return Pos{i, index};
    index -= len + 2;
    if (index < 0) return Pos{i, len};  // inside a line break
  }
  int last = static_cast<int>(lines_.size()) - 1;
  return Pos{last, static_cast<int>(lines_[last].size())};
}

int TCustomEdit::TotalLength() const {
  int last = static_cast<int>(lines_.size()) - 1;
  return IndexOf(Pos{last, static_cast<int>(lines_[last].size())});
}

TCustomEdit::Pos TCustomEdit::SelBegin() const { return IndexOf(caret_) < IndexOf(anchor_) ? caret_ : anchor_; }
TCustomEdit::Pos TCustomEdit::SelEnd() const { return IndexOf(caret_) < IndexOf(anchor_) ? anchor_ : caret_; }

int TCustomEdit::SelStart() const { return IndexOf(SelBegin()); }
int TCustomEdit::SelLength() const { return IndexOf(SelEnd()) - IndexOf(SelBegin()); }
int TCustomEdit::CaretLine() const { return caret_.line; }
int TCustomEdit::CaretColumn() const { return caret_.col; }

void TCustomEdit::SetSelStart(int v) {
  caret_ = anchor_ = PosOf(std::clamp(v, 0, TotalLength()));
  ScrollToCaret();
  Invalidate();
}

void TCustomEdit::SetSelLength(int v) {
  int start = SelStart();
  anchor_ = PosOf(start);
  caret_ = PosOf(std::clamp(start + std::max(0, v), 0, TotalLength()));
  ScrollToCaret();
  Invalidate();
}

std::string TCustomEdit::Range(Pos a, Pos b) const {
  if (a.line == b.line) return lines_[a.line].substr(a.col, b.col - a.col);
  std::string t = lines_[a.line].substr(a.col);
  for (int i = a.line + 1; i < b.line; ++i) t += "\r\n" + lines_[i];
  return t + "\r\n" + lines_[b.line].substr(0, b.col);
}

std::string TCustomEdit::SelText() const { return Range(SelBegin(), SelEnd()); }

void TCustomEdit::DeleteRange(Pos a, Pos b) {
  lines_[a.line] = lines_[a.line].substr(0, a.col) + lines_[b.line].substr(b.col);
  lines_.erase(lines_.begin() + a.line + 1, lines_.begin() + b.line + 1);
  caret_ = anchor_ = a;
}

std::string TCustomEdit::Filter(const std::string& s) const {
  std::string out;
  out.reserve(s.size());
  for (char ch : s) {
    if (!multi_line_ && (ch == '\r' || ch == '\n')) break;  // one line takes the first line
    if (static_cast<unsigned char>(ch) < 32 && ch != '\r' && ch != '\n' && ch != '\t') continue;
    if (!multi_line_ && ch == '\t') continue;
    if (char_case_ == ecUpperCase) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    if (char_case_ == ecLowerCase) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    out += ch;
  }
  return out;
}

void TCustomEdit::InsertText(const std::string& raw, bool user) {
  std::string s = Filter(raw);
  bool had = HasSelection();
  if (had) DeleteRange(SelBegin(), SelEnd());
  if (max_length_ > 0) {
    // Line breaks count as two characters, as in Text.
    int room = max_length_ - TotalLength();
    if (room <= 0) s.clear();
    else if (static_cast<int>(s.size()) > room) s.resize(ctl::WholeCharsWithin(s, room));
    if (!s.empty() && s.back() == '\r') s.pop_back();
  }
  if (s.empty()) {
    if (had) TextChanged(user);
    return;
  }
  std::vector<std::string> parts = SplitLines(s);
  std::string tail = lines_[caret_.line].substr(caret_.col);
  lines_[caret_.line].resize(caret_.col);
  lines_[caret_.line] += parts[0];
  int line = caret_.line;
  for (size_t i = 1; i < parts.size(); ++i) lines_.insert(lines_.begin() + ++line, parts[i]);
  int col = static_cast<int>(lines_[line].size());
  lines_[line] += tail;
  caret_ = anchor_ = Pos{line, col};
  TextChanged(user);
}

void TCustomEdit::SetSelText(const std::string& v) { InsertText(v, false); }

void TCustomEdit::SelectAll() {
  anchor_ = Pos{};
  caret_ = PosOf(TotalLength());
  Invalidate();
}

void TCustomEdit::ClearSelection() {
  if (!HasSelection()) return;
  DeleteRange(SelBegin(), SelEnd());
  TextChanged(false);
}

void TCustomEdit::CopyToClipboard() {
  if (password_char_ || !HasSelection()) return;
  ctl::SetClipboardText(SelText());
}

void TCustomEdit::CutToClipboard() {
  if (password_char_ || !HasSelection() || read_only_) return;
  CopyToClipboard();
  DeleteRange(SelBegin(), SelEnd());
  TextChanged(true);
}

void TCustomEdit::PasteFromClipboard() {
  if (read_only_) return;
  std::string t = ctl::ClipboardText();
  if (!t.empty()) InsertText(t, true);
}

void TCustomEdit::TextChanged(bool user) {
  if (user) modified_ = true;
  preferred_x_ = -1;
  ScrollToCaret();
  Invalidate();
  Change();
}

void TCustomEdit::Change() {
  if (OnChange) OnChange(this);
}

void TCustomEdit::MoveCaret(Pos p, bool extend) {
  caret_ = p;
  if (!extend) anchor_ = p;
  ScrollToCaret();
  Invalidate();
}

// --- geometry -------------------------------------------------------------------------
TRect TCustomEdit::TextArea() const {
  TRect r = ctl::InsideBorder(ClientRect(), border_style_);
  r.Left += 1;
  r.Top += 1;
  return r;
}

std::string TCustomEdit::Shown(const std::string& line) const {
  if (!password_char_) return line;
  std::string shown;
  for (int i = 0; i < static_cast<int>(line.size()); i = ctl::NextCharAt(line, i)) shown += password_char_;
  return shown;
}

int TCustomEdit::LineHeight() { return ctl::LineHeight(ctl::Measure(Font())); }

int TCustomEdit::VisibleLines() { return std::max(1, TextArea().Height() / LineHeight()); }

int TCustomEdit::XOfColumn(int line, int col) {
  TCanvas* c = ctl::Measure(Font());
  return TextArea().Left - scroll_x_ + c->TextWidth(Shown(lines_[line].substr(0, col)));
}

TCustomEdit::Pos TCustomEdit::PosAtPoint(int x, int y) {
  TRect a = TextArea();
  int line = multi_line_ ? top_line_ + (y - a.Top) / LineHeight() : 0;
  if (y < a.Top && multi_line_) line = top_line_ - 1;
  line = std::clamp(line, 0, static_cast<int>(lines_.size()) - 1);
  TCanvas* c = ctl::Measure(Font());
  const std::string& text = lines_[line];
  int target = x - a.Left + scroll_x_;
  int pos = 0, col = 0;
  while (col < static_cast<int>(text.size())) {
    const int next = ctl::NextCharAt(text, col);
    int w = c->TextWidth(Shown(text.substr(col, next - col)));
    if (target < pos + w / 2) break;
    pos += w;
    col = next;
  }
  return Pos{line, col};
}

void TCustomEdit::ScrollToCaret() {
  TRect a = TextArea();
  if (a.Width() <= 0) return;
  TCanvas* c = ctl::Measure(Font());
  int x = c->TextWidth(Shown(lines_[caret_.line].substr(0, caret_.col)));
  if (x - scroll_x_ > a.Width() - 2) scroll_x_ = x - a.Width() + 2 + a.Width() / 4;
  if (x < scroll_x_) scroll_x_ = std::max(0, x - a.Width() / 4);
  if (x <= a.Width() - 2) scroll_x_ = std::min(scroll_x_, std::max(0, x - a.Width() / 4));
  if (multi_line_) {
    int vis = VisibleLines();
    if (caret_.line < top_line_) top_line_ = caret_.line;
    if (caret_.line >= top_line_ + vis) top_line_ = caret_.line - vis + 1;
  }
}

void TCustomEdit::Resize() {
  TCustomControl::Resize();
  ScrollToCaret();
}

// --- painting -------------------------------------------------------------------------
void TCustomEdit::Paint() {
  TCanvas* c = Canvas();
  TRect r = ClientRect();
  if (border_style_ == bsSingle) ctl::SunkenEdge(c, r);
  ctl::Fill(c, r, Color());
  TRect a = TextArea();
  c->SetFont(Font());
  int lh = ctl::LineHeight(c);
  bool showSel = Focused() || !HideSelection;
  Pos sb = SelBegin(), se = SelEnd();
  HDC dc = c->Handle();
  int saved = SaveDC(dc);
  IntersectClipRect(dc, r.Left, r.Top, r.Right, r.Bottom);
  TColor textColor = Enabled() ? Font()->Color() : clGrayText;
  for (int i = top_line_; i < static_cast<int>(lines_.size()); ++i) {
    int y = a.Top + (i - top_line_) * lh;
    if (y >= r.Bottom) break;
    const std::string& line = lines_[i];
    std::string text = Shown(line);
    int x = a.Left - scroll_x_;
    int s0 = 0, s1 = 0;
    if (showSel && HasSelection() && i >= sb.line && i <= se.line) {
      s0 = i == sb.line ? sb.col : 0;
      s1 = i == se.line ? se.col : static_cast<int>(line.size());
    }
    c->Brush()->SetStyle(bsClear);
    c->Font()->SetColor(textColor);
    c->TextOut(x, y, text);
    if (s1 > s0) {
      const std::string selected = Shown(line.substr(s0, s1 - s0));
      int x0 = x + c->TextWidth(Shown(line.substr(0, s0)));
      int x1 = x0 + c->TextWidth(selected);
      ctl::Fill(c, TRect(x0, y, x1, y + lh), clHighlight);
      c->Brush()->SetStyle(bsClear);
      c->Font()->SetColor(clHighlightText);
      c->TextOut(x0, y, selected);
    }
  }
  if (Focused()) {
    int x = a.Left - scroll_x_ + c->TextWidth(Shown(lines_[caret_.line].substr(0, caret_.col)));
    int y = a.Top + (caret_.line - top_line_) * lh;
    c->Pen()->SetStyle(psSolid);
    c->Pen()->SetColor(clWindowText);
    c->MoveTo(x, y);
    c->LineTo(x, y + lh);
  }
  RestoreDC(dc, saved);
}

// --- input ----------------------------------------------------------------------------
void TCustomEdit::WMGetDlgCode(TMessage& m) {
  m.Result = DLGC_WANTCHARS | DLGC_WANTARROWS | DLGC_HASSETSEL;
  if (multi_line_ && want_return_) m.Result |= DLGC_WANTALLKEYS;
  if (multi_line_ && want_tabs_) m.Result |= DLGC_WANTTAB;
}

void TCustomEdit::WMSetFocus(TMessage& m) {
  TCustomControl::WMSetFocus(m);
  // Entering by keyboard selects a one-line field, as dialogs do.
  if (AutoSelect && !multi_line_ && !(GetKeyState(VK_LBUTTON) < 0)) SelectAll();
  Invalidate();
}

void TCustomEdit::WMKillFocus(TMessage& m) {
  TCustomControl::WMKillFocus(m);
  selecting_ = false;
  Invalidate();
}

void TCustomEdit::CMEnabledChanged(TMessage& m) {
  TCustomControl::CMEnabledChanged(m);
  Invalidate();
}

void TCustomEdit::CMFontChanged(TMessage& m) {
  TCustomControl::CMFontChanged(m);
  ScrollToCaret();
}

void TCustomEdit::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (button == mbLeft) {
    if (!Focused() && CanFocus()) SetFocus();
    Pos p = PosAtPoint(x, y);
    if (shift.Contains(ssDouble)) {
      // A double click selects the word under the pointer.
      const std::string& l = lines_[p.line];
      int b = p.col, e = p.col;
      while (b > 0 && IsWordChar(l[b - 1])) --b;
      while (e < static_cast<int>(l.size()) && IsWordChar(l[e])) ++e;
      anchor_ = Pos{p.line, b};
      caret_ = Pos{p.line, e};
      Invalidate();
    } else {
      MoveCaret(p, shift.Contains(ssShift));
      selecting_ = true;
    }
    preferred_x_ = -1;
  }
  TCustomControl::MouseDown(button, shift, x, y);
}

void TCustomEdit::MouseMove(TShiftState shift, int x, int y) {
  if (selecting_ && shift.Contains(ssLeft)) MoveCaret(PosAtPoint(x, y), true);
  TCustomControl::MouseMove(shift, x, y);
}

void TCustomEdit::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  if (button == mbLeft) selecting_ = false;
  TCustomControl::MouseUp(button, shift, x, y);
}

void TCustomEdit::EditKey(WORD key) {
  bool shift = ShiftDown(), ctrl = CtrlDown();
  int last = static_cast<int>(lines_.size()) - 1;
  auto lineLen = [&](int l) { return static_cast<int>(lines_[l].size()); };
  Pos p = caret_;
  switch (key) {
    case VK_LEFT:
    case VK_RIGHT: {
      bool left = key == VK_LEFT;
      if (HasSelection() && !shift && !ctrl) {
        MoveCaret(left ? SelBegin() : SelEnd(), false);
        break;
      }
      int i = IndexOf(p);
      if (ctrl) {
        std::string t = GetText();
        if (left) {
          while (i > 0 && !IsWordChar(t[i - 1])) --i;
          while (i > 0 && IsWordChar(t[i - 1])) --i;
        } else {
          int n = static_cast<int>(t.size());
          while (i < n && IsWordChar(t[i])) ++i;
          while (i < n && !IsWordChar(t[i])) ++i;
        }
        p = PosOf(i);
      } else if (left) {
        if (p.col > 0) p.col = ctl::PrevCharAt(lines_[p.line], p.col);
        else if (p.line > 0) p = Pos{p.line - 1, lineLen(p.line - 1)};
      } else {
        if (p.col < lineLen(p.line)) p.col = ctl::NextCharAt(lines_[p.line], p.col);
        else if (p.line < last) p = Pos{p.line + 1, 0};
      }
      MoveCaret(p, shift);
      preferred_x_ = -1;
      break;
    }
    case VK_HOME:
      MoveCaret(ctrl ? Pos{} : Pos{p.line, 0}, shift);
      preferred_x_ = -1;
      break;
    case VK_END:
      MoveCaret(ctrl ? Pos{last, lineLen(last)} : Pos{p.line, lineLen(p.line)}, shift);
      preferred_x_ = -1;
      break;
    case VK_UP:
    case VK_DOWN:
    case VK_PRIOR:
    case VK_NEXT: {
      if (!multi_line_) {
        EditKey(key == VK_UP || key == VK_PRIOR ? VK_LEFT : VK_RIGHT);
        break;
      }
      int step = (key == VK_PRIOR || key == VK_NEXT) ? VisibleLines() : 1;
      int line = std::clamp(p.line + ((key == VK_UP || key == VK_PRIOR) ? -step : step), 0, last);
      if (preferred_x_ < 0) preferred_x_ = XOfColumn(p.line, p.col) + scroll_x_;
      Pos target = PosAtPoint(preferred_x_ - scroll_x_, TextArea().Top + (line - top_line_) * LineHeight());
      target.line = line;
      target.col = std::min(target.col, lineLen(line));
      int keep = preferred_x_;
      MoveCaret(target, shift);
      preferred_x_ = keep;
      break;
    }
    case VK_DELETE:
      if (read_only_) break;
      if (shift) {
        CutToClipboard();
      } else if (HasSelection()) {
        DeleteRange(SelBegin(), SelEnd());
        TextChanged(true);
      } else if (IndexOf(p) < TotalLength()) {
        Pos next = p.col < lineLen(p.line) ? Pos{p.line, ctl::NextCharAt(lines_[p.line], p.col)} : Pos{p.line + 1, 0};
        DeleteRange(p, next);
        TextChanged(true);
      }
      break;
    case VK_INSERT:
      if (ctrl) CopyToClipboard();
      else if (shift) PasteFromClipboard();
      break;
    case VK_TAB:
      // A memo that takes every key still hands Tab on unless it wants tabs.
      if (multi_line_ && !want_tabs_)
        if (TCustomForm* f = GetParentForm(this)) f->SelectNext(this, !shift, true);
      break;
    case VK_RETURN:
    case VK_ESCAPE:
      if (multi_line_ && (key == VK_ESCAPE || !want_return_)) {
        if (TCustomForm* f = GetParentForm(this)) f->Perform(CM_DIALOGKEY, key, 0);
      }
      break;
    default:
      if (ctrl && !AltDown()) {
        switch (key) {
          case 'A': SelectAll(); break;
          case 'C': CopyToClipboard(); break;
          case 'X': CutToClipboard(); break;
          case 'V': PasteFromClipboard(); break;
          default: break;
        }
      }
      break;
  }
}

void TCustomEdit::EditChar(unsigned ch) {
  if (CtrlDown() && !AltDown()) return;  // control characters of Ctrl+letter shortcuts
  if (read_only_) return;
  if (ch == 8) {
    if (HasSelection()) {
      DeleteRange(SelBegin(), SelEnd());
    } else {
      Pos p = caret_;
      if (p.col == 0 && p.line == 0) return;
      Pos prev = p.col > 0 ? Pos{p.line, ctl::PrevCharAt(lines_[p.line], p.col)}
                           : Pos{p.line - 1, static_cast<int>(lines_[p.line - 1].size())};
      DeleteRange(prev, p);
    }
    TextChanged(true);
    return;
  }
  if (ch == '\r') {
    if (multi_line_ && want_return_) InsertText("\r\n", true);
    return;
  }
  if (ch == '\t') {
    if (multi_line_ && want_tabs_) InsertText("\t", true);
    return;
  }
  if (ch < 32) return;
  InsertText(ctl::Utf8Of(ch), true);
}

void TCustomEdit::DefaultHandler(TMessage& m) {
  switch (m.Msg) {
    case WM_KEYDOWN: EditKey(m.CharCode()); return;
    case WM_CHAR: EditChar(static_cast<unsigned>(m.WParam)); return;
    case WM_COPY: CopyToClipboard(); return;
    case WM_CUT: CutToClipboard(); return;
    case WM_PASTE: PasteFromClipboard(); return;
    case WM_CLEAR: ClearSelection(); return;
    case EM_GETSEL: {
      auto* s = reinterpret_cast<DWORD*>(m.WParam);
      auto* e = reinterpret_cast<DWORD*>(m.LParam);
      if (s) *s = static_cast<DWORD>(SelStart());
      if (e) *e = static_cast<DWORD>(SelStart() + SelLength());
      m.Result = MAKELPARAM(SelStart(), SelStart() + SelLength());
      return;
    }
    case EM_SETSEL: {
      int s = static_cast<int>(static_cast<std::intptr_t>(m.WParam));
      int e = static_cast<int>(static_cast<std::intptr_t>(m.LParam));
      int n = TotalLength();
      if (s < 0) {
        anchor_ = caret_;  // -1 removes the selection
      } else {
        if (e < 0 || e > n) e = n;
        anchor_ = PosOf(std::min(s, n));
        caret_ = PosOf(e);
      }
      ScrollToCaret();
      Invalidate();
      return;
    }
    case EM_LIMITTEXT: SetMaxLength(static_cast<int>(m.WParam)); return;
    default: TCustomControl::DefaultHandler(m); return;
  }
}

// ---------------------------------------------------------------------------
// The memo's lines as a string list over its text.
class TMemoLines : public TStrings {
 public:
  explicit TMemoLines(TCustomEdit* memo) : memo_(memo) {}
  int Count() const override {
    const auto& l = memo_->lines_;
    int n = static_cast<int>(l.size());
    return l.back().empty() ? n - 1 : n;  // a final line break ends the last line
  }
  std::string Get(int index) const override {
    Check(index);
    return memo_->lines_[index];
  }
  void Put(int index, const std::string& s) override {
    auto v = All();
    CheckIn(index, v);
    v[index] = s;
    Set(v);
  }
  void Insert(int index, const std::string& s) override {
    auto v = All();
    if (index < 0 || index > static_cast<int>(v.size())) throw EStringListError("List index out of bounds");
    v.insert(v.begin() + index, s);
    Set(v);
  }
  void Delete(int index) override {
    auto v = All();
    CheckIn(index, v);
    v.erase(v.begin() + index);
    Set(v);
  }
  void Clear() override { memo_->SetText(""); }

 private:
  void Check(int index) const {
    if (index < 0 || index >= Count()) throw EStringListError("List index out of bounds");
  }
  static void CheckIn(int index, const std::vector<std::string>& v) {
    if (index < 0 || index >= static_cast<int>(v.size())) throw EStringListError("List index out of bounds");
  }
  std::vector<std::string> All() const {
    std::vector<std::string> v;
    for (int i = 0; i < Count(); ++i) v.push_back(memo_->lines_[i]);
    return v;
  }
  void Set(const std::vector<std::string>& v) {
    std::string t;
    for (const auto& s : v) t += s + "\r\n";
    memo_->SetText(t);
  }
  TCustomEdit* memo_;
};

TCustomMemo::TCustomMemo(TComponent* owner) : TCustomEdit(owner), lines_list_(std::make_unique<TMemoLines>(this)) {
  multi_line_ = true;
  want_return_ = true;
  AutoSelect = false;
  SetBounds(Left(), Top(), 185, 89);
}

TCustomMemo::~TCustomMemo() = default;
