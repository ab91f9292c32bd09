// Text through FreeType with faces found by fontconfig: metrics, glyph drawing
// (alpha-blended, deterministic), rotation by escapement, and DrawText's layout.
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <map>
#include <mutex>
#include <tuple>
#include <unordered_map>

#include "gdi_internal.h"

namespace quill_gdi {

namespace {

std::recursive_mutex& TextMutex() {
  static std::recursive_mutex m;
  return m;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Windows face names the program and its controls use, mapped to installed faces.
// The dialog font the forms were laid out in is about as wide as Arial at the same
// height, so it maps to Arial's metric twin: captions fit the controls sized for it.
std::string MapFamily(const std::string& face) {
  static const std::map<std::string, std::string> kMap = {
      {"", "Liberation Sans"},
      {"ms sans serif", "Liberation Sans"},
      {"microsoft sans serif", "Liberation Sans"},
      {"ms shell dlg", "Liberation Sans"},
      {"ms shell dlg 2", "Liberation Sans"},
      {"system", "Liberation Sans"},
      {"tahoma", "DejaVu Sans"},
      {"verdana", "DejaVu Sans"},
      {"segoe ui", "DejaVu Sans"},
      {"arial", "Liberation Sans"},
      {"helvetica", "Liberation Sans"},
      {"times new roman", "Liberation Serif"},
      {"times", "Liberation Serif"},
      {"courier new", "Liberation Mono"},
      {"courier", "Liberation Mono"},
  };
  auto it = kMap.find(Lower(face));
  return it != kMap.end() ? it->second : face;
}

struct FaceEntry {
  FT_Face face = nullptr;
  bool synthBold = false;
  bool synthItalic = false;
  int winAscent = 0;   // font units
  int winDescent = 0;
};

FT_Library Library() {
  static FT_Library lib = [] {
    FT_Library l = nullptr;
    FT_Init_FreeType(&l);
    FcInit();
    return l;
  }();
  return lib;
}

// Faces by (family, bold, italic).
FaceEntry* FindFace(const LOGFONTA& lf) {
  static std::map<std::string, FaceEntry> cache;
  static std::map<std::string, FT_Face> files;
  const bool bold = lf.lfWeight >= 600;
  const bool italic = lf.lfItalic != 0;
  char face[LF_FACESIZE + 1] = {};
  std::memcpy(face, lf.lfFaceName, LF_FACESIZE);
  const std::string family = MapFamily(face);
  const std::string key = family + (bold ? "|b" : "|") + (italic ? "i" : "");
  auto it = cache.find(key);
  if (it != cache.end()) return it->second.face ? &it->second : nullptr;

  FaceEntry entry;
  FT_Library lib = Library();
  FcPattern* pat = FcPatternCreate();
  FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>("DejaVu Sans"));
  FcPatternAddInteger(pat, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pat, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddBool(pat, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(nullptr, pat, FcMatchPattern);
  FcDefaultSubstitute(pat);
  FcResult result;
  FcPattern* match = FcFontMatch(nullptr, pat, &result);
  if (match && lib) {
    FcChar8* file = nullptr;
    int index = 0;
    int weight = FC_WEIGHT_REGULAR, slant = FC_SLANT_ROMAN;
    FcPatternGetInteger(match, FC_WEIGHT, 0, &weight);
    FcPatternGetInteger(match, FC_SLANT, 0, &slant);
    if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) {
      FcPatternGetInteger(match, FC_INDEX, 0, &index);
      std::string fkey = std::string(reinterpret_cast<char*>(file)) + "#" + std::to_string(index);
      auto f = files.find(fkey);
      FT_Face ft = nullptr;
      if (f != files.end()) {
        ft = f->second;
      } else if (FT_New_Face(lib, reinterpret_cast<char*>(file), index, &ft) == 0) {
        files[fkey] = ft;
      } else {
        ft = nullptr;
      }
      if (ft) {
        entry.face = ft;
        entry.synthBold = bold && weight < FC_WEIGHT_DEMIBOLD;
        entry.synthItalic = italic && slant == FC_SLANT_ROMAN;
        auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(ft, FT_SFNT_OS2));
        if (os2 && os2->usWinAscent + os2->usWinDescent > 0) {
          entry.winAscent = os2->usWinAscent;
          entry.winDescent = os2->usWinDescent;
        } else {
          entry.winAscent = ft->ascender;
          entry.winDescent = -ft->descender;
        }
        if (entry.winAscent + entry.winDescent <= 0) {
          entry.winAscent = ft->units_per_EM * 4 / 5;
          entry.winDescent = ft->units_per_EM / 5;
        }
      }
    }
  }
  if (match) FcPatternDestroy(match);
  FcPatternDestroy(pat);
  auto& slot = cache[key] = entry;
  return slot.face ? &slot : nullptr;
}

// Pixel size of the em square for a LOGFONT height.
int EmPixels(const FaceEntry& f, LONG height) {
  if (height < 0) return std::min<LONG>(-height, 2000);
  if (height == 0) return 11;
  long cell = f.winAscent + f.winDescent;
  long em = (static_cast<long>(height) * f.face->units_per_EM + cell / 2) / cell;
  return static_cast<int>(std::clamp<long>(em, 1, 2000));
}

struct Sized {
  FaceEntry* face = nullptr;
  int em = 0;
  int ascent = 0;
  int descent = 0;
};

Sized SizeFont(const LOGFONTA& lf) {
  Sized s;
  s.face = FindFace(lf);
  if (!s.face) return s;
  s.em = EmPixels(*s.face, lf.lfHeight);
  const long upem = s.face->face->units_per_EM;
  s.ascent = static_cast<int>((static_cast<long>(s.face->winAscent) * s.em + upem / 2) / upem);
  s.descent = static_cast<int>((static_cast<long>(s.face->winDescent) * s.em + upem / 2) / upem);
  if (lf.lfHeight > 0) {
    // The cell height is what was asked for; the rounding difference goes to the descent.
    s.descent = lf.lfHeight - s.ascent;
    if (s.descent < 0) s.descent = 0;
  }
  return s;
}

struct Glyph {
  int advance = 0;  // unrotated, whole pixels
  int left = 0, top = 0, width = 0, height = 0;
  std::vector<std::uint8_t> alpha;
};

struct GlyphKey {
  const FaceEntry* face;
  int em;
  int angle;
  char32_t cp;
  bool operator==(const GlyphKey&) const = default;
};
struct GlyphKeyHash {
  size_t operator()(const GlyphKey& k) const {
    size_t h = std::hash<const void*>()(k.face);
    h = h * 31 + std::hash<int>()(k.em);
    h = h * 31 + std::hash<int>()(k.angle);
    h = h * 31 + std::hash<char32_t>()(k.cp);
    return h;
  }
};

const Glyph& GetGlyph(const Sized& s, int angle, char32_t cp) {
  static std::unordered_map<GlyphKey, Glyph, GlyphKeyHash> cache;
  GlyphKey key{s.face, s.em, angle, cp};
  auto it = cache.find(key);
  if (it != cache.end()) return it->second;
  if (cache.size() > 20000) cache.clear();
  Glyph g;
  FT_Face face = s.face->face;
  FT_Set_Pixel_Sizes(face, 0, s.em);
  FT_Set_Transform(face, nullptr, nullptr);
  if (FT_Load_Char(face, cp, FT_LOAD_DEFAULT) == 0) {
    if (s.face->synthBold) FT_GlyphSlot_Embolden(face->glyph);
    g.advance = static_cast<int>((face->glyph->advance.x + 32) >> 6);
  }
  bool loaded = true;
  if (angle != 0) {
    double rad = angle / 10.0 * 3.14159265358979323846 / 180.0;
    FT_Matrix m;
    m.xx = static_cast<FT_Fixed>(std::lround(std::cos(rad) * 65536.0));
    m.xy = static_cast<FT_Fixed>(std::lround(-std::sin(rad) * 65536.0));
    m.yx = static_cast<FT_Fixed>(std::lround(std::sin(rad) * 65536.0));
    m.yy = static_cast<FT_Fixed>(std::lround(std::cos(rad) * 65536.0));
    FT_Set_Transform(face, &m, nullptr);
    loaded = FT_Load_Char(face, cp, FT_LOAD_DEFAULT) == 0;
    if (loaded && s.face->synthBold) FT_GlyphSlot_Embolden(face->glyph);
  }
  if (loaded && s.face->synthItalic) FT_GlyphSlot_Oblique(face->glyph);
  if (loaded && FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL) == 0) {
    const FT_Bitmap& bm = face->glyph->bitmap;
    g.left = face->glyph->bitmap_left;
    g.top = face->glyph->bitmap_top;
    g.width = static_cast<int>(bm.width);
    g.height = static_cast<int>(bm.rows);
    g.alpha.resize(static_cast<size_t>(g.width) * g.height);
    for (int y = 0; y < g.height; ++y)
      for (int x = 0; x < g.width; ++x) {
        std::uint8_t v;
        if (bm.pixel_mode == FT_PIXEL_MODE_MONO)
          v = (bm.buffer[y * bm.pitch + (x >> 3)] >> (7 - (x & 7))) & 1 ? 255 : 0;
        else
          v = bm.buffer[y * bm.pitch + x];
        g.alpha[static_cast<size_t>(y) * g.width + x] = v;
      }
  }
  FT_Set_Transform(face, nullptr, nullptr);
  return cache.emplace(key, std::move(g)).first->second;
}

int NormalAngle(LONG escapement) {
  int a = static_cast<int>(escapement % 3600);
  return a < 0 ? a + 3600 : a;
}

}  // namespace

