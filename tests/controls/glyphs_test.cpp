// Glyphs from the desktop's icon theme: a name or its stand-in from the
// theme, a glyph of our own when the theme has none, never a blank one; the
// disabled button embosses the theme's glyph.
#include <gtest/gtest.h>

#include "controls/glyphs.h"
#include "controls/toolbars.h"
#include "platform/gdi/colors.h"
#include "platform/ui/test_driver.h"
#include "toolbar_form.h"

namespace {

class GlyphTest : public TToolbarFormTest {};

// Pixels of Bitmap other than its transparent colour.
int32_t Ink(TBitmap& Bitmap) {
  int32_t n = 0;
  const TColor clear = Bitmap.TransparentColor() & 0xFFFFFF;
  for (int32_t y = 0; y < Bitmap.Height(); ++y)
    for (int32_t x = 0; x < Bitmap.Width(); ++x)
      if ((Bitmap.Canvas()->Pixels(x, y) & 0xFFFFFF) != clear) ++n;
  return n;
}

bool FromTheme(const std::string& Name) {
  for (const TGlyphUse& u : GlyphsLoaded())
    if (u.Name == Name) return u.FromTheme;
  ADD_FAILURE() << Name << " was not recorded";
  return false;
}

}  // namespace

TEST_F(GlyphTest, ThemeIconOrItsStandInElseOneDrawnHereNeverBlank) {
  const TColor face = ColorToRGB(clBtnFace) & 0xFFFFFF;
  TBitmap standIn;
  LoadGlyph(&standIn, {"quillon-no-such-icon", "document-open"}, 22);
  EXPECT_EQ(standIn.Width(), 22);
  EXPECT_EQ(standIn.Height(), 22);
  EXPECT_EQ(standIn.TransparentMode(), tmFixed);
  EXPECT_EQ(standIn.TransparentColor() & 0xFFFFFF, face);
  EXPECT_GT(Ink(standIn), 20);
  EXPECT_LT(Ink(standIn), 22 * 22);  // the background around the icon stays clear
  EXPECT_TRUE(FromTheme("quillon-no-such-icon"));

  TBitmap drawn;
  LoadGlyph(&drawn, {"quillon-missing-open"}, 16);
  EXPECT_EQ(drawn.Width(), 16);
  EXPECT_GT(Ink(drawn), 20);
  EXPECT_FALSE(FromTheme("quillon-missing-open"));

  // A menu image list gets one image per glyph, at its own size.
  TImageList list(nullptr);
  list.SetWidth(16);
  list.SetHeight(16);
  AddGlyphs(&list, {{"edit-copy"}, {"quillon-missing-paste"}});
  EXPECT_EQ(list.Count(), 2);
}

TEST_F(GlyphTest, DisabledButtonEmbossesTheThemeGlyph) {
  auto* b = new TToolbarButton(Form);
  TBitmap glyph;
  LoadGlyph(&glyph, {"edit-copy"}, 22);
  b->SetGlyph(&glyph);
  const int32_t index = b->ButtonGlyph()->CreateButtonGlyph(bsDisabled);
  ASSERT_GE(index, 0);
  TGlyphList* list = b->ButtonGlyph()->GlyphList();
  int32_t shadow = 0, clear = 0;
  for (int32_t y = 0; y < list->Height(); ++y)
    for (int32_t x = 0; x < list->Width(); ++x) {
      if (list->IsTransparent(index, x, y)) ++clear;
      else if (list->Pixel(index, x, y) == ColorToRGB(clBtnShadow)) ++shadow;
    }
  // The icon's strokes in the shadow colour, its background left out.
  EXPECT_GT(shadow, 20);
  EXPECT_GT(clear, list->Width() * list->Height() / 2);
}
