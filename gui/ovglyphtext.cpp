#include "ovglyphtext.h"

#include <pango/pangocairo.h>
#include <wx/fontutil.h>

#include <vector>

void TglyphText::TunrefFont::operator()(PangoFont* f) const { g_object_unref(f); }

void TglyphText::setFont(const wxFont& wxf, const std::array<int, 128>& charWidths) {
  font.reset();
  widths = charWidths;
  PangoFontMap* map = pango_cairo_font_map_get_default();
  PangoContext* context = pango_font_map_create_context(map);
  font.reset(pango_font_map_load_font(map, context, wxf.GetNativeFontInfo()->description));
  g_object_unref(context);
  if (!font) return;
  cairo_scaled_font_t* scaled = pango_cairo_font_get_scaled_font(PANGO_CAIRO_FONT(font.get()));
  if (!scaled || cairo_scaled_font_status(scaled) != CAIRO_STATUS_SUCCESS) return font.reset();
  for (int c = ' '; c < 127; c++) {
    const char one[] = {static_cast<char>(c), 0};
    cairo_glyph_t* glyph = nullptr;
    int count = 0;
    if (cairo_scaled_font_text_to_glyphs(scaled, 0, 0, one, 1, &glyph, &count, nullptr, nullptr, nullptr) ==
            CAIRO_STATUS_SUCCESS &&
        count == 1)
      glyphs[c] = glyph[0].index;
    cairo_glyph_free(glyph);
  }
  PangoFontMetrics* metrics = pango_font_get_metrics(font.get(), nullptr);
  baseline = PANGO_PIXELS(pango_font_metrics_get_ascent(metrics));
  pango_font_metrics_unref(metrics);
}

bool TglyphText::draw(wxGraphicsContext& gc, const std::string& text, const wxColour& colour, int x,
                      int y) const {
  if (!font || gc.GetRenderer() != wxGraphicsRenderer::GetCairoRenderer()) return false;
  std::vector<cairo_glyph_t> run;
  run.reserve(text.size());
  double at = x;
  for (const char c : text) {
    if (c < ' ' || c > '~') return false;
    run.push_back({glyphs[static_cast<unsigned char>(c)], at, y + baseline});
    at += widths[static_cast<unsigned char>(c)];
  }
  auto* cr = static_cast<cairo_t*>(gc.GetNativeContext());
  cairo_save(cr);
  cairo_set_scaled_font(cr, pango_cairo_font_get_scaled_font(PANGO_CAIRO_FONT(font.get())));
  cairo_set_source_rgb(cr, colour.Red() / 255.0, colour.Green() / 255.0, colour.Blue() / 255.0);
  cairo_show_glyphs(cr, run.data(), static_cast<int>(run.size()));
  cairo_restore(cr);
  return true;
}