std::u32string DecodeText(const std::string& s) {
  std::u32string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    const int n = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
    bool ok = n >= 0 && i + n < s.size();
    char32_t cp = n <= 0 ? c : (c & (0x3F >> n));
    for (int k = 1; ok && k <= n; ++k) {
      const unsigned char d = static_cast<unsigned char>(s[i + k]);
      if ((d >> 6) != 2) ok = false;
      cp = (cp << 6) | (d & 0x3F);
    }
    if (!ok) {  // not UTF-8: take the byte as Latin-1
      out.push_back(c);
      ++i;
      continue;
    }
    out.push_back(cp);
    i += n + 1;
  }
  return out;
}

std::string EncodeText(const std::u32string& t) {
  std::string out;
  for (char32_t c : t) {
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

TextMetrics FontMetrics(const LOGFONTA& lf) {
  std::lock_guard<std::recursive_mutex> lock(TextMutex());
  TextMetrics m;
  Sized s = SizeFont(lf);
  if (!s.face) return m;
  m.ascent = s.ascent;
  m.descent = s.descent;
  m.height = s.ascent + s.descent;
  m.internalLeading = std::max(0, m.height - s.em);
  int x = GetGlyph(s, 0, U'x').advance;
  m.aveCharWidth = x > 0 ? x : s.em / 2;
  m.maxCharWidth = std::max(GetGlyph(s, 0, U'W').advance, m.aveCharWidth);
  return m;
}

namespace {
int AdvanceOf(const Sized& s, const std::u32string& t) {
  int w = 0;
  for (char32_t c : t) w += GetGlyph(s, 0, c).advance;
  return w;
}
}  // namespace

int TextAdvance(const LOGFONTA& lf, const std::string& utf8) {
  std::lock_guard<std::recursive_mutex> lock(TextMutex());
  Sized s = SizeFont(lf);
  if (!s.face) return 0;
  return AdvanceOf(s, DecodeText(utf8));
}

void DrawTextRun(HDC__* dc, int x, int y, const std::string& utf8, const RECT* clip, int prefixIndex) {
  std::lock_guard<std::recursive_mutex> lock(TextMutex());
  if (!dc->surface) return;
  const LOGFONTA& lf = dc->s.font;
  Sized s = SizeFont(lf);
  if (!s.face) return;
  const std::u32string text = DecodeText(utf8);
  const int angle = NormalAngle(lf.lfEscapement);
  const double rad = angle / 10.0 * 3.14159265358979323846 / 180.0;
  const double cs = std::cos(rad), sn = std::sin(rad);
  const int width = AdvanceOf(s, text);
  const int height = s.ascent + s.descent;

  // Clip to the text rectangle for the duration of the call.
  std::vector<RECT> savedClip = dc->s.clip;
  bool savedClipped = dc->s.clipped;
  if (clip) {
    std::vector<RECT> base = dc->s.clipped ? dc->s.clip
                                           : std::vector<RECT>{RECT{0, 0, dc->surface->Width, dc->surface->Height}};
    std::vector<RECT> out;
    for (const RECT& r : base) {
      RECT i{std::max(r.left, clip->left), std::max(r.top, clip->top), std::min(r.right, clip->right),
             std::min(r.bottom, clip->bottom)};
      if (i.left < i.right && i.top < i.bottom) out.push_back(i);
    }
    dc->s.clip = std::move(out);
    dc->s.clipped = true;
  }

  // Maps a point of the unrotated cell (u along the text, v downwards) to the device.
  auto map = [&](double u, double v, double& px, double& py) {
    px = x + u * cs + v * sn;
    py = y - u * sn + v * cs;
  };
  const std::uint32_t fg = ColorRefToPixel(dc->s.textColor);
  if (dc->s.bkMode == OPAQUE && width > 0) {
    const std::uint32_t bk = ColorRefToPixel(dc->s.bkColor);
    if (angle == 0) {
      for (int yy = y; yy < y + height; ++yy) FillSpanColor(dc, yy, x, x + width, bk, R2_COPYPEN);
    } else {
      // Pixels whose centres fall inside the rotated cell.
      double cx[4], cy[4];
      map(0, 0, cx[0], cy[0]);
      map(width, 0, cx[1], cy[1]);
      map(width, height, cx[2], cy[2]);
      map(0, height, cx[3], cy[3]);
      int x0 = static_cast<int>(std::floor(*std::min_element(cx, cx + 4)));
      int x1 = static_cast<int>(std::ceil(*std::max_element(cx, cx + 4)));
      int y0 = static_cast<int>(std::floor(*std::min_element(cy, cy + 4)));
      int y1 = static_cast<int>(std::ceil(*std::max_element(cy, cy + 4)));
      for (int yy = y0; yy < y1; ++yy)
        for (int xx = x0; xx < x1; ++xx) {
          double dx = xx + 0.5 - x, dy = yy + 0.5 - y;
          double u = dx * cs - dy * sn, v = dx * sn + dy * cs;
          if (u >= 0 && u < width && v >= 0 && v < height && Visible(dc, xx, yy)) dc->surface->Set(xx, yy, bk);
        }
    }
  }

  double penU = 0;
  const bool underline = lf.lfUnderline != 0, strike = lf.lfStrikeOut != 0;
  const int thick = std::max(1, s.em / 14);
  auto rule = [&](double u0, double u1, int v) {
    for (int t = 0; t < thick; ++t)
      for (double u = u0; u < u1; u += 1.0) {
        double px, py;
        map(u + 0.5, v + t + 0.5, px, py);
        BlendPixel(dc, static_cast<int>(std::floor(px)), static_cast<int>(std::floor(py)), fg, 255);
      }
  };
  const int underlineV = s.ascent + std::max(1, s.descent / 2);
  for (size_t i = 0; i < text.size(); ++i) {
    const Glyph& g = GetGlyph(s, angle, text[i]);
    double ox, oy;
    map(penU, s.ascent, ox, oy);
    const int gx = static_cast<int>(std::lround(ox)) + g.left;
    const int gy = static_cast<int>(std::lround(oy)) - g.top;
    for (int r = 0; r < g.height; ++r)
      for (int c = 0; c < g.width; ++c) {
        int a = g.alpha[static_cast<size_t>(r) * g.width + c];
        if (a) BlendPixel(dc, gx + c, gy + r, fg, a);
      }
    if (static_cast<int>(i) == prefixIndex && !underline) rule(penU, penU + g.advance, underlineV);
    penU += g.advance;
  }
  if (underline) rule(0, width, underlineV);
  if (strike) rule(0, width, s.ascent - s.ascent / 3);

  dc->s.clip = std::move(savedClip);
  dc->s.clipped = savedClipped;
}

}  // namespace quill_gdi

using namespace quill_gdi;

namespace {
std::string Slice(const char* text, int length) {
  if (!text) return {};
  if (length < 0) return std::string(text);
  return std::string(text, text + length);
}
}  // namespace

BOOL TextOutA(HDC dc, int x, int y, const char* text, int length) {
  if (!CheckDC(dc)) return FALSE;
  DrawTextRun(dc, x + dc->s.origin.x, y + dc->s.origin.y, Slice(text, length), nullptr, -1);
  return TRUE;
}

BOOL GetTextExtentPoint32A(HDC dc, const char* text, int length, SIZE* size) {
  if (!CheckDC(dc) || !size) return FALSE;
  TextMetrics m = FontMetrics(dc->s.font);
  size->cx = TextAdvance(dc->s.font, Slice(text, length));
  size->cy = m.height;
  return TRUE;
}

BOOL GetTextMetricsA(HDC dc, TEXTMETRICA* metrics) {
  if (!CheckDC(dc) || !metrics) return FALSE;
  TextMetrics m = FontMetrics(dc->s.font);
  *metrics = TEXTMETRICA{m.height, m.ascent, m.descent, m.internalLeading, 0, m.aveCharWidth, m.maxCharWidth};
  return TRUE;
}

namespace {

struct Line {
  std::u32string text;
  int prefix = -1;  // index of the underlined accelerator character
};

// Removes '&' prefixes: "&&" is a literal '&', "&x" underlines x.
Line StripPrefix(const std::u32string& t, bool underline) {
  Line l;
  for (size_t i = 0; i < t.size(); ++i) {
    if (t[i] == U'&') {
      if (i + 1 < t.size() && t[i + 1] == U'&') {
        l.text.push_back(U'&');
        ++i;
        continue;
      }
      if (i + 1 < t.size() && underline && l.prefix < 0) l.prefix = static_cast<int>(l.text.size());
      continue;
    }
    l.text.push_back(t[i]);
  }
  return l;
}

}  // namespace

int DrawTextA(HDC dc, const char* text, int length, RECT* rect, UINT format) {
  if (!CheckDC(dc) || !rect) return 0;
  std::u32string all = DecodeText(Slice(text, length));
  const LOGFONTA lf = dc->s.font;
  TextMetrics m = FontMetrics(lf);
  const int lineH = m.height;
  Sized s;
  {
    std::lock_guard<std::recursive_mutex> lock(TextMutex());
    s = SizeFont(lf);
  }
  const bool tabs = format & DT_EXPANDTABS;
  const int tabStop = std::max(1, 8 * m.aveCharWidth);
  // Calls fn(offset, piece) for the pieces between tabs; answers the line's width.
  auto pieces = [&](const std::u32string& t, auto&& fn) {
    std::lock_guard<std::recursive_mutex> lock(TextMutex());
    if (!s.face) return 0;
    if (!tabs) {
      fn(0, size_t(0), t);
      return AdvanceOf(s, t);
    }
    int x = 0;
    size_t start = 0;
    for (size_t i = 0; i <= t.size(); ++i) {
      if (i < t.size() && t[i] != U'\t') continue;
      std::u32string piece = t.substr(start, i - start);
      fn(x, start, piece);
      x += AdvanceOf(s, piece);
      if (i < t.size()) x = (x / tabStop + 1) * tabStop;
      start = i + 1;
    }
    return x;
  };
  auto width = [&](const std::u32string& t) { return pieces(t, [](int, size_t, const std::u32string&) {}); };
  const int boxW = rect->right - rect->left;

  // Split into lines.
  std::vector<std::u32string> raw;
  if (format & DT_SINGLELINE) {
    std::u32string one;
    for (char32_t c : all)
      if (c != U'\r' && c != U'\n') one.push_back(c);
    raw.push_back(one);
  } else {
    std::u32string cur;
    for (size_t i = 0; i < all.size(); ++i) {
      if (all[i] == U'\r' || all[i] == U'\n') {
        raw.push_back(cur);
        cur.clear();
        if (all[i] == U'\r' && i + 1 < all.size() && all[i + 1] == U'\n') ++i;
      } else {
        cur.push_back(all[i]);
      }
    }
    raw.push_back(cur);
  }

  const bool prefix = !(format & DT_NOPREFIX);
  const bool showPrefix = prefix && !(format & DT_HIDEPREFIX);
  std::vector<Line> lines;
  for (const std::u32string& r : raw) {
    Line l = prefix ? StripPrefix(r, showPrefix) : Line{r, -1};
    if ((format & DT_WORDBREAK) && !(format & DT_SINGLELINE) && width(l.text) > boxW) {
      // Greedy breaking at blanks; a word wider than the box keeps a line of its own.
      size_t start = 0;
      while (start < l.text.size()) {
        size_t lastFit = std::u32string::npos;
        for (size_t end = start; end <= l.text.size(); ++end) {
          if (end < l.text.size() && l.text[end] != U' ') continue;
          if (width(l.text.substr(start, end - start)) <= boxW) {
            lastFit = end;
          } else {
            if (lastFit == std::u32string::npos) lastFit = end;
            break;
          }
        }
        if (lastFit == std::u32string::npos) lastFit = l.text.size();
        Line part{l.text.substr(start, lastFit - start), -1};
        if (l.prefix >= static_cast<int>(start) && l.prefix < static_cast<int>(lastFit))
          part.prefix = l.prefix - static_cast<int>(start);
        lines.push_back(part);
        start = lastFit;
        while (start < l.text.size() && l.text[start] == U' ') ++start;
      }
      if (l.text.empty()) lines.push_back(l);
    } else {
      lines.push_back(l);
    }
  }
  if (format & DT_END_ELLIPSIS) {
    for (Line& l : lines) {
      if (width(l.text) <= boxW) continue;
      std::u32string dots = U"...";
      size_t k = l.text.size();
      while (k > 0 && width(l.text.substr(0, k) + dots) > boxW) --k;
      l.text = l.text.substr(0, k) + dots;
      if (l.prefix >= static_cast<int>(k)) l.prefix = -1;
    }
  }

  int maxW = 0;
  for (const Line& l : lines) maxW = std::max(maxW, width(l.text));
  const int total = lineH * static_cast<int>(lines.size());
  if (format & DT_CALCRECT) {
    if (!(format & DT_WORDBREAK) || maxW > boxW || lines.size() <= 1) rect->right = rect->left + maxW;
    rect->bottom = rect->top + total;
    return total;
  }

  int top = rect->top;
  if (format & DT_SINGLELINE) {
    if (format & DT_VCENTER) top = rect->top + (rect->bottom - rect->top - lineH) / 2;
    else if (format & DT_BOTTOM) top = rect->bottom - lineH;
  }
  RECT clipDev{rect->left + dc->s.origin.x, rect->top + dc->s.origin.y, rect->right + dc->s.origin.x,
               rect->bottom + dc->s.origin.y};
  const RECT* clip = (format & DT_NOCLIP) ? nullptr : &clipDev;
  for (size_t i = 0; i < lines.size(); ++i) {
    int w = width(lines[i].text);
    int x = rect->left;
    if (format & DT_CENTER) x = rect->left + (boxW - w) / 2;
    else if (format & DT_RIGHT) x = rect->right - w;
    const int y = top + static_cast<int>(i) * lineH + dc->s.origin.y;
    const int prefix = lines[i].prefix;
    std::vector<std::tuple<int, int, std::u32string>> runs;
    pieces(lines[i].text, [&](int offset, size_t first, const std::u32string& piece) {
      int p = prefix >= static_cast<int>(first) && prefix < static_cast<int>(first + piece.size())
                  ? prefix - static_cast<int>(first)
                  : -1;
      runs.emplace_back(offset, p, piece);
    });
    for (const auto& [offset, p, piece] : runs)
      DrawTextRun(dc, x + offset + dc->s.origin.x, y, EncodeText(piece), clip, p);
  }
  if (format & (DT_VCENTER | DT_BOTTOM)) return top - rect->top + total;
  return total;
}
